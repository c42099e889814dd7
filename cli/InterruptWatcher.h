#pragma once

// SIGINT and SIGTERM owned by the command line while a write runs: the
// handler only writes the signal's number into a pipe, and the main thread
// learns of it through its event loop (or by asking), never inside the
// handler. Installing again after the database client has set its own
// handlers takes them back: the client's would shut itself down under a
// statement still running.

#include <functional>
#include <memory>

class QSocketNotifier;

class TInterruptWatcher
{
public:
    // aOnSignal runs on the main thread, once per signal: from its event
    // loop, or from Received().
    explicit TInterruptWatcher(std::function<void(int aSignal)> aOnSignal = {});
    ~TInterruptWatcher(); // restores the dispositions found
    TInterruptWatcher(const TInterruptWatcher &) = delete;
    TInterruptWatcher &operator=(const TInterruptWatcher &) = delete;

    // Installs the handler again, over whatever was installed meanwhile.
    void Install();
    // True once a signal has come, whether the event loop ran or not.
    bool Received();

private:
    void Drain();

    std::function<void(int)> FOnSignal;
    std::unique_ptr<QSocketNotifier> FNotifier;
    int FPipe[2] = {-1, -1};
    int FCount = 0;
};
