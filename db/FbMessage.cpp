#include "db/FbMessage.h"

#include "common/DateTime.h"

#include <QDateTime>

#include <cstring>

using namespace Firebird;

namespace FbMessage {

namespace {

constexpr unsigned CsNone = 0;
constexpr unsigned CsOctets = 1;
constexpr unsigned CsUtf8 = 4;

template<class T>
T readAs(const unsigned char *p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

template<class T>
void writeAs(char *p, T v)
{
    std::memcpy(p, &v, sizeof(T));
}

QString decodeText(const char *aData, qsizetype aSize, unsigned aCharSet)
{
    if (aCharSet == CsNone || aCharSet == CsOctets) {
        // No declared encoding: take UTF-8 when it is valid, else bytes as Latin-1.
        const QByteArray bytes = QByteArray::fromRawData(aData, aSize);
        QString text = QString::fromUtf8(bytes);
        if (text.toUtf8() != bytes)
            text = QString::fromLatin1(bytes);
        return text;
    }
    return QString::fromUtf8(aData, aSize);
}

QString scaledText(qint64 aValue, int aScale)
{
    if (aScale >= 0)
        return QString::number(aValue) + QString(aScale, QLatin1Char('0'));
    // Exact decimal text, trailing zeros of the fraction dropped.
    const bool negative = aValue < 0;
    quint64 magnitude = negative ? quint64(0) - quint64(aValue) : quint64(aValue);
    char digits[48];
    int n = 0;
    const int places = -aScale;
    bool significant = false;
    for (int i = 0; i < places; ++i) {
        const int d = int(magnitude % 10);
        magnitude /= 10;
        significant = significant || d != 0;
        if (significant)
            digits[n++] = char('0' + d);
    }
    if (n > 0)
        digits[n++] = '.';
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        digits[n++] = '-';
    QString text(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        text[i] = QLatin1Char(digits[n - 1 - i]);
    return text;
}

qint64 integerOf(const TColumn &c, const unsigned char *p)
{
    switch (c.Type) {
    case SQL_SHORT: return readAs<qint16>(p);
    case SQL_LONG: return readAs<qint32>(p);
    default: return readAs<qint64>(p);
    }
}

TDateTime timestampOf(int aDate, unsigned aTime)
{
    return TDateTime::FromMSecs((qint64(aDate) - FbApi::DayZeroOffset) * TDateTime::MSecsPerDay + aTime / 10);
}

double scaledDouble(qint64 aValue, int aScale)
{
    double v = double(aValue);
    for (int i = 0; i < -aScale; ++i)
        v /= 10.0;
    for (int i = 0; i < aScale; ++i)
        v *= 10.0;
    return v;
}

} // namespace

QList<TColumn> Describe(IMessageMetadata *aMeta)
{
    return FbGuard([&] {
        FbApi::TStatus status;
        QList<TColumn> columns;
        const unsigned count = aMeta->getCount(&status);
        int blobs = 0;
        for (unsigned i = 0; i < count; ++i) {
            TColumn c;
            c.Name = QString::fromUtf8(aMeta->getAlias(&status, i));
            c.Field = QString::fromUtf8(aMeta->getField(&status, i));
            c.Relation = QString::fromUtf8(aMeta->getRelation(&status, i));
            c.Type = aMeta->getType(&status, i) & ~1u;
            c.SubType = aMeta->getSubType(&status, i);
            c.Scale = aMeta->getScale(&status, i);
            c.CharSet = aMeta->getCharSet(&status, i);
            c.Length = aMeta->getLength(&status, i);
            c.Offset = aMeta->getOffset(&status, i);
            c.NullOffset = aMeta->getNullOffset(&status, i);
            if (c.Type == SQL_BLOB)
                c.BlobIndex = blobs++;
            if (c.Name.isEmpty())
                c.Name = c.Field;
            columns << c;
        }
        return columns;
    });
}

TInput::TInput(IAttachment *aAttachment, ITransaction *aTransaction, IMessageMetadata *aDescribed,
               const QVariantList &aValues, TInputCache *aCache)
{
    FbGuard([&] {
        FbApi::TStatus status;
        const unsigned count = aDescribed->getCount(&status);
        if (count != unsigned(aValues.size()))
            throw EDbError(QStringLiteral("Nombre de paramètres incorrect : %1 attendus, %2 fournis")
                               .arg(count).arg(aValues.size()));

        // Each value chooses its type; the server converts to the column's.
        struct TSlot
        {
            unsigned Type = 0;
            unsigned Length = 0;
            unsigned CharSet = 0;
        };
        QList<TSlot> paramSlots(count);
        QList<QByteArray> texts(count);
        QList<unsigned> signature;
        signature.reserve(int(count) * 3);
        for (unsigned i = 0; i < count; ++i) {
            const QVariant &v = aValues[int(i)];
            const unsigned described = aDescribed->getType(&status, i) & ~1u;
            TSlot &slot = paramSlots[int(i)];
            if (!v.isValid() || v.isNull()) {
                slot.Type = described | 1;
            } else {
                const int type = v.userType();
                if (type == qMetaTypeId<TDateTime>() || type == QMetaType::QDateTime || type == QMetaType::QDate) {
                    slot = {SQL_TIMESTAMP | 1, unsigned(sizeof(ISC_TIMESTAMP)), 0};
                } else if (type == QMetaType::Int || type == QMetaType::Bool || type == QMetaType::Short
                           || type == QMetaType::UShort) {
                    slot = {SQL_LONG | 1, 4, 0};
                } else if (type == QMetaType::LongLong || type == QMetaType::UInt || type == QMetaType::ULongLong
                           || type == QMetaType::Long) {
                    slot = {SQL_INT64 | 1, 8, 0};
                } else if (type == QMetaType::Double || type == QMetaType::Float) {
                    slot = {SQL_DOUBLE | 1, 8, 0};
                } else {
                    const bool binary = type == QMetaType::QByteArray;
                    texts[int(i)] = binary ? v.toByteArray() : v.toString().toUtf8();
                    if (described == SQL_BLOB) {
                        slot = {SQL_BLOB | 1, unsigned(sizeof(ISC_QUAD)), 0};
                    } else {
                        // At least the column's own size, so that the layout
                        // stays the same from one value to the next.
                        const bool textColumn = described == SQL_VARYING || described == SQL_TEXT;
                        const unsigned room = textColumn ? aDescribed->getLength(&status, i) : 0;
                        slot = {SQL_VARYING | 1,
                                std::max({1u, room, unsigned(texts[int(i)].size())}),
                                binary ? CsOctets : CsUtf8};
                    }
                }
            }
            signature << slot.Type << slot.Length << slot.CharSet;
        }

        TInputCache local;
        TInputCache *cache = aCache ? aCache : &local;
        if (!cache->Meta || cache->Signature != signature) {
            FbApi::TRef<IMetadataBuilder> builder(aDescribed->getBuilder(&status));
            for (unsigned i = 0; i < count; ++i) {
                const TSlot &slot = paramSlots[int(i)];
                builder->setType(&status, i, slot.Type);
                if (slot.Length == 0)
                    continue; // NULL: the described type as it is
                builder->setScale(&status, i, 0);
                builder->setLength(&status, i, slot.Length);
                if ((slot.Type & ~1u) == SQL_VARYING)
                    builder->setCharSet(&status, i, slot.CharSet);
            }
            cache->Meta.reset(builder->getMetadata(&status));
            cache->Signature = signature;
            cache->Offsets.clear();
            cache->NullOffsets.clear();
            for (unsigned i = 0; i < count; ++i) {
                cache->Offsets << cache->Meta->getOffset(&status, i);
                cache->NullOffsets << cache->Meta->getNullOffset(&status, i);
            }
            cache->Length = cache->Meta->getMessageLength(&status);
        }
        if (cache == &local)
            FOwnMeta = std::move(local.Meta);
        FMeta = cache == &local ? FOwnMeta.get() : cache->Meta.get();

        FBuffer = QByteArray(int(cache == &local ? local.Length : cache->Length), '\0');
        char *msg = FBuffer.data();
        for (unsigned i = 0; i < count; ++i) {
            const QVariant &v = aValues[int(i)];
            const unsigned off = cache->Offsets[int(i)];
            const unsigned nullOff = cache->NullOffsets[int(i)];
            if (!v.isValid() || v.isNull()) {
                writeAs<short>(msg + nullOff, -1);
                continue;
            }
            writeAs<short>(msg + nullOff, 0);
            const int type = v.userType();
            switch (paramSlots[int(i)].Type & ~1u) {
            case SQL_TIMESTAMP: {
                TDateTime dt = type == qMetaTypeId<TDateTime>() ? v.value<TDateTime>()
                             : type == QMetaType::QDate    ? TDateTime::FromQDate(v.toDate())
                                                           : TDateTime::FromQDateTime(v.toDateTime());
                const qint64 day = dt.DayNumber();
                ISC_TIMESTAMP ts;
                ts.timestamp_date = ISC_DATE(day + FbApi::DayZeroOffset);
                ts.timestamp_time = ISC_TIME((dt.MSecs() - day * TDateTime::MSecsPerDay) * 10);
                std::memcpy(msg + off, &ts, sizeof ts);
                break;
            }
            case SQL_LONG: writeAs<qint32>(msg + off, qint32(v.toInt())); break;
            case SQL_INT64: writeAs<qint64>(msg + off, qint64(v.toLongLong())); break;
            case SQL_DOUBLE: writeAs<double>(msg + off, v.toDouble()); break;
            case SQL_BLOB: {
                ISC_QUAD id;
                FbApi::TRef<IBlob> blob(aAttachment->createBlob(&status, aTransaction, &id, 0, nullptr));
                const QByteArray &bytes = texts[int(i)];
                for (qsizetype pos = 0; pos < bytes.size(); pos += 32768) {
                    const qsizetype len = std::min<qsizetype>(32768, bytes.size() - pos);
                    blob->putSegment(&status, unsigned(len), bytes.constData() + pos);
                }
                blob->close(&status);
                (void)blob.release(); // close() released it
                std::memcpy(msg + off, &id, sizeof id);
                break;
            }
            default: { // SQL_VARYING
                const QByteArray &bytes = texts[int(i)];
                writeAs<quint16>(msg + off, quint16(bytes.size()));
                std::memcpy(msg + off + 2, bytes.constData(), size_t(bytes.size()));
                break;
            }
            }
        }
    });
}

bool IsNull(const TColumn &aColumn, const unsigned char *aMessage)
{
    return readAs<short>(aMessage + aColumn.NullOffset) != 0 || aColumn.Type == SQL_NULL;
}

QString TextOf(const TColumn &c, const unsigned char *aMessage)
{
    if (IsNull(c, aMessage))
        return {};
    const unsigned char *p = aMessage + c.Offset;
    switch (c.Type) {
    case SQL_TEXT: {
        unsigned len = c.Length;
        while (len > 0 && p[len - 1] == ' ')
            --len;
        return decodeText(reinterpret_cast<const char *>(p), len, c.CharSet);
    }
    case SQL_VARYING:
        return decodeText(reinterpret_cast<const char *>(p + 2), readAs<quint16>(p), c.CharSet);
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return c.Scale == 0 ? QString::number(integerOf(c, p)) : scaledText(integerOf(c, p), c.Scale);
    case SQL_TIMESTAMP: {
        const auto ts = readAs<ISC_TIMESTAMP>(p);
        return timestampOf(ts.timestamp_date, ts.timestamp_time).ToString();
    }
    default:
        return TextOfValue(ValueOf(c, aMessage));
    }
}

QVariant ValueOf(const TColumn &c, const unsigned char *aMessage)
{
    if (IsNull(c, aMessage))
        return {};
    const unsigned char *p = aMessage + c.Offset;
    switch (c.Type) {
    case SQL_TEXT:
    case SQL_VARYING:
        return TextOf(c, aMessage);
    case SQL_SHORT:
    case SQL_LONG:
        if (c.Scale == 0)
            return qint32(integerOf(c, p));
        return scaledDouble(integerOf(c, p), c.Scale);
    case SQL_INT64:
        if (c.Scale == 0)
            return qint64(integerOf(c, p));
        return scaledDouble(integerOf(c, p), c.Scale);
    case SQL_FLOAT:
        return double(readAs<float>(p));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return readAs<double>(p);
    case SQL_TIMESTAMP: {
        const auto ts = readAs<ISC_TIMESTAMP>(p);
        return QVariant::fromValue(timestampOf(ts.timestamp_date, ts.timestamp_time));
    }
    case SQL_TYPE_DATE:
        return QVariant::fromValue(timestampOf(readAs<ISC_DATE>(p), 0));
    case SQL_TYPE_TIME:
        return QVariant::fromValue(TDateTime::FromMSecs(readAs<ISC_TIME>(p) / 10));
    case SQL_BOOLEAN:
        return bool(*p);
    default:
        throw EDbError(QStringLiteral("Type de colonne non géré (%1) pour %2").arg(c.Type).arg(c.Name));
    }
}

QString TextOfValue(const QVariant &aValue)
{
    if (!aValue.isValid() || aValue.isNull())
        return {};
    const int type = aValue.userType();
    if (type == qMetaTypeId<TDateTime>())
        return aValue.value<TDateTime>().ToString();
    if (type == QMetaType::Double)
        return QString::number(aValue.toDouble(), 'g', 15);
    if (type == QMetaType::Bool)
        return aValue.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return aValue.toString();
}

QVariant ReadBlob(IAttachment *aAttachment, ITransaction *aTransaction, const TColumn &c,
                  const unsigned char *aMessage)
{
    if (IsNull(c, aMessage))
        return {};
    return FbGuard([&]() -> QVariant {
        FbApi::TStatus status;
        ISC_QUAD id = readAs<ISC_QUAD>(aMessage + c.Offset);
        FbApi::TRef<IBlob> blob(aAttachment->openBlob(&status, aTransaction, &id, 0, nullptr));
        QByteArray bytes;
        char chunk[32768];
        for (;;) {
            unsigned got = 0;
            const int rc = blob->getSegment(&status, sizeof chunk, chunk, &got);
            if (rc == IStatus::RESULT_NO_DATA)
                break;
            bytes.append(chunk, got);
        }
        blob->close(&status);
        (void)blob.release();
        if (c.SubType == 1)
            return decodeText(bytes.constData(), bytes.size(), c.CharSet);
        return bytes;
    });
}

} // namespace FbMessage
