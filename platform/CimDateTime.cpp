#include "platform/CimDateTime.h"

#include <cstdlib>

QString CimDateTime(const QDateTime &aWhen)
{
    const QDate date = aWhen.date();
    const QTime time = aWhen.time();
    const int offsetMinutes = aWhen.offsetFromUtc() / 60;
    // Built from numbers rather than a date format, which would follow a locale.
    return QString::asprintf("%04d%02d%02d%02d%02d%02d.%06d%c%03d", date.year(), date.month(),
                             date.day(), time.hour(), time.minute(), time.second(),
                             time.msec() * 1000, offsetMinutes < 0 ? '-' : '+',
                             std::abs(offsetMinutes));
}
