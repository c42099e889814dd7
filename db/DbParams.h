#pragma once

#include "common/DateTime.h"

#include <QList>
#include <QString>
#include <QVariant>

// One named parameter value. An unset parameter is NULL.
class TDbParam
{
public:
    TDbParam() = default;
    explicit TDbParam(QString aName) : FName(std::move(aName)) {}

    const QString &Name() const { return FName; }

    void SetAsInteger(qint32 aValue) { FValue = aValue; }
    void SetAsLargeInt(qint64 aValue) { FValue = aValue; }
    void SetAsFloat(double aValue) { FValue = aValue; }
    void SetAsString(const QString &aValue) { FValue = aValue; }
    void SetAsDateTime(const TDateTime &aValue) { FValue = QVariant::fromValue(aValue); }
    void SetAsDateTime(const QDateTime &aValue) { SetAsDateTime(TDateTime::FromQDateTime(aValue)); }
    void Clear() { FValue = QVariant(); }
    void SetValue(const QVariant &aValue) { FValue = aValue; }

    bool IsNull() const { return !FValue.isValid() || FValue.isNull(); }
    const QVariant &Value() const { return FValue; }
    QString AsString() const;
    qint32 AsInteger() const;

private:
    QString FName;
    QVariant FValue;
};

// Parameters by name, compared without regard to case.
class TDbParams
{
public:
    TDbParam *Find(const QString &aName);
    TDbParam &ByName(const QString &aName); // raises when absent
    TDbParam &Add(const QString &aName);
    // Keeps the values of names that remain, drops the others.
    void Reset(const QStringList &aNames);
    int Count() const { return int(FItems.size()); }
    TDbParam &operator[](int aIndex) { return FItems[aIndex]; }
    QVariantList Positional(const QStringList &aNames) const;

private:
    QList<TDbParam> FItems;
};
