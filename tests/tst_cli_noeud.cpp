#include "CliRun.h"
#include "testdb/IdentityFixture.h"
#include "testdb/TestDatabase.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace IdentityFixture;

class TestCliNoeud : public QObject
{
    Q_OBJECT

private slots:
    void ouvertureBase();
    void installeMaitre();
    void installeBaseNomRefuse();
    void moteurUsage_data();
    void moteurUsage();
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
                              QStringLiteral("1024"),    QStringLiteral("--java"),    QStringLiteral("/usr/lib/jvm/jre")};
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
                                        << 1 << "Échec de l'installation";
    QTest::newRow("désinstallation sans confirmation")
        << QStringList{QStringLiteral("desinstalle-moteur"), QStringLiteral("--nom"), QStringLiteral("IVRO-TEST"),
                       QStringLiteral("--repertoire"), QStringLiteral("@DIR@"), QStringLiteral("--java"),
                       QStringLiteral("/usr/lib/jvm/jre")}
        << 2 << "Confirmation requise";
}

void TestCliNoeud::moteurUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, erreur);
    QTemporaryDir dir;
    args.replaceInStrings(QStringLiteral("@DIR@"), dir.path() + QStringLiteral("/Sym"));
    const TCliRun r = RunCli(args);
    QCOMPARE(r.Code, code);
    QVERIFY2(r.Err.contains(erreur), qPrintable(r.Err));
}

QTEST_GUILESS_MAIN(TestCliNoeud)
#include "tst_cli_noeud.moc"
