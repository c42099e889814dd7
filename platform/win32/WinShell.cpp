#include "platform/win32/WinShell.h"

#include "platform/win32/WinHandles.h"

#include <shellapi.h>

namespace {

void DispatchPendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// A list of one name for the shell: closed by a second NUL.
std::wstring OneNameList(const std::wstring &aName)
{
    return aName + L'\0';
}

} // namespace

bool WinRunAsAndWait(const std::wstring &aFile, const std::wstring &aParameters, const std::wstring &aDirectory,
                     bool aHidden, std::wstring *aError, const std::function<void()> &aPump,
                     unsigned long *aExitCode)
{
    // Some shell extensions need COM in the calling thread.
    const TComScope com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const std::function<void()> pump = aPump ? aPump : std::function<void()>(DispatchPendingMessages);

    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC; // 0x140: a process handle comes back
    request.lpVerb = L"RUNAS";
    request.lpFile = aFile.c_str();
    request.lpParameters = aParameters.c_str();
    request.lpDirectory = aDirectory.empty() ? nullptr : aDirectory.c_str();
    request.nShow = aHidden ? SW_HIDE : SW_SHOW;
    if (!ShellExecuteExW(&request)) {
        if (aError)
            *aError = WinSystemMessage(GetLastError());
        return false;
    }
    if (!request.hProcess)
        return true;
    const THandle process(request.hProcess);

    pump();
    for (;;) {
        const DWORD waited = WaitForSingleObject(process.Get(), 200);
        if (waited == WAIT_OBJECT_0) {
            DWORD code = 0;
            if (aExitCode && GetExitCodeProcess(process.Get(), &code))
                *aExitCode = code;
            break;
        }
        if (waited != WAIT_TIMEOUT) // a wait that can never succeed
            break;
        pump();
    }
    return true;
}

bool WinShellCopyFile(const std::wstring &aSource, const std::wstring &aTarget)
{
    if (aSource.empty() || aTarget.empty() || aSource.find_first_of(L"*?") != std::wstring::npos)
        return false;
    // The shell wants full paths; a missing source is told here rather than
    // in one of its error windows.
    const std::wstring source = WinFullPath(aSource);
    const std::wstring target = WinFullPath(aTarget);
    if (source.empty() || target.empty())
        return false;
    const DWORD attributes = GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;

    const std::wstring from = OneNameList(source);
    const std::wstring to = OneNameList(target);
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOCOPYSECURITYATTRIBS; // 0x0A10
    return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}
