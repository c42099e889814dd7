#include "db/TransactionStart.h"

#include "db/ClientFlavour.h"
#include "db/DbError.h"
#include "db/IscApi.h"

using namespace Isc;

QByteArray TransactionParameters(const TClientFlavour &aFlavour, const QString &aServerVersion,
                                 const TDbTransactionOptions &aOptions)
{
    QByteArray tpb;
    tpb.append(char(TpbVersion3));
    tpb.append(char(TpbWrite));
    if (aOptions.Snapshot) {
        tpb.append(char(TpbConcurrency));
    } else {
        tpb.append(char(TpbReadCommitted));
        tpb.append(char(TpbRecVersion));
    }
    const auto item = aFlavour.LockWaitItem(aServerVersion);
    if (aOptions.NoWait || !item) {
        tpb.append(char(TpbNowait));
        return tpb;
    }
    tpb.append(char(TpbWait));
    tpb.append(char(*item));
    tpb.append(char(4));
    const qint32 seconds = DbLockWaitSeconds;
    tpb.append(reinterpret_cast<const char *>(&seconds), 4);
    return tpb;
}

quint64 StartDbTransaction(quint64 *aAttachment, const QByteArray &aTpb)
{
    TStatusVector status;
    THandle tx = 0;
    TTeb teb{aAttachment, intptr_t(aTpb.size()), aTpb.constData()};
    Client().Api.start_multiple(&status, &tx, 1, &teb);
    Check(status);
    return tx;
}
