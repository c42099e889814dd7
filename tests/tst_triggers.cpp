#include "DataModFixture.h"
#include "db/DbError.h"
#include "testdb/CatalogueFixture.h"
#include "testdb/TestDatabase.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Each generated line reduced to what it declares: "T id source key" for a
// trigger (key "-" when none is given), "R id router" for a trigger-router row.
QStringList Declarations(const QStringList &aLines)
{
    static const QRegularExpression trigger(
        QStringLiteral(R"(^INSERT INTO SYM_TRIGGER\(.*\) VALUES\('(.*)', '(.*)','default',(?:'(.*)',)? CURRENT_TIMESTAMP)"));
    static const QRegularExpression router(
        QStringLiteral(R"(^INSERT INTO SYM_TRIGGER_ROUTER\(.*\) VALUES \('(.*)','(\w+)', 1, 100, )"));
    QStringList out;
    for (const QString &line : aLines) {
        QRegularExpressionMatch m = trigger.match(line);
        if (m.hasMatch()) {
            out << QStringLiteral("T %1 %2 %3").arg(m.captured(1), m.captured(2),
                                                   m.capturedStart(3) < 0 ? QStringLiteral("-") : m.captured(3));
            continue;
        }
        m = router.match(line);
        out << (m.hasMatch() ? QStringLiteral("R %1 %2").arg(m.captured(1), m.captured(2)) : line);
    }
    return out;
}

const QStringList CashRouters = {"lame_vers_mags",    "mags_vers_lame",          "lame_vers_mags_pg",
                                 "mags_pg_vers_lame", "mags_pg_vers_caisses_pg", "caisses_pg_vers_mags_pg"};

QStringList CashLines(const QString &aTable)
{
    QStringList l{QStringLiteral("T %1 %1 -").arg(aTable)};
    for (const QString &r : CashRouters)
        l << QStringLiteral("R %1 %2").arg(aTable, r);
    return l;
}

} // namespace

class TestTriggers : public QObject
{
    Q_OBJECT

private slots:
    void scriptTriggersManquants();
    void scriptTableInKtbAndCash();
    void scriptWithoutEligibleTables();
    void scriptFailures();
    void scriptLcl_data();
    void scriptLcl();
    void majAjouteTableReplicTwice();
    void grants();

private:
    TDataModFixture FDataMod;
};

void TestTriggers::scriptTriggersManquants()
{
    TTestDatabase db;
    AddCatalogueFixture(db);
    const QStringList lines = DataMod->Replication.ScriptTriggersManquants(db.Path());

    // KTB tables in name order (KTB itself and the too-wide ones left out),
    // then CASH relations, views included, then the block for K.
    QStringList expected = {
        "T GENPARAM GENPARAM PRM_ID", "R GENPARAM lame_vers_mags", "R GENPARAM mags_vers_lame",
        "T ZLARG_OK ZLARG_OK ID",     "R ZLARG_OK lame_vers_mags", "R ZLARG_OK mags_vers_lame",
    };
    expected << CashLines(QStringLiteral("CASHA")) << CashLines(QStringLiteral("CASHV"));
    QCOMPARE(lines.size(), expected.size() + 8);
    QCOMPARE(Declarations(lines.mid(0, expected.size())), expected);

    QCOMPARE(lines[0], QStringLiteral("INSERT INTO SYM_TRIGGER(TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, "
                                      "SYNC_KEY_NAMES, LAST_UPDATE_TIME, CREATE_TIME, SYNC_ON_DELETE, "
                                      "SYNC_ON_INCOMING_BATCH) VALUES('GENPARAM', 'GENPARAM','default','PRM_ID', "
                                      "CURRENT_TIMESTAMP, CURRENT_TIMESTAMP, 0, 1);"));
    QCOMPARE(lines[1], QStringLiteral("INSERT INTO SYM_TRIGGER_ROUTER(TRIGGER_ID, ROUTER_ID, ENABLED, "
                                      "INITIAL_LOAD_ORDER, CREATE_TIME, LAST_UPDATE_BY, LAST_UPDATE_TIME) VALUES "
                                      "('GENPARAM','lame_vers_mags', 1, 100, CURRENT_TIMESTAMP, 'KORVALA', "
                                      "CURRENT_TIMESTAMP);"));
    QCOMPARE(lines[6], QStringLiteral("INSERT INTO SYM_TRIGGER(TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, "
                                      "LAST_UPDATE_TIME, CREATE_TIME, SYNC_ON_DELETE, SYNC_ON_INCOMING_BATCH) "
                                      "VALUES('CASHA', 'CASHA','default', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP, 0, 1);"));

    // The generated script must run as SymmetricDS would run it, in order,
    // against the configuration tables.
    const QStringList block = lines.mid(expected.size());
    QVERIFY(block[0].startsWith(QLatin1String("UPDATE SYM_TRIGGER SET USE_CAPTURE_OLD_DATA=0 WHERE TRIGGER_ID IN ('RECBRL',")));
    QVERIFY(block[1].contains(QLatin1String("SYNC_ON_INSERT_CONDITION='$(curTriggerValue).K_ID>0' WHERE TRIGGER_ID='K';")));
    QVERIFY(block[3].startsWith(QLatin1String("  TARGET_CATALOG_NAME,")));
    QVERIFY(block[5].endsWith(QLatin1String("LAST_UPDATE_TIME) ")));
    QVERIFY(block[7].startsWith(QLatin1String("UPDATE SYM_TRIGGER_ROUTER SET PING_BACK_ENABLED=1")));

    TTestDatabase target;
    target.Exec(QStringLiteral("INSERT INTO SYM_TRIGGER (TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, CREATE_TIME, "
                               "LAST_UPDATE_TIME) VALUES ('K', 'K', 'default', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)"));
    target.Exec(QStringLiteral("INSERT INTO SYM_TRIGGER_ROUTER (TRIGGER_ID, ROUTER_ID, CREATE_TIME, LAST_UPDATE_TIME) "
                               "VALUES ('K', 'lame_vers_mags', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)"));
    QString statement;
    for (const QString &line : lines) {
        statement += line + QLatin1Char('\n');
        if (line.endsWith(QLatin1Char(';'))) {
            target.Exec(statement.trimmed().chopped(1));
            statement.clear();
        }
    }
    QVERIFY(statement.isEmpty());
    QCOMPARE(target.Count(QStringLiteral("SYM_TRIGGER_ROUTER WHERE TRIGGER_ID = 'CASHV'")), 6);
    QCOMPARE(target.Rows(QStringLiteral("SELECT PING_BACK_ENABLED FROM SYM_TRIGGER_ROUTER WHERE TRIGGER_ID = 'K'")),
             QStringList{"1"});
    QCOMPARE(target.Rows(QStringLiteral("SELECT TRANSFORM_EXPRESSION FROM SYM_TRANSFORM_COLUMN")),
             QStringList{"SELECT GEN_ID(GENERAL_ID,1) FROM RDB$DATABASE"});
}

// A CASH table that KTB also lists is declared once, with its
// KTB key, and gets the six routers once each: the script then runs against
// the configuration tables without a duplicate key.
void TestTriggers::scriptTableInKtbAndCash()
{
    TTestDatabase db;
    db.Exec(QStringLiteral("CREATE TABLE CASHK (CK_ID INTEGER NOT NULL PRIMARY KEY, LIB VARCHAR(30))\n^\n"
                           "INSERT INTO KTB (KTB_ID, KTB_NAME, KTB_DATA) VALUES (1, 'CASHK', 'CK_ID,LIB')\n^\n"));
    const QStringList lines = DataMod->Replication.ScriptTriggersManquants(db.Path());
    QStringList expected{QStringLiteral("T CASHK CASHK CK_ID")};
    for (const QString &r : CashRouters)
        expected << QStringLiteral("R CASHK %1").arg(r);
    QCOMPARE(lines.size(), expected.size() + 8);
    QCOMPARE(Declarations(lines.mid(0, expected.size())), expected);

    TTestDatabase target;
    for (const QString &line : lines.mid(0, expected.size()))
        target.Exec(line.chopped(1));
    QCOMPARE(target.Count(QStringLiteral("SYM_TRIGGER_ROUTER WHERE TRIGGER_ID = 'CASHK'")), 6);
}

void TestTriggers::scriptWithoutEligibleTables()
{
    QCOMPARE(DataMod->Replication.ScriptTriggersManquants(QString()), QStringList());

    TTestDatabase db; // empty KTB, no CASH relation
    const QStringList lines = DataMod->Replication.ScriptTriggersManquants(db.Path());
    QCOMPARE(lines.size(), 8);
    QVERIFY(lines.first().startsWith(QLatin1String("UPDATE SYM_TRIGGER SET USE_CAPTURE_OLD_DATA=0")));
}

void TestTriggers::scriptFailures()
{
    TTestDatabase bare(TTestDatabase::TSchema::Empty);
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.ScriptTriggersManquants(bare.Path()));
    QVERIFY_THROWS_EXCEPTION(std::exception, DataMod->Replication.ScriptTriggersManquantsLCL(QStringLiteral("/nonexistent/liste.txt")));
}

void TestTriggers::scriptLcl_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("blanks trimmed, empty line kept") << QByteArray("  Ticket \t\r\n\r\nCASHREGL") << QStringList{"ticket", "", "cashregl"};
    QTest::newRow("final line break makes no line") << QByteArray("A\nB\n") << QStringList{"a", "b"};
    QTest::newRow("Windows-1252 without mark") << QByteArray("\xC9TAT\rX") << QStringList{QString::fromUtf8("\xC3\x89tat"), "x"};
    QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBF\xC3\x89TAT\r\n") << QStringList{QString::fromUtf8("\xC3\x89tat")};
    QTest::newRow("UTF-16 mark") << QByteArray("\xFF\xFEO\0K\0\r\0\n\0", 10) << QStringList{"ok"};
    QTest::newRow("quote in a name stays inside its literal") << QByteArray("T'X") << QStringList{"t''x"};
}

void TestTriggers::scriptLcl()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("liste.txt")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();

    const QStringList lines = DataMod->Replication.ScriptTriggersManquantsLCL(f.fileName());
    QStringList expected;
    for (const QString &n : names)
        expected << QStringLiteral("T %1 %1 -").arg(n) << QStringLiteral("R %1 caisses_pg_vers_mags_pg").arg(n)
                 << QStringLiteral("R %1 mags_pg_vers_caisses_pg").arg(n);
    QCOMPARE(Declarations(lines), expected);
}

void TestTriggers::majAjouteTableReplicTwice()
{
    TTestDatabase db;
    QVERIFY(DataMod->Replication.MAJ_Ajoute_TABLE_REPLIC(db.Path(), QStringLiteral("GENPARAM"), QStringLiteral("PRM_ID")));
    QVERIFY(!DataMod->Replication.MAJ_Ajoute_TABLE_REPLIC(db.Path(), QStringLiteral("GENPARAM"), QStringLiteral("PRM_ID")));
    QCOMPARE(db.Rows(QStringLiteral("SELECT TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, SYNC_KEY_NAMES, SYNC_ON_DELETE, "
                                    "SYNC_ON_INCOMING_BATCH FROM SYM_TRIGGER")),
             QStringList{"GENPARAM|GENPARAM|default|PRM_ID|0|1"});
    QCOMPARE(db.Rows(QStringLiteral("SELECT ROUTER_ID, ENABLED, INITIAL_LOAD_ORDER, LAST_UPDATE_BY FROM "
                                    "SYM_TRIGGER_ROUTER ORDER BY ROUTER_ID")),
             (QStringList{"lame_vers_mags|1|100|KORVALA", "mags_vers_lame|1|100|KORVALA"}));

    TTestDatabase retail(TTestDatabase::TSchema::RetailOnly);
    QVERIFY(!DataMod->Replication.MAJ_Ajoute_TABLE_REPLIC(retail.Path(), QStringLiteral("GENPARAM"), QStringLiteral("PRM_ID")));
}

void TestTriggers::grants()
{
    const QString korvalaTables = QStringLiteral(
        "SELECT DISTINCT TRIM(RDB$RELATION_NAME) FROM RDB$USER_PRIVILEGES WHERE RDB$USER = 'KORVALA' "
        "AND RDB$PRIVILEGE = 'S' ORDER BY 1");
    {
        TTestDatabase db;
        db.Exec(QStringLiteral("CREATE TABLE \"SYM_A B\" (X INTEGER)")); // needs quoting
        QVERIFY(DataMod->Replication.Grant_SYMTABLE_TO_KORVALA(db.Path()));
        const QStringList granted = db.Rows(korvalaTables);
        QVERIFY(granted.contains(QStringLiteral("SYM_A B")));
        QVERIFY(granted.contains(QStringLiteral("SYM_NODE")));
        QVERIFY(granted.contains(QStringLiteral("SYM_CONTEXT")));
        QVERIFY(!granted.contains(QStringLiteral("GENPARAM")));
        for (const QString &t : granted)
            QVERIFY2(t.startsWith(QLatin1String("SYM")), qPrintable(t));
    }
    {
        TTestDatabase db(TTestDatabase::TSchema::RetailOnly);
        QVERIFY(DataMod->Replication.Grant_SYMTABLE_TO_KORVALA(db.Path()));
        QCOMPARE(db.Rows(korvalaTables), QStringList());
    }
    QVERIFY(!DataMod->Replication.Grant_SYMTABLE_TO_KORVALA(TTestDatabase::Folder() + QStringLiteral("absente.fdb")));
}

QTEST_GUILESS_MAIN(TestTriggers)
#include "tst_triggers.moc"
