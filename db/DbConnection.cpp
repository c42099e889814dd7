#include "db/DbConnection.h"

#include "db/FbApi.h"

#include <QDebug>

#include <vector>

using namespace Firebird;

QString TDbConnectionParams::AttachString() const
{
    return QStringLiteral("%1/%2:%3").arg(Server).arg(Port).arg(Database);
}

ITransaction *StartDbTransaction(IAttachment *aAttachment)
{
    // Built once: every statement in autocommit starts a transaction.
    static const std::vector<unsigned char> tpb = [] {
        return FbGuard([] {
            FbApi::TStatus status;
            FbApi::TRef<IXpbBuilder> b(FbApi::Util()->getXpbBuilder(&status, IXpbBuilder::TPB, nullptr, 0));
            b->insertTag(&status, isc_tpb_write);
            b->insertTag(&status, isc_tpb_read_committed);
            b->insertTag(&status, isc_tpb_rec_version);
            b->insertTag(&status, isc_tpb_wait);
            b->insertInt(&status, isc_tpb_lock_timeout, 10);
            const unsigned char *bytes = b->getBuffer(&status);
            return std::vector<unsigned char>(bytes, bytes + b->getBufferLength(&status));
        });
    }();
    return FbGuard([&] {
        FbApi::TStatus status;
        return aAttachment->startTransaction(&status, unsigned(tpb.size()), tpb.data());
    });
}

TDbConnection::TDbConnection(TDbConnectionParams aParams)
    : FParams(std::move(aParams))
{
}

TDbConnection::~TDbConnection()
{
    try {
        delete FDefaultTransaction; // commits when still active
        FDefaultTransaction = nullptr;
        Close();
    } catch (const EDbError &e) {
        qWarning().noquote() << "Fermeture de la connexion :" << e.Message();
    }
    if (FAttachment) {
        FAttachment->release();
        FAttachment = nullptr;
    }
}

void TDbConnection::Open()
{
    if (FAttachment)
        return;
    FAttachment = FbGuard([&] {
        FbApi::TStatus status;
        FbApi::TRef<IXpbBuilder> dpb(FbApi::Util()->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0));
        if (!FParams.UserName.isEmpty())
            dpb->insertString(&status, isc_dpb_user_name, FParams.UserName.toUtf8().constData());
        if (!FParams.Password.isEmpty())
            dpb->insertString(&status, isc_dpb_password, FParams.Password.toUtf8().constData());
        dpb->insertString(&status, isc_dpb_lc_ctype, "UTF8");
        dpb->insertInt(&status, isc_dpb_sql_dialect, 3);
        return FbApi::Provider()->attachDatabase(&status, FParams.AttachString().toUtf8().constData(),
                                                 dpb->getBufferLength(&status), dpb->getBuffer(&status));
    });
}

void TDbConnection::Close()
{
    if (FDefaultTransaction && FDefaultTransaction->Active())
        FDefaultTransaction->Commit();
    if (!FAttachment)
        return;
    FbGuard([&] {
        FbApi::TStatus status;
        FAttachment->detach(&status); // releases on success
    });
    FAttachment = nullptr;
}

bool TDbConnection::CancelOperation()
{
    IAttachment *attachment = FAttachment;
    if (!attachment)
        return false;
    try {
        FbApi::TStatus status;
        attachment->cancelOperation(&status, fb_cancel_raise);
        return true;
    } catch (const FbException &e) {
        // Between two statements the server has nothing to cancel: asked all
        // the same.
        const intptr_t *v = e.getStatus()->getErrors();
        return v[0] == isc_arg_gds && v[1] == isc_nothing_to_cancel;
    }
}

IAttachment *TDbConnection::Attachment()
{
    Open();
    return FAttachment;
}

void TDbConnection::StartTransaction()
{
    if (!FDefaultTransaction)
        FDefaultTransaction = new TDbTransaction(this);
    FDefaultTransaction->StartTransaction();
}

void TDbConnection::Commit()
{
    if (FDefaultTransaction)
        FDefaultTransaction->Commit();
}

void TDbConnection::Rollback()
{
    if (FDefaultTransaction)
        FDefaultTransaction->Rollback();
}

bool TDbConnection::InTransaction() const
{
    return FDefaultTransaction && FDefaultTransaction->Active();
}

ITransaction *TDbConnection::ActiveTransaction(TDbTransaction *aTransaction) const
{
    if (aTransaction && aTransaction->Active())
        return aTransaction->Handle();
    if (InTransaction())
        return FDefaultTransaction->Handle();
    return nullptr;
}

TDbTransaction::TDbTransaction(TDbConnection *aConnection)
    : FConnection(aConnection)
{
}

TDbTransaction::~TDbTransaction()
{
    if (!FTransaction)
        return;
    try {
        Commit();
    } catch (const EDbError &e) {
        qWarning().noquote() << "Validation de la transaction :" << e.Message();
        FTransaction->release();
    }
}

void TDbTransaction::StartTransaction()
{
    if (FTransaction)
        throw EDbError(QStringLiteral("Une transaction est déjà active sur cette connexion."));
    FTransaction = StartDbTransaction(FConnection->Attachment());
}

void TDbTransaction::Commit()
{
    if (!FTransaction)
        return;
    FbGuard([&] {
        FbApi::TStatus status;
        FTransaction->commit(&status); // releases on success
    });
    FTransaction = nullptr;
}

void TDbTransaction::Rollback()
{
    if (!FTransaction)
        return;
    FbGuard([&] {
        FbApi::TStatus status;
        FTransaction->rollback(&status);
    });
    FTransaction = nullptr;
}
