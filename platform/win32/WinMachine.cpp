#include "platform/win32/WinMachine.h"

#include "platform/win32/WinHandles.h"

#include <cwchar>
#include <vector>

namespace {

std::wstring LocaleText(LCTYPE aType, const wchar_t *aDefault)
{
    wchar_t buffer[16] = {};
    const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, aType, buffer, 16);
    return length > 1 ? std::wstring(buffer) : std::wstring(aDefault);
}

} // namespace

std::wstring WinComputerName()
{
    // The size passed is the buffer's: a longer name fails instead of overflowing.
    wchar_t buffer[256] = {};
    DWORD size = 256;
    if (!GetComputerNameW(buffer, &size))
        return {};
    return std::wstring(buffer);
}

std::wstring WinExecutableDir()
{
    // GetModuleFileNameW truncates silently when the buffer is too small
    // (long paths): grow it until the whole path fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            const std::wstring path(buffer.data(), length);
            const std::wstring::size_type separator = path.find_last_of(L"\\/");
            return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring WinNewGuid()
{
    GUID guid = {};
    if (FAILED(CoCreateGuid(&guid)))
        return {};
    wchar_t text[39] = {};
    std::swprintf(text, 39, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return std::wstring(text);
}

std::wstring WinDateSeparator()
{
    return LocaleText(LOCALE_SDATE, L"/");
}

std::wstring WinTimeSeparator()
{
    return LocaleText(LOCALE_STIME, L":");
}

std::wstring WinDecimalSeparator()
{
    return LocaleText(LOCALE_SDECIMAL, L".");
}
