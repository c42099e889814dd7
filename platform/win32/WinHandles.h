#pragma once

// Owners of the Win32 handles and of COM's initialisation, for the Qt-free
// Windows code. Includes <windows.h>: for the .cpp files of this folder only.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>

#include <string>

// A service manager or service handle.
class TScHandle
{
public:
    explicit TScHandle(SC_HANDLE aHandle) : FHandle(aHandle) {}
    TScHandle(const TScHandle &) = delete;
    TScHandle &operator=(const TScHandle &) = delete;
    ~TScHandle()
    {
        if (FHandle)
            CloseServiceHandle(FHandle);
    }
    SC_HANDLE Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }

private:
    SC_HANDLE FHandle;
};

// A kernel object handle (a process).
class THandle
{
public:
    explicit THandle(HANDLE aHandle) : FHandle(aHandle) {}
    THandle(const THandle &) = delete;
    THandle &operator=(const THandle &) = delete;
    ~THandle()
    {
        if (FHandle && FHandle != INVALID_HANDLE_VALUE)
            CloseHandle(FHandle);
    }
    HANDLE Get() const { return FHandle; }

private:
    HANDLE FHandle;
};

// COM for the length of one call. A thread already in the other apartment
// model (RPC_E_CHANGED_MODE) serves as well; only our own success is undone.
class TComScope
{
public:
    explicit TComScope(DWORD aModel = COINIT_APARTMENTTHREADED) : FResult(CoInitializeEx(nullptr, aModel)) {}
    TComScope(const TComScope &) = delete;
    TComScope &operator=(const TComScope &) = delete;
    ~TComScope()
    {
        if (SUCCEEDED(FResult))
            CoUninitialize();
    }
    bool Usable() const { return SUCCEEDED(FResult) || FResult == RPC_E_CHANGED_MODE; }
    HRESULT Result() const { return FResult; }

private:
    HRESULT FResult;
};

// The system's text for an error code, in the user's language, without its
// trailing line break; empty when the system has none.
std::wstring WinSystemMessage(DWORD aCode);

// The full form of a path, as the shell and the profile functions want it.
// Empty when the system refuses the path.
std::wstring WinFullPath(const std::wstring &aPath);
