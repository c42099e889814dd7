#include "DataModFixture.h"
#include "db/DbError.h"
#include "testdb/TestDatabase.h"

#include <QTest>

namespace {

void addNode(const TTestDatabase &aDb, const QString &aNode, int aEnabled, const QString &aUrl, bool aSecurity)
{
    aDb.Exec(QStringLiteral("INSERT INTO SYM_NODE (NODE_ID, NODE_GROUP_ID, EXTERNAL_ID, SYNC_ENABLED, SYNC_URL) "
                            "VALUES ('%1', 'mags', '%1', %2, '%3')").arg(aNode).arg(aEnabled).arg(aUrl));
    if (aSecurity)
        aDb.Exec(QStringLiteral("INSERT INTO SYM_NODE_SECURITY (NODE_ID, NODE_PASSWORD) VALUES ('%1', 'x')").arg(aNode));
}

void addHost(const TTestDatabase &aDb, const QString &aNode, const QString &aHost, const QString &aHeartbeat)
{
    aDb.Exec(QStringLiteral("INSERT INTO SYM_NODE_HOST (NODE_ID, HOST_NAME, HEARTBEAT_TIME, LAST_RESTART_TIME, "
                            "CREATE_TIME) VALUES ('%1', '%2', %3, CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)")
                 .arg(aNode, aHost, aHeartbeat));
}

void addParam(const TTestDatabase &aDb, const QString &aNode, const QString &aGroup, const QString &aValue)
{
    aDb.Exec(QStringLiteral("INSERT INTO SYM_PARAMETER (EXTERNAL_ID, NODE_GROUP_ID, PARAM_KEY, PARAM_VALUE) "
                            "VALUES ('%1', '%2', 'node.offline', '%3')").arg(aNode, aGroup, aValue));
}

} // namespace

class TestEtatNoeud : public QObject
{
    Q_OBJECT

private slots:
    void etatNoeud_data();
    void etatNoeud();
    void etatNoeudUnreachable();
    void lastHeartBeatAndLocalNode();
    void nbTriggersSymDS();
    void nbTableTriggersSymDS();

private:
    TDataModFixture FDataMod;
};

void TestEtatNoeud::etatNoeud_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("enabled");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("heartbeat");
    QTest::addColumn<int>("syncMod");
    QTest::newRow("online, host, offline param") << "mag-001" << 1 << "http://mag1/sync" << "09/12/2026 10:30:00" << 2;
    QTest::newRow("no host row") << "mag-002" << 0 << "http://mag2/sync" << "" << 1;
    QTest::newRow("two host rows: the first one") << "mag-003" << 1 << "http://mag3/sync" << "01/12/2026 08:00:00" << 1;
    QTest::newRow("param of group lame ignored") << "mag-004" << 1 << "" << "" << 1;
    QTest::newRow("TRUE in capitals is not true") << "mag-005" << 1 << "" << "" << 1;
    QTest::newRow("in SYM_NODE without security row") << "mag-006" << 1 << "http://mag6/sync" << "" << 2;
    QTest::newRow("unknown node") << "nowhere" << -1 << "" << "" << 1;
}

void TestEtatNoeud::etatNoeud()
{
    QFETCH(QString, node);
    QFETCH(int, enabled);
    QFETCH(QString, url);
    QFETCH(QString, heartbeat);
    QFETCH(int, syncMod);

    TTestDatabase db;
    addNode(db, QStringLiteral("mag-001"), 1, QStringLiteral("http://mag1/sync"), true);
    addHost(db, QStringLiteral("mag-001"), QStringLiteral("h1"), QStringLiteral("TIMESTAMP '2026-12-09 10:30:00'"));
    addParam(db, QStringLiteral("mag-001"), QStringLiteral("mags"), QStringLiteral("true"));
    addNode(db, QStringLiteral("mag-002"), 0, QStringLiteral("http://mag2/sync"), true);
    addParam(db, QStringLiteral("mag-002"), QStringLiteral("mags"), QStringLiteral("false"));
    addNode(db, QStringLiteral("mag-003"), 1, QStringLiteral("http://mag3/sync"), true);
    addHost(db, QStringLiteral("mag-003"), QStringLiteral("a"), QStringLiteral("TIMESTAMP '2026-12-01 08:00:00'"));
    addHost(db, QStringLiteral("mag-003"), QStringLiteral("b"), QStringLiteral("TIMESTAMP '2026-12-05 08:00:00'"));
    addNode(db, QStringLiteral("mag-004"), 1, QString(), true);
    addParam(db, QStringLiteral("mag-004"), QStringLiteral("lame"), QStringLiteral("true"));
    addNode(db, QStringLiteral("mag-005"), 1, QString(), true);
    addParam(db, QStringLiteral("mag-005"), QStringLiteral("mags"), QStringLiteral("TRUE"));
    addNode(db, QStringLiteral("mag-006"), 1, QStringLiteral("http://mag6/sync"), false);
    addParam(db, QStringLiteral("mag-006"), QStringLiteral("mags"), QStringLiteral("true"));

    const TEtatNoeud etat = DataMod->Replication.EtatNoeud(db.Path(), node);
    QCOMPARE(etat.NODE_ID, node);
    QCOMPARE(etat.SYNC_ENABLED, enabled);
    QCOMPARE(etat.SYNC_URL, url);
    QCOMPARE(etat.HEARTBEAT_TIME, heartbeat);
    QCOMPARE(etat.SYNC_MOD, syncMod);
}

void TestEtatNoeud::etatNoeudUnreachable()
{
    // No path and a database without the engine's tables: the caller hears of it.
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.EtatNoeud(QString(), QStringLiteral("mag-001")));
    TTestDatabase retail(TTestDatabase::TSchema::RetailOnly);
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.EtatNoeud(retail.Path(), QStringLiteral("mag-001")));
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.GetLocalNode(retail.Path()));
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.GetLastHeartBeat(retail.Path(), QStringLiteral("mag-001")));
}

void TestEtatNoeud::lastHeartBeatAndLocalNode()
{
    TTestDatabase db;
    QCOMPARE(DataMod->Replication.GetLocalNode(db.Path()), QString());
    QCOMPARE(DataMod->Replication.GetLocalNode(QString()), QString());

    // A central server knows every node's password; the identity says which
    // one it is. Accented names, on a NONE database.
    TTestDatabase central(TTestDatabase::TSchema::Full, QStringLiteral("NONE"));
    for (const QString &noeud : {QStringLiteral("siège"), QStringLiteral("mag-béziers-centre-ville-nord-42")})
        central.Exec(QStringLiteral("INSERT INTO SYM_NODE_SECURITY (NODE_ID, NODE_PASSWORD) VALUES ('%1', 'x')")
                         .arg(noeud));
    QCOMPARE(DataMod->Replication.GetLocalNode(central.Path()), QString()); // not registered yet
    central.Exec(QStringLiteral("INSERT INTO SYM_NODE_IDENTITY (NODE_ID) VALUES ('siège')"));
    QCOMPARE(DataMod->Replication.GetLocalNode(central.Path()), QStringLiteral("siège"));

    addHost(db, QStringLiteral("mag-001"), QStringLiteral("h1"), QStringLiteral("TIMESTAMP '2026-12-09 10:30:05'"));
    addHost(db, QStringLiteral("mag-002"), QStringLiteral("h1"), QStringLiteral("NULL"));
    QCOMPARE(DataMod->Replication.GetLastHeartBeat(db.Path(), QStringLiteral("mag-001")), QStringLiteral("09/12/2026 10:30:05"));
    QCOMPARE(DataMod->Replication.GetLastHeartBeat(db.Path(), QStringLiteral("mag-002")), QString());
    QCOMPARE(DataMod->Replication.GetLastHeartBeat(db.Path(), QStringLiteral("absent")), QString());
    QCOMPARE(DataMod->Replication.GetLastHeartBeat(db.Path(), QString()), QString());
    QCOMPARE(DataMod->Replication.GetLastHeartBeat(QString(), QStringLiteral("mag-001")), QString());
}

void TestEtatNoeud::nbTriggersSymDS()
{
    TTestDatabase db;
    QCOMPARE(DataMod->Replication.NbTriggersSymDS(db.Path()), 0);
    const QString trigger = QStringLiteral("CREATE TRIGGER %1 FOR %2 AFTER UPDATE AS BEGIN END");
    db.Exec(trigger.arg(QStringLiteral("SYM_ON_U_MAG"), QStringLiteral("GENMAGASIN")));
    db.Exec(trigger.arg(QStringLiteral("SYMXON_U_PRM"), QStringLiteral("GENPARAM"))); // '_' is any character
    db.Exec(trigger.arg(QStringLiteral("SY_ON_U_K"), QStringLiteral("K")));
    db.Exec(trigger.arg(QStringLiteral("MY_SYM_K"), QStringLiteral("K")));
    db.Exec(trigger.arg(QStringLiteral("SYM_ON_U_NODE"), QStringLiteral("SYM_NODE"))); // the engine's own table
    QCOMPARE(DataMod->Replication.NbTriggersSymDS(db.Path()), 2);
    QCOMPARE(DataMod->Replication.NbTriggersSymDS(QString()), 0);
}

void TestEtatNoeud::nbTableTriggersSymDS()
{
    TTestDatabase db;
    QCOMPARE(DataMod->Replication.NbTableTriggersSymDS(db.Path()), 0);
    const QString trigger = QStringLiteral(
        "INSERT INTO SYM_TRIGGER (TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, SYNC_ON_UPDATE, SYNC_ON_INSERT, "
        "SYNC_ON_DELETE, CREATE_TIME, LAST_UPDATE_TIME) VALUES ('%1', '%1', 'c', %2, CURRENT_TIMESTAMP, "
        "CURRENT_TIMESTAMP)");
    const QString route = QStringLiteral("INSERT INTO SYM_TRIGGER_ROUTER (TRIGGER_ID, ROUTER_ID, CREATE_TIME, "
                                         "LAST_UPDATE_TIME) VALUES ('%1', '%2', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)");
    db.Exec(trigger.arg(QStringLiteral("K"), QStringLiteral("1, 1, 1")));
    db.Exec(trigger.arg(QStringLiteral("GENPARAM"), QStringLiteral("1, 0, 0")));
    db.Exec(trigger.arg(QStringLiteral("GENBASES"), QStringLiteral("1, 1, 1")));
    db.Exec(route.arg(QStringLiteral("K"), QStringLiteral("lame_vers_mags")));
    db.Exec(route.arg(QStringLiteral("K"), QStringLiteral("mags_vers_lame")));
    db.Exec(route.arg(QStringLiteral("GENPARAM"), QStringLiteral("lame_vers_mags")));
    db.Exec(route.arg(QStringLiteral("GENBASES"), QStringLiteral("mags_vers_lame")));
    QCOMPARE(DataMod->Replication.NbTableTriggersSymDS(db.Path()), 4);

    // Without the engine, or without a database: no trigger, no failure.
    TTestDatabase retail(TTestDatabase::TSchema::RetailOnly);
    QCOMPARE(DataMod->Replication.NbTableTriggersSymDS(retail.Path()), 0);
    QCOMPARE(DataMod->Replication.NbTableTriggersSymDS(QStringLiteral("/nulle/part.fdb")), 0);
    QCOMPARE(DataMod->Replication.NbTableTriggersSymDS(QString()), 0);
}

QTEST_GUILESS_MAIN(TestEtatNoeud)
#include "tst_etatnoeud.moc"
