#pragma once

// Internal to the database layer: the client's descriptor areas (XSQLDA),
// the layout of a fetched row, the building of input values and the reading
// of column values, with the layer's encoding rule applied to every text.

#include "db/IscApi.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>

namespace Sqlda {

// An XSQLDA of a given number of variables, owned.
class TArea
{
public:
    explicit TArea(int aCount = 1);
    Isc::TSqlda *Get() { return reinterpret_cast<Isc::TSqlda *>(FBytes.data()); }
    const Isc::TSqlda *Get() const { return reinterpret_cast<const Isc::TSqlda *>(FBytes.constData()); }
    Isc::TSqlVar &Var(int aIndex) { return Get()->sqlvar[aIndex]; }
    int Capacity() const { return Get()->sqln; }
    int Count() const { return Get()->sqld; }

private:
    QByteArray FBytes;
};

struct TColumn
{
    QString Name;     // the output name (alias)
    QString Field;    // the column of its table, when it comes from one
    QString Relation; // that table
    short Type = 0;   // without the nullable bit
    short SubType = 0;
    short Scale = 0;
    TCharSet CharSet = TCharSet::None; // text and text blobs
    unsigned Length = 0;
    unsigned Offset = 0;     // of the value in a row
    unsigned NullOffset = 0; // of its indicator
    int BlobIndex = -1;      // position among the row's blob values
};

// Columns of a described statement and the length of one row holding them.
QList<TColumn> Describe(const TArea &aArea, unsigned &aRowLength);
// Points every variable of aArea at its place in aRow, for the next fetch.
void PointAt(TArea &aArea, const QList<TColumn> &aColumns, unsigned char *aRow);

// The input values of one execution, typed from each value; the server
// converts to the parameter's own type. Text goes in the parameter's own
// character set.
class TInput
{
public:
    TInput(Isc::THandle *aDatabase, Isc::THandle *aTransaction, const TArea &aDescribed, const QVariantList &aValues,
           const QStringList &aNames);
    const Isc::TSqlda *Get() const { return FCount ? FArea.Get() : nullptr; }

private:
    TArea FArea;
    int FCount = 0;
    QByteArray FBuffer;
};

bool IsNull(const TColumn &aColumn, const unsigned char *aRow);
// Text form of a non-blob value (CHAR without trailing blanks, French dates).
QString TextOf(const TColumn &aColumn, const unsigned char *aRow);
// Typed value of a non-blob column: qint32/qint64, double, float, QString,
// TDateTime, bool.
QVariant ValueOf(const TColumn &aColumn, const unsigned char *aRow);
// Text form of a typed value, as TextOf would give it.
QString TextOfValue(const QVariant &aValue);

QVariant ReadBlob(Isc::THandle *aDatabase, Isc::THandle *aTransaction, const TColumn &aColumn,
                  const unsigned char *aRow);

} // namespace Sqlda
