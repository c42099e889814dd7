#include "db/AttachmentQueries.h"

#include "db/DbError.h"
#include "db/IscApi.h"
#include "db/Sqlda.h"

#include <QScopeGuard>

using namespace Isc;

std::optional<qint64> AttachmentQueries::Integer(quint64 *aAttachment, quint64 *aTransaction, const QByteArray &aSql)
{
    const TEntryPoints &api = Client().Api;
    TStatusVector status;
    THandle statement = 0;
    api.dsql_allocate_statement(&status, aAttachment, &statement);
    Check(status);
    const auto release = qScopeGuard([&statement] {
        TStatusVector ignored;
        Client().Api.dsql_free_statement(&ignored, &statement, DsqlDrop);
    });
    Sqlda::TArea out(1);
    api.dsql_prepare(&status, aTransaction, &statement, 0, aSql.constData(), 3, out.Get());
    Check(status);
    if (out.Count() != 1)
        throw EDbError(QStringLiteral("Requête interne mal formée : une colonne attendue, %1 reçues.").arg(out.Count()));
    unsigned rowLength = 0;
    const QList<Sqlda::TColumn> columns = Sqlda::Describe(out, rowLength);
    QByteArray row(qsizetype(rowLength), '\0');
    Sqlda::PointAt(out, columns, reinterpret_cast<unsigned char *>(row.data()));
    api.dsql_execute2(&status, aTransaction, &statement, 1, nullptr, nullptr);
    Check(status);
    const TStatus rc = api.dsql_fetch(&status, &statement, 1, out.Get());
    if (rc == 100)
        return std::nullopt;
    Check(status);
    const auto *bytes = reinterpret_cast<const unsigned char *>(row.constData());
    if (Sqlda::IsNull(columns[0], bytes))
        return std::nullopt;
    bool ok = false;
    const qint64 value = Sqlda::ValueOf(columns[0], bytes).toLongLong(&ok);
    if (!ok)
        throw EDbError(QStringLiteral("Requête interne mal formée : un nombre entier attendu."));
    return value;
}

void AttachmentQueries::Execute(quint64 *aAttachment, quint64 *aTransaction, const QByteArray &aSql)
{
    TStatusVector status;
    Client().Api.dsql_execute_immediate(&status, aAttachment, aTransaction, 0, aSql.constData(), 3, nullptr);
    Check(status);
}
