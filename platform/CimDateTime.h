#pragma once

#include <QDateTime>
#include <QString>

// A date-time in WMI's CIM text form "yyyymmddHHMMSS.ffffff+UUU": local
// time, microseconds, and the offset from UTC in minutes with its sign
// ("+060", "-300").
QString CimDateTime(const QDateTime &aWhen);
