#pragma once

// Start or stop a Windows service and wait until it runs, respectively has
// stopped. Standard library only; the program calls them through
// platform/ServiceControler_win32.cpp.

#include <chrono>
#include <string>

// The wait follows the service's checkpoints and wait hints; it ends at the
// latest after aLimit, and as soon as the service settles in a state that is
// neither the target nor a pending one.
inline constexpr std::chrono::milliseconds KWinServiceWaitLimit{120000};

// An empty machine name is the local computer. False when the manager or the
// service can't be opened, the request is refused (a start of a running
// service, a stop of a stopped one) or the state is not reached.
bool WinStartServiceAndWait(const std::wstring &aMachine, const std::wstring &aService,
                            std::chrono::milliseconds aLimit = KWinServiceWaitLimit);
bool WinStopServiceAndWait(const std::wstring &aMachine, const std::wstring &aService,
                           std::chrono::milliseconds aLimit = KWinServiceWaitLimit);
