#include "platform/win32/WinProfile.h"

#include "platform/win32/WinHandles.h"

bool WinWriteProfileString(const std::wstring &aFile, const std::wstring &aSection, const std::wstring &aKey,
                           const std::wstring &aValue)
{
    // A bare file name would otherwise be looked for in the Windows folder.
    const std::wstring file = WinFullPath(aFile);
    if (file.empty())
        return false;
    return WritePrivateProfileStringW(aSection.c_str(), aKey.c_str(), aValue.c_str(), file.c_str()) != FALSE;
}
