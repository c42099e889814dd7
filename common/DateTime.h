#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QtGlobal>

// The program's date-time: a count of days since 30 December 1899 00:00,
// the time of day being the fraction. Held as whole milliseconds so that
// conversions to and from QDateTime and the server's timestamps are exact.
class TDateTime
{
public:
    static constexpr qint64 MSecsPerDay = 86400000;

    constexpr TDateTime() = default;

    static TDateTime FromMSecs(qint64 aMSecs);
    static TDateTime FromDays(double aDays);
    static TDateTime FromDate(int aYear, int aMonth, int aDay,
                              int aHour = 0, int aMinute = 0, int aSecond = 0, int aMSec = 0);
    static TDateTime FromQDateTime(const QDateTime &aValue);
    static TDateTime FromQDate(const QDate &aValue);
    static TDateTime Now();

    qint64 MSecs() const { return FMSecs; }
    double ToDays() const;
    QDate ToQDate() const;
    QTime ToQTime() const;
    QDateTime ToQDateTime() const;

    // Whole days since day 0, rounded toward minus infinity.
    qint64 DayNumber() const;
    // The same day at 00:00:00.
    TDateTime TruncDay() const;
    TDateTime AddDays(qint64 aDays) const { return FromMSecs(FMSecs + aDays * MSecsPerDay); }
    TDateTime AddMSecs(qint64 aMSecs) const { return FromMSecs(FMSecs + aMSecs); }

    bool IsZero() const { return FMSecs == 0; }

    // French forms: dd/MM/yyyy HH:mm:ss and dd/MM/yyyy.
    QString ToString() const;
    QString ToDateString() const;

    friend auto operator<=>(const TDateTime &, const TDateTime &) = default;

private:
    qint64 FMSecs = 0;
};

Q_DECLARE_METATYPE(TDateTime)

char *toString(const TDateTime &aValue); // readable values in test failures
