#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text files as the program exchanges them with Windows machines: a byte-order
// mark selects UTF-8 or UTF-16; without one the text is Windows-1252. Lines
// end at CR LF, LF or CR; a final line break does not make an empty line.
QString DecodeWindowsText(const QByteArray &aBytes);
QStringList SplitTextLines(const QString &aText);
// Raises EIvroErreur with a French message when the file can't be read.
QStringList ReadTextFileLines(const QString &aPath);
// The text of Windows-1252 bytes, one character per byte, without looking
// for a byte-order mark.
QString DecodeWindows1252(const QByteArray &aBytes);
// Windows-1252 bytes of a text; characters it lacks become '?'.
QByteArray EncodeWindows1252(const QString &aText);
// The first character of aText that Windows-1252 can't hold; a null QChar
// when it holds them all.
QChar FirstNonWindows1252(const QString &aText);
