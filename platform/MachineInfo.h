#pragma once

#include <QString>

// What the environment record needs to know about the machine and the
// running program. One implementation per platform.

// The computer's name: its NetBIOS name on Windows, the host name elsewhere.
// Empty when the system does not give it.
QString PlatformComputerName();

// Directory of the running executable, trailing separator included, asked of
// the system itself: the environment is filled before any QCoreApplication
// exists, so applicationDirPath() cannot be used. Empty when unknown.
QString PlatformExecutableDir();

// A new GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, or
// empty text when the system could not make one.
QString PlatformNewGuid();

// The separators of dates and of times in the user's settings ("/" and ":"
// for a French user).
QString PlatformDateSeparator();
QString PlatformTimeSeparator();
