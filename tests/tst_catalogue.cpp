#include "DataModFixture.h"
#include "common/MemTable.h"
#include "db/DbError.h"
#include "testdb/CatalogueFixture.h"
#include "testdb/TestDatabase.h"

#include <QtTest>

#include <functional>
#include <memory>

namespace {

QStringList RowsOf(const TMemTable &aTable)
{
    QStringList rows;
    for (int r = 0; r < aTable.RecordCount(); ++r) {
        QStringList cols;
        for (int c = 0; c < aTable.ColumnCount(); ++c)
            cols << aTable.Text(r, c);
        rows << cols.join(QLatin1Char('|'));
    }
    return rows;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void widthTest_data();
    void widthTest();
    void listeTablesExclues();
    void listings_data();
    void listings();
    void allTablesExcluesListsOnlyTablesOutsideKtb();
    void datasetRules();

private:
    TDataModFixture FDataMod;
    std::unique_ptr<TTestDatabase> FDb; // with the catalogue fixture; the listings only read it
};

void TestCatalogue::initTestCase()
{
    FDb = std::make_unique<TTestDatabase>();
    AddCatalogueFixture(*FDb);
}

void TestCatalogue::cleanupTestCase()
{
    FDb.reset();
}

void TestCatalogue::widthTest_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("passes");
    QTest::newRow("INTEGER + VARCHAR(4053) = 4070") << "ZLARG_OK" << true;
    QTest::newRow("INTEGER + VARCHAR(4054) = 4071") << "ZLARG_KO" << false;
    QTest::newRow("a SMALLINT counts 5000") << "ZLARG_SMALL" << false;
    QTest::newRow("two INTEGER and a VARCHAR") << "ZCLE2" << true;
    QTest::newRow("lower-case spelling") << "zlarg_ok" << false;
    QTest::newRow("no such table") << "ABSENTE" << false;
}

void TestCatalogue::widthTest()
{
    QFETCH(QString, table);
    QFETCH(bool, passes);
    auto cnx = DataMod->Acces.getNewConnexion(SysdbaRef(FDb->Path()));
    QCOMPARE(DataMod->Replication.Controle_Longueur_Champs_Table(cnx.get(), table), passes);
}

void TestCatalogue::listeTablesExclues()
{
    {
        auto cnx = DataMod->Acces.getNewConnexion(SysdbaRef(FDb->Path()));
        QCOMPARE(DataMod->Replication.Liste_Tables_Exclues(cnx.get()), QStringLiteral("ZLARG_KO ZLARG_SMALL"));
        // The connection stays the caller's, still usable.
        QVERIFY(cnx->Connected());
        QVERIFY(DataMod->Replication.Controle_Longueur_Champs_Table(cnx.get(), QStringLiteral("ZLARG_OK")));
    }
    {
        TTestDatabase db; // KTB empty: nothing too wide
        auto cnx = DataMod->Acces.getNewConnexion(SysdbaRef(db.Path()));
        QCOMPARE(DataMod->Replication.Liste_Tables_Exclues(cnx.get()), QString());
    }
    {
        TTestDatabase db(TTestDatabase::TSchema::Empty); // no KTB, no F_LEFT
        auto cnx = DataMod->Acces.getNewConnexion(SysdbaRef(db.Path()));
        QCOMPARE(DataMod->Replication.Liste_Tables_Exclues(cnx.get()), QStringLiteral("!!!ERREUR!!!"));
    }
}

void TestCatalogue::listings_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<std::function<void(TOperationsReplication *, const QString &, TMemTable &)>>("listing");
    QTest::addColumn<QStringList>("rows");

    using F = std::function<void(TOperationsReplication *, const QString &, TMemTable &)>;
    QTest::newRow("GetTablesReplicantes: two trigger rows, two lines")
        << 2 << F(&TOperationsReplication::GetTablesReplicantes) << QStringList{"GENPARAM|PRM_ID", "GENPARAM|PRM_ID"};
    QTest::newRow("GetTablesExclues: KTB tables without trigger")
        << 2 << F(&TOperationsReplication::GetTablesExclues)
        << QStringList{"KTB|KTB_ID", "ZLARG_KO|ZK_ID", "ZLARG_OK|ID", "ZLARG_SMALL|S"};
    QTest::newRow("GetAllTablesReplicantes: keys completed from the primary key")
        << 3 << F(&TOperationsReplication::GetAllTablesReplicantes)
        << QStringList{"CASHA||CASH_ID", "CASHA||CASH_ID", "GENPARAM|PRM_ID|", "GENPARAM|PRM_ID|", "ZCLE2||COL_A,COL_B"};
    QTest::newRow("GetCASHTablesReplicantes: no view, two trigger rows")
        << 3 << F(&TOperationsReplication::GetCASHTablesReplicantes) << QStringList{"CASHA||CASH_ID", "CASHA||CASH_ID"};
    QTest::newRow("GetIVROTablesSuppReplicantes: a trigger row without its table too")
        << 3 << F(&TOperationsReplication::GetIVROTablesSuppReplicantes) << QStringList{"ABSENTE|X_ID|", "ZCLE2||COL_A,COL_B"};
}

void TestCatalogue::listings()
{
    QFETCH(int, columns);
    QFETCH(std::function<void(TOperationsReplication *, const QString &, TMemTable &)>, listing);
    QFETCH(QStringList, rows);

    TMemTable t = Dataset(columns);
    t.Append();
    t.SetValue(0, QStringLiteral("ancienne ligne"));
    t.Post();
    listing(&DataMod->Replication, FDb->Path(), t);
    QVERIFY(t.Active());
    QCOMPARE(RowsOf(t), rows);
    QCOMPARE(t.RecNo(), 0);
    QVERIFY(!t.Eof());
}

void TestCatalogue::allTablesExcluesListsOnlyTablesOutsideKtb()
{
    TMemTable t = Dataset(2);
    DataMod->Replication.GetAllTablesExclues(FDb->Path(), t);
    const QStringList rows = RowsOf(t);
    QVERIFY(rows.contains(QStringLiteral("ZCLE2|0")));
    QVERIFY(rows.contains(QStringLiteral("SYM_NODE|0")));
    // A global temporary table: InterBase's catalogue has no relation type,
    // the code there comes from the external file (none: an ordinary table).
    QVERIFY(rows.contains(InterBaseClient() ? QStringLiteral("SYM_CONTEXT|0") : QStringLiteral("SYM_CONTEXT|4")));
    QVERIFY(!rows.contains(QStringLiteral("GENPARAM|0")));
    QVERIFY(!rows.contains(QStringLiteral("CASHV|1"))); // views are left out
    QVERIFY(!rows.join(QLatin1Char(' ')).contains(QLatin1String("RDB$")));

    // The movement's lock table is the tool's, not one of the site's.
    FDb->Exec(QStringLiteral("CREATE TABLE IVRO_MVT_VERROU (NODE_ID VARCHAR(50) NOT NULL PRIMARY KEY, DEBUT TIMESTAMP)"));
    TMemTable avecVerrou = Dataset(2);
    DataMod->Replication.GetAllTablesExclues(FDb->Path(), avecVerrou);
    FDb->Exec(QStringLiteral("DROP TABLE IVRO_MVT_VERROU"));
    QCOMPARE(RowsOf(avecVerrou), rows);
}

void TestCatalogue::datasetRules()
{
    // An empty path leaves the dataset as it was.
    TMemTable kept = Dataset(3);
    kept.Append();
    kept.SetValue(0, QStringLiteral("x"));
    kept.Post();
    DataMod->Replication.GetAllTablesReplicantes(QString(), kept);
    QCOMPARE(RowsOf(kept), QStringList{"x||"});

    // Too few columns: refused before anything is touched.
    TMemTable narrow = Dataset(2);
    narrow.Append();
    narrow.SetValue(0, QStringLiteral("y"));
    narrow.Post();
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.GetCASHTablesReplicantes(FDb->Path(), narrow));
    QCOMPARE(RowsOf(narrow), QStringList{"y|"});

    // Nothing found: open and empty.
    TTestDatabase plain;
    TMemTable empty = Dataset(3);
    DataMod->Replication.GetCASHTablesReplicantes(plain.Path(), empty);
    QVERIFY(empty.Active());
    QCOMPARE(empty.RecordCount(), 0);

    // A listing that fails (no trigger table) reaches the caller; the dataset stays closed.
    TTestDatabase retail(TTestDatabase::TSchema::RetailOnly);
    TMemTable failed = Dataset(2);
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.GetTablesReplicantes(retail.Path(), failed));
    QVERIFY(!failed.Active());
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
