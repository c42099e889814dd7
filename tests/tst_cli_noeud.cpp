#include "CliRun.h"
#include "testdb/IdentityFixture.h"
#include "testdb/TestDatabase.h"

#include "db/DbQuery.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace IdentityFixture;

namespace {

// A Java folder whose program exists: the commands look for it first.
QString FakeJava(const QTemporaryDir &aDir)
{
    const QString java = aDir.filePath(QStringLiteral("jre"));
    QDir().mkpath(java + QStringLiteral("/bin"));
    QFile program(java + QStringLiteral("/bin/java"));
    if (program.open(QIODevice::WriteOnly))
        program.write("#!/bin/sh\nexit 0\n");
    program.close();
    program.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return java;
}

} // namespace

class TestCliNoeud : public QObject
{
    Q_OBJECT

private slots:
    void ouvertureBase();
    void installeMaitre();
    void installeMaitreInterrompue();
    void installeMaitreVerrou();
    void installeBaseNomRefuse();
    void moteurUsage_data();
    void moteurUsage();
    void valeursRefusees_data();
    void valeursRefusees();
    void dossierRelatif();
};

void TestCliNoeud::ouvertureBase()
{
    TTestDatabase db;
    AddSites(db);
    TCliRun r = RunCli({QStringLiteral("ouverture-base"), db.Path(), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    const QJsonObject infos = QJsonDocument::fromJson(r.Out.toUtf8()).object();
    QCOMPARE(infos.value(QStringLiteral("nom")).toString(), QStringLiteral("dossier test"));
    QCOMPARE(infos.value(QStringLiteral("isok")).toBool(), true);
    QCOMPARE(infos.value(QStringLiteral("bas_ident")).toInt(), 12);
    QCOMPARE(infos.value(QStringLiteral("list_bases")).toArray().size(), 4);
    QCOMPARE(infos.value(QStringLiteral("list_bases")).toArray().at(1).toObject().value(QStringLiteral("sym_node")),
             QJsonValue(QStringLiteral("p-s")));

    // What could be read is shown; the exit code says it is incomplete.
    db.Exec(QStringLiteral("UPDATE GENBASES SET BAS_IDENT = '99' WHERE BAS_IDENT = '0'")); // no site 0
    r = RunCli({QStringLiteral("ouverture-base"), db.Path()});
    QCOMPARE(r.Code, 1);
    QVERIFY(r.Out.contains(QStringLiteral("Identité lue")));
    QVERIFY2(r.Err.startsWith(QStringLiteral("Erreur : Identité de la base incomplète")), qPrintable(r.Err));
    // A database out of reach is a failure before anything is read.
    r = RunCli({QStringLiteral("ouverture-base"), QStringLiteral("/nulle/part.fdb")});
    QCOMPARE(r.Code, 1);
    QVERIFY(r.Out.isEmpty());
}

void TestCliNoeud::installeMaitre()
{
    TTestDatabase db;
    AddSites(db);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
    const QStringList args{QStringLiteral("installe-maitre"), db.Path(), QStringLiteral("--repertoire"), dir.path(),
                           QStringLiteral("--port-http"), QStringLiteral("30421"), QStringLiteral("--hote"),
                           QStringLiteral("srv-lame")};

    TCliRun r = RunCli(args + QStringList{QStringLiteral("--nom"), QStringLiteral("Lame")});
    QCOMPARE(r.Code, 2); // no terminal to confirm: a misuse
    QVERIFY2(r.Err.contains(QLatin1String("Confirmation requise")), qPrintable(r.Err));
    // The dossier's name read from the database holds a blank.
    r = RunCli(args + QStringList{QStringLiteral("--oui")});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("Nom de noeud refusé : \"dossier test\"")), qPrintable(r.Err));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());

    // The same refusal for a name given by --nom is a misuse.
    r = RunCli(args + QStringList{QStringLiteral("--nom"), QStringLiteral("la me"), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 2);
    QVERIFY2(r.Err.contains(QStringLiteral("Nom de noeud refusé : \"la me\"")), qPrintable(r.Err));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());

    r = RunCli(args + QStringList{QStringLiteral("--nom"), QStringLiteral("Lame"), QStringLiteral("--oui"),
                                  QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    QCOMPARE(QJsonDocument::fromJson(r.Out.toUtf8()).object().value(QStringLiteral("noeud")).toString(),
             QStringLiteral("lame"));
    QVERIFY(QFile::exists(dir.path() + QStringLiteral("/master-lame.sql")));
    QVERIFY(QFile::exists(dir.path() + QStringLiteral("/engines/lame.properties")));
    QCOMPARE(db.Rows(QStringLiteral("SELECT PRM_STRING FROM GENPARAM WHERE PRM_TYPE=80 AND PRM_CODE=1")),
             QStringList{QStringLiteral("http://srv-lame:30421/sync/lame")});
}

// Ctrl-C while the central node's configuration waits for the database
// (its address row locked by another transaction): the files it had
// written are put back, and it says what stays done and what does not.
void TestCliNoeud::installeMaitreInterrompue()
{
    TTestDatabase db;
    AddSites(db);
    QTemporaryDir dir;
    const QString engines = dir.path() + QStringLiteral("/engines");
    QVERIFY(QDir().mkpath(engines));
    const QStringList args{QStringLiteral("installe-maitre"), db.Path(), QStringLiteral("--repertoire"), dir.path(),
                           QStringLiteral("--hote"), QStringLiteral("srv-lame"), QStringLiteral("--nom"),
                           QStringLiteral("Lame"), QStringLiteral("--oui"), QStringLiteral("--port-http")};
    QCOMPARE(RunCli(args + QStringList{QStringLiteral("30421")}).Code, 0);
    const QString script = dir.path() + QStringLiteral("/master-lame.sql");
    const QString properties = engines + QStringLiteral("/lame.properties");
    const QString modele = dir.path() + QStringLiteral("/master-v15.sql");
    for (const QString &f : {script, properties}) {
        QFile file(f);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("avant\n");
    }
    QVERIFY(QFile::remove(modele));
    const QStringList avant = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    auto verrou = db.Connect();
    verrou->StartTransaction();
    TDbQuery update(verrou.get());
    update.SQL() << QStringLiteral("UPDATE GENPARAM SET PRM_STRING = PRM_STRING WHERE PRM_TYPE=80 AND PRM_CODE=1");
    update.ExecSQL();

    QProcess p;
    p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
    p.setArguments(args + QStringList{QStringLiteral("30422")});
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    QVERIFY(p.waitForStarted());
    // The properties come last before the database.
    QElapsedTimer clock;
    clock.start();
    const auto lit = [](const QString &aPath) {
        QFile file(aPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    while (p.state() == QProcess::Running && lit(properties) == "avant\n" && clock.elapsed() < 8000)
        QTest::qWait(5);
    QTest::qWait(200);
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(60000));
    verrou->Rollback();
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 130);
    QVERIFY2(err.contains(QStringLiteral("à la demande de l'opérateur"))
                 && err.contains(QStringLiteral("remis dans leur état d'avant"))
                 && err.trimmed().endsWith(QStringLiteral("Commande interrompue.")),
             qPrintable(err));
    QCOMPARE(lit(script), QByteArray("avant\n"));
    QCOMPARE(lit(properties), QByteArray("avant\n"));
    QVERIFY(!QFile::exists(modele));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), avant);
    QCOMPARE(QDir(engines).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("lame.properties")});
    QCOMPARE(db.Rows(QStringLiteral("SELECT PRM_STRING FROM GENPARAM WHERE PRM_TYPE=80 AND PRM_CODE=1")),
             QStringList{QStringLiteral("http://srv-lame:30421/sync/lame")});
}

// The address row locked by another program for the whole wait: the
// operator reads the French sentence for it before the server's own text,
// and the files written are put back.
void TestCliNoeud::installeMaitreVerrou()
{
    TTestDatabase db;
    AddSites(db);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
    const QStringList args{QStringLiteral("installe-maitre"), db.Path(), QStringLiteral("--repertoire"), dir.path(),
                           QStringLiteral("--hote"), QStringLiteral("srv-lame"), QStringLiteral("--nom"),
                           QStringLiteral("Lame"), QStringLiteral("--oui"), QStringLiteral("--port-http")};
    QCOMPARE(RunCli(args + QStringList{QStringLiteral("30421")}).Code, 0);
    QVERIFY(QFile::remove(dir.path() + QStringLiteral("/master-lame.sql")));

    auto verrou = db.Connect();
    verrou->StartTransaction();
    TDbQuery update(verrou.get());
    update.SQL() << QStringLiteral("UPDATE GENPARAM SET PRM_STRING = PRM_STRING WHERE PRM_TYPE=80 AND PRM_CODE=1");
    update.ExecSQL();
    const TCliRun r = RunCli(args + QStringList{QStringLiteral("30422")});
    verrou->Rollback();
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.startsWith(QStringLiteral("Erreur : Des lignes sont verrouillées"))
                 && r.Err.contains(QStringLiteral("\nConfiguration du noeud central interrompue : "))
                 && r.Err.contains(QStringLiteral("remis dans leur état d'avant")),
             qPrintable(r.Err));
    QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/master-lame.sql")));
}

void TestCliNoeud::installeBaseNomRefuse()
{
    TTestDatabase db;
    AddSites(db);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
    const TCliRun r = RunCli({QStringLiteral("installe-base"), db.Path(), QStringLiteral("--service"),
                              QStringLiteral("IVRO-TEST-INEXISTANT"), QStringLiteral("--repertoire"), dir.path(),
                              QStringLiteral("--port-http"), QStringLiteral("31415"), QStringLiteral("--id-externe"),
                              QStringLiteral("12"), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("Nom de noeud refusé")), qPrintable(r.Err));
    QCOMPARE(QDir(dir.path() + QStringLiteral("/engines")).entryList(QDir::Files), QStringList());
}

void TestCliNoeud::moteurUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("erreur");
    const QStringList complet{QStringLiteral("--nom"),   QStringLiteral("IVRO-TEST"), QStringLiteral("--repertoire"),
                              QStringLiteral("@DIR@"),   QStringLiteral("--groupe"),  QStringLiteral("mags"),
                              QStringLiteral("--http"),  QStringLiteral("31415"),     QStringLiteral("--https"),
                              QStringLiteral("31416"),   QStringLiteral("--jmx"),     QStringLiteral("31417"),
                              QStringLiteral("--agent"), QStringLiteral("31418"),     QStringLiteral("--memoire"),
                              QStringLiteral("1024"),    QStringLiteral("--java"),    QStringLiteral("@JAVA@")};
    QTest::newRow("dossier manquant") << QStringList{QStringLiteral("installe-moteur"), QStringLiteral("--nom"),
                                                     QStringLiteral("IVRO")}
                                      << 2 << "Option manquante : --repertoire DOSSIER";
    // Confirmed, so that the values themselves are what is refused.
    const QStringList oui{QStringLiteral("--oui")};
    QStringList groupe = QStringList{QStringLiteral("installe-moteur")} + complet + oui;
    groupe[6] = QStringLiteral("central");
    QTest::newRow("groupe inconnu") << groupe << 2 << "--groupe attend lame (serveur central) ou mags";
    QStringList port = QStringList{QStringLiteral("installe-moteur")} + complet + oui;
    port[8] = QStringLiteral("70000");
    QTest::newRow("port hors limites") << port << 2 << "Port invalide pour --http : \"70000\"";
    QTest::newRow("sans confirmation") << QStringList{QStringLiteral("installe-moteur")} + complet << 2
                                       << "Confirmation requise";
    // No installer beside the program: stopped before any program runs.
    QTest::newRow("pas d'installateur") << QStringList{QStringLiteral("installe-moteur")} + complet +
                                               QStringList{QStringLiteral("--oui")}
                                        << 1 << "Installation interrompue : l'installateur";
    QTest::newRow("désinstallation sans confirmation")
        << QStringList{QStringLiteral("desinstalle-moteur"), QStringLiteral("--nom"), QStringLiteral("IVRO-TEST"),
                       QStringLiteral("--repertoire"), QStringLiteral("@DIR@"), QStringLiteral("--java"),
                       QStringLiteral("@JAVA@")}
        << 2 << "Confirmation requise";
}

void TestCliNoeud::moteurUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, erreur);
    QTemporaryDir dir;
    args.replaceInStrings(QStringLiteral("@DIR@"), dir.path() + QStringLiteral("/Sym"));
    args.replaceInStrings(QStringLiteral("@JAVA@"), FakeJava(dir));
    const TCliRun r = RunCli(args);
    QCOMPARE(r.Code, code);
    QVERIFY2(r.Err.contains(erreur), qPrintable(r.Err));
}

void TestCliNoeud::valeursRefusees_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("option");
    const QStringList moteur{QStringLiteral("installe-moteur"), QStringLiteral("--repertoire"), QStringLiteral("@DIR@"),
                             QStringLiteral("--groupe"), QStringLiteral("mags"), QStringLiteral("--http"),
                             QStringLiteral("31415"), QStringLiteral("--https"), QStringLiteral("31416"),
                             QStringLiteral("--jmx"), QStringLiteral("31417"), QStringLiteral("--agent"),
                             QStringLiteral("31418"), QStringLiteral("--memoire"), QStringLiteral("1024"),
                             QStringLiteral("--java"), QStringLiteral("@JAVA@"), QStringLiteral("--oui")};
    const QStringList nom{QStringLiteral("--nom"), QStringLiteral("IVRO-MAG")};
    const auto with = [](QStringList aArgs, const QString &aOption, const QString &aValue) {
        return aArgs << QStringLiteral("--") + aOption << aValue;
    };
    QTest::newRow("installe-moteur --nom avec un blanc") << with(moteur, "nom", "IVRO-LAME firebird3.0") << "nom";
    QTest::newRow("installe-moteur --nom avec guillemets")
        << with(moteur, "nom", "X\" localport=1-65535 name=\"Y") << "nom";
    QTest::newRow("installe-moteur --nom avec ;") << with(moteur, "nom", "A;B") << "nom";
    QTest::newRow("installe-moteur --nom très long") << with(moteur, "nom", QString(300, QLatin1Char('A'))) << "nom";
    QTest::newRow("installe-moteur --repertoire avec un saut de ligne")
        << (QStringList(moteur).replaceInStrings(QStringLiteral("@DIR@"), QStringLiteral("@DIR@\nx")) + nom)
        << "repertoire";
    QTest::newRow("installe-moteur --java sans programme")
        << (QStringList(moteur).replaceInStrings(QStringLiteral("@JAVA@"), QStringLiteral("@DIR@")) + nom) << "java";
    QTest::newRow("desinstalle-moteur --nom avec un blanc")
        << QStringList{QStringLiteral("desinstalle-moteur"), QStringLiteral("--nom"), QStringLiteral("IVRO-LAME firebird3.0"),
                       QStringLiteral("--repertoire"), QStringLiteral("@DIR@"), QStringLiteral("--java"),
                       QStringLiteral("@JAVA@"), QStringLiteral("--oui")}
        << "nom";
    // The options are checked before the database is opened: none is needed.
    const QStringList maitre{QStringLiteral("installe-maitre"), QStringLiteral("/nulle/part.fdb"),
                             QStringLiteral("--repertoire"), QStringLiteral("@TMP@"), QStringLiteral("--port-http"),
                             QStringLiteral("30421"), QStringLiteral("--oui")};
    QTest::newRow("installe-maitre --hote avec un saut de ligne") << with(maitre, "hote", "h\ndb.password=x") << "hote";
    QTest::newRow("installe-maitre --hote avec */") << with(maitre, "hote", "h */ DELETE FROM K; /*") << "hote";
    QTest::newRow("installe-maitre --hote avec &") << with(maitre, "hote", "a&b") << "hote";
    QTest::newRow("installe-maitre --hote hors Windows-1252") << with(maitre, "hote", "srv-\u4E2D") << "hote";
    QTest::newRow("installe-maitre --ip-publique avec %") << with(maitre, "ip-publique", "10.0.0.1%eth0")
                                                          << "ip-publique";
    QTest::newRow("installe-maitre --repertoire absent")
        << (QStringList(maitre).replaceInStrings(QStringLiteral("@TMP@"), QStringLiteral("@DIR@"))) << "repertoire";
    const QStringList base{QStringLiteral("installe-base"), QStringLiteral("/nulle/part.fdb"),
                           QStringLiteral("--repertoire"), QStringLiteral("@TMP@"), QStringLiteral("--port-http"),
                           QStringLiteral("31415"), QStringLiteral("--oui")};
    const QStringList service{QStringLiteral("--service"), QStringLiteral("IVRO-MAG")};
    const QStringList id{QStringLiteral("--id-externe"), QStringLiteral("12")};
    QTest::newRow("installe-base --id-externe avec un saut de ligne")
        << with(base + service, "id-externe", "12\ndb.password=x") << "id-externe";
    QTest::newRow("installe-base --id-externe avec /") << with(base + service, "id-externe", "../../etc/x")
                                                       << "id-externe";
    QTest::newRow("installe-base --url-enregistrement avec un saut de ligne")
        << with(base + service + id, "url-enregistrement", "http://lame:31415/sync/x\ndb.user=x")
        << "url-enregistrement";
    QTest::newRow("installe-base --url-enregistrement avec */")
        << with(base + service + id, "url-enregistrement", "http://lame:31415/*/x") << "url-enregistrement";
    QTest::newRow("installe-base --url-enregistrement en ftp")
        << with(base + service + id, "url-enregistrement", "ftp://lame/x") << "url-enregistrement";
    QTest::newRow("installe-base --service avec un blanc") << with(base + id, "service", "IVRO MAG") << "service";
}

// Each refused with exit 2, the option named, before anything is done.
void TestCliNoeud::valeursRefusees()
{
    QFETCH(QStringList, args);
    QFETCH(QString, option);
    QTemporaryDir dir;
    args.replaceInStrings(QStringLiteral("@DIR@"), dir.path() + QStringLiteral("/Sym"));
    args.replaceInStrings(QStringLiteral("@TMP@"), dir.path());
    args.replaceInStrings(QStringLiteral("@JAVA@"), FakeJava(dir));
    const TCliRun r = RunCli(args);
    QCOMPARE(r.Code, 2);
    QVERIFY2(r.Err.contains(QStringLiteral("Valeur refusée pour --%1").arg(option)), qPrintable(r.Err));
    // A blank can't be seen between the quotes: it is named.
    if (QString::fromUtf8(QTest::currentDataTag()).contains(QStringLiteral("avec un blanc")))
        QVERIFY2(r.Err.contains(QStringLiteral("caractère « espace » refusé")), qPrintable(r.Err));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("jre")});
}

// A relative folder is taken from where the command is run, not from where
// the engine's tools run.
void TestCliNoeud::dossierRelatif()
{
    QTemporaryDir dir;
    const QString avant = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const TCliRun r = RunCli({QStringLiteral("desinstalle-moteur"), QStringLiteral("--nom"), QStringLiteral("IVRO-MAG"),
                              QStringLiteral("--repertoire"), QStringLiteral("eng-rel"), QStringLiteral("--java"),
                              FakeJava(dir), QStringLiteral("--oui")});
    QDir::setCurrent(avant);
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("\"%1/eng-rel/Uninstaller/Uninstaller.jar\" est absent").arg(dir.path())),
             qPrintable(r.Err));
}

QTEST_GUILESS_MAIN(TestCliNoeud)
#include "tst_cli_noeud.moc"
