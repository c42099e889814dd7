#include "platform/win32/WinHandles.h"

#include <vector>

namespace {

std::wstring Trimmed(const std::wstring &aText)
{
    const std::wstring::size_type first = aText.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos)
        return {};
    const std::wstring::size_type last = aText.find_last_not_of(L" \t\r\n");
    return aText.substr(first, last - first + 1);
}

} // namespace

std::wstring WinSystemMessage(DWORD aCode)
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, aCode, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring message;
    if (length != 0 && buffer)
        message.assign(buffer, length);
    LocalFree(buffer);
    return Trimmed(message);
}

std::wstring WinFullPath(const std::wstring &aPath)
{
    if (aPath.empty())
        return {};
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFullPathNameW(aPath.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
}
