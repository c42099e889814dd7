#pragma once

#include <QString>

// Start or stop a service and wait until it reaches the running, respectively
// stopped, state. An empty machine name is the local computer. False when the
// service can't be opened, refuses the request or does not reach the state.
bool StartServiceAndWait(const QString &aMachine, const QString &aService);
bool StopServiceAndWait(const QString &aMachine, const QString &aService);
