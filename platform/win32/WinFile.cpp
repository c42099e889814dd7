#include "platform/win32/WinFile.h"

#include "platform/win32/WinHandles.h"

std::wstring WinTargetRefusal(const std::wstring &aPath)
{
    const DWORD attributes = GetFileAttributesW(aPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? std::wstring()
                                                                              : WinSystemMessage(error);
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return L"c'est un lien (point d'analyse)";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return L"c'est un dossier";
    return {};
}

void *WinCreateNewFile(const std::wstring &aPath, std::wstring &aError)
{
    const HANDLE file = CreateFileW(aPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        aError = WinSystemMessage(GetLastError());
        return nullptr;
    }
    return file;
}

bool WinWriteAll(void *aHandle, const char *aData, std::size_t aSize, std::wstring &aError)
{
    while (aSize > 0) {
        const DWORD chunk = aSize > 0x40000000u ? 0x40000000u : DWORD(aSize);
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(aHandle), aData, chunk, &written, nullptr)) {
            aError = WinSystemMessage(GetLastError());
            return false;
        }
        aData += written;
        aSize -= written;
    }
    return true;
}

bool WinFlushAndClose(void *aHandle, std::wstring &aError)
{
    const THandle file(static_cast<HANDLE>(aHandle));
    if (!FlushFileBuffers(file.Get())) {
        aError = WinSystemMessage(GetLastError());
        return false;
    }
    return true;
}

void WinCloseFile(void *aHandle)
{
    const THandle file(static_cast<HANDLE>(aHandle));
}

bool WinReplaceWith(const std::wstring &aFrom, const std::wstring &aTo, std::wstring &aError)
{
    if (!MoveFileExW(aFrom.c_str(), aTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        aError = WinSystemMessage(GetLastError());
        return false;
    }
    return true;
}

void WinRemoveFile(const std::wstring &aPath)
{
    DeleteFileW(aPath.c_str());
}

bool WinDeleteFile(const std::wstring &aPath, std::wstring &aError)
{
    if (DeleteFileW(aPath.c_str()))
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND)
        return true;
    aError = WinSystemMessage(error);
    return false;
}
