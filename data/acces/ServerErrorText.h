#pragma once

// The operator's reading of the server errors met every day: a French
// sentence that says what went wrong and what to check, told apart by the
// server's numeric error codes (never by parsing its English text). One
// exception: why the server could not open a file (absent, access refused)
// arrives from a remote server as the system's own message, code lost.

#include <QList>
#include <QString>

#include <exception>

class EDbError;

// The sentence for the first recognised code, or "" when none is known.
QString PhraseErreurServeur(const QList<qint64> &aCodes);
// The same, told more precisely where the server says why it could not open
// the file (absent, or the system refused it access).
QString PhraseErreurServeur(const EDbError &aError);

// The sentence, then on the next line the server's own text; the text alone
// when no sentence fits.
QString TexteErreurServeur(const EDbError &aError);
// Any failure as the operator reads it: a server error as above, any other
// as TexteErreur gives it.
QString TexteErreurServeur(const std::exception &aError);
