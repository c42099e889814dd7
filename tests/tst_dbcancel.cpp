// Cancelling a running statement from another thread, as the command line
// does on SIGINT or SIGTERM.
#include "db/DbConnection.h"
#include "db/DbError.h"
#include "db/DbQuery.h"
#include "testdb/TestDatabase.h"

#include <QThread>
#include <QtTest>

#include <atomic>

class TestDbCancel : public QObject
{
    Q_OBJECT

private slots:
    void cancelRunningStatement();
    void cancelWhileIdle();
    void abandonedConnectionNeverCommits();
};

namespace {

const QString KLongue = QStringLiteral(
    "EXECUTE BLOCK AS DECLARE I BIGINT = 0; BEGIN WHILE (I < 4000000000) DO BEGIN "
    "I = I + 1; END INSERT INTO MARK VALUES (1); END");

} // namespace

void TestDbCancel::cancelRunningStatement()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE MARK (N INTEGER)"));
    auto cnx = db.Connect();
    QVERIFY(!cnx->CancelOperation()); // not attached: nothing to ask
    cnx->Open();

    std::atomic<bool> done = false;
    QString message;
    QThread *worker = QThread::create([&] {
        const TFixtureSql longRun; // a test's own long statement, in Firebird's PSQL
        TDbQuery q(cnx.get());
        q.SetParamCheck(false);
        q.SQL() << KLongue;
        try {
            q.ExecSQL();
        } catch (const EDbError &e) {
            message = e.Message();
        }
        done = true;
    });
    worker->start();
    QTest::qWait(500);
    QVERIFY(!done);
    QVERIFY(cnx->CancelOperation());
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    worker->wait();
    delete worker;
    QVERIFY(!message.isEmpty());
    QCOMPARE(db.Count(QStringLiteral("MARK")), 0);

    TDbQuery q(cnx.get());
    q.SQL() << QStringLiteral("SELECT 1 FROM RDB$DATABASE");
    if (InterBaseClient()) {
        // The attachment was ended: it says so, and closing it is quiet.
        QVERIFY_THROWS_EXCEPTION(EDbError, q.Open());
        cnx->Close();
        QVERIFY(!cnx->Connected());
        return;
    }
    // The connection is still usable.
    q.Open();
    QCOMPARE(q.Fields(0).AsInteger(), 1);
}

// Between statements there is nothing to cancel: the request is no failure
// and the next statement runs.
void TestDbCancel::cancelWhileIdle()
{
    if (InterBaseClient())
        QSKIP("InterBase's client has no cancel call: the attachment is ended even between statements");
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    auto cnx = db.Connect();
    cnx->Open();
    QVERIFY(cnx->CancelOperation());
    TDbQuery q(cnx.get());
    q.SQL() << QStringLiteral("SELECT 1 FROM RDB$DATABASE");
    q.Open();
    QCOMPARE(q.Fields(0).AsInteger(), 1);
}

// What an interruption relies on: once a connection is abandoned, nothing
// it did or does is ever committed, automatically or explicitly; the other
// connections of the process are not touched.
void TestDbCancel::abandonedConnectionNeverCommits()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE MARK (N INTEGER)"));
    auto cnx = db.Connect();
    auto other = db.Connect();
    TDbQuery ins(cnx.get());
    ins.SQL() << QStringLiteral("INSERT INTO MARK VALUES (1)");
    ins.ExecSQL();
    QCOMPARE(cnx->Commits(), quint64(1));

    cnx->StartTransaction();
    ins.ExecSQL();
    QVERIFY(cnx->Abandon()); // no commit under way
    QVERIFY_THROWS_EXCEPTION(EDbError, cnx->Commit());
    try {
        cnx->Rollback();
    } catch (const EDbError &) {
        // InterBase's client: abandoning ended the attachment, and its
        // transaction went with it.
        QVERIFY(InterBaseClient());
    }
    QVERIFY_THROWS_EXCEPTION(EDbError, ins.ExecSQL()); // autocommit: refused at its commit
    QCOMPARE(cnx->Commits(), quint64(1));
    QCOMPARE(db.Count(QStringLiteral("MARK")), 1);

    TDbQuery ok(other.get());
    ok.SQL() << QStringLiteral("INSERT INTO MARK VALUES (2)");
    ok.ExecSQL();
    QCOMPARE(db.Count(QStringLiteral("MARK")), 2);
}

QTEST_GUILESS_MAIN(TestDbCancel)
#include "tst_dbcancel.moc"
