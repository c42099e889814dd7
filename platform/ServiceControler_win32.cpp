// The Qt face of the Windows start and stop helpers (platform/win32).
#include "platform/ServiceControler.h"

#include "platform/win32/WinServiceControl.h"

bool StartServiceAndWait(const QString &aMachine, const QString &aService, std::chrono::milliseconds aLimit)
{
    return WinStartServiceAndWait(aMachine.toStdWString(), aService.toStdWString(), aLimit);
}

bool StopServiceAndWait(const QString &aMachine, const QString &aService, std::chrono::milliseconds aLimit)
{
    return WinStopServiceAndWait(aMachine.toStdWString(), aService.toStdWString(), aLimit);
}

bool StartServiceAndWait(const QString &aMachine, const QString &aService)
{
    return StartServiceAndWait(aMachine, aService, KServiceWaitLimit);
}

bool StopServiceAndWait(const QString &aMachine, const QString &aService)
{
    return StopServiceAndWait(aMachine, aService, KServiceWaitLimit);
}
