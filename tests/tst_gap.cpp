#include "DataModFixture.h"
#include "common/MemTable.h"
#include "db/DbError.h"
#include "testdb/CatalogueFixture.h"
#include "testdb/TestDatabase.h"

#include <QtTest>

#include <memory>

class TestGap : public QObject
{
    Q_OBJECT

private slots:
    void isGapDefined_data();
    void isGapDefined();
    void isPushMissingTavenDefined();
    void detectGap();
    void detectGapRefusals();
    void doGap();
    void doGapCommitsWorkBeforeFailure();
    void doPushMissingTaven();

private:
    TDataModFixture FDataMod;
};

void TestGap::isGapDefined_data()
{
    QTest::addColumn<QString>("drop");
    QTest::addColumn<bool>("defined");
    QTest::newRow("complete kit") << QString() << true;
    QTest::newRow("without F_SUBSTR4") << "DROP FUNCTION F_SUBSTR4" << false;
    QTest::newRow("without F_LEFT4") << "DROP FUNCTION F_LEFT4" << false;
    QTest::newRow("without IVRO_DO_GAP") << "DROP PROCEDURE IVRO_DO_GAP" << false;
    QTest::newRow("without IVRO_DETECT_GAP") << "DROP PROCEDURE IVRO_DETECT_GAP" << false;
    // The movement procedure's near-namesake does not stand in for it.
    QTest::newRow("IVRO_MVT_LAME2MAG instead of IVRO_MVT_LAME2MAGS")
        << "DROP PROCEDURE IVRO_MVT_LAME2MAGS\n^\nCREATE PROCEDURE IVRO_MVT_LAME2MAG AS BEGIN END\n^\n" << false;
}

void TestGap::isGapDefined()
{
    QFETCH(QString, drop);
    QFETCH(bool, defined);
    TTestDatabase db;
    AddGapKit(db);
    if (!drop.isEmpty())
        db.Exec(drop);
    QCOMPARE(DataMod->Replication.IsGAPDefined(db.Path()), defined);
}

void TestGap::isPushMissingTavenDefined()
{
    TTestDatabase db;
    QVERIFY(!DataMod->Replication.IsPushMissingTAVENDefined(db.Path()));
    QVERIFY(!DataMod->Replication.IsGAPDefined(db.Path())); // functions alone are not the kit
    AddGapKit(db);
    QVERIFY(DataMod->Replication.IsPushMissingTAVENDefined(db.Path()));
    // No exception for an empty path: the connection to nothing fails.
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.IsGAPDefined(QString()));
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.IsPushMissingTAVENDefined(QString()));
}

void TestGap::detectGap()
{
    TTestDatabase db;
    AddGapKit(db);
    TMemTable t;
    t.AddColumn(QStringLiteral("TABLE_NAME"));
    t.AddColumn(QStringLiteral("NB"), QMetaType::Int);
    t.AddColumn(QStringLiteral("INFO"));
    t.AddColumn(QStringLiteral("EN_PLUS")); // more columns than returned is fine
    DataMod->Replication.DetectGAP(db.Path(), t);
    QCOMPARE(t.RecordCount(), 2);
    QCOMPARE(t.RecNo(), 0);
    QCOMPARE(t.Value(0, 0).toString(), QStringLiteral("ART"));
    QCOMPARE(t.Value(0, 1).toInt(), 3);
    QVERIFY(t.Value(0, 2).isNull()); // a null stays null
    QCOMPARE(t.Value(1, 2).toString(), QStringLiteral("x"));

    // A detector that finds nothing: open and empty.
    db.Exec(QStringLiteral("ALTER PROCEDURE IVRO_DETECT_GAP RETURNS (TABLE_NAME VARCHAR(31), NB INTEGER, "
                           "INFO VARCHAR(20)) AS BEGIN IF (1 = 0) THEN SUSPEND; END"));
    DataMod->Replication.DetectGAP(db.Path(), t);
    QVERIFY(t.Active());
    QCOMPARE(t.RecordCount(), 0);

    // An empty path leaves the dataset as it was.
    t.Append();
    t.SetValue(0, QStringLiteral("gardée"));
    t.Post();
    DataMod->Replication.DetectGAP(QString(), t);
    QCOMPARE(t.RecordCount(), 1);
}

void TestGap::detectGapRefusals()
{
    TTestDatabase db;
    AddGapKit(db);
    TMemTable narrow = Dataset(2); // the detector returns three columns
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.DetectGAP(db.Path(), narrow));
    QVERIFY(!narrow.Active());
    QCOMPARE(narrow.RecordCount(), 0);

    TTestDatabase without;
    TMemTable t = Dataset(3);
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.DetectGAP(without.Path(), t));
    QVERIFY(!t.Active());
}

void TestGap::doGap()
{
    TTestDatabase db;
    AddGapKit(db);
    DataMod->Replication.DoGAP(QString()); // nothing, no report
    DataMod->Replication.DoGAP(db.Path());
    // Every row was read, so the procedure ran to its end; the work is committed.
    QCOMPARE(db.Rows(QStringLiteral("SELECT ETAPE, QUI FROM IVRO_GAP_TRACE ORDER BY ETAPE")),
             (QStringList{"1|DO_GAP 1", "2|DO_GAP 1"}));
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.DoGAP(TTestDatabase::Folder() + QStringLiteral("absente.fdb")));
}

void TestGap::doGapCommitsWorkBeforeFailure()
{
    TTestDatabase db;
    AddGapKit(db);
    db.Exec(QStringLiteral("INSERT INTO IVRO_GAP_ECHEC VALUES (1)"));
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.DoGAP(db.Path()));
    QCOMPARE(db.Rows(QStringLiteral("SELECT ETAPE, QUI FROM IVRO_GAP_TRACE")), QStringList{"1|DO_GAP 1"});
}

void TestGap::doPushMissingTaven()
{
    TTestDatabase db;
    AddGapKit(db);
    DataMod->Replication.DoPushMissingTAVEN(db.Path());
    QCOMPARE(db.Rows(QStringLiteral("SELECT ETAPE, QUI FROM IVRO_GAP_TRACE")), QStringList{"1|PUSH 1"});

    TTestDatabase without;
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.DoPushMissingTAVEN(without.Path()));
}

QTEST_GUILESS_MAIN(TestGap)
#include "tst_gap.moc"
