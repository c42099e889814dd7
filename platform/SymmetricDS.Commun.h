#pragma once

#include <QString>

// What the engine installation and the shop configuration ask of the system's
// services and shell: read a service's configuration, run a program elevated
// and wait for it, copy a file. One implementation per platform, behind these
// declarations; none of them raises.

// Alphabetical after the "none" value: not the system's own numbering.
enum class TServiceType : quint8 { sNone, FileSystemDriver, KernelDriver, Win32OwnProcess, Win32ShareProcess };
enum class TStartType : quint8 { tNone, AutoStart, BootStart, DemandStart, Disabled, SystemStart };
enum class TErrorControl : quint8 { eNone, ErrorCritical, ErrorIgnore, ErrorNormal, ErrorSevere };

struct TInfoSurService
{
    bool Exist = false;
    QString ErrorMessage;
    TServiceType ServiceType = TServiceType::sNone;
    TStartType StartType = TStartType::tNone;
    TErrorControl ErrorControl = TErrorControl::eNone;
    QString BinaryPathName;
    QString LoadOrderGroup;
    qint32 TagId = 0;
    QString Dependencies; // the first name of the dependency list only
    QString ServiceStartName;
    QString DisplayName;
};

void ClearInfoSurService(TInfoSurService &aInfo);
// Fills aInfo; a failure is told by Exist and ErrorMessage only.
void GetInfoSurService(const QString &aServiceName, TInfoSurService &aInfo);
// True when the program was started and has ended, whatever its exit code.
bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory, bool aHidden);
// True when the copy succeeded: an existing target is replaced, missing
// folders are created.
bool ShellCopyFile(const QString &aSource, const QString &aTarget);

// RunAsAndWait, telling why the program did not start: the system's text on
// Windows (the elevation declined, the file not found), ours on POSIX, where
// nothing can be elevated and the caller must already be root.
bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory, bool aHidden,
                  QString &aErreur);

// The same with the program's exit code in aExitCode: -1 when it is not known
// (ended by a signal, or no process to wait on).
bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory, bool aHidden,
                  QString &aErreur, int &aExitCode);
