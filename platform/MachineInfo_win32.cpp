// The Qt face of the machine information (platform/win32).
#include "platform/MachineInfo.h"

#include "platform/win32/WinMachine.h"

QString PlatformComputerName()
{
    return QString::fromStdWString(WinComputerName());
}

QString PlatformExecutableDir()
{
    return QString::fromStdWString(WinExecutableDir());
}

QString PlatformNewGuid()
{
    return QString::fromStdWString(WinNewGuid());
}

QString PlatformDateSeparator()
{
    return QString::fromStdWString(WinDateSeparator());
}

QString PlatformTimeSeparator()
{
    return QString::fromStdWString(WinTimeSeparator());
}
