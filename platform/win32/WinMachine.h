#pragma once

// The machine and the running program as Windows tells them. Standard
// library only; the program calls them through platform/MachineInfo_win32.cpp
// and platform/LocaleInfo_win32.cpp.

#include <string>

// The NetBIOS name, asked into a buffer of 256 characters; empty on failure.
std::wstring WinComputerName();
// The running executable's folder with its trailing separator; empty when unknown.
std::wstring WinExecutableDir();
// A new GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case; empty on failure.
std::wstring WinNewGuid();

// The user's locale settings: separators of dates, times and decimals.
std::wstring WinDateSeparator();
std::wstring WinTimeSeparator();
std::wstring WinDecimalSeparator();
