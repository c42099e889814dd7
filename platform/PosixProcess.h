#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Starting a program without a shell and waiting for its end (fork, exec,
// waitpid). POSIX only: the service and shell helpers are built on it.

// What becomes of the program's standard streams.
enum class TProcessStreams : quint8 {
    Inherit, // the caller's own terminal
    Discard, // nothing in, everything out to /dev/null
    Capture, // standard output read into Output, the rest discarded
};

struct TProcessResult
{
    bool Started = false; // false: not found, not executable, or no such working folder
    int ExitCode = -1;    // -1 when the program was ended by a signal
    QByteArray Output;    // with TProcessStreams::Capture
    QString Error;        // French, when not started
};

// The program named by a path (a relative one taken from the current
// folder), or found on PATH when the name holds no "/". Empty when there is
// no such executable file.
QString FindProgram(const QString &aProgram);

// Runs the program with these arguments in aDirectory (empty: the current
// folder) and waits for it. With aPumpEvents, the application's pending
// events are processed while waiting, when there is an application and
// this is its thread.
TProcessResult RunProgramAndWait(const QString &aProgram, const QStringList &aArguments,
                                 const QString &aDirectory, TProcessStreams aStreams,
                                 bool aPumpEvents = false);
