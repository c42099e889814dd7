#include "platform/win32/WinServiceControl.h"

#include "platform/win32/WinHandles.h"

#include <algorithm>

namespace {

enum class TDirection { Start, Stop };

// The least pause between two reads: a wait hint of 0 would poll without rest.
constexpr DWORD KMinPauseMs = 100;

bool IsPending(DWORD aState)
{
    return aState == SERVICE_START_PENDING || aState == SERVICE_STOP_PENDING
           || aState == SERVICE_CONTINUE_PENDING || aState == SERVICE_PAUSE_PENDING;
}

bool ChangeAndWait(const std::wstring &aMachine, const std::wstring &aService, TDirection aDirection,
                   std::chrono::milliseconds aLimit)
{
    const TScHandle manager(OpenSCManagerW(aMachine.empty() ? nullptr : aMachine.c_str(), nullptr,
                                           SC_MANAGER_CONNECT));
    if (!manager)
        return false;
    const DWORD access = aDirection == TDirection::Start ? SERVICE_START | SERVICE_QUERY_STATUS   // 0x14
                                                         : SERVICE_STOP | SERVICE_QUERY_STATUS;   // 0x24
    const TScHandle service(OpenServiceW(manager.Get(), aService.c_str(), access));
    if (!service)
        return false;
    const DWORD target = aDirection == TDirection::Start ? SERVICE_RUNNING : SERVICE_STOPPED;

    // Only a status that came back counts: a refused stop may fill one too.
    SERVICE_STATUS status = {};
    bool received = false;
    bool accepted = false;
    if (aDirection == TDirection::Start) {
        accepted = StartServiceW(service.Get(), 0, nullptr) != FALSE;
    } else {
        accepted = ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) != FALSE;
        received = accepted;
    }

    // A failed read leaves the last status received as it was.
    const auto read = [&service, &status] {
        SERVICE_STATUS next = {};
        if (!QueryServiceStatus(service.Get(), &next))
            return false;
        status = next;
        return true;
    };
    if (accepted && read()) {
        received = true;
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(aLimit.count());
        while (status.dwCurrentState != target && IsPending(status.dwCurrentState)) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline)
                break;
            const DWORD checkpoint = status.dwCheckPoint;
            // The service's own hint, but never a busy loop and never past the bound.
            const ULONGLONG pause = std::min<ULONGLONG>(std::max<DWORD>(status.dwWaitHint, KMinPauseMs), deadline - now);
            Sleep(static_cast<DWORD>(pause));
            if (!read() || status.dwCheckPoint < checkpoint)
                break;
        }
    }
    return received && status.dwCurrentState == target;
}

} // namespace

bool WinStartServiceAndWait(const std::wstring &aMachine, const std::wstring &aService,
                            std::chrono::milliseconds aLimit)
{
    return ChangeAndWait(aMachine, aService, TDirection::Start, aLimit);
}

bool WinStopServiceAndWait(const std::wstring &aMachine, const std::wstring &aService,
                           std::chrono::milliseconds aLimit)
{
    return ChangeAndWait(aMachine, aService, TDirection::Stop, aLimit);
}
