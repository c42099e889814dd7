// How long `ivromvt-cli envoyer` takes to end once interrupted while its
// range procedure runs, over many runs at random moments; and how long the
// server then takes to be rid of the cancelled statement. Run by hand:
//   bench_interruption [RUNS] [K_ROWS]   (default 30 runs, 199999 rows)
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

const QString KRunning = QStringLiteral(
    "MON$STATEMENTS WHERE MON$STATE = 1 AND MON$ATTACHMENT_ID <> CURRENT_CONNECTION "
    "AND MON$SQL_TEXT CONTAINING 'IVRO_MVT_LAME2MAG_NODE'");

double median(QList<double> aValues)
{
    std::sort(aValues.begin(), aValues.end());
    const qsizetype n = aValues.size();
    return n == 0 ? 0 : (n % 2 ? aValues[n / 2] : (aValues[n / 2 - 1] + aValues[n / 2]) / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 30;
    const int rows = argc > 2 ? QString::fromLatin1(argv[2]).toInt() : 199999;
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), rows, QDate(2026, 3, 10));
    QList<double> exits, servers;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        // Events of an earlier run that ended before its signal stay: each
        // run is judged on what it adds.
        const int before = db.Count(QStringLiteral("SYM_DATA"));
        QProcess p;
        p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
        p.setArguments({QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                        QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"),
                        QStringLiteral("mag-001"), QStringLiteral("--oui")});
        p.setStandardInputFile(QProcess::nullDevice());
        p.start();
        p.waitForStarted();
        while (p.state() == QProcess::Running && db.Count(KRunning) == 0)
            QThread::msleep(5);
        QThread::msleep(QRandomGenerator::global()->bounded(1500));
        if (p.state() != QProcess::Running) {
            std::printf("run %2d: ended before the signal\n", run + 1);
            continue;
        }
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(p.processId()), SIGINT);
        p.waitForFinished(60000);
        const double exitMs = double(clock.nsecsElapsed()) / 1e6;
        while (db.Count(KRunning) > 0 && clock.elapsed() < 120000)
            QThread::msleep(5);
        const double serverMs = double(clock.nsecsElapsed()) / 1e6;
        const int added = db.Count(QStringLiteral("SYM_DATA")) - before;
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 && added > 0) {
            std::printf("run %2d: the sending was done before the signal\n", run + 1);
            continue;
        }
        const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 130 && added == 0;
        failures += ok ? 0 : 1;
        exits << exitMs;
        servers << serverMs;
        std::printf("run %2d: exit %7.1f ms   statement gone on the server %7.1f ms%s\n", run + 1, exitMs, serverMs,
                    ok ? "" : "   FAILED (code, or events left)");
        std::fflush(stdout);
    }
    if (exits.isEmpty())
        return 1;
    std::printf("exit: median %.1f ms, max %.1f ms, over 2 s: %lld of %lld; server: median %.1f ms, max %.1f ms; "
                "failures %d\n",
                median(exits), *std::max_element(exits.begin(), exits.end()),
                qint64(std::count_if(exits.begin(), exits.end(), [](double v) { return v > 2000; })),
                qint64(exits.size()), median(servers), *std::max_element(servers.begin(), servers.end()), failures);
    return failures == 0 ? 0 : 1;
}
