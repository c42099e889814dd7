#include "platform/MachineInfo.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

QString PlatformComputerName()
{
    // 256 characters is far above the NetBIOS limit; the size passed is the
    // buffer's, so a longer name fails instead of overflowing.
    wchar_t buffer[256] = {};
    DWORD size = 256;
    if (!GetComputerNameW(buffer, &size))
        return {};
    return QString::fromWCharArray(buffer);
}

QString PlatformExecutableDir()
{
    // GetModuleFileNameW truncates silently when the buffer is too small
    // (long paths): grow it until the whole path fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            const QString path = QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(length));
            const qsizetype separator = qMax(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
            return separator < 0 ? QString() : path.left(separator + 1);
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}
