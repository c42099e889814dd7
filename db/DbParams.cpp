#include "db/DbParams.h"

#include "db/DbError.h"

QString TDbParam::AsString() const
{
    if (IsNull())
        return {};
    if (FValue.canConvert<TDateTime>() && FValue.userType() == qMetaTypeId<TDateTime>())
        return FValue.value<TDateTime>().ToString();
    return FValue.toString();
}

qint32 TDbParam::AsInteger() const
{
    return IsNull() ? 0 : FValue.toInt();
}

TDbParam *TDbParams::Find(const QString &aName)
{
    for (TDbParam &p : FItems)
        if (p.Name().compare(aName, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

TDbParam &TDbParams::ByName(const QString &aName)
{
    if (TDbParam *p = Find(aName))
        return *p;
    throw EDbError(QStringLiteral("Paramètre [%1] introuvable").arg(aName));
}

TDbParam &TDbParams::Add(const QString &aName)
{
    if (TDbParam *p = Find(aName))
        return *p;
    FItems.append(TDbParam(aName));
    return FItems.last();
}

void TDbParams::Reset(const QStringList &aNames)
{
    QList<TDbParam> kept;
    for (const QString &name : aNames) {
        bool seen = false;
        for (const TDbParam &p : kept)
            seen = seen || p.Name().compare(name, Qt::CaseInsensitive) == 0;
        if (seen)
            continue;
        TDbParam *old = Find(name);
        kept.append(old ? *old : TDbParam(name));
    }
    FItems = kept;
}

QVariantList TDbParams::Positional(const QStringList &aNames) const
{
    QVariantList values;
    values.reserve(aNames.size());
    for (const QString &name : aNames) {
        QVariant v;
        for (const TDbParam &p : FItems)
            if (p.Name().compare(name, Qt::CaseInsensitive) == 0) {
                v = p.Value();
                break;
            }
        values << v;
    }
    return values;
}
