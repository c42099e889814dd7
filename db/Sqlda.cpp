#include "db/Sqlda.h"

#include "common/DateTime.h"
#include "db/DbError.h"
#include "db/TextCodec.h"

#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace Sqlda {

namespace {

using namespace Isc;

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

const TClientFlavour &flavour()
{
    return *Client().Flavour;
}

QString nameOf(const char *aName, short aLength)
{
    // Object names are kept in UNICODE_FSS by both servers.
    return QString::fromUtf8(aName, std::clamp<short>(aLength, 0, 32)).trimmed();
}

constexpr double PowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

// One exact scaling: -7 at scale -2 is the double nearest -0.07.
double scaledDouble(qint64 aValue, int aScale)
{
    const int n = std::min(std::abs(aScale), 18);
    return aScale < 0 ? double(aValue) / PowersOfTen[n] : double(aValue) * PowersOfTen[n];
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
    case SqlShort: return readAs<qint16>(p);
    case SqlLong: return readAs<qint32>(p);
    default: return readAs<qint64>(p);
    }
}

TDateTime timestampOf(qint32 aDate, quint32 aTime)
{
    return TDateTime::FromMSecs((qint64(aDate) - DayZeroOffset) * TDateTime::MSecsPerDay + aTime / 10);
}

QString floatText(float aValue)
{
    // The shortest text that reads back as the same float, not as a double.
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, aValue);
    return QString::fromLatin1(buffer, r.ptr - buffer);
}

QString columnLabel(const TColumn &c)
{
    return c.Relation.isEmpty() ? c.Name : c.Relation + QLatin1Char('.') + c.Field;
}

// The label only serves the error of a set the layer does not know: built
// then, not for every value read.
QString decodeColumn(const TColumn &c, const char *aData, qsizetype aSize)
{
    return DecodeText(aData, aSize, c.CharSet, c.CharSet == TCharSet::Unknown ? columnLabel(c) : QString());
}

unsigned valueSize(short aType, short aLength)
{
    return unsigned(aLength) + (aType == SqlVarying ? 2u : 0u);
}

unsigned aligned(unsigned aOffset, unsigned aAlign)
{
    return (aOffset + aAlign - 1) / aAlign * aAlign;
}

} // namespace

TArea::TArea(int aCount)
{
    const int n = std::max(1, aCount);
    FBytes = QByteArray(qsizetype(sizeof(Isc::TSqlda)) + qsizetype(n - 1) * qsizetype(sizeof(Isc::TSqlVar)), '\0');
    Get()->version = Isc::SqldaVersion1;
    Get()->sqln = short(n);
}

QList<TColumn> Describe(const TArea &aArea, unsigned &aRowLength)
{
    QList<TColumn> columns;
    const TClientFlavour &f = flavour();
    unsigned offset = 0;
    int blobs = 0;
    for (int i = 0; i < aArea.Count(); ++i) {
        const Isc::TSqlVar &v = aArea.Get()->sqlvar[i];
        TColumn c;
        c.Name = nameOf(v.aliasname, v.aliasname_length);
        c.Field = nameOf(v.sqlname, v.sqlname_length);
        c.Relation = nameOf(v.relname, v.relname_length);
        c.Type = short(v.sqltype & ~1);
        c.SubType = v.sqlsubtype;
        c.Scale = v.sqlscale;
        c.Length = unsigned(v.sqllen);
        if (c.Type == SqlText || c.Type == SqlVarying)
            c.CharSet = f.CharSetOf(v.sqlsubtype);
        else if (c.Type == SqlBlob && v.sqlsubtype == 1)
            c.CharSet = f.CharSetOf(v.sqlscale); // a text blob keeps its set where the scale would be
        if (c.Type == SqlBlob)
            c.BlobIndex = blobs++;
        if (c.Name.isEmpty())
            c.Name = c.Field;
        offset = aligned(offset, 8);
        c.Offset = offset;
        offset += valueSize(c.Type, v.sqllen);
        offset = aligned(offset, 2);
        c.NullOffset = offset;
        offset += 2;
        columns << c;
    }
    aRowLength = aligned(std::max(offset, 1u), 8);
    return columns;
}

void PointAt(TArea &aArea, const QList<TColumn> &aColumns, unsigned char *aRow)
{
    for (int i = 0; i < aColumns.size(); ++i) {
        Isc::TSqlVar &v = aArea.Var(i);
        v.sqldata = reinterpret_cast<char *>(aRow + aColumns[i].Offset);
        v.sqlind = reinterpret_cast<short *>(aRow + aColumns[i].NullOffset);
        // The client sets the indicator of nullable columns only: a column
        // declared NOT NULL would read whatever the row's memory held.
        *v.sqlind = 0;
    }
}

TInput::TInput(THandle *aDatabase, THandle *aTransaction, const TArea &aDescribed, const QVariantList &aValues,
               const QStringList &aNames)
    : FArea(aDescribed.Count()), FCount(aDescribed.Count())
{
    if (FCount != aValues.size())
        throw EDbError(QStringLiteral("Nombre de paramètres incorrect : %1 attendus, %2 fournis")
                           .arg(FCount).arg(aValues.size()));
    if (FCount == 0)
        return;
    const TClientFlavour &f = flavour();
    std::memcpy(FArea.Get()->sqlvar, aDescribed.Get()->sqlvar, sizeof(Isc::TSqlVar) * size_t(FCount));
    FArea.Get()->sqld = short(FCount);

    // First the type of each slot and its bytes, then one buffer for all.
    QList<QByteArray> texts(FCount);
    QList<unsigned> offsets(FCount);
    unsigned length = 0;
    for (int i = 0; i < FCount; ++i) {
        Isc::TSqlVar &var = FArea.Var(i);
        const QVariant &v = aValues[i];
        const short described = short(var.sqltype & ~1);
        const QString what = i < aNames.size() && !aNames[i].isEmpty() ? QStringLiteral("paramètre %1").arg(aNames[i])
                                                                        : QStringLiteral("paramètre %1").arg(i + 1);
        if (!v.isValid() || v.isNull()) {
            var.sqltype = short(described | 1);
        } else {
            const int type = v.userType();
            var.sqlscale = 0;
            if (described == f.SqlBoolean && (type == QMetaType::Bool || type == QMetaType::Int
                                              || type == QMetaType::LongLong)) {
                // The server converts no number to BOOLEAN: sent as its own type.
                var.sqltype = short(f.SqlBoolean | 1);
                var.sqllen = f.BooleanWidth;
            } else if (type == qMetaTypeId<TDateTime>() || type == QMetaType::QDateTime || type == QMetaType::QDate) {
                var.sqltype = SqlTimestamp | 1;
                var.sqllen = short(sizeof(TTimestamp));
            } else if (type == QMetaType::Int || type == QMetaType::Bool || type == QMetaType::Short
                       || type == QMetaType::UShort) {
                var.sqltype = SqlLong | 1;
                var.sqllen = 4;
            } else if (type == QMetaType::LongLong || type == QMetaType::UInt || type == QMetaType::ULongLong
                       || type == QMetaType::Long) {
                var.sqltype = SqlInt64 | 1;
                var.sqllen = 8;
            } else if (type == QMetaType::Double || type == QMetaType::Float) {
                var.sqltype = SqlDouble | 1;
                var.sqllen = 8;
            } else {
                const bool binary = type == QMetaType::QByteArray;
                const bool textTarget = described == SqlText || described == SqlVarying
                                     || (described == SqlBlob && var.sqlsubtype == 1);
                // Text in the parameter's own set; anything else as NONE,
                // which the server reads as a literal would be.
                const TCharSet set = textTarget ? f.CharSetOf(described == SqlBlob ? aDescribed.Get()->sqlvar[i].sqlscale
                                                                                    : var.sqlsubtype)
                                                : TCharSet::None;
                texts[i] = binary ? v.toByteArray() : EncodeText(v.toString(), set, what);
                if (described == SqlBlob) {
                    var.sqltype = SqlBlob | 1;
                    var.sqllen = short(sizeof(TQuad));
                    var.sqlscale = aDescribed.Get()->sqlvar[i].sqlscale;
                } else {
                    if (texts[i].size() > 32765)
                        throw EDbError(QStringLiteral("Texte trop long pour le %1 (%2 octets)")
                                           .arg(what).arg(texts[i].size()));
                    // At least the column's own size: the same layout from one
                    // value to the next lets the client reuse its message.
                    const unsigned room = (described == SqlVarying || described == SqlText) ? unsigned(var.sqllen) : 0u;
                    var.sqltype = SqlVarying | 1;
                    var.sqllen = short(std::max({1u, room, unsigned(texts[i].size())}));
                    if (!textTarget)
                        var.sqlsubtype = binary ? 1 : 0;
                }
            }
        }
        const short t = short(var.sqltype & ~1);
        length = aligned(length, 8);
        offsets[i] = length;
        length += std::max(1u, valueSize(t, var.sqllen));
        length = aligned(length, 2) + 2;
    }

    FBuffer = QByteArray(qsizetype(length), '\0');
    char *msg = FBuffer.data();
    for (int i = 0; i < FCount; ++i) {
        Isc::TSqlVar &var = FArea.Var(i);
        const QVariant &v = aValues[i];
        const short t = short(var.sqltype & ~1);
        char *data = msg + offsets[i];
        var.sqldata = data;
        var.sqlind = reinterpret_cast<short *>(msg + aligned(offsets[i] + std::max(1u, valueSize(t, var.sqllen)), 2));
        if (!v.isValid() || v.isNull()) {
            *var.sqlind = -1;
            continue;
        }
        *var.sqlind = 0;
        const int type = v.userType();
        if (t == f.SqlBoolean) {
            if (f.BooleanWidth == 1)
                *data = v.toLongLong() != 0 ? 1 : 0;
            else
                writeAs<qint16>(data, v.toLongLong() != 0 ? 1 : 0);
            continue;
        }
        switch (t) {
        case SqlTimestamp: {
            const TDateTime dt = type == qMetaTypeId<TDateTime>() ? v.value<TDateTime>()
                               : type == QMetaType::QDate     ? TDateTime::FromQDate(v.toDate())
                                                              : TDateTime::FromQDateTime(v.toDateTime());
            const qint64 day = dt.DayNumber();
            TTimestamp ts;
            ts.Date = qint32(day + DayZeroOffset);
            ts.Time = quint32((dt.MSecs() - day * TDateTime::MSecsPerDay) * 10);
            std::memcpy(data, &ts, sizeof ts);
            break;
        }
        case SqlLong: writeAs<qint32>(data, qint32(v.toInt())); break;
        case SqlInt64: writeAs<qint64>(data, qint64(v.toLongLong())); break;
        case SqlDouble: writeAs<double>(data, v.toDouble()); break;
        case SqlBlob: {
            const TEntryPoints &api = Client().Api;
            TStatusVector status;
            THandle blob = 0;
            TQuad id{};
            api.create_blob2(&status, aDatabase, aTransaction, &blob, &id, 0, nullptr);
            Check(status);
            const QByteArray &bytes = texts[i];
            for (qsizetype pos = 0; pos < bytes.size(); pos += 32768) {
                const qsizetype len = std::min<qsizetype>(32768, bytes.size() - pos);
                api.put_segment(&status, &blob, (unsigned short)len, bytes.constData() + pos);
                if (status.Failed()) {
                    TStatusVector ignored;
                    api.cancel_blob(&ignored, &blob);
                    Raise(status);
                }
            }
            api.close_blob(&status, &blob);
            Check(status);
            std::memcpy(data, &id, sizeof id);
            break;
        }
        default: { // SqlVarying
            const QByteArray &bytes = texts[i];
            writeAs<quint16>(data, quint16(bytes.size()));
            std::memcpy(data + 2, bytes.constData(), size_t(bytes.size()));
            break;
        }
        }
    }
}

bool IsNull(const TColumn &aColumn, const unsigned char *aRow)
{
    if (flavour().SqlNull && aColumn.Type == *flavour().SqlNull)
        return true;
    return readAs<short>(aRow + aColumn.NullOffset) != 0;
}

QString TextOf(const TColumn &c, const unsigned char *aRow)
{
    if (IsNull(c, aRow))
        return {};
    const unsigned char *p = aRow + c.Offset;
    switch (c.Type) {
    case SqlText: {
        unsigned len = c.Length;
        while (len > 0 && p[len - 1] == ' ')
            --len;
        return decodeColumn(c, reinterpret_cast<const char *>(p), len);
    }
    case SqlVarying:
        return decodeColumn(c, reinterpret_cast<const char *>(p + 2), std::min<unsigned>(readAs<quint16>(p), c.Length));
    case SqlShort:
    case SqlLong:
    case SqlInt64:
        return c.Scale == 0 ? QString::number(integerOf(c, p)) : scaledText(integerOf(c, p), c.Scale);
    case SqlTimestamp: {
        const auto ts = readAs<TTimestamp>(p);
        return timestampOf(ts.Date, ts.Time).ToString();
    }
    default:
        return TextOfValue(ValueOf(c, aRow));
    }
}

QVariant ValueOf(const TColumn &c, const unsigned char *aRow)
{
    if (IsNull(c, aRow))
        return {};
    const unsigned char *p = aRow + c.Offset;
    switch (c.Type) {
    case SqlText:
    case SqlVarying:
        return TextOf(c, aRow);
    case SqlShort:
    case SqlLong:
        if (c.Scale == 0)
            return qint32(integerOf(c, p));
        return scaledDouble(integerOf(c, p), c.Scale);
    case SqlInt64:
        if (c.Scale == 0)
            return qint64(integerOf(c, p));
        return scaledDouble(integerOf(c, p), c.Scale);
    case SqlFloat:
        return readAs<float>(p);
    case SqlDouble:
    case SqlDFloat:
        return readAs<double>(p);
    case SqlTimestamp: {
        const auto ts = readAs<TTimestamp>(p);
        return QVariant::fromValue(timestampOf(ts.Date, ts.Time));
    }
    case SqlTypeDate:
        return QVariant::fromValue(timestampOf(readAs<qint32>(p), 0));
    case SqlTypeTime:
        return QVariant::fromValue(TDateTime::FromMSecs(readAs<quint32>(p) / 10));
    default:
        break;
    }
    if (c.Type == flavour().SqlBoolean)
        return flavour().BooleanWidth == 1 ? bool(*p) : bool(readAs<qint16>(p));
    throw EDbError(QStringLiteral("Type de colonne non géré (%1) pour %2").arg(c.Type).arg(c.Name));
}

QString TextOfValue(const QVariant &aValue)
{
    if (!aValue.isValid() || aValue.isNull())
        return {};
    const int type = aValue.userType();
    if (type == qMetaTypeId<TDateTime>())
        return aValue.value<TDateTime>().ToString();
    if (type == QMetaType::Float)
        return floatText(aValue.toFloat());
    if (type == QMetaType::Double)
        return QString::number(aValue.toDouble(), 'g', 15);
    if (type == QMetaType::Bool)
        return aValue.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (type == QMetaType::QByteArray) {
        // Bytes without a set of their own (a binary blob) read as NONE text.
        const QByteArray bytes = aValue.toByteArray();
        return FromWindows1252(bytes.constData(), bytes.size());
    }
    return aValue.toString();
}

QVariant ReadBlob(THandle *aDatabase, THandle *aTransaction, const TColumn &c, const unsigned char *aRow)
{
    if (IsNull(c, aRow))
        return {};
    const TEntryPoints &api = Client().Api;
    TStatusVector status;
    THandle blob = 0;
    TQuad id = readAs<TQuad>(aRow + c.Offset);
    api.open_blob2(&status, aDatabase, aTransaction, &blob, &id, 0, nullptr);
    Check(status);
    QByteArray bytes;
    char chunk[32768];
    for (;;) {
        unsigned short got = 0;
        api.get_segment(&status, &blob, &got, sizeof chunk, chunk);
        const TStatus code = status.V[1];
        if (code != 0 && code != ErrSegment) {
            if (code == ErrSegstrEof)
                break;
            TStatusVector ignored;
            api.close_blob(&ignored, &blob);
            Raise(status);
        }
        bytes.append(chunk, got);
    }
    api.close_blob(&status, &blob);
    Check(status);
    if (c.SubType == 1)
        return decodeColumn(c, bytes.constData(), bytes.size());
    return bytes;
}

} // namespace Sqlda
