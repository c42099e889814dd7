#include "common/DateTime.h"

#include <cmath>
#include <cstring>

namespace {
const QDate DayZero(1899, 12, 30);

qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}
} // namespace

TDateTime TDateTime::FromMSecs(qint64 aMSecs)
{
    TDateTime result;
    result.FMSecs = aMSecs;
    return result;
}

TDateTime TDateTime::FromDays(double aDays)
{
    return FromMSecs(std::llround(aDays * double(MSecsPerDay)));
}

TDateTime TDateTime::FromDate(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond, int aMSec)
{
    const qint64 days = DayZero.daysTo(QDate(aYear, aMonth, aDay));
    return FromMSecs(days * MSecsPerDay + ((aHour * 60LL + aMinute) * 60LL + aSecond) * 1000LL + aMSec);
}

TDateTime TDateTime::FromQDateTime(const QDateTime &aValue)
{
    if (!aValue.isValid())
        return {};
    return FromMSecs(DayZero.daysTo(aValue.date()) * MSecsPerDay + aValue.time().msecsSinceStartOfDay());
}

TDateTime TDateTime::FromQDate(const QDate &aValue)
{
    return aValue.isValid() ? FromMSecs(DayZero.daysTo(aValue) * MSecsPerDay) : TDateTime();
}

TDateTime TDateTime::Now()
{
    return FromQDateTime(QDateTime::currentDateTime());
}

double TDateTime::ToDays() const
{
    return double(FMSecs) / double(MSecsPerDay);
}

qint64 TDateTime::DayNumber() const
{
    return floorDiv(FMSecs, MSecsPerDay);
}

TDateTime TDateTime::TruncDay() const
{
    return FromMSecs(DayNumber() * MSecsPerDay);
}

QDate TDateTime::ToQDate() const
{
    return DayZero.addDays(DayNumber());
}

QTime TDateTime::ToQTime() const
{
    return QTime::fromMSecsSinceStartOfDay(int(FMSecs - DayNumber() * MSecsPerDay));
}

QDateTime TDateTime::ToQDateTime() const
{
    return QDateTime(ToQDate(), ToQTime());
}

QString TDateTime::ToString() const
{
    // Written digit by digit: results of many rows go through here, and the
    // locale's formatter costs more than fetching the row.
    int year = 0, month = 0, day = 0;
    ToQDate().getDate(&year, &month, &day);
    if (year < 1 || year > 9999)
        return ToQDate().toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ')
             + ToQTime().toString(QStringLiteral("HH:mm:ss"));
    const int seconds = int((FMSecs - DayNumber() * MSecsPerDay) / 1000);
    char16_t text[19];
    const auto put = [&text](int aAt, int aValue, int aDigits) {
        for (int i = aDigits - 1; i >= 0; --i, aValue /= 10)
            text[aAt + i] = char16_t(u'0' + aValue % 10);
    };
    put(0, day, 2);
    text[2] = u'/';
    put(3, month, 2);
    text[5] = u'/';
    put(6, year, 4);
    text[10] = u' ';
    put(11, seconds / 3600, 2);
    text[13] = u':';
    put(14, seconds / 60 % 60, 2);
    text[16] = u':';
    put(17, seconds % 60, 2);
    return QString(reinterpret_cast<const QChar *>(text), 19);
}

QString TDateTime::ToDateString() const
{
    return ToQDate().toString(QStringLiteral("dd/MM/yyyy"));
}

char *toString(const TDateTime &aValue)
{
    const QByteArray text = (aValue.ToString() + QStringLiteral(".%1").arg((aValue.MSecs() % 1000 + 1000) % 1000, 3, 10, QLatin1Char('0'))).toUtf8();
    char *result = new char[size_t(text.size()) + 1];
    std::memcpy(result, text.constData(), size_t(text.size()) + 1);
    return result;
}
