#pragma once

// The operator's reading of the server errors met every day: a French
// sentence that says what went wrong and what to check, told apart by the
// server's numeric error codes (never by parsing its English text).

#include <QList>
#include <QString>

class EDbError;

// The sentence for the first recognised code, or "" when none is known.
QString PhraseErreurServeur(const QList<qint64> &aCodes);

// The sentence, then on the next line the server's own text; the text alone
// when no sentence fits.
QString TexteErreurServeur(const EDbError &aError);
