#pragma once

// Where the engine's installation and the node configuration meet the
// system: every outside program they start and every service they touch
// goes through this one interface, so that a test can put a recorder in its
// place. The default forwards to the platform's service and process helpers.

#include "platform/SymmetricDS.Commun.h"

#include <QString>
#include <QStringList>

#include <memory>

// How a program went: started or not (and why not), and its exit code.
struct TProgramRun
{
    bool Started = false;
    int ExitCode = -1; // -1 when not known: ended by a signal, or no process to wait on
    QString Error;     // French, when it did not start

    bool Succeeded() const { return Started && ExitCode == 0; }
};

class TSystemeMoteur
{
public:
    virtual ~TSystemeMoteur() = default;

    // Windows conventions (backslashes, javaw, sc.exe, netsh.exe) or the
    // POSIX ones (slashes, java, systemctl); the system's own implementation
    // answers for the system the program runs on.
    virtual bool Windows() const = 0;

    // Elevated, window shown unless aHidden; waits for its end. Each argument
    // stays one argument: on Windows the command line is built by
    // WindowsCommandLine().
    virtual TProgramRun RunAndWait(const QString &aFile, const QStringList &aArguments, const QString &aDirectory,
                                   bool aHidden) = 0;
    // An existing target is replaced, missing folders are made.
    virtual bool CopyFile(const QString &aSource, const QString &aTarget) = 0;
    virtual TInfoSurService ServiceInfo(const QString &aService) = 0;
    // On the local computer; true when the service ends running, respectively stopped.
    virtual bool StartService(const QString &aService) = 0;
    virtual bool StopService(const QString &aService) = 0;
};

// The arguments as one Windows command line, each read back whole by the
// C runtime's rules: quoted when it holds a blank or is empty, its quotes and
// the backslashes before them escaped.
QString WindowsCommandLine(const QStringList &aArguments);

// The system's own implementation.
std::unique_ptr<TSystemeMoteur> NewSystemeMoteurPlateforme();
