#include "DataModFixture.h"
#include "EnregistreurMoteur.h"

#include "common/UWMI.h"
#include "data/moteur/ValeursMoteur.h"
#include "db/DbError.h"

#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Acl = QStringLiteral("D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)"
                                   "(A;;CCLCSWLOCRRC;;;IU)(A;;CCLCSWLOCRRC;;;SU)(A;;RPWPDT;;;AU)");

QByteArray Lf(const QStringList &aLines)
{
    return (aLines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toLatin1();
}

QByteArray CrLf(const QStringList &aLines)
{
    return (aLines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1();
}

const QStringList SetenvBat = {
    QStringLiteral("@echo off"),
    QStringLiteral("set SYM_OPTIONS=-Dfile.encoding=utf-8"),
    QStringLiteral("Set SYM_JAVA=java"),
    QStringLiteral("if /i NOT \"%JAVA_HOME%\" == \"\" set SYM_JAVA=%JAVA_HOME%\\bin\\java"),
    QStringLiteral("set CLASSPATH=%SYM_HOME%\\lib\\*"),
};

const QStringList SetenvSh = {
    QStringLiteral("#!/bin/sh"),
    QStringLiteral("SYM_JAVA=java"),
    QStringLiteral("if [ \"$JAVA_HOME\" != \"\" ]"),
    QStringLiteral("then"),
    QStringLiteral("   SYM_JAVA=\"$JAVA_HOME/bin/java\""),
    QStringLiteral("fi"),
    QStringLiteral("export SYM_JAVA"),
};

// Options 1 to 3, the memory keys with a comment line before each.
const QStringList ConfTroisOptions = {
    QStringLiteral("wrapper.name=IVRO-LAME"),
    QStringLiteral("wrapper.java.command=C:/Java/jre8/bin/java"),
    QStringLiteral("wrapper.java.mainclass=org.jumpmind.symmetric.wrapper.Wrapper"),
    QStringLiteral("wrapper.java.additional.1=-Djava.io.tmpdir=../tmp"),
    QStringLiteral("wrapper.java.additional.2=-Dlog4j.configuration=file:../conf/log4j.xml"),
    QStringLiteral("wrapper.java.additional.3=-Dsym.keystore.file=../security/keystore"),
    QStringLiteral("# Initial Java Heap Size (in MB)"),
    QStringLiteral("wrapper.java.initmemory=256"),
    QStringLiteral("# Maximum Java Heap Size (in MB)"),
    QStringLiteral("wrapper.java.maxmemory=1024"),
    QStringLiteral("wrapper.logfile=../logs/wrapper.log"),
};

const QStringList ConfSansOption = {
    QStringLiteral("wrapper.name=IVRO-MAG"),
    QStringLiteral("Wrapper.Java.Command=java"),
    QStringLiteral("wrapper.java.mainclass=org.jumpmind.symmetric.wrapper.Wrapper"),
    QStringLiteral("wrapper.logfile=../logs/wrapper.log"),
};

// A folder with the program and its installer, an InterBase server, and the
// engine that the recorder lays out when the installer runs.
struct TInstallSite
{
    QTemporaryDir Dir;
    QString B; // the folder, as the paths start
    TEnregistreurMoteur *Recorder = nullptr;
    TSymmetricDS Sym;
    bool Windows;

    TInstallSite(TDataMod &aDataMod, bool aWindows, bool aLame, const QByteArray &aSetenv, const QByteArray &aConf)
        : B(Dir.path()), Windows(aWindows)
    {
        auto recorder = std::make_unique<TEnregistreurMoteur>(aWindows);
        Recorder = recorder.get();
        aDataMod.Moteur.SetSystemeMoteur(std::move(recorder));

        Write(QStringLiteral("prog/symmetric-pro-3.7.36-setup.jar"), "installer stand-in");
        Write(QStringLiteral("InterBase/bin/ibserver.exe"), "server stand-in");
        Write(QStringLiteral("InterBase/SDK/lib/interclient.jar"), "driver stand-in");
        QDir().mkpath(B + QStringLiteral("/InterBase/UDF"));
        VGSE.ExePath = P(QStringLiteral("/prog/"));
        VGSE.JavaPath = aWindows ? QStringLiteral("C:\\Java\\jre8") : QStringLiteral("/usr/lib/jvm/jre");

        TInfoSurService ib;
        ib.Exist = true;
        ib.BinaryPathName = QLatin1Char('"') + P(QStringLiteral("/InterBase/bin/ibserver.exe")) +
                            QStringLiteral("\" -s gds_db");
        Recorder->Services.insert(QStringLiteral("IBS_gds_db"), ib);

        Recorder->FichiersMoteur = {
            {aWindows ? QStringLiteral("bin/setenv.bat") : QStringLiteral("bin/setenv"), aSetenv},
            {QStringLiteral("bin/sym_service.bat"), "rem service script"},
            {QStringLiteral("bin/sym_service"), "# service script"},
            {QStringLiteral("conf/sym_service.conf"), aConf},
            {QStringLiteral("databases/interbase/sym_udf.dll"), "library stand-in"},
            {QStringLiteral("engines/"), QByteArray()},
            {QStringLiteral("lib/"), QByteArray()},
            {QStringLiteral("Uninstaller/Uninstaller.jar"), "uninstaller stand-in"},
        };

        Sym.Nom = aLame ? QStringLiteral("IVRO-LAME") : QStringLiteral("IVRO-MAG");
        Sym.Repertoire = P(aLame ? QStringLiteral("/Sym/Lame") : QStringLiteral("/Sym/Mag"));
        Sym.http = 31415;
        Sym.https = 31416;
        Sym.jmx = 31417;
        Sym.agent = 31418;
        Sym.memory = 2048;
        Sym.IsLame = aLame;
    }

    // B followed by aTail, its slashes in the system's form.
    QString P(QString aTail) const { return B + (Windows ? aTail.replace(QLatin1Char('/'), QLatin1Char('\\')) : aTail); }
    QString Engine(const QString &aTail) const { return Dir.path() + (Sym.IsLame ? "/Sym/Lame/" : "/Sym/Mag/") + aTail; }

    void Write(const QString &aPath, const QByteArray &aBytes) const
    {
        const QString path = B + QLatin1Char('/') + aPath;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(aBytes);
    }

    QByteArray Read(const QString &aPath) const
    {
        QFile file(aPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
    }

    QStringList Lines(QString aLog) const { return aLog.replace(QStringLiteral("@B@"), B).split(QLatin1Char('\n')); }
};

QByteArray ExpectedFile(const QString &aName, const QString &aBase)
{
    QFile file(QStringLiteral(IVROMVT_SOURCE_DIR "/tests/expected/") + aName);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<fichier attendu absent>");
    return file.readAll().replace("@BASE@", aBase.toUtf8());
}

} // namespace

class TestMoteur : public QObject
{
    Q_OBJECT

private slots:
    void installation_data();
    void installation();
    void wrapperConf_data();
    void wrapperConf();
    void dossierInterBase_data();
    void dossierInterBase();
    void echecs_data();
    void echecs();
    void valeursRefusees_data();
    void valeursRefusees();
    void fichierReponses();
    void controles_data();
    void controles();
    void desinstallation_data();
    void desinstallation();
    void dossierOuvertAUnAutreCompte_data();
    void dossierOuvertAUnAutreCompte();

private:
    TDataModFixture FDataMod;
};

void TestMoteur::installation_data()
{
    QTest::addColumn<bool>("windows");
    QTest::addColumn<bool>("lame");
    QTest::addColumn<QByteArray>("setenv");
    QTest::addColumn<QByteArray>("setenvAttendu");
    QTest::addColumn<QByteArray>("conf");
    QTest::addColumn<QByteArray>("confAttendue");
    QTest::addColumn<QString>("commandes");
    QTest::addColumn<int>("etapesNonExecutees");

    const QByteArray setenvLfAttendu =
        Lf({QStringLiteral("@echo off"), QStringLiteral("set SYM_OPTIONS=-Dfile.encoding=utf-8"),
            QStringLiteral("@REM Set SYM_JAVA=java"),
            QStringLiteral("@REM if /i NOT \"%JAVA_HOME%\" == \"\" set SYM_JAVA=%JAVA_HOME%\\bin\\java"),
            QStringLiteral("set SYM_JAVA=C:\\Java\\jre8\\bin\\java"), QStringLiteral("set CLASSPATH=%SYM_HOME%\\lib\\*")});
    // The same lines whatever the line ends, and the file keeps its own.
    const QByteArray setenvCrLfAttendu =
        CrLf({QStringLiteral("@echo off"), QStringLiteral("set SYM_OPTIONS=-Dfile.encoding=utf-8"),
              QStringLiteral("@REM Set SYM_JAVA=java"),
              QStringLiteral("@REM if /i NOT \"%JAVA_HOME%\" == \"\" set SYM_JAVA=%JAVA_HOME%\\bin\\java"),
              QStringLiteral("set SYM_JAVA=C:\\Java\\jre8\\bin\\java"),
              QStringLiteral("set CLASSPATH=%SYM_HOME%\\lib\\*")});
    const QByteArray confLameAttendue = CrLf({
        QStringLiteral("wrapper.name=IVRO-LAME"),
        QStringLiteral("wrapper.java.command=C:\\Java\\jre8\\bin\\java"),
        QStringLiteral("wrapper.java.mainclass=org.jumpmind.symmetric.wrapper.Wrapper"),
        QStringLiteral("wrapper.java.additional.1=-Djava.io.tmpdir=../tmp"),
        QStringLiteral("wrapper.java.additional.2=-Dlog4j.configuration=file:../conf/log4j.xml"),
        QStringLiteral("wrapper.java.additional.3=-Dsym.keystore.file=../security/keystore"),
        QStringLiteral("# Initial Java Heap Size (in MB)"),
        QStringLiteral("wrapper.java.additional.4=-Dfile.encoding=ISO8859_15"),
        QStringLiteral("wrapper.java.additional.5=-XX:-UseGCOverheadLimit"),
        QStringLiteral("wrapper.java.initmemory=2048"),
        QStringLiteral("# Maximum Java Heap Size (in MB)"),
        QStringLiteral("wrapper.java.maxmemory=2048"),
        QStringLiteral("wrapper.logfile=../logs/wrapper.log"),
        QStringLiteral("wrapper.ntservice.starttype=manual"),
    });
    const QByteArray confMagAttendue = CrLf({
        QStringLiteral("wrapper.name=IVRO-MAG"),
        QStringLiteral("wrapper.java.command=java"),
        QStringLiteral("wrapper.java.additional.1=-Dfile.encoding=ISO8859_15"),
        QStringLiteral("wrapper.java.additional.2=-XX:-UseGCOverheadLimit"),
        QStringLiteral("wrapper.java.mainclass=org.jumpmind.symmetric.wrapper.Wrapper"),
        QStringLiteral("wrapper.logfile=../logs/wrapper.log"),
        QStringLiteral("wrapper.java.initmemory=2048"),
        QStringLiteral("wrapper.java.maxmemory=2048"),
    });

    QTest::newRow("Windows, serveur central, setenv.bat en LF, options 1 à 3")
        << true << true << Lf(SetenvBat) << setenvLfAttendu << CrLf(ConfTroisOptions) << confLameAttendue
        << QStringLiteral(
               "ServiceInfo | IBS_gds_db\n"
               "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar @B@\\Sym\\Lame\\symmetric-pro-3.7.36-setup.jar "
               "@B@\\Sym\\Lame\\master-autoinstall.xml | @B@\\Sym\\Lame | montrée\n"
               "RunAsAndWait | @B@\\Sym\\Lame\\bin\\sym_service.bat | install | @B@\\Sym\\Lame\\bin\\ | montrée\n"
               "RunAsAndWait | C:\\windows\\system32\\sc.exe | config IVRO-LAME start= demand | "
               "C:\\windows\\system32\\ | montrée\n"
               "CopyFile | @B@\\Sym\\Lame\\databases\\interbase\\sym_udf.dll | @B@\\InterBase\\bin\\..\\UDF\\sym_udf.dll\n"
               "CopyFile | @B@\\InterBase\\bin\\..\\SDK\\lib\\interclient.jar | @B@\\Sym\\Lame\\lib\\interclient.jar\n"
               "RunAsAndWait | sc.exe | sdset IVRO-LAME ") + Acl + QStringLiteral(" |  | cachée\n"
               "RunAsAndWait | netsh.exe | advfirewall firewall add rule name=IVRO-LAME dir=in action=allow "
               "protocol=TCP localport=31415-31418 |  | cachée\n"
               "StartService | IVRO-LAME")
        << 0;
    QTest::newRow("Windows, magasin, setenv.bat en CR LF, sans option")
        << true << false << CrLf(SetenvBat) << setenvCrLfAttendu << CrLf(ConfSansOption) << confMagAttendue
        << QStringLiteral(
               "ServiceInfo | IBS_gds_db\n"
               "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar @B@\\Sym\\Mag\\symmetric-pro-3.7.36-setup.jar "
               "@B@\\Sym\\Mag\\master-autoinstall.xml | @B@\\Sym\\Mag | montrée\n"
               "RunAsAndWait | @B@\\Sym\\Mag\\bin\\sym_service.bat | install | @B@\\Sym\\Mag\\bin\\ | montrée\n"
               "CopyFile | @B@\\Sym\\Mag\\databases\\interbase\\sym_udf.dll | @B@\\InterBase\\bin\\..\\UDF\\sym_udf.dll\n"
               "CopyFile | @B@\\InterBase\\bin\\..\\SDK\\lib\\interclient.jar | @B@\\Sym\\Mag\\lib\\interclient.jar\n"
               "RunAsAndWait | sc.exe | sdset IVRO-MAG ") + Acl + QStringLiteral(" |  | cachée\n"
               "StartService | IVRO-MAG")
        << 0;

    const QByteArray setenvShAttendu =
        Lf({QStringLiteral("#!/bin/sh"), QStringLiteral("SYM_JAVA=java"), QStringLiteral("if [ \"$JAVA_HOME\" != \"\" ]"),
            QStringLiteral("then"), QStringLiteral("   SYM_JAVA=\"$JAVA_HOME/bin/java\""), QStringLiteral("fi"),
            QStringLiteral("SYM_JAVA=\"/usr/lib/jvm/jre/bin/java\""), QStringLiteral("export SYM_JAVA")});
    QStringList confPosix = ConfTroisOptions;
    confPosix[1] = QStringLiteral("wrapper.java.command=\\usr\\bin\\java");
    QByteArray confPosixAttendue = confLameAttendue;
    confPosixAttendue.replace("C:\\Java\\jre8\\bin\\java", "/usr/bin/java");
    QTest::newRow("POSIX, serveur central")
        << false << true << Lf(SetenvSh) << setenvShAttendu << CrLf(confPosix) << confPosixAttendue
        << QStringLiteral(
               "ServiceInfo | IBS_gds_db\n"
               "RunAsAndWait | /usr/lib/jvm/jre/bin/java | -jar @B@/Sym/Lame/symmetric-pro-3.7.36-setup.jar "
               "@B@/Sym/Lame/master-autoinstall.xml | @B@/Sym/Lame | montrée\n"
               "RunAsAndWait | @B@/Sym/Lame/bin/sym_service | install | @B@/Sym/Lame/bin/ | montrée\n"
               "RunAsAndWait | systemctl | disable IVRO-LAME |  | montrée\n"
               "CopyFile | @B@/Sym/Lame/databases/interbase/sym_udf.dll | @B@/InterBase/bin/../UDF/sym_udf.dll\n"
               "CopyFile | @B@/InterBase/bin/../SDK/lib/interclient.jar | @B@/Sym/Lame/lib/interclient.jar\n"
               "StartService | IVRO-LAME")
        << 2;
    QTest::newRow("POSIX, magasin, setenv sans export")
        << false << false << Lf(SetenvSh.mid(0, 6))
        << Lf(SetenvSh.mid(0, 6) << QStringLiteral("SYM_JAVA=\"/usr/lib/jvm/jre/bin/java\"")
                                 << QStringLiteral("export SYM_JAVA"))
        << CrLf(ConfSansOption) << confMagAttendue
        << QStringLiteral(
               "ServiceInfo | IBS_gds_db\n"
               "RunAsAndWait | /usr/lib/jvm/jre/bin/java | -jar @B@/Sym/Mag/symmetric-pro-3.7.36-setup.jar "
               "@B@/Sym/Mag/master-autoinstall.xml | @B@/Sym/Mag | montrée\n"
               "RunAsAndWait | @B@/Sym/Mag/bin/sym_service | install | @B@/Sym/Mag/bin/ | montrée\n"
               "CopyFile | @B@/Sym/Mag/databases/interbase/sym_udf.dll | @B@/InterBase/bin/../UDF/sym_udf.dll\n"
               "CopyFile | @B@/InterBase/bin/../SDK/lib/interclient.jar | @B@/Sym/Mag/lib/interclient.jar\n"
               "StartService | IVRO-MAG")
        << 1;
}

void TestMoteur::installation()
{
    QFETCH(bool, windows);
    QFETCH(bool, lame);
    QFETCH(QByteArray, setenv);
    QFETCH(QByteArray, setenvAttendu);
    QFETCH(QByteArray, conf);
    QFETCH(QByteArray, confAttendue);
    QFETCH(QString, commandes);
    QFETCH(int, etapesNonExecutees);

    TInstallSite site(FDataMod, windows, lame, setenv, conf);
    QVERIFY(FDataMod.Moteur.InstallationSymmetricDS(site.Sym, true));
    QCOMPARE(site.Recorder->Log, site.Lines(commandes));

    if (lame && windows)
        QCOMPARE(site.Read(site.Engine(QStringLiteral("master-autoinstall.xml"))),
                 ExpectedFile(QStringLiteral("master-autoinstall-lame.xml"), site.B));
    QCOMPARE(site.Read(site.Engine(windows ? QStringLiteral("bin/setenv.bat") : QStringLiteral("bin/setenv"))),
             setenvAttendu);
    QCOMPARE(site.Read(site.Engine(QStringLiteral("conf/sym_service.conf"))), confAttendue);
    QCOMPARE(site.Read(site.Engine(QStringLiteral("conf/symmetric.properties"))),
             QByteArray("initial.load.concat.csv.in.sql.enabled=true\r\n"));
    QCOMPARE(site.Read(site.B + QStringLiteral("/InterBase/UDF/sym_udf.dll")), QByteArray("library stand-in"));
    QCOMPARE(site.Read(site.Engine(QStringLiteral("lib/interclient.jar"))), QByteArray("driver stand-in"));
    QFile grants(QStringLiteral(":/grants"));
    QVERIFY(grants.open(QIODevice::ReadOnly));
    QCOMPARE(site.Read(site.Engine(QStringLiteral("grants.sql"))), lame ? QByteArray("<absent>") : grants.readAll());

    // Firewall and service rights have no common tool off Windows: said, not silently skipped.
    const QStringList notes = FDataMod.Moteur.PrendEtapesNonExecutees();
    QCOMPARE(notes.size(), etapesNonExecutees);
    if (etapesNonExecutees > 0)
        QVERIFY(notes.first().startsWith(QStringLiteral("Droits du service \"%1\"").arg(site.Sym.Nom)));
    if (etapesNonExecutees > 1)
        QVERIFY(notes.last().contains(QStringLiteral("ports TCP 31415 à 31418")));
}

void TestMoteur::wrapperConf_data()
{
    QTest::addColumn<QByteArray>("conf");
    QTest::addColumn<QByteArray>("attendue");

    // The new options go one line below the last existing one, but never past the end.
    QTest::newRow("dernière option en dernière ligne")
        << CrLf({QStringLiteral("wrapper.java.command=java"), QStringLiteral("wrapper.java.additional.1=-Xss1m")})
        << CrLf({QStringLiteral("wrapper.java.command=java"), QStringLiteral("wrapper.java.additional.1=-Xss1m"),
                 QStringLiteral("wrapper.java.additional.2=-Dfile.encoding=ISO8859_15"),
                 QStringLiteral("wrapper.java.additional.3=-XX:-UseGCOverheadLimit"),
                 QStringLiteral("wrapper.java.initmemory=2048"), QStringLiteral("wrapper.java.maxmemory=2048")});
    QTest::newRow("une seule ligne, sans option")
        << QByteArray("wrapper.java.command=java")
        << CrLf({QStringLiteral("wrapper.java.command=java"),
                 QStringLiteral("wrapper.java.additional.1=-Dfile.encoding=ISO8859_15"),
                 QStringLiteral("wrapper.java.additional.2=-XX:-UseGCOverheadLimit"),
                 QStringLiteral("wrapper.java.initmemory=2048"), QStringLiteral("wrapper.java.maxmemory=2048")});
    // A gap in the numbering: the new ones follow the highest, none is
    // reused; the file's own encoding is kept.
    QTest::newRow("options 1 et 3, UTF-8 avec BOM, LF")
        << QByteArray("\xEF\xBB\xBFwrapper.java.additional.1=-Da=\xC3\xA9\nwrapper.java.additional.3=-Db\nwrapper.x=1\n"
                      "wrapper.y=2\n")
        << QByteArray("\xEF\xBB\xBFwrapper.java.additional.1=-Da=\xC3\xA9\r\nwrapper.java.additional.3=-Db\r\n"
                      "wrapper.x=1\r\nwrapper.java.additional.4=-Dfile.encoding=ISO8859_15\r\n"
                      "wrapper.java.additional.5=-XX:-UseGCOverheadLimit\r\n"
                      "wrapper.y=2\r\nwrapper.java.initmemory=2048\r\nwrapper.java.maxmemory=2048\r\n");
    QTest::newRow("options 1, 2 et 4")
        << CrLf({QStringLiteral("wrapper.java.additional.1=-Da"), QStringLiteral("wrapper.java.additional.2=-Db"),
                 QStringLiteral("wrapper.java.additional.4=-Dd"), QStringLiteral("wrapper.x=1")})
        << CrLf({QStringLiteral("wrapper.java.additional.1=-Da"), QStringLiteral("wrapper.java.additional.2=-Db"),
                 QStringLiteral("wrapper.java.additional.4=-Dd"), QStringLiteral("wrapper.x=1"),
                 QStringLiteral("wrapper.java.additional.5=-Dfile.encoding=ISO8859_15"),
                 QStringLiteral("wrapper.java.additional.6=-XX:-UseGCOverheadLimit"),
                 QStringLiteral("wrapper.java.initmemory=2048"), QStringLiteral("wrapper.java.maxmemory=2048")});
}

void TestMoteur::wrapperConf()
{
    QFETCH(QByteArray, conf);
    QFETCH(QByteArray, attendue);
    TInstallSite site(FDataMod, false, false, Lf(SetenvSh), conf);
    QVERIFY(FDataMod.Moteur.InstallationSymmetricDS(site.Sym, false));
    QCOMPARE(site.Read(site.Engine(QStringLiteral("conf/sym_service.conf"))), attendue);
    FDataMod.Moteur.PrendEtapesNonExecutees();
}

void TestMoteur::dossierInterBase_data()
{
    QTest::addColumn<QString>("ligneDeCommande");
    QTest::addColumn<QString>("dossier");
    QTest::newRow("entre guillemets, avec argument") << "\"@B@\\Program Files\\InterBase\\bin\\ibserver.exe\" -s gds_db"
                                                     << "@B@\\Program Files\\InterBase\\bin";
    QTest::newRow("sans guillemets") << "@B@\\InterBase\\bin\\ibserver.exe -s gds_db" << "@B@\\InterBase\\bin";
    QTest::newRow("sans guillemets, coupé au blanc") << "@B@\\ib\\Program Files\\bin\\ibserver.exe"
                                                      << "@B@\\ib";
}

void TestMoteur::dossierInterBase()
{
    QFETCH(QString, ligneDeCommande);
    QFETCH(QString, dossier);
    TInstallSite site(FDataMod, true, false, Lf(SetenvBat), CrLf(ConfSansOption));
    site.Recorder->Services[QStringLiteral("IBS_gds_db")].BinaryPathName = ligneDeCommande.replace("@B@", site.B);
    dossier.replace("@B@", site.B);
    QDir().mkpath(site.Recorder->Local(dossier));
    // The driver is looked for there before anything is installed.
    const QString pilote = site.Recorder->Local(dossier + QStringLiteral("\\..\\SDK\\lib\\interclient.jar"));
    QDir().mkpath(site.Recorder->Local(dossier + QStringLiteral("\\..\\SDK\\lib")));
    QFile f(pilote);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    // Where the library and the driver are taken from tells the folder found.
    FDataMod.Moteur.InstallationSymmetricDS(site.Sym, false);
    QVERIFY(site.Recorder->Log.contains(QStringLiteral("CopyFile | %1 | %2\\..\\UDF\\sym_udf.dll")
                                            .arg(site.P(QStringLiteral("/Sym/Mag/databases/interbase/sym_udf.dll")),
                                                 dossier)));
    QVERIFY(site.Recorder->Log.contains(QStringLiteral("CopyFile | %1\\..\\SDK\\lib\\interclient.jar | %2")
                                            .arg(dossier, site.P(QStringLiteral("/Sym/Mag/lib/interclient.jar")))));
}

void TestMoteur::echecs_data()
{
    QTest::addColumn<QString>("cas");
    QTest::addColumn<QString>("message"); // empty: installed
    QTest::addColumn<int>("commandes");   // number of recorded calls
    QTest::addColumn<bool>("dossierLaisse"); // the engine's folder still there
    QTest::newRow("copie de l'installateur déjà là") << "copie" << "existe déjà" << 0 << true;
    QTest::newRow("pas d'installateur à côté du programme") << "installateur" << "est absent à côté" << 0 << false;
    QTest::newRow("pas de service IBS_gds_db")
        << "ib" << "Le service \"IBS_gds_db\" n’existe pas. ; rien n'a été fait." << 1 << false;
    QTest::newRow("ligne de commande du serveur vide") << "ibvide" << "ne donne pas le dossier" << 1 << false;
    QTest::newRow("pas de pilote JDBC: su avant d'installer") << "pilote" << "pas de pilote JDBC" << 1 << false;
    // The copy and the answer file go again: a retry is not refused.
    QTest::newRow("élévation refusée") << "java" << "n'a pas pu être lancé" << 2 << false;
    QTest::newRow("installateur en échec") << "java-code" << "a échoué (code de sortie 1)" << 2 << false;
    QTest::newRow("script de service refusé") << "service" << "« enregistrement du service »" << 3 << true;
    QTest::newRow("script de service en échec") << "service-code" << "(code de sortie 2)" << 3 << true;
    QTest::newRow("setenv.bat absent") << "setenv" << "« choix de Java" << 2 << true;
    QTest::newRow("copie de la bibliothèque refusée") << "copie-udf" << "« bibliothèque de fonctions »" << 4 << true;
    QTest::newRow("bibliothèque déjà là, non remplacée") << "udf" << "" << 6 << true;
    QTest::newRow("droits du service refusés par sc.exe") << "sdset" << "(code de sortie 5)" << 6 << true;
    QTest::newRow("démarrage qui lève") << "demarrage" << "n'a pas démarré (start)" << 7 << true;
    QTest::newRow("démarrage qui échoue") << "demarrage-faux" << "n'a pas démarré" << 7 << true;
}

void TestMoteur::echecs()
{
    QFETCH(QString, cas);
    QFETCH(QString, message);
    QFETCH(int, commandes);
    QFETCH(bool, dossierLaisse);
    TInstallSite site(FDataMod, true, false, Lf(SetenvBat), CrLf(ConfSansOption));
    TEnregistreurMoteur &rec = *site.Recorder;
    if (cas == QLatin1String("copie"))
        site.Write(QStringLiteral("Sym/Mag/symmetric-pro-3.7.36-setup.jar"), "earlier copy");
    if (cas == QLatin1String("installateur"))
        QFile::remove(site.B + QStringLiteral("/prog/symmetric-pro-3.7.36-setup.jar"));
    if (cas == QLatin1String("java"))
        rec.Refused << QStringLiteral("C:\\Java\\jre8\\bin\\javaw");
    if (cas == QLatin1String("java-code"))
        rec.ExitCodes.insert(QStringLiteral("C:\\Java\\jre8\\bin\\javaw"), 1);
    if (cas == QLatin1String("service"))
        rec.Refused << site.P(QStringLiteral("/Sym/Mag/bin/sym_service.bat"));
    if (cas == QLatin1String("service-code"))
        rec.ExitCodes.insert(site.P(QStringLiteral("/Sym/Mag/bin/sym_service.bat")), 2);
    if (cas == QLatin1String("setenv"))
        rec.FichiersMoteur.remove(QStringLiteral("bin/setenv.bat"));
    if (cas == QLatin1String("ib"))
        rec.Services.clear();
    if (cas == QLatin1String("ibvide"))
        rec.Services[QStringLiteral("IBS_gds_db")].BinaryPathName.clear();
    if (cas == QLatin1String("copie-udf"))
        rec.CopyFails = true;
    if (cas == QLatin1String("udf"))
        site.Write(QStringLiteral("InterBase/UDF/sym_udf.dll"), "the server's own");
    if (cas == QLatin1String("pilote"))
        QFile::remove(site.B + QStringLiteral("/InterBase/SDK/lib/interclient.jar"));
    if (cas == QLatin1String("sdset"))
        rec.ExitCodes.insert(QStringLiteral("sc.exe"), 5);
    if (cas == QLatin1String("demarrage"))
        rec.StartThrows = true;
    if (cas == QLatin1String("demarrage-faux"))
        rec.ServiceResult = false;

    QString obtenu;
    try {
        QVERIFY(FDataMod.Moteur.InstallationSymmetricDS(site.Sym, true));
    } catch (const EDbError &e) {
        obtenu = e.Message();
    }
    FDataMod.Moteur.PrendEtapesNonExecutees();
    QVERIFY2(message.isEmpty() ? obtenu.isEmpty() : obtenu.contains(message), qPrintable(obtenu));
    QCOMPARE(rec.Log.size(), commandes);
    QCOMPARE(QFileInfo::exists(site.Engine(QString())), dossierLaisse);
    if (cas == QLatin1String("udf"))
        QCOMPARE(site.Read(site.B + QStringLiteral("/InterBase/UDF/sym_udf.dll")), QByteArray("the server's own"));
    if (cas == QLatin1String("copie"))
        QCOMPARE(site.Read(site.Engine(QStringLiteral("master-autoinstall.xml"))), QByteArray("<absent>"));
    if (cas == QLatin1String("service-code") || cas == QLatin1String("setenv"))
        QVERIFY2(obtenu.contains(QStringLiteral("Déjà fait, resté en place : moteur installé")), qPrintable(obtenu));
    // Files written before the failure are put back; what the installer
    // made and the service registered are said to stay.
    if (cas == QLatin1String("sdset")) {
        QCOMPARE(site.Read(site.Engine(QStringLiteral("bin/setenv.bat"))), Lf(SetenvBat));
        QCOMPARE(site.Read(site.Engine(QStringLiteral("conf/sym_service.conf"))), CrLf(ConfSansOption));
        QCOMPARE(site.Read(site.Engine(QStringLiteral("conf/symmetric.properties"))), QByteArray("<absent>"));
        QCOMPARE(site.Read(site.Engine(QStringLiteral("grants.sql"))), QByteArray("<absent>"));
        QCOMPARE(site.Read(site.B + QStringLiteral("/InterBase/UDF/sym_udf.dll")), QByteArray("<absent>"));
        QVERIFY2(obtenu.contains(QStringLiteral("service \"IVRO-MAG\" enregistré")), qPrintable(obtenu));
    }
    // A failure before the installer went through leaves nothing behind.
    if (!dossierLaisse) {
        QCOMPARE(site.Read(site.Engine(QStringLiteral("symmetric-pro-3.7.36-setup.jar"))), QByteArray("<absent>"));
        QCOMPARE(site.Read(site.Engine(QStringLiteral("master-autoinstall.xml"))), QByteArray("<absent>"));
    }
}

void TestMoteur::valeursRefusees_data()
{
    QTest::addColumn<QString>("champ");
    QTest::addColumn<QString>("valeur");
    QTest::newRow("service: blanc") << "nom" << "IVRO-LAME firebird3.0";
    QTest::newRow("service: guillemets") << "nom" << "X\" localport=1-65535 name=\"Y";
    QTest::newRow("service: saut de ligne") << "nom" << "IVRO\nMAG";
    QTest::newRow("service: commentaire SQL") << "nom" << "a*/b";
    QTest::newRow("service: &") << "nom" << "R&D";
    QTest::newRow("service: %") << "nom" << "IVRO%PATH%";
    QTest::newRow("service: ;") << "nom" << "a;b";
    QTest::newRow("service: option") << "nom" << "--now";
    QTest::newRow("service: très long") << "nom" << QString(300, QLatin1Char('A'));
    QTest::newRow("service: accent") << "nom" << "IVRO-ÉTÉ";
    QTest::newRow("service: hors Windows-1252") << "nom" << "IVRO-\u4E2D";
    QTest::newRow("dossier: saut de ligne") << "repertoire" << "/Sym/Mag\nx=1";
    QTest::newRow("dossier: guillemet") << "repertoire" << "/Sym/Mag\" -jar \"x";
    QTest::newRow("dossier: relatif") << "repertoire" << "Sym/Mag";
    QTest::newRow("Java: saut de ligne") << "java" << "C:\\Java\r\nset X=1";
}

// Refused before anything is written or run: no call, no folder.
void TestMoteur::valeursRefusees()
{
    QFETCH(QString, champ);
    QFETCH(QString, valeur);
    TInstallSite site(FDataMod, true, true, Lf(SetenvBat), CrLf(ConfSansOption));
    if (champ == QLatin1String("nom"))
        site.Sym.Nom = valeur;
    if (champ == QLatin1String("repertoire"))
        site.Sym.Repertoire = valeur.startsWith(QLatin1Char('/')) ? site.P(valeur) : valeur;
    if (champ == QLatin1String("java"))
        VGSE.JavaPath = valeur;
    for (const bool desinstalle : {false, true}) {
        QString message;
        try {
            if (desinstalle)
                FDataMod.Moteur.DesInstallationSymmetricDS(site.Sym);
            else
                FDataMod.Moteur.InstallationSymmetricDS(site.Sym, true);
        } catch (const EDbError &e) {
            message = e.Message();
        }
        QVERIFY2(message.contains(QStringLiteral("refusé")) && message.endsWith(QStringLiteral("rien n'a été fait.")),
                 qPrintable(message));
        QCOMPARE(site.Recorder->Log, QStringList());
        QVERIFY(!QFileInfo::exists(site.B + QStringLiteral("/Sym")));
    }
    FDataMod.Moteur.PrendEtapesNonExecutees();
}

// The answer file is XML: a folder's "&" or "<" is escaped, and a "%" in it
// does not pull in another answer.
void TestMoteur::fichierReponses()
{
    TInstallSite site(FDataMod, true, true, Lf(SetenvBat), CrLf(ConfSansOption));
    site.Sym.Repertoire = site.P(QStringLiteral("/R&D <Sym> %servicename%"));
    QVERIFY(FDataMod.Moteur.InstallationSymmetricDS(site.Sym, false));
    FDataMod.Moteur.PrendEtapesNonExecutees();
    const QByteArray xml = site.Read(site.B + QStringLiteral("/R&D <Sym> %servicename%/master-autoinstall.xml"));
    QXmlStreamReader reader(xml);
    QString installPath;
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("installpath"))
            installPath = reader.readElementText();
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QCOMPARE(installPath, site.Sym.Repertoire);
}

void TestMoteur::controles_data()
{
    QTest::addColumn<QString>("genre");
    QTest::addColumn<QString>("valeur");
    QTest::addColumn<bool>("accepte");
    QTest::newRow("hôte: nom") << "hote" << "srv-lame.example.com" << true;
    QTest::newRow("hôte: IPv4") << "hote" << "203.0.113.7" << true;
    QTest::newRow("hôte: IPv6 entre crochets") << "hote" << "[2001:db8::7]" << true;
    QTest::newRow("hôte: IPv4 hors limites") << "hote" << "203.0.113.256" << false;
    QTest::newRow("hôte: tiret en tête d'étiquette") << "hote" << "-srv.example" << false;
    QTest::newRow("hôte: étiquette de 64") << "hote" << QString(64, QLatin1Char('a')) + ".example" << false;
    QTest::newRow("hôte: souligné") << "hote" << "srv_lame" << false;
    QTest::newRow("URL: complète") << "url" << "https://lame.example:31415/sync/lame-paris_1" << true;
    QTest::newRow("URL: IPv6 et port") << "url" << "http://[::1]:8080/sync/lame" << true;
    QTest::newRow("URL: sans chemin") << "url" << "http://lame" << true;
    QTest::newRow("URL: port 0") << "url" << "http://lame:0/sync" << false;
    QTest::newRow("URL: blanc") << "url" << "http://lame/sync lame" << false;
    QTest::newRow("URL: guillemet") << "url" << "http://lame/\"x" << false;
    QTest::newRow("URL: requête") << "url" << "http://lame/sync?x=1" << false;
    QTest::newRow("URL: remontée") << "url" << "http://lame/../x" << false;
    QTest::newRow("URL: identifiants") << "url" << "http://user:pw@lame/sync" << false;
    QTest::newRow("identifiant: 12") << "id" << "12" << true;
    QTest::newRow("identifiant: point en tête") << "id" << ".12" << false;
    QTest::newRow("identifiant: 51 caractères") << "id" << QString(51, QLatin1Char('1')) << false;
    QTest::newRow("service: IVRO_SHOP.01") << "service" << "IVRO_SHOP.01" << true;
}

void TestMoteur::controles()
{
    QFETCH(QString, genre);
    QFETCH(QString, valeur);
    QFETCH(bool, accepte);
    const QString refus = genre == QLatin1String("hote")  ? RefusHote(valeur)
                          : genre == QLatin1String("url") ? RefusUrl(valeur)
                          : genre == QLatin1String("id")  ? RefusIdentifiant(valeur)
                                                          : RefusNomService(valeur);
    QVERIFY2(refus.isEmpty() == accepte, qPrintable(refus));
}

void TestMoteur::desinstallation_data()
{
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QString>("repertoire");
    QTest::addColumn<QString>("cas");
    QTest::addColumn<QString>("commandes");
    QTest::newRow("Windows: le service nommé, pas IVRO")
        << true << "/Sym/Mag" << ""
        << "ServiceInfo | IVRO-MAG\n"
           "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar @B@\\Sym\\Mag\\Uninstaller\\Uninstaller.jar | @B@\\prog\\ "
           "| montrée\n"
           "RunAsAndWait | sc.exe | delete IVRO-MAG |  | montrée";
    QTest::newRow("Windows: dossier avec un blanc, chemin entre guillemets")
        << true << "/Program Files/Sym" << ""
        << "ServiceInfo | IVRO-MAG\n"
           "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar \"@B@\\Program Files\\Sym\\Uninstaller\\Uninstaller.jar\" "
           "| @B@\\prog\\ | montrée\n"
           "RunAsAndWait | sc.exe | delete IVRO-MAG |  | montrée";
    QTest::newRow("Windows: désinstalleur refusé, service gardé")
        << true << "/Sym/Mag" << "refus"
        << "ServiceInfo | IVRO-MAG\n"
           "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar @B@\\Sym\\Mag\\Uninstaller\\Uninstaller.jar | @B@\\prog\\ "
           "| montrée";
    QTest::newRow("Windows: sc.exe en échec")
        << true << "/Sym/Mag" << "sc"
        << "ServiceInfo | IVRO-MAG\n"
           "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar @B@\\Sym\\Mag\\Uninstaller\\Uninstaller.jar | @B@\\prog\\ "
           "| montrée\n"
           "RunAsAndWait | sc.exe | delete IVRO-MAG |  | montrée";
    QTest::newRow("service absent: rien n'est lancé") << true << "/Sym/Mag" << "absent" << "ServiceInfo | IVRO-MAG";
    QTest::newRow("POSIX")
        << false << "/Sym/Mag" << ""
        << "ServiceInfo | IVRO-MAG\n"
           "RunAsAndWait | /usr/lib/jvm/jre/bin/java | -jar @B@/Sym/Mag/Uninstaller/Uninstaller.jar | @B@/prog/ | "
           "montrée\n"
           "RunAsAndWait | systemctl | disable --now IVRO-MAG |  | montrée";
    QTest::newRow("POSIX: systemctl en échec")
        << false << "/Sym/Mag" << "systemctl"
        << "ServiceInfo | IVRO-MAG\n"
           "RunAsAndWait | /usr/lib/jvm/jre/bin/java | -jar @B@/Sym/Mag/Uninstaller/Uninstaller.jar | @B@/prog/ | "
           "montrée\n"
           "RunAsAndWait | systemctl | disable --now IVRO-MAG |  | montrée";
}

void TestMoteur::desinstallation()
{
    QFETCH(bool, windows);
    QFETCH(QString, repertoire);
    QFETCH(QString, cas);
    QFETCH(QString, commandes);
    TInstallSite site(FDataMod, windows, false, QByteArray(), QByteArray());
    site.Sym.Repertoire = site.P(repertoire);
    site.Write(repertoire.mid(1) + QStringLiteral("/Uninstaller/Uninstaller.jar"), "uninstaller stand-in");
    TInfoSurService service;
    service.Exist = true;
    if (cas != QLatin1String("absent"))
        site.Recorder->Services.insert(site.Sym.Nom, service);
    if (cas == QLatin1String("refus"))
        site.Recorder->Refused << (windows ? QStringLiteral("C:\\Java\\jre8\\bin\\javaw")
                                           : QStringLiteral("/usr/lib/jvm/jre/bin/java"));
    if (cas == QLatin1String("sc"))
        site.Recorder->ExitCodes.insert(QStringLiteral("sc.exe"), 1060);
    if (cas == QLatin1String("systemctl"))
        site.Recorder->ExitCodes.insert(QStringLiteral("systemctl"), 5);
    const QString avant = QDir::currentPath();
    QString message;
    try {
        QVERIFY(FDataMod.Moteur.DesInstallationSymmetricDS(site.Sym));
    } catch (const EDbError &e) {
        message = e.Message();
    }
    const QString apres = QDir::currentPath();
    QDir::setCurrent(avant);
    QCOMPARE(site.Recorder->Log, site.Lines(commandes));
    if (cas.isEmpty()) {
        QCOMPARE(apres, QDir(site.B + QStringLiteral("/prog")).absolutePath());
        return;
    }
    QVERIFY2(cas == QLatin1String("absent") ? message.contains(QStringLiteral("rien n'a été fait"))
                                            : message.contains(QStringLiteral("« suppression du service »"))
                                                  || message.contains(QStringLiteral("« désinstalleur du moteur »")),
             qPrintable(message));
    if (cas == QLatin1String("sc"))
        QVERIFY2(message.contains(QStringLiteral("code de sortie 1060")) &&
                     message.contains(QStringLiteral("Déjà fait, resté en place : moteur désinstallé")),
                 qPrintable(message));
}

// Files that run as root come from a folder nobody else can change: the
// engine's folder, or one above it, that another account may write, rename
// or own is refused before anything runs, and a program planted by
// another account in a sound folder is refused just before it would run.
void TestMoteur::dossierOuvertAUnAutreCompte_data()
{
    QTest::addColumn<bool>("installation");
    QTest::addColumn<QString>("montage");
    QTest::addColumn<QString>("refus");
    QTest::addColumn<QString>("lance"); // the one program run before the refusal, or empty
    QTest::newRow("installation: dossier d'un autre compte")
        << true << "dossier-nobody" << "Sym/Mag\" appartient au compte « nobody »" << "";
    QTest::newRow("installation: dossier ouvert à tous")
        << true << "dossier-777" << "Sym/Mag\" (propriétaire « root », droits 0777) peut être modifié par tous" << "";
    QTest::newRow("installation: parent d'un autre compte") << true << "parent-nobody" << "appartient au compte « nobody »"
                                                            << "";
    QTest::newRow("installation: parent ouvert à tous") << true << "parent-777" << "Sym\" (propriétaire « root », droits 0777)"
                                                        << "";
    QTest::newRow("installation: lien au-dessus du dossier") << true << "parent-lien" << "Sym\" est un lien" << "";
    QTest::newRow("installation: script du service planté")
        << true << "script-nobody" << "« enregistrement du service » : lancement refusé" << "setup.jar";
    QTest::newRow("désinstallation: dossier ouvert à tous") << false << "dossier-777" << "peut être modifié par tous"
                                                             << "";
    QTest::newRow("désinstallation: désinstalleur d'un autre compte")
        << false << "desinstalleur-nobody" << "Uninstaller.jar\" appartient au compte « nobody »" << "";
}

void TestMoteur::dossierOuvertAUnAutreCompte()
{
    QFETCH(bool, installation);
    QFETCH(QString, montage);
    QFETCH(QString, refus);
    QFETCH(QString, lance);
    const passwd *nobody = ::getpwnam("nobody");
    if (montage.endsWith(QLatin1String("nobody")) && (::geteuid() != 0 || !nobody))
        QSKIP("a file can be given to another account by root only");
    TInstallSite site(FDataMod, false, false, Lf(SetenvSh), Lf(ConfSansOption));
    const QString sym = site.B + QStringLiteral("/Sym");
    const QString mag = sym + QStringLiteral("/Mag");
    // What another account left there: a script that must never run.
    site.Write(QStringLiteral("Sym/Mag/bin/sym_service"), "#!/bin/sh\nid > /tmp/planted\n");
    site.Write(QStringLiteral("Sym/Mag/Uninstaller/Uninstaller.jar"), "planted");
    const auto own = [&](const QString &aPath) {
        QVERIFY(::lchown(QFile::encodeName(aPath).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
    };
    if (montage == QLatin1String("dossier-nobody"))
        own(mag);
    if (montage == QLatin1String("parent-nobody"))
        own(sym);
    if (montage == QLatin1String("script-nobody"))
        own(mag + QStringLiteral("/bin/sym_service"));
    if (montage == QLatin1String("desinstalleur-nobody"))
        own(mag + QStringLiteral("/Uninstaller/Uninstaller.jar"));
    if (montage == QLatin1String("dossier-777"))
        QVERIFY(::chmod(QFile::encodeName(mag).constData(), 0777) == 0);
    if (montage == QLatin1String("parent-777"))
        QVERIFY(::chmod(QFile::encodeName(sym).constData(), 0777) == 0);
    if (montage == QLatin1String("parent-lien")) {
        QVERIFY(QDir().rename(sym, site.B + QStringLiteral("/ailleurs")));
        QVERIFY(QFile::link(site.B + QStringLiteral("/ailleurs"), sym));
    }
    TInfoSurService service;
    service.Exist = true;
    site.Recorder->Services.insert(site.Sym.Nom, service);

    QString message;
    try {
        if (installation)
            FDataMod.Moteur.InstallationSymmetricDS(site.Sym, false);
        else
            FDataMod.Moteur.DesInstallationSymmetricDS(site.Sym);
        QFAIL("accepted");
    } catch (const EDbError &e) {
        message = e.Message();
    }
    QVERIFY2(message.contains(refus), qPrintable(message));
    const QStringList runs = site.Recorder->Log.filter(QStringLiteral("RunAsAndWait"));
    QCOMPARE(runs.size(), lance.isEmpty() ? 0 : 1);
    if (!lance.isEmpty())
        QVERIFY2(runs.first().contains(lance), qPrintable(runs.first()));
}

QTEST_GUILESS_MAIN(TestMoteur)
#include "tst_moteur.moc"
