// The Qt face of the Windows service and shell helpers (platform/win32).
#include "platform/SymmetricDS.Commun.h"

#include "platform/win32/WinServiceInfo.h"
#include "platform/win32/WinShell.h"

#include <QCoreApplication>
#include <QThread>

namespace {

// The two records list their values in the same order.
static_assert(int(TServiceType::Win32ShareProcess) == int(TWinServiceType::Win32ShareProcess)
              && int(TServiceType::KernelDriver) == int(TWinServiceType::KernelDriver));
static_assert(int(TStartType::SystemStart) == int(TWinStartType::SystemStart)
              && int(TStartType::DemandStart) == int(TWinStartType::DemandStart));
static_assert(int(TErrorControl::ErrorSevere) == int(TWinErrorControl::ErrorSevere)
              && int(TErrorControl::ErrorIgnore) == int(TWinErrorControl::ErrorIgnore));

// The window stays responsive while an elevated program runs.
void PumpEvents()
{
    if (QCoreApplication *app = QCoreApplication::instance(); app && app->thread() == QThread::currentThread())
        QCoreApplication::processEvents();
}

} // namespace

void GetInfoSurService(const QString &aServiceName, TInfoSurService &aInfo)
{
    ClearInfoSurService(aInfo);
    try {
        TWinServiceInfo info;
        WinGetServiceInfo(aServiceName.toStdWString(), info);
        aInfo.Exist = info.Exist;
        aInfo.ErrorMessage = QString::fromStdWString(info.ErrorMessage);
        aInfo.ServiceType = static_cast<TServiceType>(info.ServiceType);
        aInfo.StartType = static_cast<TStartType>(info.StartType);
        aInfo.ErrorControl = static_cast<TErrorControl>(info.ErrorControl);
        aInfo.BinaryPathName = QString::fromStdWString(info.BinaryPathName);
        aInfo.LoadOrderGroup = QString::fromStdWString(info.LoadOrderGroup);
        aInfo.TagId = info.TagId;
        aInfo.Dependencies = QString::fromStdWString(info.Dependencies);
        aInfo.ServiceStartName = QString::fromStdWString(info.ServiceStartName);
        aInfo.DisplayName = QString::fromStdWString(info.DisplayName);
    } catch (...) {
        // Never raises: the record keeps what was set so far.
    }
}

bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory, bool aHidden,
                  QString &aErreur)
{
    std::wstring error;
    const bool started = WinRunAsAndWait(aFile.toStdWString(), aParameters.toStdWString(),
                                         aDirectory.toStdWString(), aHidden, &error, PumpEvents);
    aErreur = started ? QString() : QString::fromStdWString(error);
    return started;
}

bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory, bool aHidden,
                  QString &aErreur, int &aExitCode)
{
    std::wstring error;
    constexpr unsigned long unknown = 0xFFFFFFFFul;
    unsigned long code = unknown;
    const bool started = WinRunAsAndWait(aFile.toStdWString(), aParameters.toStdWString(),
                                         aDirectory.toStdWString(), aHidden, &error, PumpEvents, &code);
    aErreur = started ? QString() : QString::fromStdWString(error);
    aExitCode = code == unknown ? -1 : int(code);
    return started;
}

bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory, bool aHidden)
{
    QString error;
    return RunAsAndWait(aFile, aParameters, aDirectory, aHidden, error);
}

bool ShellCopyFile(const QString &aSource, const QString &aTarget)
{
    return WinShellCopyFile(aSource.toStdWString(), aTarget.toStdWString());
}
