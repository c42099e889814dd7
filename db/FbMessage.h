#pragma once

// Internal to the database layer: the layout of the client library's
// messages, the building of an input message from values and the reading
// of column values from an output message.

#include "db/FbApi.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

namespace FbMessage {

struct TColumn
{
    QString Name;     // the output name (alias)
    QString Field;    // the column of its table, when it comes from one
    QString Relation; // that table
    unsigned Type = 0; // SQL_* without the nullable bit
    int SubType = 0;
    int Scale = 0;
    unsigned CharSet = 0;
    unsigned Length = 0;
    unsigned Offset = 0;
    unsigned NullOffset = 0;
    int BlobIndex = -1; // position among the row's blob values
};

QList<TColumn> Describe(Firebird::IMessageMetadata *aMeta);

// The input layout of the last execution of a statement: the same value
// types give the same layout, built once.
struct TInputCache
{
    QList<unsigned> Signature;
    FbApi::TRef<Firebird::IMessageMetadata> Meta;
    QList<unsigned> Offsets;
    QList<unsigned> NullOffsets;
    unsigned Length = 0;
};

// Input message for values given by position, each typed from its value
// (text, integers, floating point, date-time, NULL); the server converts.
class TInput
{
public:
    TInput(Firebird::IAttachment *aAttachment, Firebird::ITransaction *aTransaction,
           Firebird::IMessageMetadata *aDescribed, const QVariantList &aValues, TInputCache *aCache = nullptr);
    Firebird::IMessageMetadata *Meta() const { return FMeta; }
    unsigned char *Buffer() { return reinterpret_cast<unsigned char *>(FBuffer.data()); }

private:
    FbApi::TRef<Firebird::IMessageMetadata> FOwnMeta;
    Firebird::IMessageMetadata *FMeta = nullptr;
    QByteArray FBuffer;
};

bool IsNull(const TColumn &aColumn, const unsigned char *aMessage);
// Text form of a non-blob value (CHAR without trailing blanks, French dates).
QString TextOf(const TColumn &aColumn, const unsigned char *aMessage);
// Typed value of a non-blob column: qint32/qint64, double, QString, TDateTime, bool.
QVariant ValueOf(const TColumn &aColumn, const unsigned char *aMessage);
// Text form of a typed value, as TextOf would give it.
QString TextOfValue(const QVariant &aValue);

QVariant ReadBlob(Firebird::IAttachment *aAttachment, Firebird::ITransaction *aTransaction,
                  const TColumn &aColumn, const unsigned char *aMessage);

} // namespace FbMessage
