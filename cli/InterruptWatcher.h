#pragma once

// Ctrl-C and SIGTERM (on Windows: the console's control events), owned by
// the command line from its first instruction to its last.
//
// The handler itself only wakes a thread of ours (POSIX: a byte in a pipe;
// Windows runs console handlers on a thread of their own). That thread stops
// what runs and ends the process with exit code 130 and one French line on
// standard error, at once: the server rolls back whatever the process left
// uncommitted, and no transaction can commit after an interruption (see
// TDbConnection::Abandon). The command's own code is never unwound under a
// statement still running, and the database client's own shutdown never
// runs: the client's handlers, set on its first attachment, are taken back
// right after it.

#include <QString>

#include <functional>

namespace Interruption {

// The first instruction of the program.
void Start();
// Takes the signals back from whoever set handlers since Start().
void Reclaim();
// True once an interruption has come.
bool Requested();
// The command's outcome is decided and about to be reported: an
// interruption from now on no longer changes what it says nor its exit
// code (a second one still ends the process at once).
void Settle();
bool Settled();
// The command failed after an interruption: prints the interruption's line
// (once for the process) and gives the exit code, 130.
int Interrupted();
// The command has returned aCode: gives the process's exit code. After an
// interruption the process ends here, without any library's shutdown.
int Leave(int aCode);
// Ends the process now with aCode, without waiting for what still runs (a
// call the server no longer answers) nor any library's shutdown.
[[noreturn]] void Quit(int aCode);

} // namespace Interruption

// While it lives, an interruption runs aStop, on the watching thread, instead
// of abandoning every connection of the process. aStop stops the command's
// work and answers true when the process may end now with aLine, false when
// the work had already gone through (its commit was under way or done): the
// command then ends by itself and reports it, however long that takes. A
// second interruption meanwhile ends the process at once: aForce, when
// given, says what is left unknown (its text goes to standard error instead
// of the usual line). aStop and aForce must be quick and must not throw;
// they run while the scope's creator waits to destroy it.
class TInterruptScope
{
public:
    TInterruptScope(const QString &aLine, std::function<bool()> aStop, std::function<QString()> aForce = {});
    ~TInterruptScope();
    TInterruptScope(const TInterruptScope &) = delete;
    TInterruptScope &operator=(const TInterruptScope &) = delete;

private:
    void *FScope;
};
