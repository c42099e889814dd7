#pragma once

// The transactions this layer starts, for the statements' own autocommit
// transactions as for explicit ones: one parameter block, built in one place.

#include <QtGlobal>

// How an explicit transaction isolates and waits. The default is the one
// every statement of this layer gets.
struct TDbTransactionOptions
{
    // Sees the database as it was when it started, plus its own changes.
    bool Snapshot = false;
    // A row locked by another transaction fails at once instead of waiting.
    bool NoWait = false;
};

// Starts a transaction with the parameters of every transaction this layer
// starts: read committed, record versions, waiting at most 10 s for a locked
// row where the client can bound the wait.
quint64 StartDbTransaction(quint64 *aAttachment, const TDbTransactionOptions &aOptions = {});

