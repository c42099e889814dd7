#pragma once

// The layer's one encoding rule. Text in a column or parameter whose
// character set is NONE is Windows-1252 bytes, both ways; any other set is
// converted by that set. Nothing is guessed from the bytes, and text that the
// target set cannot hold is refused, never written as '?'.

#include "db/ClientFlavour.h"

#include <QByteArray>
#include <QString>

// Bytes of a column of set aCharSet as text. Throws EDbError for a set the
// layer does not know (aWhat names the column).
QString DecodeText(const char *aData, qsizetype aSize, TCharSet aCharSet, const QString &aWhat = QString());
// Text as bytes of set aCharSet; throws EDbError naming aWhat and the first
// character that the set cannot hold.
QByteArray EncodeText(const QString &aText, TCharSet aCharSet, const QString &aWhat = QString());

// Windows-1252, every byte kept: the five bytes the code page leaves
// undefined map to the control characters of the same number.
QString FromWindows1252(const char *aData, qsizetype aSize);
// -1 when a character has no Windows-1252 byte; else the bytes in aOut.
qsizetype ToWindows1252(const QString &aText, QByteArray &aOut);

// The client library's own texts (messages) and database paths, in the form
// the loaded client uses.
QString DecodeClientText(const QByteArray &aBytes);
QByteArray EncodeClientPath(const QString &aPath);

QString CharSetName(TCharSet aCharSet);
