#include "db/DbScript.h"

#include "db/DbConnection.h"
#include "db/FbApi.h"
#include "db/SqlText.h"

#include <iberror.h>

#include <QRegularExpression>

using namespace Firebird;

namespace {

// The statement drops an object and the server's answer says it is not there.
bool IsDropOfMissingObject(const QString &aStatement, const EDbError &aError)
{
    static const QRegularExpression drop(QStringLiteral("^\\s*DROP\\s"), QRegularExpression::CaseInsensitiveOption);
    if (!drop.match(aStatement).hasMatch())
        return false;
    // The server's codes for "no such object" on a drop, per kind of object.
    static const QList<qint64> notFound = {
        isc_dsql_table_not_found, isc_dsql_view_not_found,  
        isc_dyn_proc_not_found,   isc_dyn_trig_not_found,   isc_dyn_gen_not_found,
        isc_dyn_func_not_found,   isc_dyn_domain_not_found, isc_dyn_index_not_found,
        isc_dyn_exception_not_found, isc_dyn_view_not_found, isc_dsql_relation_err,
        isc_dyn_package_not_found, isc_dyn_role_not_found, isc_dyn_collation_not_found,
        isc_dyn_charset_not_found, isc_gennotdef,
    };
    for (qint64 code : aError.Codes())
        if (notFound.contains(code))
            return true;
    return false;
}

} // namespace

TDbScript::TDbScript(TDbConnection *aConnection, TDbTransaction *aTransaction)
    : FConnection(aConnection), FTransaction(aTransaction)
{
}

bool TDbScript::ExecuteChunk(const QString &aChunk)
{
    const QString sql = StripFinalSemicolon(aChunk);
    if (IsBlankStatement(sql))
        return true;
    try {
        FbGuard([&] {
            FbApi::TStatus status;
            IAttachment *attachment = FConnection->Attachment();
            ITransaction *explicitTx = FConnection->ActiveTransaction(FTransaction);
            if (explicitTx) {
                attachment->execute(&status, explicitTx, 0, sql.toUtf8().constData(), 3, nullptr, nullptr, nullptr,
                                    nullptr);
                return;
            }
            FbApi::TRef<ITransaction> tx(StartDbTransaction(attachment));
            attachment->execute(&status, tx.get(), 0, sql.toUtf8().constData(), 3, nullptr, nullptr, nullptr, nullptr);
            tx->commit(&status); // the server applies data definitions here
            (void)tx.release();
        });
        return true;
    } catch (const EDbError &e) {
        if (IsDropOfMissingObject(sql, e))
            return true;
        if (FPolicy == TErrorPolicy::StopAndRaise)
            throw;
        FErrors.append({sql, e.Message()});
        return false;
    }
}
