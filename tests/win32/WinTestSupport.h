#pragma once

// Helpers of the Windows-side tests: readable wide texts in doctest's
// messages, a temporary folder, whole-file reads and writes.

#include <doctest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>

inline std::string Utf8(const std::wstring &aText)
{
    if (aText.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, aText.data(), static_cast<int>(aText.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, aText.data(), static_cast<int>(aText.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
}

namespace doctest {
template <>
struct StringMaker<std::wstring>
{
    static String convert(const std::wstring &aText) { return ("L\"" + Utf8(aText) + "\"").c_str(); }
};
} // namespace doctest

// The folder of the running test program, with its trailing separator.
inline std::wstring ProgramDir()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

// A new empty folder under the temporary folder, removed with its content.
class TTempDir
{
public:
    TTempDir()
    {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        for (unsigned attempt = GetTickCount();; ++attempt) {
            FPath = std::wstring(base) + L"ivro_test_" + std::to_wstring(attempt);
            if (CreateDirectoryW(FPath.c_str(), nullptr))
                break;
        }
        FPath += L'\\';
    }
    TTempDir(const TTempDir &) = delete;
    TTempDir &operator=(const TTempDir &) = delete;
    ~TTempDir()
    {
        std::wstring from = FPath.substr(0, FPath.size() - 1) + L'\0';
        SHFILEOPSTRUCTW remove = {};
        remove.wFunc = FO_DELETE;
        remove.pFrom = from.c_str();
        remove.fFlags = FOF_NO_UI;
        SHFileOperationW(&remove);
    }
    const std::wstring &Path() const { return FPath; }
    std::wstring operator/(const std::wstring &aName) const { return FPath + aName; }

private:
    std::wstring FPath;
};

inline void WriteBytes(const std::wstring &aPath, const std::string &aBytes)
{
    HANDLE file = CreateFileW(aPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, aBytes.data(), static_cast<DWORD>(aBytes.size()), &written, nullptr);
    CloseHandle(file);
    REQUIRE(written == aBytes.size());
}

// "<absent>" when the file cannot be opened.
inline std::string ReadBytes(const std::wstring &aPath)
{
    HANDLE file = CreateFileW(aPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<absent>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}
