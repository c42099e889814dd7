#pragma once

// A statement that meets a row locked by another transaction, on a server
// whose transactions can't bound their wait for it: it runs with no wait and
// is run again, a little later each time, until the wait a newer server
// would have made is over. The caller's failure is then the lock conflict.

#include <QElapsedTimer>

class EDbError;
class TDbConnection;
class TDbTransaction;

// Whether the error says another transaction holds the row: a lock
// conflict, a deadlock or an update conflict (what a transaction that does
// not wait meets, depending on the server).
bool DbRowHeld(const EDbError &aError);

class TLockRetry
{
public:
    // For a statement run on aConnection in aTransaction (or in the
    // connection's transaction in force, or in autocommit).
    TLockRetry(TDbConnection *aConnection, TDbTransaction *aTransaction);

    // After a failed run: true when the statement is to run again (it met a
    // locked row, the wait is not over; the pause is made), false when the
    // failure is to go to the caller.
    bool Again(const EDbError &aError);

private:
    TDbConnection *FConnection;
    bool FActive;
    QElapsedTimer FTimer;
};
