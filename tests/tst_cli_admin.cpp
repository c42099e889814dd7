#include "CliRun.h"
#include "testdb/IdentityFixture.h"
#include "testdb/TestDatabase.h"
#include "db/DbConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace IdentityFixture;

namespace {

using TRun = TCliRun;

QJsonDocument json(const TRun &aRun)
{
    return QJsonDocument::fromJson(aRun.Out.toUtf8());
}

} // namespace

class TestCliAdmin : public QObject
{
    Q_OBJECT

private slots:
    void etatNoeud();
    void identite();
    void replication();
    void environnement();
    void clientCharge();
    void cheminRelatif_data();
    void cheminRelatif();
};

void TestCliAdmin::etatNoeud()
{
    TTestDatabase db;
    db.Exec(QStringLiteral("INSERT INTO SYM_NODE (NODE_ID, NODE_GROUP_ID, EXTERNAL_ID, SYNC_ENABLED, SYNC_URL) "
                           "VALUES ('mag-001', 'mags', 'mag-001', 1, 'http://mag1/sync')"));
    db.Exec(QStringLiteral("INSERT INTO SYM_NODE_SECURITY (NODE_ID, NODE_PASSWORD) VALUES ('mag-001', 'x')"));
    db.Exec(QStringLiteral("INSERT INTO SYM_PARAMETER (EXTERNAL_ID, NODE_GROUP_ID, PARAM_KEY, PARAM_VALUE) "
                           "VALUES ('mag-001', 'mags', 'node.offline', 'true')"));

    TRun r = RunCli({QStringLiteral("etat-noeud"), db.Path(), QStringLiteral("mag-001"), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    const QJsonObject etat = json(r).object();
    QCOMPARE(etat.value(QStringLiteral("sync_enabled")).toInt(), 1);
    QCOMPARE(etat.value(QStringLiteral("sync_url")).toString(), QStringLiteral("http://mag1/sync"));
    QCOMPARE(etat.value(QStringLiteral("sync_mod")).toInt(), 2);

    r = RunCli({QStringLiteral("etat-noeud"), db.Path(), QStringLiteral("mag-001")});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(QLatin1String("hors ligne (2)")), qPrintable(r.Out));

    // The mode is named for what it reflects, beside the heartbeat's age.
    QVERIFY2(r.Out.contains(QStringLiteral("Mode déclaré (paramètre node.offline)")), qPrintable(r.Out));
    QVERIFY2(r.Out.contains(QStringLiteral("Âge du dernier heartbeat")) && r.Out.contains(QStringLiteral("jamais reçu")),
             qPrintable(r.Out));

    // Known from SYM_NODE alone, as noeuds lists it (a shop has no security
    // row for the central server).
    db.Exec(QStringLiteral("INSERT INTO SYM_NODE (NODE_ID, NODE_GROUP_ID, EXTERNAL_ID, SYNC_ENABLED) "
                           "VALUES ('serveur', 'lame', 'serveur', 1)"));
    db.Exec(QStringLiteral("INSERT INTO SYM_NODE_HOST (NODE_ID, HOST_NAME, HEARTBEAT_TIME, LAST_RESTART_TIME, "
                           "CREATE_TIME) VALUES ('serveur', 'h', CURRENT_TIMESTAMP - 3, CURRENT_TIMESTAMP, "
                           "CURRENT_TIMESTAMP)"));
    r = RunCli({QStringLiteral("etat-noeud"), db.Path(), QStringLiteral("serveur")});
    QVERIFY2(r.Code == 0, qPrintable(r.Err));
    QVERIFY2(r.Out.contains(QLatin1String("3 j 00:")) && r.Out.contains(QStringLiteral("silencieux depuis plus d'un jour")),
             qPrintable(r.Out));
    r = RunCli({QStringLiteral("etat-noeud"), db.Path(), QStringLiteral("serveur"), QStringLiteral("--json")});
    QVERIFY(json(r).object().value(QStringLiteral("heartbeat_age_secondes")).toInt() >= 3 * 86400);

    // Not a node of this database: a failure, and no state printed, the same
    // for both commands.
    for (const QString &commande : {QStringLiteral("etat-noeud"), QStringLiteral("get-last-heart-beat")})
        for (const QStringList &extra : {QStringList(), QStringList{QStringLiteral("--json")}}) {
            r = RunCli(QStringList{commande, db.Path(), QStringLiteral("mag-absent")} + extra);
            QCOMPARE(r.Code, 1);
            QVERIFY2(r.Err.startsWith(QStringLiteral("Erreur : Noeud inconnu dans cette base : \"mag-absent\".")),
                     qPrintable(r.Err));
            QVERIFY(!r.Out.contains(QStringLiteral("Mode")) && !r.Out.contains(QStringLiteral("sync_mod")));
        }

    db.Exec(QStringLiteral("INSERT INTO SYM_NODE_IDENTITY (NODE_ID) VALUES ('mag-001')"));
    r = RunCli({QStringLiteral("get-local-node"), db.Path()});
    QCOMPARE(r.Code, 0);
    QCOMPARE(r.Out.trimmed(), QStringLiteral("Noeud local : mag-001"));

    db.Exec(QStringLiteral("INSERT INTO SYM_NODE_HOST (NODE_ID, HOST_NAME, HEARTBEAT_TIME, LAST_RESTART_TIME, "
                           "CREATE_TIME) VALUES ('mag-001', 'h', TIMESTAMP '2026-12-09 10:30:05', CURRENT_TIMESTAMP, "
                           "CURRENT_TIMESTAMP)"));
    for (const QString &commande : {QStringLiteral("etat-noeud"), QStringLiteral("get-last-heart-beat")}) {
        r = RunCli({commande, db.Path(), QStringLiteral("mag-001"), QStringLiteral("--json")});
        QCOMPARE(r.Code, 0);
        QCOMPARE(json(r).object().value(QStringLiteral("heartbeat_time")).toString(),
                 QStringLiteral("2026-12-09T10:30:05"));
    }

    // 0 is the count of a database without SymmetricDS, not of one out of reach.
    r = RunCli({QStringLiteral("nb-table-triggers-sym-ds"), db.Path(), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    QCOMPARE(json(r).object().value(QStringLiteral("nb_table_triggers_sym_ds")).toInt(), 0);
    r = RunCli({QStringLiteral("nb-table-triggers-sym-ds"), QStringLiteral("/nulle/part.fdb"), QStringLiteral("--json")});
    QCOMPARE(r.Code, 1);

    // A database error comes out as such; a missing argument is a usage error.
    r = RunCli({QStringLiteral("nb-triggers-sym-ds"), QStringLiteral("/nulle/part.fdb")});
    QCOMPARE(r.Code, 1);
    QVERIFY(r.Err.startsWith(QLatin1String("Erreur : ")));
    r = RunCli({QStringLiteral("etat-noeud"), db.Path()});
    QCOMPARE(r.Code, 2);
    QVERIFY2(r.Err.contains(QLatin1String("Argument manquant : NOEUD")), qPrintable(r.Err));
}

void TestCliAdmin::identite()
{
    TTestDatabase db;
    AddSites(db);
    AddPassage(db);

    TRun r = RunCli({QStringLiteral("liste-bases"), db.Path(), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    const QJsonArray bases = json(r).array();
    QCOMPARE(bases.size(), 3);
    QCOMPARE(bases[1].toObject().value(QStringLiteral("sym_node")).toString(), QStringLiteral("p-s"));

    r = RunCli({QStringLiteral("liste-bases"), db.Path()});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(QLatin1String("MAGASIN-PARIS")) && r.Out.contains(QStringLiteral("Expéditeur")),
             qPrintable(r.Out));

    // Writing without a terminal and without --oui is a misuse, nothing changes.
    r = RunCli({QStringLiteral("set-nom-pour-nous"), db.Path(), QStringLiteral("Paris Nord")});
    QCOMPARE(r.Code, 2);
    QVERIFY2(r.Err.contains(QLatin1String("--oui")), qPrintable(r.Err));
    QCOMPARE(db.Count(QStringLiteral("GENBASES WHERE BAS_NOMPOURNOUS = 'PARIS NORD'")), 0);

    r = RunCli({QStringLiteral("set-nom-pour-nous"), db.Path(), QStringLiteral("Paris Nord"), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(QLatin1String("paris nord")), qPrintable(r.Out));
    QCOMPARE(db.Count(QStringLiteral("GENBASES WHERE BAS_NOMPOURNOUS = 'PARIS NORD'")), 5);

    r = RunCli({QStringLiteral("maj-genparam-monitor"), db.Path(), QStringLiteral("5"), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 0);
    QCOMPARE(db.Scalar(QStringLiteral("SELECT PRM_INTEGER FROM GENPARAM WHERE PRM_ID = 201")).toInt(), 5);
    r = RunCli({QStringLiteral("maj-genparam-monitor"), db.Path(), QStringLiteral("cinq"), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 2);

    r = RunCli({QStringLiteral("get-infos-passage-taven2ivro"), db.Path(), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    QCOMPARE(json(r).object().value(QStringLiteral("etat")).toInt(), 5);
    QCOMPARE(json(r).object().value(QStringLiteral("sender")).toString(), QStringLiteral("MAGASIN-PARIS"));

    db.Exec(QStringLiteral("DELETE FROM GENPARAM"));
    r = RunCli({QStringLiteral("maj-genparam-monitor"), db.Path(), QStringLiteral("5"), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("Rien n'a été modifié")), qPrintable(r.Err));

    // The shops whose code was emptied are counted: none is not a success on ten.
    r = RunCli({QStringLiteral("clean-magcode"), db.Path(), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 0);
    QCOMPARE(r.Out.trimmed(), QStringLiteral("Aucun magasin dans cette base : rien n'a été modifié."));
    db.Exec(QStringLiteral("INSERT INTO GENMAGASIN (MAG_ID, MAG_CODE) VALUES (1, 'M1')"));
    db.Exec(QStringLiteral("INSERT INTO GENMAGASIN (MAG_ID, MAG_CODE) VALUES (2, 'M2')"));
    r = RunCli({QStringLiteral("clean-magcode"), db.Path(), QStringLiteral("--oui"), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    QCOMPARE(json(r).object().value(QStringLiteral("magasins")).toInt(), 2);
    QCOMPARE(db.Count(QStringLiteral("GENMAGASIN WHERE COALESCE(MAG_CODE, '') = ''")), 2);

    TTestDatabase retail(TTestDatabase::TSchema::RetailOnly);
    r = RunCli({QStringLiteral("ivro-mvt-liste-bases"), retail.Path()});
    QCOMPARE(r.Code, 1);
    QCOMPARE(r.Err.trimmed(), QStringLiteral("Erreur : Ivro n'est pas installé sur cette base"));

    // No active site: nothing written, and said so.
    r = RunCli({QStringLiteral("set-nom-pour-nous"), retail.Path(), QStringLiteral("Paris Nord"), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("Aucun site actif dans cette base : rien n'a été écrit.")), qPrintable(r.Err));
}

void TestCliAdmin::replication()
{
    TTestDatabase db;
    AddSites(db);
    AddReplication(db);

    TRun r = RunCli({QStringLiteral("infos-replication"), db.Path(), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    QCOMPARE(json(r).object().value(QStringLiteral("serveur_replication")).toString(), QStringLiteral("lame.example"));

    // With two replication rows the first is written: that is the one shown.
    IdentityFixture::AddKeyed(db, 402, QStringLiteral("INSERT INTO GENREPLICATION (REP_ID, REP_LAUID, REP_ORDRE, "
                                                      "REP_URLDISTANT, REP_PLACEBASE) VALUES (402, 301, 2, "
                                                      "'http://autre/sync', 'x:\\autre.ib')"));
    r = RunCli({QStringLiteral("update-rep-placebase"), db.Path(), QStringLiteral("e:\\bases\\neuve.ib"),
                QStringLiteral("--oui")});
    QCOMPARE(r.Code, 0);
    QCOMPARE(r.Out.trimmed(), QStringLiteral("Emplacement de la base modifié (ligne de réplication 401) : "
                                             "\"d:\\bases\\site.ib\" devient \"E:\\BASES\\NEUVE.IB\"."));
    QCOMPARE(db.Rows(QStringLiteral("SELECT REP_ID, REP_PLACEBASE FROM GENREPLICATION ORDER BY REP_ID")),
             (QStringList{"401|E:\\BASES\\NEUVE.IB", "402|x:\\autre.ib"}));
    // Read back from the same row: the operator sees the change.
    r = RunCli({QStringLiteral("get-chemin-base-genreplication"), db.Path()});
    QCOMPARE(r.Out.trimmed(), QStringLiteral("Emplacement de la base : E:\\BASES\\NEUVE.IB\nLu dans la ligne de "
                                             "réplication 401 : la première du site local par REP_ORDRE, celle "
                                             "qu'écrit update-rep-placebase."));
    // The server line reads other rows, and says which.
    r = RunCli({QStringLiteral("infos-replication"), db.Path()});
    QVERIFY2(r.Out.contains(QStringLiteral("Lu dans les lignes de réplication actives du site local (REP_ORDRE > 0)")),
             qPrintable(r.Out));

    r = RunCli({QStringLiteral("set-genparam-url"), db.Path(), QStringLiteral("http://lame:31415/sync/lame"),
                QStringLiteral("--oui"), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    QVERIFY(json(r).object().value(QStringLiteral("modifie")).toBool());
    QCOMPARE(db.Rows(QStringLiteral("SELECT PRM_STRING FROM GENPARAM WHERE PRM_TYPE = 80 AND PRM_CODE = 1")),
             QStringList{QStringLiteral("http://lame:31415/sync/lame")});
    r = RunCli({QStringLiteral("delete-genparam-url"), db.Path(), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(QStringLiteral("supprimés : 1")), qPrintable(r.Out));
    QCOMPARE(db.Count(QStringLiteral("GENPARAM")), 0);
    // Again: nothing was left, and it says so.
    r = RunCli({QStringLiteral("delete-genparam-url"), db.Path(), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 0);
    QCOMPARE(r.Out.trimmed(),
             QStringLiteral("Aucun paramètre \"URL de synchronisation IVRO\" à supprimer : rien n'a été modifié."));
    r = RunCli({QStringLiteral("delete-genparam-url"), db.Path(), QStringLiteral("--oui"), QStringLiteral("--json")});
    QCOMPARE(json(r).object().value(QStringLiteral("modifie")).toBool(true), false);
    QCOMPARE(json(r).object().value(QStringLiteral("supprimes")).toInt(-1), 0);

    // The server refuses to bring an online database online: reported, not hidden.
    r = RunCli({QStringLiteral("restart-database"), db.Path(), QStringLiteral("--oui")});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("pas été remise en ligne")), qPrintable(r.Err));
}

void TestCliAdmin::environnement()
{
    TRun r = RunCli({QStringLiteral("environnement"), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    const QJsonObject env = json(r).object();
    QCOMPARE(env.value(QStringLiteral("ivro_ports")).toInt(), 30000);
    QVERIFY(env.value(QStringLiteral("exe_path")).toString().endsWith(QLatin1Char('/')));
    QVERIFY(env.value(QStringLiteral("os_infos")).isObject());

    r = RunCli({QStringLiteral("environnement")});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(QLatin1String("IVRO_PORTS")) && r.Out.contains(QLatin1String("30000")), qPrintable(r.Out));
}

// Which client library the program loaded, and of which kind, wherever it
// matters: its version, its environment, a connection that fails.
void TestCliAdmin::clientCharge()
{
    const TDbClientInfo client = DbClientInfo();
    QVERIFY(client.Error.isEmpty());
    const QString ligne = QStringLiteral("Client %1 : %2").arg(client.Flavour, client.Library);

    TRun r = RunCli({QStringLiteral("--version")});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.startsWith(QLatin1String("ivromvt-cli ")), qPrintable(r.Out));
    QVERIFY2(r.Out.contains(ligne + QLatin1Char('\n')), qPrintable(r.Out));

    r = RunCli({QStringLiteral("environnement"), QStringLiteral("--json")});
    const QJsonObject bd = json(r).object().value(QStringLiteral("client_bd")).toObject();
    QCOMPARE(bd.value(QStringLiteral("bibliotheque")).toString(), client.Library);
    QCOMPARE(bd.value(QStringLiteral("type")).toString(), client.Flavour);

    r = RunCli({QStringLiteral("noeuds"), TTestDatabase::Folder() + QStringLiteral("absente.fdb")});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("Client : %1 (%2)").arg(client.Library, client.Flavour)), qPrintable(r.Err));

    // And, with a base, the version of the server that holds it: the one the
    // stand-in for InterBase's client plays, Firebird's own otherwise.
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    const QString version = db.Connect()->ServerVersion();
    if (InterBaseClient())
        QCOMPARE(version, qEnvironmentVariable("IVROMVT_IBCLIENT_VERSION", QStringLiteral("WI-V14.1.0.319")));
    else
        QVERIFY2(version.contains(QLatin1String("Firebird")), qPrintable(version));
    const QString serveur = QStringLiteral("Serveur : ") + version + QLatin1Char('\n');
    r = RunCli({QStringLiteral("--version"), db.Path()});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(ligne + QLatin1Char('\n') + serveur), qPrintable(r.Out));
    r = RunCli({QStringLiteral("environnement"), db.Path(), QStringLiteral("--json")});
    QCOMPARE(json(r).object().value(QStringLiteral("serveur_bd")).toString(), version);
    r = RunCli({QStringLiteral("noeuds"), TTestDatabase::Folder() + QStringLiteral("absente.fdb")});
    QVERIFY2(r.Err.contains(serveur), qPrintable(r.Err));
}

void TestCliAdmin::cheminRelatif_data()
{
    QTest::addColumn<QString>("base"); // %1: the file name of the database, in the current folder
    QTest::newRow("./") << "./%1";
    QTest::newRow("../") << "../%2/%1";
    QTest::newRow("file here") << "%1";
}

// A relative path is the user's, not the server's: it names the file from
// the current folder, never from the server's own.
void TestCliAdmin::cheminRelatif()
{
    QFETCH(QString, base);
    TTestDatabase db;
    const QFileInfo fichier(db.Path());
    db.Exec(QStringLiteral("INSERT INTO SYM_NODE_IDENTITY (NODE_ID) VALUES ('mag-007')"));
    QProcess p;
    p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
    p.setArguments({QStringLiteral("get-local-node"),
                    QString(base)
                        .replace(QLatin1String("%1"), fichier.fileName())
                        .replace(QLatin1String("%2"), fichier.absoluteDir().dirName())});
    p.setWorkingDirectory(fichier.absolutePath());
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    QVERIFY(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == 0, qPrintable(err));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), QStringLiteral("Noeud local : mag-007"));
}

QTEST_GUILESS_MAIN(TestCliAdmin)
#include "tst_cli_admin.moc"
