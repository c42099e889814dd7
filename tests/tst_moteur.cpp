#include "EngineRecorder.h"

#include "common/UWMI.h"
#include "data/uDataMod.h"
#include "db/DbError.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

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
    TEngineRecorder *Recorder = nullptr;
    TSymmetricDS Sym;
    bool Windows;

    TInstallSite(TDataMod &aDataMod, bool aWindows, bool aLame, const QByteArray &aSetenv, const QByteArray &aConf)
        : B(Dir.path()), Windows(aWindows)
    {
        auto recorder = std::make_unique<TEngineRecorder>(aWindows);
        Recorder = recorder.get();
        aDataMod.SetEngineSystem(std::move(recorder));

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

        Recorder->EngineFiles = {
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
    void initTestCase();
    void cleanupTestCase() { DataMod = nullptr; }

    void installation_data();
    void installation();
    void wrapperConf_data();
    void wrapperConf();
    void dossierInterBase_data();
    void dossierInterBase();
    void echecs_data();
    void echecs();
    void desinstallation_data();
    void desinstallation();

private:
    std::unique_ptr<TDataMod> FDataMod;
};

void TestMoteur::initTestCase()
{
    Q_INIT_RESOURCE(resources);
    FDataMod = std::make_unique<TDataMod>();
    DataMod = FDataMod.get();
}

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
    // Nothing matches with the carriage returns kept: ours comes first.
    const QByteArray setenvCrLfAttendu = "set SYM_JAVA=C:\\Java\\jre8\\bin\\java\n" + CrLf(SetenvBat);
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
               "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar @B@\\Sym\\Lame\\symmetric-pro-3.7.36-setup.jar "
               "@B@\\Sym\\Lame\\master-autoinstall.xml | @B@\\Sym\\Lame | montrée\n"
               "RunAsAndWait | @B@\\Sym\\Lame\\bin\\sym_service.bat | install | @B@\\Sym\\Lame\\bin\\ | montrée\n"
               "RunAsAndWait | C:\\windows\\system32\\sc.exe | config IVRO-LAME start= demand | "
               "C:\\windows\\system32\\ | montrée\n"
               "ServiceInfo | IBS_gds_db\n"
               "CopyFile | @B@\\Sym\\Lame\\databases\\interbase\\sym_udf.dll | @B@\\InterBase\\bin\\..\\UDF\\sym_udf.dll\n"
               "CopyFile | @B@\\InterBase\\bin\\..\\SDK\\lib\\interclient.jar | @B@\\Sym\\Lame\\lib\\interclient.jar\n"
               "RunHidden | sc.exe | sdset IVRO-LAME ") + Acl + QStringLiteral("\n"
               "RunHidden | netsh.exe | advfirewall firewall add rule name=\"IVRO-LAME\" dir=in action=allow "
               "protocol=TCP localport=31415-31418\n"
               "StartService | IVRO-LAME")
        << 0;
    QTest::newRow("Windows, magasin, setenv.bat en CR LF, sans option")
        << true << false << CrLf(SetenvBat) << setenvCrLfAttendu << CrLf(ConfSansOption) << confMagAttendue
        << QStringLiteral(
               "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar @B@\\Sym\\Mag\\symmetric-pro-3.7.36-setup.jar "
               "@B@\\Sym\\Mag\\master-autoinstall.xml | @B@\\Sym\\Mag | montrée\n"
               "RunAsAndWait | @B@\\Sym\\Mag\\bin\\sym_service.bat | install | @B@\\Sym\\Mag\\bin\\ | montrée\n"
               "ServiceInfo | IBS_gds_db\n"
               "CopyFile | @B@\\Sym\\Mag\\databases\\interbase\\sym_udf.dll | @B@\\InterBase\\bin\\..\\UDF\\sym_udf.dll\n"
               "CopyFile | @B@\\InterBase\\bin\\..\\SDK\\lib\\interclient.jar | @B@\\Sym\\Mag\\lib\\interclient.jar\n"
               "RunHidden | sc.exe | sdset IVRO-MAG ") + Acl + QStringLiteral("\n"
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
               "RunAsAndWait | /usr/lib/jvm/jre/bin/java | -jar @B@/Sym/Lame/symmetric-pro-3.7.36-setup.jar "
               "@B@/Sym/Lame/master-autoinstall.xml | @B@/Sym/Lame | montrée\n"
               "RunAsAndWait | @B@/Sym/Lame/bin/sym_service | install | @B@/Sym/Lame/bin/ | montrée\n"
               "RunAsAndWait | systemctl | disable IVRO-LAME |  | montrée\n"
               "ServiceInfo | IBS_gds_db\n"
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
               "RunAsAndWait | /usr/lib/jvm/jre/bin/java | -jar @B@/Sym/Mag/symmetric-pro-3.7.36-setup.jar "
               "@B@/Sym/Mag/master-autoinstall.xml | @B@/Sym/Mag | montrée\n"
               "RunAsAndWait | @B@/Sym/Mag/bin/sym_service | install | @B@/Sym/Mag/bin/ | montrée\n"
               "ServiceInfo | IBS_gds_db\n"
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

    TInstallSite site(*FDataMod, windows, lame, setenv, conf);
    QVERIFY(FDataMod->InstallationSymmetricDS(site.Sym, true));
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
    const QStringList notes = FDataMod->PrendEtapesNonExecutees();
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
    // A gap in the numbering ends the count; the file's own encoding is kept.
    QTest::newRow("options 1 et 3, UTF-8 avec BOM, LF")
        << QByteArray("\xEF\xBB\xBFwrapper.java.additional.1=-Da=\xC3\xA9\nwrapper.java.additional.3=-Db\nwrapper.x=1\n"
                      "wrapper.y=2\n")
        << QByteArray("\xEF\xBB\xBFwrapper.java.additional.1=-Da=\xC3\xA9\r\nwrapper.java.additional.3=-Db\r\n"
                      "wrapper.java.additional.2=-Dfile.encoding=ISO8859_15\r\n"
                      "wrapper.java.additional.3=-XX:-UseGCOverheadLimit\r\n"
                      "wrapper.x=1\r\nwrapper.y=2\r\nwrapper.java.initmemory=2048\r\nwrapper.java.maxmemory=2048\r\n");
}

void TestMoteur::wrapperConf()
{
    QFETCH(QByteArray, conf);
    QFETCH(QByteArray, attendue);
    TInstallSite site(*FDataMod, false, false, Lf(SetenvSh), conf);
    QVERIFY(FDataMod->InstallationSymmetricDS(site.Sym, false));
    QCOMPARE(site.Read(site.Engine(QStringLiteral("conf/sym_service.conf"))), attendue);
    FDataMod->PrendEtapesNonExecutees();
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
    TInstallSite site(*FDataMod, true, false, Lf(SetenvBat), CrLf(ConfSansOption));
    site.Recorder->Services[QStringLiteral("IBS_gds_db")].BinaryPathName = ligneDeCommande.replace("@B@", site.B);
    dossier.replace("@B@", site.B);
    QDir().mkpath(site.Recorder->Local(dossier));
    // Where the library and the driver are taken from tells the folder found.
    FDataMod->InstallationSymmetricDS(site.Sym, false);
    QVERIFY(site.Recorder->Log.contains(QStringLiteral("CopyFile | %1 | %2\\..\\UDF\\sym_udf.dll")
                                            .arg(site.P(QStringLiteral("/Sym/Mag/databases/interbase/sym_udf.dll")),
                                                 dossier)));
    QVERIFY(site.Recorder->Log.contains(QStringLiteral("CopyFile | %1\\..\\SDK\\lib\\interclient.jar | %2")
                                            .arg(dossier, site.P(QStringLiteral("/Sym/Mag/lib/interclient.jar")))));
}

void TestMoteur::echecs_data()
{
    QTest::addColumn<QString>("cas");
    QTest::addColumn<int>("resultat"); // 0 false, 1 true, 2 raised
    QTest::addColumn<int>("commandes"); // number of recorded calls
    QTest::newRow("copie de l'installateur déjà là") << "copie" << 0 << 0;
    QTest::newRow("pas d'installateur à côté du programme") << "installateur" << 0 << 0;
    QTest::newRow("installateur refusé") << "java" << 0 << 1;
    QTest::newRow("script de service refusé") << "service" << 0 << 2;
    QTest::newRow("setenv.bat absent") << "setenv" << 2 << 1;
    QTest::newRow("pas de service IBS_gds_db") << "ib" << 2 << 3;
    QTest::newRow("ligne de commande du serveur vide") << "ibvide" << 2 << 3;
    QTest::newRow("copie de la bibliothèque refusée") << "copie-udf" << 0 << 4;
    QTest::newRow("bibliothèque déjà là, non remplacée") << "udf" << 1 << 6;
    QTest::newRow("pas de pilote JDBC") << "pilote" << 0 << 5;
    QTest::newRow("démarrage qui lève") << "demarrage" << 0 << 7;
}

void TestMoteur::echecs()
{
    QFETCH(QString, cas);
    QFETCH(int, resultat);
    QFETCH(int, commandes);
    TInstallSite site(*FDataMod, true, false, Lf(SetenvBat), CrLf(ConfSansOption));
    TEngineRecorder &rec = *site.Recorder;
    if (cas == QLatin1String("copie"))
        site.Write(QStringLiteral("Sym/Mag/symmetric-pro-3.7.36-setup.jar"), "earlier copy");
    if (cas == QLatin1String("installateur"))
        QFile::remove(site.B + QStringLiteral("/prog/symmetric-pro-3.7.36-setup.jar"));
    if (cas == QLatin1String("java"))
        rec.Refused << QStringLiteral("C:\\Java\\jre8\\bin\\javaw");
    if (cas == QLatin1String("service"))
        rec.Refused << site.P(QStringLiteral("/Sym/Mag/bin/sym_service.bat"));
    if (cas == QLatin1String("setenv"))
        rec.EngineFiles.remove(QStringLiteral("bin/setenv.bat"));
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
    if (cas == QLatin1String("demarrage"))
        rec.StartThrows = true;

    int obtenu = -1;
    QString message;
    try {
        obtenu = FDataMod->InstallationSymmetricDS(site.Sym, true) ? 1 : 0;
    } catch (const EDbError &e) {
        obtenu = 2;
        message = e.Message();
    }
    QCOMPARE(obtenu, resultat);
    QCOMPARE(rec.Log.size(), commandes);
    if (cas.startsWith(QLatin1String("ib")))
        QVERIFY2(message.startsWith(QStringLiteral("Installation interrompue : ")) &&
                     message.contains(QLatin1String("IBS_gds_db")),
                 qPrintable(message));
    if (cas == QLatin1String("ib"))
        QVERIFY(message.endsWith(QStringLiteral("Le service \"IBS_gds_db\" n’existe pas.")));
    if (cas == QLatin1String("udf"))
        QCOMPARE(site.Read(site.B + QStringLiteral("/InterBase/UDF/sym_udf.dll")), QByteArray("the server's own"));
    if (cas == QLatin1String("copie"))
        QCOMPARE(site.Read(site.Engine(QStringLiteral("master-autoinstall.xml"))), QByteArray("<absent>"));
    FDataMod->PrendEtapesNonExecutees();
}

void TestMoteur::desinstallation_data()
{
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QString>("repertoire");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<QString>("commandes");
    QTest::newRow("Windows: le service nommé, pas IVRO")
        << true << "/Sym/Mag" << false
        << "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar @B@\\Sym\\Mag\\Uninstaller\\Uninstaller.jar | @B@\\prog\\ "
           "| montrée\n"
           "RunAsAndWait | sc.exe | delete IVRO-MAG |  | montrée";
    QTest::newRow("Windows: dossier avec un blanc, chemin entre guillemets")
        << true << "/Program Files/Sym" << false
        << "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar \"@B@\\Program Files\\Sym\\Uninstaller\\Uninstaller.jar\" "
           "| @B@\\prog\\ | montrée\n"
           "RunAsAndWait | sc.exe | delete IVRO-MAG |  | montrée";
    QTest::newRow("Windows: désinstalleur refusé, service gardé")
        << true << "/Sym/Mag" << true
        << "RunAsAndWait | C:\\Java\\jre8\\bin\\javaw | -jar @B@\\Sym\\Mag\\Uninstaller\\Uninstaller.jar | @B@\\prog\\ "
           "| montrée";
    QTest::newRow("POSIX")
        << false << "/Sym/Mag" << false
        << "RunAsAndWait | /usr/lib/jvm/jre/bin/java | -jar @B@/Sym/Mag/Uninstaller/Uninstaller.jar | @B@/prog/ | "
           "montrée\n"
           "RunAsAndWait | systemctl | disable --now IVRO-MAG |  | montrée";
}

void TestMoteur::desinstallation()
{
    QFETCH(bool, windows);
    QFETCH(QString, repertoire);
    QFETCH(bool, refuse);
    QFETCH(QString, commandes);
    TInstallSite site(*FDataMod, windows, false, QByteArray(), QByteArray());
    site.Sym.Repertoire = site.P(repertoire);
    if (refuse)
        site.Recorder->Refused << (windows ? QStringLiteral("C:\\Java\\jre8\\bin\\javaw")
                                           : QStringLiteral("/usr/lib/jvm/jre/bin/java"));
    const QString avant = QDir::currentPath();
    QCOMPARE(FDataMod->DesInstallationSymmetricDS(site.Sym), !refuse);
    QCOMPARE(QDir::currentPath(), QDir(site.B + QStringLiteral("/prog")).absolutePath());
    QDir::setCurrent(avant);
    QCOMPARE(site.Recorder->Log, site.Lines(commandes));
}

QTEST_GUILESS_MAIN(TestMoteur)
#include "tst_moteur.moc"
