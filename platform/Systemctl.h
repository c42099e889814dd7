#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The POSIX services are systemd units, reached through "systemctl" (the
// first one on PATH). A unit name without a suffix is a ".service".

// Only the characters systemd allows in a unit name, and no leading "-"
// that systemctl would take for an option.
bool IsValidUnitName(const QString &aName);

// "systemctl show" of one unit, the asked properties as name → value.
// False when systemctl is missing or failed (no manager answered).
bool SystemctlShow(const QString &aUnit, const QStringList &aProperties,
                   QHash<QString, QString> &aValues);

// "systemctl start" or "stop" of one unit; waits for the job that systemd
// queues, true when systemctl ended with success.
bool SystemctlCommand(const QString &aVerb, const QString &aUnit);
