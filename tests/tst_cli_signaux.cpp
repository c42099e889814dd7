// Ctrl-C and SIGTERM at any moment of a command: the real ivromvt-cli run as
// a child process and interrupted at several moments.
#include "testdb/RoutingFixture.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>

using namespace RoutingFixture;

namespace {

const QDate KDay(2026, 3, 10);
const QString KNoeud = QStringLiteral("mag-001");

// True once the process has a handler for aSignal: from then on the
// program, not the system, answers it.
bool Handles(qint64 aPid, int aSignal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(aPid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (aSignal - 1)) & 1;
    return false;
}

struct TOutcome
{
    bool Signalled = false; // the process still ran when the signal was sent
    QProcess::ExitStatus Status = QProcess::NormalExit;
    int Code = -1;
    QString Out;
    QString Err;
};

// Starts the command, waits for aReady, then aDelayMs, and signals it if it
// still runs.
TOutcome Interrupt(const QStringList &aArgs, int aSignal, int aDelayMs,
                   const std::function<bool(QProcess &)> &aReady)
{
    QProcess p;
    p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
    p.setArguments(aArgs);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    TOutcome o;
    if (!p.waitForStarted())
        return o;
    QElapsedTimer clock;
    clock.start();
    while (p.state() == QProcess::Running && !aReady(p) && clock.elapsed() < 60000)
        QTest::qWait(2);
    if (aDelayMs > 0)
        QTest::qWait(aDelayMs);
    if (p.state() == QProcess::Running) {
        o.Signalled = true;
        ::kill(pid_t(p.processId()), aSignal);
    }
    if (p.state() != QProcess::NotRunning && !p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        o.Status = QProcess::CrashExit;
        return o;
    }
    o.Status = p.exitStatus();
    o.Code = p.exitCode();
    o.Out = QString::fromUtf8(p.readAllStandardOutput());
    o.Err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

} // namespace

class TestCliSignaux : public QObject
{
    Q_OBJECT

private slots:
    void interruptedAtAnyMoment_data();
    void interruptedAtAnyMoment();
    void followingInterrupted_data();
    void followingInterrupted();
};

void TestCliSignaux::interruptedAtAnyMoment_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("signal");
    QTest::newRow("evaluer SIGINT") << "evaluer" << int(SIGINT);
    QTest::newRow("evaluer SIGTERM") << "evaluer" << int(SIGTERM);
    QTest::newRow("noeuds SIGINT") << "noeuds" << int(SIGINT);
    QTest::newRow("noeuds SIGTERM") << "noeuds" << int(SIGTERM);
}

// From the program's first instruction on, a signal ends the command with
// 130 and one French line, whatever it was doing (starting, attaching,
// reading); a command that ended first ends as usual. Never a crash, never
// a command that carries on and reports an error or a result.
void TestCliSignaux::interruptedAtAnyMoment()
{
    QFETCH(QString, command);
    QFETCH(int, signal);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 2000, KDay);
    QStringList args{command, db.Path()};
    if (command == QLatin1String("evaluer"))
        args << QStringLiteral("--du") << QStringLiteral("01/03/2026") << QStringLiteral("--au")
             << QStringLiteral("31/03/2026");
    int interrupted = 0;
    for (int delai : {0, 20, 60, 120, 200, 300}) {
        const TOutcome o = Interrupt(args, signal, delai,
                                     [signal](QProcess &p) { return Handles(p.processId(), signal); });
        const QString what = QStringLiteral("%1 ms: code %2, erreur « %3 »").arg(delai).arg(o.Code).arg(o.Err);
        QVERIFY2(o.Status == QProcess::NormalExit, qPrintable(what));
        if (o.Code == 130) {
            ++interrupted;
            QVERIFY2(o.Err == QStringLiteral("Commande interrompue.\n"), qPrintable(what));
        } else {
            QVERIFY2(!o.Signalled || o.Code == 0, qPrintable(what));
            QVERIFY2(o.Code == 0 && o.Err.isEmpty(), qPrintable(what));
        }
    }
    // The first moments come before the command can have ended.
    QVERIFY(interrupted > 0);
}

void TestCliSignaux::followingInterrupted_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

// Ctrl-C is how a follow ends: between two rounds or while one reads the
// database, an ordinary end (130, one French line), not a failure.
void TestCliSignaux::followingInterrupted()
{
    QFETCH(int, signal);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, KDay);
    const qint64 e1 = AddEvent(db, KNoeud);
    const qint64 e2 = AddEvent(db, KNoeud);
    AddGap(db, e2, e2 + 50000000);
    Route(db, e1, 1, KNoeud, QStringLiteral("LD"));
    const QStringList args{QStringLiteral("suivi"), db.Path(), QStringLiteral("--noeud"), KNoeud,
                           QStringLiteral("--de"), QString::number(e1), QStringLiteral("--a"),
                           QString::number(e2), QStringLiteral("--suivre"), QStringLiteral("1")};
    for (int delai : {0, 500, 1100}) {
        const TOutcome o = Interrupt(args, signal, delai, [](QProcess &p) { return p.bytesAvailable() > 0; });
        const QString what = QStringLiteral("%1 ms: code %2, erreur « %3 »").arg(delai).arg(o.Code).arg(o.Err);
        QVERIFY2(o.Signalled, qPrintable(what));
        QVERIFY2(o.Status == QProcess::NormalExit && o.Code == 130, qPrintable(what));
        QCOMPARE(o.Err, QStringLiteral("Suivi interrompu.\n"));
        QVERIFY2(o.Out.contains(QStringLiteral("en route")), qPrintable(o.Out));
    }
}

QTEST_GUILESS_MAIN(TestCliSignaux)
#include "tst_cli_signaux.moc"
