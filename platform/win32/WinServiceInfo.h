#pragma once

// The configuration of a Windows service as the service manager gives it.
// Standard library only (this folder builds without Qt): the program reads it
// as TInfoSurService through platform/SymmetricDS.Commun_win32.cpp.

#include <cstdint>
#include <string>

// Same values in the same order as TServiceType, TStartType, TErrorControl.
enum class TWinServiceType : std::uint8_t { sNone, FileSystemDriver, KernelDriver, Win32OwnProcess, Win32ShareProcess };
enum class TWinStartType : std::uint8_t { tNone, AutoStart, BootStart, DemandStart, Disabled, SystemStart };
enum class TWinErrorControl : std::uint8_t { eNone, ErrorCritical, ErrorIgnore, ErrorNormal, ErrorSevere };

struct TWinServiceInfo
{
    bool Exist = false;
    std::wstring ErrorMessage;
    TWinServiceType ServiceType = TWinServiceType::sNone;
    TWinStartType StartType = TWinStartType::tNone;
    TWinErrorControl ErrorControl = TWinErrorControl::eNone;
    std::wstring BinaryPathName;
    std::wstring LoadOrderGroup;
    std::int32_t TagId = 0;
    std::wstring Dependencies; // the first name of the list only
    std::wstring ServiceStartName;
    std::wstring DisplayName;
};

// The system's numbers to the enumerations; any other value, a known type
// with another bit set included, gives the "none" value.
TWinServiceType WinServiceTypeOf(std::uint32_t aServiceType);
TWinStartType WinStartTypeOf(std::uint32_t aStartType);
TWinErrorControl WinErrorControlOf(std::uint32_t aErrorControl);

// Clears aInfo, then fills it from the local service manager. A failure is
// told by Exist and ErrorMessage only; never raises.
void WinGetServiceInfo(const std::wstring &aServiceName, TWinServiceInfo &aInfo);
