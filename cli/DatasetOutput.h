#pragma once

#include "cli/CliCommand.h"
#include "common/DateTime.h"
#include "common/MemTable.h"

#include <QJsonArray>
#include <QJsonObject>

// A caller's dataset on the command line: a table, or with --json an array
// of objects keyed by the column names.
inline void PrintDataset(const TCliContext &aCtx, const TMemTable &aTable)
{
    QStringList headers;
    for (const TMemTable::TColumn &c : aTable.Columns())
        headers << c.Name;
    if (aCtx.Json) {
        QJsonArray rows;
        for (int r = 0; r < aTable.RecordCount(); ++r) {
            QJsonObject row;
            for (int c = 0; c < aTable.ColumnCount(); ++c) {
                const QVariant v = aTable.Value(r, c);
                if (v.userType() == qMetaTypeId<TDateTime>())
                    row.insert(headers[c], JsonDateHeure(v.value<TDateTime>()));
                else
                    row.insert(headers[c], v.isNull() ? QJsonValue() : QJsonValue(aTable.Text(r, c)));
            }
            rows << row;
        }
        aCtx.PrintJson(rows);
        return;
    }
    QList<QStringList> rows;
    for (int r = 0; r < aTable.RecordCount(); ++r) {
        QStringList row;
        for (int c = 0; c < aTable.ColumnCount(); ++c)
            row << aTable.Text(r, c);
        rows << row;
    }
    aCtx.PrintTable(headers, rows);
}
