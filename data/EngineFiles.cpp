#include "data/EngineFiles.h"

#include "common/TextFile.h"
#include "db/DbError.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

TTextContent ReadTextContent(const QString &aPath)
{
    QFile file(aPath);
    if (!file.open(QIODevice::ReadOnly))
        throw EDbError(QStringLiteral("Impossible de lire le fichier \"%1\" : %2").arg(aPath, file.errorString()));
    const QByteArray bytes = file.readAll();
    TTextContent content;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        content.Encoding = TTextEncoding::Utf8Bom;
    else if (bytes.startsWith("\xFF\xFE"))
        content.Encoding = TTextEncoding::Utf16LE;
    else if (bytes.startsWith("\xFE\xFF"))
        content.Encoding = TTextEncoding::Utf16BE;
    content.Text = DecodeWindowsText(bytes);
    return content;
}

void WriteTextContent(const QString &aPath, const QString &aText, TTextEncoding aEncoding)
{
    QByteArray bytes;
    switch (aEncoding) {
    case TTextEncoding::Ansi:
        bytes = EncodeWindows1252(aText);
        break;
    case TTextEncoding::Utf8Bom:
        bytes = QByteArray("\xEF\xBB\xBF") + aText.toUtf8();
        break;
    case TTextEncoding::Utf16LE:
    case TTextEncoding::Utf16BE: {
        const bool little = aEncoding == TTextEncoding::Utf16LE;
        QStringEncoder encoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        bytes = QByteArray(little ? "\xFF\xFE" : "\xFE\xFF") + QByteArray(encoder.encode(aText));
        break;
    }
    }
    // Whole or not at all: a half-written configuration stops the engine.
    QSaveFile file(aPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw EDbError(QStringLiteral("Impossible d'écrire le fichier \"%1\" : %2").arg(aPath, file.errorString()));
}

QString JoinCrLf(const QStringList &aLines)
{
    QString text;
    for (const QString &line : aLines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QString ReplaceAllIgnoringCase(const QString &aText, const QString &aWhat, const QString &aBy)
{
    QString text = aText;
    return aWhat.isEmpty() ? text : text.replace(aWhat, aBy, Qt::CaseInsensitive);
}

QString EscapeColons(const QString &aValue)
{
    QString value = aValue;
    return value.replace(QLatin1Char(':'), QStringLiteral("\\:"));
}

qsizetype TNameValueLines::IndexOfName(const QString &aName) const
{
    for (qsizetype i = 0; i < Lines.size(); ++i) {
        const qsizetype eq = Lines[i].indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(Lines[i]).left(eq).compare(aName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString TNameValueLines::Value(const QString &aName) const
{
    const qsizetype i = IndexOfName(aName);
    return i < 0 ? QString() : Lines[i].mid(Lines[i].indexOf(QLatin1Char('=')) + 1);
}

void TNameValueLines::SetValue(const QString &aName, const QString &aValue)
{
    const qsizetype i = IndexOfName(aName);
    if (aValue.isEmpty()) {
        if (i >= 0)
            Lines.removeAt(i);
        return;
    }
    const QString line = aName + QLatin1Char('=') + aValue;
    if (i >= 0)
        Lines[i] = line;
    else
        Lines << line;
}
