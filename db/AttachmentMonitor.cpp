#include "db/AttachmentMonitor.h"

#include "db/AttachmentQueries.h"
#include "db/ClientFlavour.h"
#include "db/DbConnection.h"
#include "db/DbQuery.h"
#include "db/IscApi.h"

using namespace Isc;

namespace {

QByteArray withNumber(const char *aSql, qint64 aNumber)
{
    return QByteArray(aSql) + QByteArray::number(aNumber);
}

} // namespace

namespace AttachmentMonitor {

std::optional<TDbAttachmentInfo> TransactionHolder(TDbConnection *aVia, qint64 aTransaction)
{
    TDbQuery query(aVia);
    query.SQL() << QString::fromLatin1(withNumber(Client().Flavour->TransactionHolderSql, aTransaction));
    query.Open();
    if (query.Eof())
        return std::nullopt;
    TDbAttachmentInfo info;
    info.Id = query.Fields(0).AsLargeInt();
    info.Address = query.Fields(1).AsString().trimmed();
    info.Process = query.Fields(2).AsString().trimmed();
    info.Program = query.Fields(3).AsString().trimmed();
    info.Since = query.Fields(4).AsDateTime();
    return info;
}

bool Exists(TDbConnection *aVia, qint64 aId)
{
    TDbTransaction tx(aVia);
    tx.StartTransaction();
    return AttachmentQueries::Integer(aVia->Attachment(), tx.Handle(),
                                      withNumber(Client().Flavour->AttachmentCountSql, aId))
               .value_or(0)
           > 0;
}

void End(TDbConnection *aVia, qint64 aId)
{
    TDbTransaction tx(aVia);
    tx.StartTransaction();
    AttachmentQueries::Execute(aVia->Attachment(), tx.Handle(), withNumber(Client().Flavour->EndAttachmentSql, aId));
    tx.Commit();
}

QString EndStatement(qint64 aId)
{
    return QString::fromLatin1(withNumber(Client().Flavour->EndAttachmentSql, aId));
}

} // namespace AttachmentMonitor
