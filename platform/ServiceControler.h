#pragma once

#include <QString>

#include <chrono>

// Start or stop a service and wait until it reaches the running, respectively
// stopped, state. An empty machine name is the local computer. False when the
// service can't be opened, refuses the request or does not reach the state.
bool StartServiceAndWait(const QString &aMachine, const QString &aService);
bool StopServiceAndWait(const QString &aMachine, const QString &aService);

// The waits above end at the latest after this time, and as soon as the
// service settles in a state that is neither the target nor a pending one.
inline constexpr std::chrono::milliseconds KServiceWaitLimit{120000};

// The same, with another bound on the wait.
bool StartServiceAndWait(const QString &aMachine, const QString &aService, std::chrono::milliseconds aLimit);
bool StopServiceAndWait(const QString &aMachine, const QString &aService, std::chrono::milliseconds aLimit);
