#pragma once

#include "cli/CliCommand.h"
#include "common/DateTime.h"
#include "common/MemTable.h"

#include <QJsonArray>
#include <QJsonObject>

// A dataset's value in JSON: numbers as numbers, dates as PrintJson writes
// them, NULL as null, the rest as text.
inline QJsonValue JsonValeur(const TMemTable &aTable, int aRow, int aColumn)
{
    const QVariant v = aTable.Value(aRow, aColumn);
    if (v.isNull() || !v.isValid())
        return QJsonValue();
    if (v.userType() == qMetaTypeId<TDateTime>())
        return JsonDateHeure(v.value<TDateTime>());
    switch (v.userType()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QJsonValue(v.toLongLong());
    case QMetaType::Float:
    case QMetaType::Double:
        return QJsonValue(v.toDouble());
    case QMetaType::Bool:
        return QJsonValue(v.toBool());
    default:
        return QJsonValue(aTable.Text(aRow, aColumn));
    }
}

// The rows as an array of objects keyed by the column names.
inline QJsonArray DatasetJson(const TMemTable &aTable)
{
    QJsonArray rows;
    for (int r = 0; r < aTable.RecordCount(); ++r) {
        QJsonObject row;
        for (int c = 0; c < aTable.ColumnCount(); ++c)
            row.insert(aTable.Columns()[c].Name, JsonValeur(aTable, r, c));
        rows << row;
    }
    return rows;
}

inline QStringList DatasetEntetes(const TMemTable &aTable)
{
    QStringList headers;
    for (const TMemTable::TColumn &c : aTable.Columns())
        headers << c.Name;
    return headers;
}

inline QList<QStringList> DatasetLignes(const TMemTable &aTable)
{
    QList<QStringList> rows;
    for (int r = 0; r < aTable.RecordCount(); ++r) {
        QStringList row;
        for (int c = 0; c < aTable.ColumnCount(); ++c)
            row << aTable.Text(r, c);
        rows << row;
    }
    return rows;
}

// A caller's dataset on the command line: a table, or with --json an array
// of objects keyed by the column names.
inline TCliResultat &AvecDataset(TCliResultat &aResultat, const TMemTable &aTable)
{
    return aResultat.Json(DatasetJson(aTable)).Table(DatasetEntetes(aTable), DatasetLignes(aTable));
}
