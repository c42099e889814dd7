// The service configuration query and the start and stop helpers against
// Wine's service manager, on services that each test creates and deletes.
#include "WinTestSupport.h"

#include "platform/win32/WinServiceControl.h"
#include "platform/win32/WinServiceInfo.h"

#include <chrono>
#include <cwchar>
#include <vector>

namespace {

// A service created for one test, deleted (and stopped) at its end.
class TTestService
{
public:
    TTestService(const std::wstring &aName, DWORD aType, DWORD aStart, DWORD aErrorControl,
                 const std::wstring &aBinary, const wchar_t *aDependencies = nullptr)
        : FName(aName)
    {
        FManager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        REQUIRE(FManager != nullptr);
        FService = CreateServiceW(FManager, aName.c_str(), (L"Service de test " + aName).c_str(), SERVICE_ALL_ACCESS,
                                  aType, aStart, aErrorControl, aBinary.c_str(), nullptr, nullptr, aDependencies,
                                  nullptr, nullptr);
        REQUIRE_MESSAGE(FService != nullptr, "CreateService: " << GetLastError());
    }
    TTestService(const TTestService &) = delete;
    TTestService &operator=(const TTestService &) = delete;
    ~TTestService()
    {
        SERVICE_STATUS status = {};
        if (QueryServiceStatus(FService, &status) && status.dwCurrentState != SERVICE_STOPPED) {
            ControlService(FService, SERVICE_CONTROL_STOP, &status);
            for (int i = 0; i < 50 && QueryServiceStatus(FService, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
                Sleep(100);
        }
        DeleteService(FService);
        CloseServiceHandle(FService);
        CloseServiceHandle(FManager);
    }
    SC_HANDLE Handle() const { return FService; }
    DWORD State() const
    {
        SERVICE_STATUS status = {};
        return QueryServiceStatus(FService, &status) ? status.dwCurrentState : 0;
    }

private:
    std::wstring FName;
    SC_HANDLE FManager = nullptr;
    SC_HANDLE FService = nullptr;
};

std::wstring TestServiceCommand(const std::wstring &aMode)
{
    return L"\"" + ProgramDir() + L"ivro_test_service.exe\"" + (aMode.empty() ? L"" : L" " + aMode);
}

// The dependency list as the service manager gives it, NULs included.
std::wstring RawDependencies(SC_HANDLE aService)
{
    DWORD needed = 0;
    QueryServiceConfigW(aService, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGW *>(buffer.data());
    if (!QueryServiceConfigW(aService, config, needed, &needed) || !config->lpDependencies)
        return {};
    std::wstring list;
    for (const wchar_t *name = config->lpDependencies; *name; name += wcslen(name) + 1)
        list += std::wstring(name) + L'|';
    return list;
}

void CheckCleared(const TWinServiceInfo &aInfo)
{
    CHECK(aInfo.ServiceType == TWinServiceType::sNone);
    CHECK(aInfo.StartType == TWinStartType::tNone);
    CHECK(aInfo.ErrorControl == TWinErrorControl::eNone);
    CHECK(aInfo.BinaryPathName.empty());
    CHECK(aInfo.LoadOrderGroup.empty());
    CHECK(aInfo.TagId == 0);
    CHECK(aInfo.Dependencies.empty());
    CHECK(aInfo.ServiceStartName.empty());
    CHECK(aInfo.DisplayName.empty());
}

} // namespace

TEST_SUITE("services")
{
    TEST_CASE("the system's numbers map to the enumerations, any other value to none")
    {
        struct TRow { std::uint32_t Value; TWinServiceType Type; TWinStartType Start; TWinErrorControl Error; };
        const TRow rows[] = {
            {0, TWinServiceType::sNone, TWinStartType::BootStart, TWinErrorControl::ErrorIgnore},
            {1, TWinServiceType::KernelDriver, TWinStartType::SystemStart, TWinErrorControl::ErrorNormal},
            {2, TWinServiceType::FileSystemDriver, TWinStartType::AutoStart, TWinErrorControl::ErrorSevere},
            {3, TWinServiceType::sNone, TWinStartType::DemandStart, TWinErrorControl::ErrorCritical},
            {4, TWinServiceType::sNone, TWinStartType::Disabled, TWinErrorControl::eNone},
            {5, TWinServiceType::sNone, TWinStartType::tNone, TWinErrorControl::eNone},
            {0x10, TWinServiceType::Win32OwnProcess, TWinStartType::tNone, TWinErrorControl::eNone},
            {0x20, TWinServiceType::Win32ShareProcess, TWinStartType::tNone, TWinErrorControl::eNone},
            {0x110, TWinServiceType::sNone, TWinStartType::tNone, TWinErrorControl::eNone}, // interactive bit
            {0x30, TWinServiceType::sNone, TWinStartType::tNone, TWinErrorControl::eNone},
        };
        for (const TRow &row : rows) {
            CAPTURE(row.Value);
            CHECK(WinServiceTypeOf(row.Value) == row.Type);
            CHECK(WinStartTypeOf(row.Value) == row.Start);
            CHECK(WinErrorControlOf(row.Value) == row.Error);
        }
    }

    TEST_CASE("configuration of an own-process service with two dependencies")
    {
        const std::wstring binary = TestServiceCommand(L"--lent");
        const TTestService service(L"IvroTestConfig", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                   SERVICE_ERROR_NORMAL, binary, L"IvroDepA\0IvroDepB\0");
        TWinServiceInfo info;
        info.DisplayName = L"reste d'un appel précédent";
        WinGetServiceInfo(L"IvroTestConfig", info);
        CHECK(info.Exist);
        CHECK(info.ErrorMessage == std::wstring(L""));
        CHECK(info.ServiceType == TWinServiceType::Win32OwnProcess);
        CHECK(info.StartType == TWinStartType::DemandStart);
        CHECK(info.ErrorControl == TWinErrorControl::ErrorNormal);
        CHECK(info.BinaryPathName == binary);
        CHECK(info.LoadOrderGroup == std::wstring(L""));
        CHECK(info.TagId == 0);
        // Wine's service manager keeps the dependencies but gives back an
        // empty list: the first-name rule shows only on Windows.
        if (RawDependencies(service.Handle()).empty())
            MESSAGE("the service manager gave no dependencies back (Wine): first-name rule not shown");
        else
            CHECK(info.Dependencies == std::wstring(L"IvroDepA"));
        CHECK(info.ServiceStartName == std::wstring(L"LocalSystem"));
        CHECK(info.DisplayName == std::wstring(L"Service de test IvroTestConfig"));
    }

    TEST_CASE("start types and a driver, set through the service manager's API")
    {
        struct TRow { DWORD Type; DWORD Start; DWORD Error; TWinServiceType ExpectedType; TWinStartType ExpectedStart; TWinErrorControl ExpectedError; };
        const TRow rows[] = {
            {SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_SEVERE, TWinServiceType::Win32OwnProcess, TWinStartType::AutoStart, TWinErrorControl::ErrorSevere},
            {SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, SERVICE_ERROR_CRITICAL, TWinServiceType::Win32OwnProcess, TWinStartType::Disabled, TWinErrorControl::ErrorCritical},
            {SERVICE_WIN32_SHARE_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, TWinServiceType::Win32ShareProcess, TWinStartType::DemandStart, TWinErrorControl::ErrorIgnore},
            {SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, TWinServiceType::KernelDriver, TWinStartType::DemandStart, TWinErrorControl::ErrorNormal},
            {SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START, SERVICE_ERROR_NORMAL, TWinServiceType::KernelDriver, TWinStartType::BootStart, TWinErrorControl::ErrorNormal},
            {SERVICE_FILE_SYSTEM_DRIVER, SERVICE_SYSTEM_START, SERVICE_ERROR_NORMAL, TWinServiceType::FileSystemDriver, TWinStartType::SystemStart, TWinErrorControl::ErrorNormal},
        };
        const TTestService service(L"IvroTestTypes", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                   SERVICE_ERROR_NORMAL, TestServiceCommand(L""));
        for (const TRow &row : rows) {
            CAPTURE(row.Type);
            CAPTURE(row.Start);
            REQUIRE(ChangeServiceConfigW(service.Handle(), row.Type, row.Start, row.Error, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr));
            TWinServiceInfo info;
            WinGetServiceInfo(L"IvroTestTypes", info);
            CHECK(info.ServiceType == row.ExpectedType);
            CHECK(info.StartType == row.ExpectedStart);
            CHECK(info.ErrorControl == row.ExpectedError);
        }
    }

    TEST_CASE("a missing service: not there, the message, everything else cleared")
    {
        TWinServiceInfo info;
        info.Exist = true;
        info.TagId = 9;
        info.DisplayName = L"ancien";
        WinGetServiceInfo(L"IvroServiceAbsent", info);
        CHECK_FALSE(info.Exist);
        CHECK(info.ErrorMessage == std::wstring(L"Le service \"IvroServiceAbsent\" n\u2019existe pas."));
        CheckCleared(info);
    }

    TEST_CASE("start waits until running and refuses a running service; stop waits until stopped")
    {
        const TTestService service(L"IvroTestMarche", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                   SERVICE_ERROR_NORMAL, TestServiceCommand(L"--lent"));
        CHECK(WinStartServiceAndWait(L"", L"IvroTestMarche"));
        CHECK(service.State() == SERVICE_RUNNING);
        CHECK_FALSE(WinStartServiceAndWait(L"", L"IvroTestMarche"));
        CHECK(WinStopServiceAndWait(L"", L"IvroTestMarche"));
        CHECK(service.State() == SERVICE_STOPPED);
        CHECK_FALSE(WinStopServiceAndWait(L"", L"IvroTestMarche"));
        CHECK_FALSE(WinStartServiceAndWait(L"", L"IvroServiceAbsent"));
    }

    TEST_CASE("a service stuck in start-pending: the wait is bounded")
    {
        const TTestService service(L"IvroTestBloque", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                   SERVICE_ERROR_NORMAL, TestServiceCommand(L"--bloque"));
        const ULONGLONG start = GetTickCount64();
        CHECK_FALSE(WinStartServiceAndWait(L"", L"IvroTestBloque", std::chrono::milliseconds(1500)));
        const ULONGLONG elapsed = GetTickCount64() - start;
        CAPTURE(elapsed);
        CHECK(elapsed >= 1400);
        CHECK(elapsed < 10000);
        CHECK(service.State() == SERVICE_START_PENDING);
    }
}
