#pragma once

// The operator's reading of the server errors met every day: a French
// sentence that says what went wrong and what to check, told apart by the
// server's numeric error codes (never by parsing its English text). One
// exception: why the server could not open a file (absent, access refused)
// arrives from a remote server as the system's own message, code lost.

#include <QList>
#include <QString>

class EDbError;

// The sentence for the first recognised code, or "" when none is known.
QString PhraseErreurServeur(const QList<qint64> &aCodes);
// The same, told more precisely where the server says why it could not open
// the file (absent, or the system refused it access).
QString PhraseErreurServeur(const EDbError &aError);

// The sentence, then on the next line the server's own text; the text alone
// when no sentence fits.
QString TexteErreurServeur(const EDbError &aError);
