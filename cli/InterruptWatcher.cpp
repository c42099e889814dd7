#include "cli/InterruptWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Written once before the handler is installed, read only by the handler.
volatile sig_atomic_t gWriteEnd = -1;

struct sigaction gPrevious[2];
const int KSignals[2] = {SIGINT, SIGTERM};

extern "C" void OnSignal(int aSignal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(aSignal);
    [[maybe_unused]] const ssize_t written = ::write(gWriteEnd, &byte, 1);
    errno = saved;
}

} // namespace

TInterruptWatcher::TInterruptWatcher(std::function<void(int)> aOnSignal) : FOnSignal(std::move(aOnSignal))
{
    if (::pipe(FPipe) != 0)
        return;
    for (int fd : FPipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    gWriteEnd = FPipe[1];
    FNotifier = std::make_unique<QSocketNotifier>(FPipe[0], QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(), [this] { Drain(); });
    for (int i = 0; i < 2; ++i)
        ::sigaction(KSignals[i], nullptr, &gPrevious[i]);
    Install();
}

TInterruptWatcher::~TInterruptWatcher()
{
    if (FPipe[0] < 0)
        return;
    for (int i = 0; i < 2; ++i)
        ::sigaction(KSignals[i], &gPrevious[i], nullptr);
    FNotifier.reset();
    gWriteEnd = -1;
    ::close(FPipe[0]);
    ::close(FPipe[1]);
}

void TInterruptWatcher::Install()
{
    if (FPipe[0] < 0)
        return;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : KSignals)
        ::sigaction(signal, &action, nullptr);
}

bool TInterruptWatcher::Received()
{
    Drain();
    return FCount > 0;
}

void TInterruptWatcher::Drain()
{
    if (FPipe[0] < 0)
        return;
    unsigned char byte = 0;
    while (::read(FPipe[0], &byte, 1) == 1) {
        ++FCount;
        if (FOnSignal)
            FOnSignal(byte);
    }
}
