#include "db/TextCodec.h"

#include "db/DbError.h"
#include "db/IscApi.h"

namespace {

// Unicode of the bytes 0x80 to 0x9F; the rest of Windows-1252 is Latin-1.
constexpr char16_t High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int win1252Byte(char16_t aChar)
{
    if (aChar < 0x80 || (aChar >= 0xA0 && aChar <= 0xFF))
        return aChar;
    for (int i = 0; i < 32; ++i)
        if (High[i] == aChar)
            return 0x80 + i;
    return -1;
}

[[noreturn]] void refuse(const QString &aText, qsizetype aAt, TCharSet aCharSet, const QString &aWhat)
{
    // The whole character, surrogate pair included.
    const qsizetype len = (aText.at(aAt).isHighSurrogate() && aAt + 1 < aText.size()) ? 2 : 1;
    const QString ch = aText.mid(aAt, len);
    const QString where = aWhat.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(aWhat);
    throw EDbError(QStringLiteral("Le caractère « %1 » ne peut pas être écrit en %2%3 : texte « %4 ».")
                       .arg(ch, CharSetName(aCharSet), where, aText));
}

} // namespace

QString CharSetName(TCharSet aCharSet)
{
    switch (aCharSet) {
    case TCharSet::None: return QStringLiteral("NONE (Windows-1252)");
    case TCharSet::Octets: return QStringLiteral("OCTETS");
    case TCharSet::Ascii: return QStringLiteral("ASCII");
    case TCharSet::UnicodeFss: return QStringLiteral("UNICODE_FSS");
    case TCharSet::Utf8: return QStringLiteral("UTF8");
    case TCharSet::Iso8859_1: return QStringLiteral("ISO8859_1");
    case TCharSet::Win1252: return QStringLiteral("WIN1252");
    case TCharSet::Unknown: break;
    }
    return QStringLiteral("inconnu");
}

QString FromWindows1252(const char *aData, qsizetype aSize)
{
    // Latin-1 but for 0x80..0x9F: converted in bulk, then those bytes, rare
    // in French text, put right one by one.
    QString text = QString::fromLatin1(aData, aSize);
    bool high = false;
    for (qsizetype i = 0; i < aSize; ++i)
        high |= (static_cast<unsigned char>(aData[i]) & 0xE0) == 0x80;
    if (!high)
        return text;
    QChar *out = text.data();
    for (qsizetype i = 0; i < aSize; ++i) {
        const auto b = static_cast<unsigned char>(aData[i]);
        if (b >= 0x80 && b < 0xA0)
            out[i] = QChar(High[b - 0x80]);
    }
    return text;
}

qsizetype ToWindows1252(const QString &aText, QByteArray &aOut)
{
    aOut.resize(aText.size());
    char *out = aOut.data();
    const QChar *in = aText.constData();
    for (qsizetype i = 0; i < aText.size(); ++i) {
        const int b = win1252Byte(in[i].unicode());
        if (b < 0)
            return i;
        out[i] = char(b);
    }
    return -1;
}

QString DecodeText(const char *aData, qsizetype aSize, TCharSet aCharSet, const QString &aWhat)
{
    switch (aCharSet) {
    case TCharSet::None:
    case TCharSet::Octets:
    case TCharSet::Win1252:
        return FromWindows1252(aData, aSize);
    case TCharSet::Ascii:
    case TCharSet::Iso8859_1:
        return QString::fromLatin1(aData, aSize);
    case TCharSet::UnicodeFss:
    case TCharSet::Utf8:
        return QString::fromUtf8(aData, aSize);
    case TCharSet::Unknown:
        break;
    }
    throw EDbError(QStringLiteral("Jeu de caractères non géré%1").arg(aWhat.isEmpty() ? QString()
                                                                      : QStringLiteral(" (%1)").arg(aWhat)));
}

QByteArray EncodeText(const QString &aText, TCharSet aCharSet, const QString &aWhat)
{
    QByteArray bytes;
    switch (aCharSet) {
    case TCharSet::None:
    case TCharSet::Octets:
    case TCharSet::Win1252: {
        const qsizetype bad = ToWindows1252(aText, bytes);
        if (bad >= 0)
            refuse(aText, bad, aCharSet, aWhat);
        return bytes;
    }
    case TCharSet::Ascii:
    case TCharSet::Iso8859_1: {
        const char16_t limit = aCharSet == TCharSet::Ascii ? 0x7F : 0xFF;
        for (qsizetype i = 0; i < aText.size(); ++i)
            if (aText.at(i).unicode() > limit)
                refuse(aText, i, aCharSet, aWhat);
        return aText.toLatin1();
    }
    case TCharSet::UnicodeFss:
    case TCharSet::Utf8:
        for (qsizetype i = 0; i < aText.size(); ++i) {
            const QChar c = aText.at(i);
            // A lone surrogate has no UTF-8 form.
            if ((c.isHighSurrogate() && (i + 1 >= aText.size() || !aText.at(i + 1).isLowSurrogate()))
                || (c.isLowSurrogate() && (i == 0 || !aText.at(i - 1).isHighSurrogate())))
                refuse(aText, i, aCharSet, aWhat);
        }
        return aText.toUtf8();
    case TCharSet::Unknown:
        break;
    }
    throw EDbError(QStringLiteral("Jeu de caractères non géré%1").arg(aWhat.isEmpty() ? QString()
                                                                      : QStringLiteral(" (%1)").arg(aWhat)));
}

QString DecodeClientText(const QByteArray &aBytes)
{
    if (Isc::Client().Flavour->MessagesInUtf8)
        return QString::fromUtf8(aBytes);
    return FromWindows1252(aBytes.constData(), aBytes.size());
}

QByteArray EncodeClientPath(const QString &aPath)
{
    if (Isc::Client().Flavour->PathsInUtf8)
        return aPath.toUtf8();
    QByteArray bytes;
    if (ToWindows1252(aPath, bytes) >= 0)
        throw EDbError(QStringLiteral("Le chemin « %1 » contient un caractère que le client InterBase ne peut pas "
                                      "transmettre.").arg(aPath));
    return bytes;
}
