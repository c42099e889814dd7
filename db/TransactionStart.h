#pragma once

// The transactions this layer starts, for the statements' own autocommit
// transactions as for explicit ones: one parameter block, built in one place.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

struct TClientFlavour;

// How an explicit transaction isolates and waits. The default is the one
// every statement of this layer gets.
struct TDbTransactionOptions
{
    // Sees the database as it was when it started, plus its own changes.
    bool Snapshot = false;
    // A row locked by another transaction fails at once instead of waiting.
    bool NoWait = false;
};

// Seconds a transaction waits for a locked row before it fails.
constexpr int DbLockWaitSeconds = 10;

// The parameters of every transaction this layer starts: read committed,
// record versions, waiting at most DbLockWaitSeconds for a locked row. A
// server that can't bound the wait (it does not know the item) gets no wait
// instead, and its statements are run again until the time is over (see
// TDbConnection::RetriesLocks): never an endless wait.
QByteArray TransactionParameters(const TClientFlavour &aFlavour, const QString &aServerVersion,
                                 const TDbTransactionOptions &aOptions = {});

// Starts a transaction with the given parameter block.
quint64 StartDbTransaction(quint64 *aAttachment, const QByteArray &aTpb);
