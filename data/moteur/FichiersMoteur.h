#pragma once

// The engine's text files as the installation reads and rewrites them:
// each is written back in the encoding it came in, and name=value files are
// edited line by line so that the lines nobody touches stay as they were.

#include "common/AtomicFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

enum class TTextEncoding { Ansi, Utf8Bom, Utf16LE, Utf16BE };

struct TTextContent
{
    QString Text;
    TTextEncoding Encoding = TTextEncoding::Ansi;
};

// A byte-order mark selects UTF-8 or UTF-16; without one the text is the
// ANSI code page (Windows-1252). Raises EDbError when the file can't be read.
TTextContent ReadTextContent(const QString &aPath);
// The bytes of the text in that encoding, its byte-order mark first. Raises
// EDbError when the ANSI code page can't hold a character: a "?" in its
// place would change a path or a password without a word.
QByteArray EncodeTextContent(const QString &aPath, const QString &aText, TTextEncoding aEncoding);
// Written through WriteFileAtomically; raises EDbError when it can't be.
void WriteTextContent(const QString &aPath, const QString &aText, TTextEncoding aEncoding,
                      TFileAccess aAccess = TFileAccess::Ordinary);

// The files one operation writes, with what each held before, so that a
// later failure can put them back: a file that did not exist is removed.
class TFileJournal
{
public:
    void Write(const QString &aPath, const QByteArray &aBytes, TFileAccess aAccess = TFileAccess::Ordinary);
    void WriteText(const QString &aPath, const QString &aText, TTextEncoding aEncoding,
                   TFileAccess aAccess = TFileAccess::Ordinary);
    // A file made by another step (a copy), to be removed on Undo().
    void Created(const QString &aPath);
    // Puts back every file, the last written first; the paths that could not
    // be put back are returned.
    QStringList Undo();
    QStringList Paths() const;

private:
    struct TEntry
    {
        QString Path;
        std::optional<QByteArray> Before;
    };
    QList<TEntry> FEntries;
};

// Each line followed by CR LF.
QString JoinCrLf(const QStringList &aLines);

// Every occurrence of aWhat, compared ignoring letter case, replaced by aBy.
QString ReplaceAllIgnoringCase(const QString &aText, const QString &aWhat, const QString &aBy);

// Every placeholder of the list (compared ignoring letter case) replaced by
// its value in one pass over aText: a value is never searched again, so a
// "%" in a folder name can't pull in another placeholder's value.
QString FillPlaceholders(const QString &aText, const QList<std::pair<QString, QString>> &aValues);

// "&", "<", ">", '"' and "'" as XML entities.
QString XmlEscaped(const QString &aText);

// A value as a properties file wants it: every ":" written "\:".
QString EscapeColons(const QString &aValue);

// name=value lines: a line's name is the text before its first "=",
// compared ignoring letter case; lines without "=" have no name.
class TNameValueLines
{
public:
    QStringList Lines;

    qsizetype IndexOfName(const QString &aName) const; // -1 when no line has that name
    QString Value(const QString &aName) const;         // empty when absent
    // An existing line is replaced in place, a new one appended; an empty
    // value removes the line instead.
    void SetValue(const QString &aName, const QString &aValue);
};
