#include "common/TextFile.h"

#include "common/Erreur.h"
#include "common/ErreurSysteme.h"

#include <QFile>
#include <QStringDecoder>

namespace {
// Windows-1252 differs from Latin-1 only in 0x80..0x9F.
const char16_t Cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
} // namespace

QString DecodeWindowsText(const QByteArray &aBytes)
{
    if (aBytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(aBytes.mid(3));
    if (aBytes.startsWith("\xFF\xFE") || aBytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(aBytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return decoder.decode(aBytes.mid(2));
    }
    return DecodeWindows1252(aBytes);
}

QString DecodeWindows1252(const QByteArray &aBytes)
{
    QString text;
    text.reserve(aBytes.size());
    for (char c : aBytes) {
        const auto b = static_cast<unsigned char>(c);
        text += (b >= 0x80 && b < 0xA0) ? QChar(Cp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

QStringList SplitTextLines(const QString &aText)
{
    QStringList lines;
    QString current;
    for (qsizetype i = 0; i < aText.size(); ++i) {
        const QChar c = aText[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << current;
            current.clear();
            if (c == QLatin1Char('\r') && i + 1 < aText.size() && aText[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

QStringList ReadTextFileLines(const QString &aPath)
{
    QFile file(aPath);
    if (!file.open(QIODevice::ReadOnly))
        throw EIvroErreur(QStringLiteral("Impossible de lire le fichier \"%1\" : %2")
                              .arg(aPath, TexteErreurFichier(file)));
    return SplitTextLines(DecodeWindowsText(file.readAll()));
}

QByteArray EncodeWindows1252(const QString &aText)
{
    QByteArray bytes;
    bytes.reserve(aText.size());
    for (QChar c : aText) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes += char(u);
            continue;
        }
        char out = '?';
        for (int i = 0; i < 32; ++i)
            if (Cp1252High[i] == u && u != 0xFFFD)
                out = char(0x80 + i);
        bytes += out;
    }
    return bytes;
}

QChar FirstNonWindows1252(const QString &aText)
{
    for (QChar c : aText) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
            continue;
        bool found = false;
        for (int i = 0; i < 32 && !found; ++i)
            found = Cp1252High[i] == u && u != 0xFFFD;
        if (!found)
            return c;
    }
    return QChar();
}
