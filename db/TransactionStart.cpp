#include "db/TransactionStart.h"

#include "db/DbError.h"
#include "db/IscApi.h"

#include <QByteArray>

using namespace Isc;

namespace {

QByteArray transactionParameters(const TDbTransactionOptions &aOptions = {})
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
    if (aOptions.NoWait) {
        tpb.append(char(TpbNowait));
        return tpb;
    }
    tpb.append(char(TpbWait));
    if (const auto item = Client().Flavour->TpbLockTimeout) {
        tpb.append(char(*item));
        tpb.append(char(4));
        const qint32 seconds = 10;
        tpb.append(reinterpret_cast<const char *>(&seconds), 4);
    }
    return tpb;
}

} // namespace

quint64 StartDbTransaction(quint64 *aAttachment, const TDbTransactionOptions &aOptions)
{
    // Built once: every statement in autocommit starts a transaction.
    static const QByteArray usual = transactionParameters();
    const bool other = aOptions.Snapshot || aOptions.NoWait;
    const QByteArray tpb = other ? transactionParameters(aOptions) : usual;
    TStatusVector status;
    THandle tx = 0;
    TTeb teb{aAttachment, intptr_t(tpb.size()), tpb.constData()};
    Client().Api.start_multiple(&status, &tx, 1, &teb);
    Check(status);
    return tx;
}

