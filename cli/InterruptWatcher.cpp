#include "cli/InterruptWatcher.h"

#include "db/DbConnection.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#ifdef Q_OS_WIN
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace {

constexpr int KExitCode = 130;

struct TScope
{
    std::string Line;
    std::function<bool()> Stop;
    std::function<QString()> Force;
    TScope *Previous = nullptr;
};

// Plain data only: a signal may be handled while static objects are being
// destroyed at exit.
std::atomic<int> gSignals{0};
std::atomic<bool> gHandling{false};
std::atomic<bool> gLeft{false};
std::atomic<bool> gSettled{false};
std::atomic<bool> gLinePrinted{false};
std::mutex gScopeLock;
TScope *gScope = nullptr;

const char KDefaultLine[] = "Commande interrompue.";

void writeError(const std::string &aText)
{
#ifdef Q_OS_WIN
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), aText.data(), DWORD(aText.size()), &written, nullptr);
#else
    const char *p = aText.data();
    size_t left = aText.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        p += n;
        left -= size_t(n);
    }
#endif
}

void printLine(const std::string &aLine)
{
    if (gLinePrinted.exchange(true))
        return;
    std::fflush(stdout);
    writeError(aLine + "\n");
}

[[noreturn]] void endProcess(int aCode)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(aCode);
}

bool anotherSignal();

// The line for an interruption that ends the process before the work it
// waited for has reported.
std::string forcedLine()
{
    const std::lock_guard lock(gScopeLock);
    // An outcome already known has been or is being said: nothing to add.
    if (gScope && gScope->Force && !gSettled)
        return gScope->Force().toStdString();
    return KDefaultLine;
}

// On the watching thread, once per signal.
void handle()
{
    // The command has returned and said how it ended: the process is ending
    // with that. Only a second signal cuts its shutdown short.
    if (gLeft || gSettled) {
        if (gSignals.fetch_add(1) > 0)
            endProcess(KExitCode);
        return;
    }
    gHandling = true;
    // Seen by Leave() or seeing what it did: one of the two.
    if (gLeft) {
        gHandling = false;
        gSignals.fetch_add(1);
        return;
    }
    std::string line = KDefaultLine;
    if (gSignals.fetch_add(1) > 0) {
        // A second interruption while the first waits for a report.
        printLine(forcedLine());
        endProcess(KExitCode);
    }
    bool endNow = true;
    {
        const std::lock_guard lock(gScopeLock);
        if (gScope) {
            line = gScope->Line;
            endNow = gScope->Stop();
        } else {
            TDbConnection::AbandonAll();
        }
    }
    if (endNow) {
        printLine(line);
        endProcess(KExitCode);
    }
    // The work went through, or is going through: the command reports it,
    // and Leave() ends the process. Only a second interruption ends it
    // sooner, saying what is then left unknown.
    while (!anotherSignal())
        ;
    gSignals.fetch_add(1);
    printLine(forcedLine());
    endProcess(KExitCode);
}

#ifdef Q_OS_WIN

BOOL WINAPI onConsoleEvent(DWORD aEvent)
{
    switch (aEvent) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        handle();
        return TRUE;
    default:
        return FALSE;
    }
}

void install()
{
    // The handler registered last is called first: registered again, ours
    // comes before any the database client added.
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void startWatching()
{
    install();
}

// Each console event comes on a thread of its own: a second one ends the
// process from there.
bool anotherSignal()
{
    ::Sleep(10);
    return false;
}

#else

int gPipe[2] = {-1, -1};
const int KSignals[] = {SIGINT, SIGTERM};

extern "C" void onSignal(int aSignal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(aSignal);
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

// A signal ignored when the program started (a job run in the background
// by a script) stays ignored, as the one who started it asked.
bool gIgnored[2] = {false, false};

void install()
{
    for (int i = 0; i < 2; ++i) {
        const int signal = KSignals[i];
        struct sigaction current = {};
        ::sigaction(signal, nullptr, &current);
        const auto wanted = gIgnored[i] ? SIG_IGN : onSignal;
        if (current.sa_handler == wanted)
            continue;
        struct sigaction action = {};
        action.sa_handler = wanted;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(signal, &action, nullptr);
    }
}

bool anotherSignal()
{
    pollfd pfd{gPipe[0], POLLIN, 0};
    return ::poll(&pfd, 1, 10) == 1;
}

void startWatching()
{
    for (int i = 0; i < 2; ++i) {
        struct sigaction current = {};
        ::sigaction(KSignals[i], nullptr, &current);
        gIgnored[i] = current.sa_handler == SIG_IGN;
    }
    if (::pipe(gPipe) != 0)
        return; // the signals keep their default action: they end the process
    for (int fd : gPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(gPipe[1], F_SETFL, ::fcntl(gPipe[1], F_GETFL) | O_NONBLOCK);
    std::thread([] {
        for (;;) {
            unsigned char byte = 0;
            const ssize_t n = ::read(gPipe[0], &byte, 1);
            if (n == 1)
                handle();
            else if (n < 0 && errno != EINTR)
                return;
        }
    }).detach();
    install();
}

#endif

} // namespace

namespace Interruption {

void Start()
{
    startWatching();
    SetAfterAttachHook(Reclaim);
}

void Reclaim()
{
    install();
}

bool Requested()
{
    return gSignals > 0;
}

void Settle()
{
    gSettled = true;
}

bool Settled()
{
    return gSettled;
}

int Interrupted()
{
    std::string line = KDefaultLine;
    {
        const std::lock_guard lock(gScopeLock);
        if (gScope)
            line = gScope->Line;
    }
    printLine(line);
    return KExitCode;
}

int Leave(int aCode)
{
    gLeft = true;
    // Either the watching thread sees gLeft, or this sees it at work.
    if (!gHandling && gSignals == 0)
        return aCode;
    if (aCode != 0 && !gSettled)
        aCode = Interrupted();
    endProcess(aCode);
}

void Quit(int aCode)
{
    endProcess(aCode);
}

} // namespace Interruption

TInterruptScope::TInterruptScope(const QString &aLine, std::function<bool()> aStop, std::function<QString()> aForce)
{
    auto *scope = new TScope{aLine.toStdString(), std::move(aStop), std::move(aForce)};
    const std::lock_guard lock(gScopeLock);
    scope->Previous = gScope;
    FScope = scope;
    gScope = scope;
}

TInterruptScope::~TInterruptScope()
{
    auto *scope = static_cast<TScope *>(FScope);
    {
        const std::lock_guard lock(gScopeLock);
        gScope = scope->Previous;
    }
    delete scope;
}
