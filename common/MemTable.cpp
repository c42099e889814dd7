#include "common/MemTable.h"

#include "common/DateTime.h"
#include "common/Erreur.h"

namespace {
[[noreturn]] void fail(const QString &aMessage)
{
    throw EIvroErreur(aMessage);
}
} // namespace

void TMemTable::AddColumn(const QString &aName, QMetaType::Type aType, int aSize)
{
    FColumns.append({aName, aType, aSize});
}

int TMemTable::ColumnIndex(const QString &aName) const
{
    for (int i = 0; i < FColumns.size(); ++i)
        if (FColumns[i].Name.compare(aName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int TMemTable::CheckedIndex(const QString &aName) const
{
    const int i = ColumnIndex(aName);
    if (i < 0)
        fail(QStringLiteral("Colonne '%1' introuvable").arg(aName));
    return i;
}

void TMemTable::Close()
{
    FRows.clear();
    FPending.clear();
    FAppending = false;
    FActive = false;
    FCurrent = 0;
    FEof = true;
}

void TMemTable::Open()
{
    Close();
    FActive = true;
}

void TMemTable::Append()
{
    if (!FActive)
        fail(QStringLiteral("La table n'est pas ouverte"));
    if (FAppending)
        Post();
    FPending = QVariantList(FColumns.size());
    FAppending = true;
}

void TMemTable::SetValue(int aColumn, const QVariant &aValue)
{
    if (!FAppending)
        fail(QStringLiteral("Aucune ligne en cours d'ajout"));
    if (aColumn < 0 || aColumn >= FColumns.size())
        fail(QStringLiteral("Colonne %1 hors limites (la table en a %2)").arg(aColumn).arg(FColumns.size()));
    QVariant v = aValue;
    const TColumn &c = FColumns[aColumn];
    if (c.Type == QMetaType::QString && v.isValid() && !v.isNull()) {
        QString s = v.userType() == qMetaTypeId<TDateTime>() ? v.value<TDateTime>().ToString() : v.toString();
        if (c.Size > 0)
            s.truncate(c.Size);
        v = s;
    }
    FPending[aColumn] = v;
}

void TMemTable::SetValue(const QString &aColumn, const QVariant &aValue)
{
    SetValue(CheckedIndex(aColumn), aValue);
}

void TMemTable::Post()
{
    if (!FAppending)
        return;
    FRows.append(FPending);
    FPending.clear();
    FAppending = false;
    FCurrent = int(FRows.size()) - 1;
    FEof = false;
}

void TMemTable::Cancel()
{
    FPending.clear();
    FAppending = false;
}

void TMemTable::First()
{
    FCurrent = 0;
    FEof = FRows.isEmpty();
}

void TMemTable::Next()
{
    if (FCurrent + 1 < FRows.size())
        ++FCurrent;
    else
        FEof = true;
}

QVariant TMemTable::Value(int aRow, int aColumn) const
{
    if (aRow < 0 || aRow >= FRows.size() || aColumn < 0 || aColumn >= FColumns.size())
        fail(QStringLiteral("Ligne %1, colonne %2 hors limites").arg(aRow).arg(aColumn));
    return FRows[aRow][aColumn];
}

QVariant TMemTable::Value(int aColumn) const
{
    return Value(FCurrent, aColumn);
}

QVariant TMemTable::Value(const QString &aColumn) const
{
    return Value(FCurrent, CheckedIndex(aColumn));
}

QString TMemTable::Text(int aRow, int aColumn) const
{
    const QVariant v = Value(aRow, aColumn);
    if (v.userType() == qMetaTypeId<TDateTime>())
        return v.value<TDateTime>().ToString();
    return v.toString();
}
