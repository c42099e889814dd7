#pragma once

#include <QString>

// Elapsed seconds as "mm:ss", or "hh:mm:ss" from one hour on. Fractions of a
// second are dropped, and so are whole days.
QString FormatDuree(double aSecondes);

// A whole number as a French reader reads it: digits grouped by three with a
// narrow no-break space (U+202F), "1 000 003"; never a comma, which reads
// as a decimal mark.
QString NombreFrancais(qint64 aNombre);
// The value of a text NombreFrancais gave (or plain digits); false when it
// is no whole number.
bool LitNombreFrancais(const QString &aTexte, qint64 &aNombre);

// Only the letters A to Z change case; accented letters and the rest stay as
// they are: the names stored this way are compared by other programs that do
// the same.
QString LowerAsciiLetters(QString aText);
QString UpperAsciiLetters(QString aText);

// The replication node name of a site, from its sender name: lowered (A to Z
// only), "-sec" sites prefixed with "sec", the usual words shortened
// ("serveur" to "s", "portable" to "p", "-sync" to "-s"), 30 characters at
// most.
QString CalculeSymNode(const QString &aBAS_SENDER);

// A new GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, or
// empty text when none could be made.
QString GetNewGUID();

// The computer's name, or empty text when the system does not give it.
QString GetNomMachine();
