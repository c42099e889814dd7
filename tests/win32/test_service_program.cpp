// A small Windows service for the tests of the start and stop helpers, and a
// short-lived program for the run-and-wait tests.
//   ivro_test_service.exe                 the service: runs until stopped
//   ivro_test_service.exe --lent          the same, with slow start and stop
//                                         (checkpoints and wait hints)
//   ivro_test_service.exe --bloque        never leaves the start-pending state
//                                         (its checkpoint stays put, wait hint 0)
//   ivro_test_service.exe --sortie N [--attente MS] [--fichier F]
//                                         not a service: waits MS, writes F, ends with code N
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

bool GSlow = false;
bool GStuck = false;
SERVICE_STATUS_HANDLE GStatusHandle = nullptr;
HANDLE GStopEvent = nullptr;

void Report(DWORD aState, DWORD aCheckPoint, DWORD aWaitHint)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = aState;
    // Stop is accepted even while starting, so that a stuck test service can be ended.
    status.dwControlsAccepted = aState == SERVICE_STOPPED || aState == SERVICE_STOP_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    status.dwCheckPoint = aCheckPoint;
    status.dwWaitHint = aWaitHint;
    SetServiceStatus(GStatusHandle, &status);
}

DWORD WINAPI Handler(DWORD aControl, DWORD, void *, void *)
{
    if (aControl == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING, 1, 1000);
        SetEvent(GStopEvent);
        return NO_ERROR;
    }
    return aControl == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, wchar_t **)
{
    GStatusHandle = RegisterServiceCtrlHandlerExW(L"", Handler, nullptr);
    if (!GStatusHandle)
        return;
    if (GStuck) {
        Report(SERVICE_START_PENDING, 1, 0);
    } else {
        for (DWORD checkpoint = 1; GSlow && checkpoint <= 3; ++checkpoint) {
            Report(SERVICE_START_PENDING, checkpoint, 1000);
            Sleep(300);
        }
        Report(SERVICE_RUNNING, 0, 0);
    }
    WaitForSingleObject(GStopEvent, INFINITE);
    for (DWORD checkpoint = 2; GSlow && checkpoint <= 3; ++checkpoint) {
        Report(SERVICE_STOP_PENDING, checkpoint, 1000);
        Sleep(300);
    }
    Report(SERVICE_STOPPED, 0, 0);
}

int RunOnce(int aArgc, wchar_t **aArgv)
{
    int code = 0;
    DWORD wait = 0;
    const wchar_t *file = nullptr;
    for (int i = 1; i + 1 < aArgc; i += 2) {
        const std::wstring option = aArgv[i];
        if (option == L"--sortie")
            code = std::wcstol(aArgv[i + 1], nullptr, 10);
        else if (option == L"--attente")
            wait = static_cast<DWORD>(std::wcstoul(aArgv[i + 1], nullptr, 10));
        else if (option == L"--fichier")
            file = aArgv[i + 1];
    }
    Sleep(wait);
    if (file) {
        HANDLE out = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(out, "fini", 4, &written, nullptr);
        CloseHandle(out);
    }
    return code;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--sortie")
            return RunOnce(argc, argv);
        GSlow = GSlow || option == L"--lent";
        GStuck = GStuck || option == L"--bloque";
    }
    GStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t name[] = L"";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
