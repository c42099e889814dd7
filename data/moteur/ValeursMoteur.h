#pragma once

// The checks every value of the engine installation and the node
// configuration gets where it enters, before anything is written or run:
// these values end up in command lines, properties files, an XML answer
// file and SQL that the engine runs as SYSDBA. Each function gives why the
// value is refused, in French, or an empty text when it is accepted.

#include <QString>

// A Windows service or systemd unit name: ASCII letters, digits, "-", "_"
// and ".", starting with a letter or a digit, at most 80 characters.
QString RefusNomService(const QString &aValue);
// An RFC 1123 host name, an IPv4 address or an IPv6 address in brackets.
QString RefusHote(const QString &aValue);
// A node or external id as SymmetricDS takes it into file names and
// addresses: ASCII letters, digits, "-", "_" and ".", at most 50.
QString RefusIdentifiant(const QString &aValue);
// http or https, a host as above, an optional port, a path of letters,
// digits and "-._~/" only.
QString RefusUrl(const QString &aValue);
// A path without control characters or double quotes (a quote would end
// the path in a command line), at most 1000 characters.
QString RefusChemin(const QString &aValue);
// The same, absolute; with aMustExist, an existing folder.
QString RefusDossier(const QString &aValue, bool aMustExist);

// Any text that goes into a line of a file: no control character.
QString RefusControle(const QString &aValue);

// The value as it can be shown in one line: control characters written as
// "\xNN", cut after 80 characters.
QString ValeurAffichable(const QString &aValue);

// Raises EDbError "<aWhat> refusé : "<value>" (<reason>)" when aRefusal is not empty.
void ExigeValeur(const QString &aWhat, const QString &aValue, const QString &aRefusal);
