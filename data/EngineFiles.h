#pragma once

// The engine's text files as the installation reads and rewrites them:
// each is written back in the encoding it came in, and name=value files are
// edited line by line so that the lines nobody touches stay as they were.

#include <QByteArray>
#include <QString>
#include <QStringList>

enum class TTextEncoding { Ansi, Utf8Bom, Utf16LE, Utf16BE };

struct TTextContent
{
    QString Text;
    TTextEncoding Encoding = TTextEncoding::Ansi;
};

// A byte-order mark selects UTF-8 or UTF-16; without one the text is the
// ANSI code page (Windows-1252). Raises EDbError when the file can't be read.
TTextContent ReadTextContent(const QString &aPath);
// The text in that encoding, its byte-order mark first; raises EDbError when
// the file can't be written.
void WriteTextContent(const QString &aPath, const QString &aText, TTextEncoding aEncoding);

// Each line followed by CR LF.
QString JoinCrLf(const QStringList &aLines);

// Every occurrence of aWhat, compared ignoring letter case, replaced by aBy.
QString ReplaceAllIgnoringCase(const QString &aText, const QString &aWhat, const QString &aBy);

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
