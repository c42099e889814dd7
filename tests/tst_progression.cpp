// How far a sending got: the SYM_DATA generator read on a second
// connection while the range procedure inserts, on a real sending.
#include "DataModFixture.h"
#include "data/mouvement/MouvementProgression.h"
#include "data/mouvement/QueryThread.h"
#include "db/DbError.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

const QDate KDay(2026, 3, 10);

} // namespace

class TestProgression : public QObject
{
    Q_OBJECT

private slots:
    void readsWhileSending();
    void noGenerator();

private:
    TDataModFixture FDataMod;
};

void TestProgression::readsWhileSending()
{
    constexpr int rows = 30000;
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), rows, KDay);
    QTemporaryDir dir;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), dir.path() + QLatin1Char('/')));
    // A capture of the site before the sending: not part of it.
    db.Scalar(QStringLiteral("SELECT GEN_ID(GEN_SYM_DATA_DATA_ID, 5) FROM RDB$DATABASE"));

    TMouvementProgression progression(FDataMod.Acces.getNewConnexion(SysdbaRef(db.Path())), 20);
    QList<qint64> seen;
    connect(&progression, &TMouvementProgression::Avancement, this, [&seen](qint64 aInseres) { seen << aInseres; });
    const qint64 depart = progression.Depart();
    QCOMPARE(depart, 5);

    auto cnx = FDataMod.Acces.getNewConnexion(SysdbaRef(db.Path()));
    const TDateTime day = TDateTime::FromQDate(KDay);
    auto query = FDataMod.Mouvement.NewMouvementSendQuery(cnx.get(), TSensMouvement::LameVersMag, MouvementDebutPlage(day), MouvementFinPlage(day),
                                          QStringLiteral("mag-001"));
    QEventLoop loop;
    qint32 resultat = -1;
    auto *worker = new TQueryThread(cnx.get(), query.get(), [&resultat](TQueryThread *aSender) {
        resultat = aSender->FResultat;
    });
    QPointer<TQueryThread> guard(worker);
    connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
    progression.Demarrer();
    worker->Start();
    if (guard)
        loop.exec();
    const qint64 fin = progression.Arreter();
    QCoreApplication::processEvents();

    QCOMPARE(resultat, 0);
    QCOMPARE(fin - depart, qint64(2 * rows));
    QVERIFY(!seen.isEmpty());
    QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()));
    QVERIFY(seen.last() <= 2 * rows);
    // The generator moved while the procedure's transaction was still open.
    QVERIFY2(std::any_of(seen.cbegin(), seen.cend(), [](qint64 v) { return v > 0 && v < 2 * rows; }),
             qPrintable(QStringLiteral("%1 lectures").arg(seen.size())));
}

void TestProgression::noGenerator()
{
    TTestDatabase db(TTestDatabase::TSchema::RetailOnly);
    TMouvementProgression progression(FDataMod.Acces.getNewConnexion(SysdbaRef(db.Path())), 20);
    QVERIFY_THROWS_EXCEPTION(EDbError, progression.Depart());
}

QTEST_GUILESS_MAIN(TestProgression)
#include "tst_progression.moc"
