#pragma once

// One key of an INI file through the Windows profile functions. Standard
// library only; the program calls it through common/IniProfile_win32.cpp.

#include <string>

// Writes aKey=aValue into [aSection] of aFile: an existing key (names
// compared without regard to case) is replaced, a missing key or section is
// added, the rest of the file is left alone. A relative path is taken from
// the current folder, never from the Windows folder. False when the system
// refuses the write.
bool WinWriteProfileString(const std::wstring &aFile, const std::wstring &aSection, const std::wstring &aKey,
                           const std::wstring &aValue);
