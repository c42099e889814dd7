#include "data/moteur/FichiersMoteur.h"

#include "common/Erreur.h"
#include "common/ErreurSysteme.h"
#include "common/TextFile.h"
#include "db/DbError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

TTextContent ReadTextContent(const QString &aPath)
{
    QFile file(aPath);
    if (!file.open(QIODevice::ReadOnly))
        throw EDbError(QStringLiteral("Impossible de lire le fichier \"%1\" : %2").arg(aPath, TexteErreurFichier(file)));
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

QByteArray EncodeTextContent(const QString &aPath, const QString &aText, TTextEncoding aEncoding)
{
    QByteArray bytes;
    switch (aEncoding) {
    case TTextEncoding::Ansi:
        if (const QChar c = FirstNonWindows1252(aText); !c.isNull())
            throw EDbError(QStringLiteral("Impossible d'écrire le fichier \"%1\" : le caractère U+%2 n'existe pas "
                                          "dans son jeu de caractères (Windows-1252).")
                               .arg(aPath)
                               .arg(uint(c.unicode()), 4, 16, QLatin1Char('0')));
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
    return bytes;
}

namespace {

// Whole or not at all: a half-written configuration stops the engine.
void WriteBytes(const QString &aPath, const QByteArray &aBytes, TFileAccess aAccess)
{
    try {
        WriteFileAtomically(aPath, aBytes, aAccess);
    } catch (const std::runtime_error &e) {
        throw EDbError(TexteErreur(e));
    }
}

} // namespace

void WriteTextContent(const QString &aPath, const QString &aText, TTextEncoding aEncoding, TFileAccess aAccess)
{
    WriteBytes(aPath, EncodeTextContent(aPath, aText, aEncoding), aAccess);
}

void TFileJournal::Write(const QString &aPath, const QByteArray &aBytes, TFileAccess aAccess)
{
    TEntry entry{aPath, std::nullopt};
    // Refused before reading: another account's link is not opened at all.
    if (const QString refusal = TargetRefusal(aPath); !refusal.isEmpty())
        throw EDbError(QStringLiteral("Impossible d'écrire le fichier \"%1\" : %2").arg(aPath, refusal));
    QFile old(aPath);
    if (QFileInfo(aPath).isFile() && !QFileInfo(aPath).isSymLink() && old.open(QIODevice::ReadOnly))
        entry.Before = old.readAll();
    WriteBytes(aPath, aBytes, aAccess);
    FEntries << entry;
}

void TFileJournal::WriteText(const QString &aPath, const QString &aText, TTextEncoding aEncoding,
                             TFileAccess aAccess)
{
    Write(aPath, EncodeTextContent(aPath, aText, aEncoding), aAccess);
}

void TFileJournal::Created(const QString &aPath)
{
    FEntries << TEntry{aPath, std::nullopt};
}

QStringList TFileJournal::Undo()
{
    QStringList left;
    while (!FEntries.isEmpty()) {
        const TEntry entry = FEntries.takeLast();
        try {
            if (entry.Before)
                WriteFileAtomically(entry.Path, *entry.Before);
            else if (!RemoveOwnFile(entry.Path))
                left << entry.Path;
        } catch (const std::exception &) {
            left << entry.Path;
        }
    }
    return left;
}

QStringList TFileJournal::Paths() const
{
    QStringList paths;
    for (const TEntry &entry : FEntries)
        paths << entry.Path;
    return paths;
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

QString FillPlaceholders(const QString &aText, const QList<std::pair<QString, QString>> &aValues)
{
    QString text;
    text.reserve(aText.size());
    for (qsizetype i = 0; i < aText.size();) {
        bool replaced = false;
        for (const auto &[placeholder, value] : aValues) {
            if (!placeholder.isEmpty()
                && QStringView(aText).mid(i, placeholder.size()).compare(placeholder, Qt::CaseInsensitive) == 0) {
                text += value;
                i += placeholder.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            text += aText[i++];
    }
    return text;
}

QString XmlEscaped(const QString &aText)
{
    QString text = aText.toHtmlEscaped();
    return text.replace(QLatin1Char('\''), QStringLiteral("&apos;"));
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
