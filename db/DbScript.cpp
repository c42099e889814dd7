#include "db/DbScript.h"

#include "db/DbConnection.h"
#include "db/DbError.h"
#include "db/IscApi.h"
#include "db/LockRetry.h"
#include "db/SqlText.h"
#include "db/TextCodec.h"

#include <QRegularExpression>

using namespace Isc;

namespace {

// The server's codes for "no such object" on a drop, per kind of object;
// the same numbers in both servers' clients.
constexpr qint64 NotFoundCodes[] = {
    335544580, // table unknown
    335544463, // generator not defined
    336068649, // function not found
    336068656, // index not found
    336068662, // view not found
    336068697, // domain not found
    336068748, // procedure not found
    336068752, // exception not found
    336068755, // trigger not found
    336068759, // character set not found
    336068760, // collation not found
    336068763, // role not found
    336068822, // generator not found
    336068864, // package not found (Firebird)
    336397206, // table not found (Firebird)
    336397207, // view not found (Firebird)
};

// The statement drops an object and the server's answer says it is not there.
bool IsDropOfMissingObject(const QString &aStatement, const EDbError &aError)
{
    // Comments may come first: a script's chunk often opens with them.
    static const QRegularExpression drop(QStringLiteral("^(\\s*(--[^\\n]*(\\n|$)|/\\*.*?\\*/))*\\s*DROP\\s"),
                                         QRegularExpression::CaseInsensitiveOption
                                             | QRegularExpression::DotMatchesEverythingOption);
    if (!drop.match(aStatement).hasMatch())
        return false;
    for (qint64 code : aError.Codes())
        for (qint64 notFound : NotFoundCodes)
            if (code == notFound)
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
        for (TLockRetry retry(FConnection, FTransaction);;) {
            try {
                Execute(sql);
                return true;
            } catch (const EDbError &e) {
                if (!retry.Again(e))
                    throw;
            }
        }
    } catch (const EDbError &e) {
        if (IsDropOfMissingObject(sql, e))
            return true;
        if (FPolicy == TErrorPolicy::StopAndRaise)
            throw;
        FErrors.append({sql, e.Message()});
        return false;
    }
}

void TDbScript::Execute(const QString &aSql)
{
    const QByteArray bytes = FConnection->EncodeStatement(aSql);
    const TEntryPoints &api = Client().Api;
    TStatusVector status;
    THandle *attachment = FConnection->Attachment();
    if (THandle *explicitTx = FConnection->ActiveTransaction(FTransaction)) {
        api.dsql_execute_immediate(&status, attachment, explicitTx, 0, bytes.constData(), 3, nullptr);
        Check(status);
        return;
    }
    THandle tx = FConnection->StartTransactionHandle();
    api.dsql_execute_immediate(&status, attachment, &tx, 0, bytes.constData(), 3, nullptr);
    if (status.Failed()) {
        TStatusVector ignored;
        api.rollback_transaction(&ignored, &tx);
        Raise(status);
    }
    api.commit_transaction(&status, &tx); // the server applies data definitions here
    if (status.Failed()) {
        TStatusVector ignored;
        api.rollback_transaction(&ignored, &tx);
        Raise(status);
    }
}
