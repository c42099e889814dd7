#include "platform/win32/WinServiceInfo.h"

#include "platform/ServiceMessages.h"
#include "platform/win32/WinHandles.h"

#include <algorithm>
#include <vector>

namespace {

std::wstring TextOf(const wchar_t *aText)
{
    return aText ? std::wstring(aText) : std::wstring();
}

void Fill(const std::wstring &aServiceName, TWinServiceInfo &aInfo)
{
    const TScHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    if (!manager) {
        aInfo.ErrorMessage = ServiceManagerErrorText();
        return;
    }
    const TScHandle service(OpenServiceW(manager.Get(), aServiceName.c_str(), GENERIC_READ));
    if (!service) {
        aInfo.ErrorMessage = MissingServiceText(aServiceName);
        return;
    }
    aInfo.Exist = true;

    // First the size, then the configuration itself.
    DWORD needed = 0;
    if (!QueryServiceConfigW(service.Get(), nullptr, 0, &needed)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            aInfo.ErrorMessage = ServiceConfigErrorText(aServiceName, WinSystemMessage(error));
            return;
        }
    }
    // operator new aligns the buffer for the structure at its start.
    std::vector<BYTE> buffer(std::max<DWORD>(needed, sizeof(QUERY_SERVICE_CONFIGW)));
    auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGW *>(buffer.data());
    if (!QueryServiceConfigW(service.Get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
        aInfo.ErrorMessage = ServiceConfigErrorText(aServiceName, WinSystemMessage(GetLastError()));
        return;
    }
    aInfo.ServiceType = WinServiceTypeOf(config->dwServiceType);
    aInfo.StartType = WinStartTypeOf(config->dwStartType);
    aInfo.ErrorControl = WinErrorControlOf(config->dwErrorControl);
    aInfo.BinaryPathName = TextOf(config->lpBinaryPathName);
    aInfo.LoadOrderGroup = TextOf(config->lpLoadOrderGroup);
    aInfo.TagId = static_cast<std::int32_t>(config->dwTagId);
    // A list of names, each closed by a NUL, the list by a second one.
    aInfo.Dependencies = TextOf(config->lpDependencies);
    aInfo.ServiceStartName = TextOf(config->lpServiceStartName);
    aInfo.DisplayName = TextOf(config->lpDisplayName);
}

} // namespace

TWinServiceType WinServiceTypeOf(std::uint32_t aServiceType)
{
    switch (aServiceType) {
    case SERVICE_KERNEL_DRIVER: return TWinServiceType::KernelDriver;
    case SERVICE_FILE_SYSTEM_DRIVER: return TWinServiceType::FileSystemDriver;
    case SERVICE_WIN32_OWN_PROCESS: return TWinServiceType::Win32OwnProcess;
    case SERVICE_WIN32_SHARE_PROCESS: return TWinServiceType::Win32ShareProcess;
    default: return TWinServiceType::sNone;
    }
}

TWinStartType WinStartTypeOf(std::uint32_t aStartType)
{
    switch (aStartType) {
    case SERVICE_BOOT_START: return TWinStartType::BootStart;
    case SERVICE_SYSTEM_START: return TWinStartType::SystemStart;
    case SERVICE_AUTO_START: return TWinStartType::AutoStart;
    case SERVICE_DEMAND_START: return TWinStartType::DemandStart;
    case SERVICE_DISABLED: return TWinStartType::Disabled;
    default: return TWinStartType::tNone;
    }
}

TWinErrorControl WinErrorControlOf(std::uint32_t aErrorControl)
{
    switch (aErrorControl) {
    case SERVICE_ERROR_IGNORE: return TWinErrorControl::ErrorIgnore;
    case SERVICE_ERROR_NORMAL: return TWinErrorControl::ErrorNormal;
    case SERVICE_ERROR_SEVERE: return TWinErrorControl::ErrorSevere;
    case SERVICE_ERROR_CRITICAL: return TWinErrorControl::ErrorCritical;
    default: return TWinErrorControl::eNone;
    }
}

void WinGetServiceInfo(const std::wstring &aServiceName, TWinServiceInfo &aInfo)
{
    aInfo = TWinServiceInfo();
    try {
        Fill(aServiceName, aInfo);
    } catch (...) {
        // Never raises (an allocation that failed): the record keeps what was set so far.
    }
}
