#pragma once

#include <QString>

// Elapsed seconds as "mm:ss", or "hh:mm:ss" from one hour on. Fractions of a
// second are dropped, and so are whole days.
QString FormatDuree(double aSecondes);

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
