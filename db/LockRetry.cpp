#include "db/LockRetry.h"

#include "db/DbConnection.h"
#include "db/DbError.h"

#include <QThread>

#include <algorithm>

namespace {

// What a transaction that does not wait meets on a row that another one
// holds: "lock conflict on no wait transaction" on some servers, "deadlock /
// update conflicts with concurrent update" on others (Firebird 3). Without
// a wait there is no true deadlock: both mean the row is held, for now.
constexpr qint64 isc_lock_conflict = 335544345;
constexpr qint64 isc_deadlock = 335544336;
constexpr qint64 isc_update_conflict = 335544451;
constexpr qint64 PauseMs = 250;

} // namespace

bool DbRowHeld(const EDbError &aError)
{
    return aError.HasCode(isc_lock_conflict) || aError.HasCode(isc_deadlock) || aError.HasCode(isc_update_conflict);
}

TLockRetry::TLockRetry(TDbConnection *aConnection, TDbTransaction *aTransaction)
    : FConnection(aConnection), FActive(aConnection->RetriesLocks(aTransaction))
{
    if (FActive)
        FTimer.start();
}

bool TLockRetry::Again(const EDbError &aError)
{
    if (!FActive || !DbRowHeld(aError) || FConnection->Abandoned())
        return false;
    const qint64 left = qint64(DbLockWaitSeconds) * 1000 - FTimer.elapsed();
    if (left <= 0)
        return false;
    QThread::msleep(std::min(left, PauseMs));
    return !FConnection->Abandoned();
}
