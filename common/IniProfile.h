#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

// One key of an INI file, written as the Windows profile functions write it:
// an existing key is replaced where it stands, a missing key is added at the
// end of its section, a missing section at the end of the file, and every
// other byte is kept. Section and key names are compared without regard to
// case; what is written is Windows-1252 with CR LF line ends.

// Why the three texts cannot be written as one key line (a line break, a "]"
// in the section, a "=" in the key, an empty name, a character that
// Windows-1252 does not have), in French; empty when they can.
QString IniRefusal(const QString &aSection, const QString &aKey, const QString &aValue);

// The change itself, on the file's bytes. False, and aContent unchanged, when
// IniRefusal refuses the texts or the file is UTF-16 text.
bool IniSetValue(QByteArray &aContent, const QString &aSection, const QString &aKey, const QString &aValue);

// The change made in the file: through the profile functions on Windows,
// through IniSetValue elsewhere (the file replaced whole by
// WriteFileAtomically, its permissions kept; a file of another account or a
// link it planted is refused). False when the texts are refused or the
// system refuses the write; the file then stays as it was.
bool IniWriteValue(const QString &aFile, const QString &aSection, const QString &aKey, const QString &aValue);

// Several keys of one section in one change of the file: all of them or, on
// a refusal, none (through the profile functions on Windows, key by key
// after every text was checked). aError tells why not, in French.
bool IniWriteValues(const QString &aFile, const QString &aSection,
                    const QList<std::pair<QString, QString>> &aValues, QString *aError = nullptr);
