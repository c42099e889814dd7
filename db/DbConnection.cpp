#include "db/DbConnection.h"

#include "db/AttachmentQueries.h"
#include "db/DbError.h"
#include "db/IscApi.h"
#include "db/TextCodec.h"

#include <QDebug>
#include <QRegularExpression>

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

using namespace Isc;

namespace {

std::atomic<void (*)()> gAfterAttach{nullptr};

// Every connection of the process, for AbandonAll, which runs on another
// thread. Never destroyed: a signal may come while the process exits.
struct TRegistry
{
    // Recursive: on InterBase, abandoning a connection opens another one
    // (to end the first's attachment), which registers itself.
    std::recursive_mutex Lock;
    std::vector<TDbConnection *> Connections;
};
TRegistry &registry()
{
    static TRegistry *r = new TRegistry;
    return *r;
}

void appendString(QByteArray &aBlock, unsigned char aItem, const QByteArray &aValue)
{
    if (aValue.size() > 255)
        throw EDbError(QStringLiteral("Valeur trop longue pour la connexion (%1 octets)").arg(aValue.size()));
    aBlock.append(char(aItem));
    aBlock.append(char(aValue.size()));
    aBlock.append(aValue);
}

void appendInt(QByteArray &aBlock, unsigned char aItem, qint32 aValue)
{
    aBlock.append(char(aItem));
    aBlock.append(char(4));
    aBlock.append(reinterpret_cast<const char *>(&aValue), 4);
}

// What attaching needs: the path in the client's form and the parameters.
QByteArray attachParameters(const TDbConnectionParams &aParams, QByteArray &aPath)
{
    const TClientFlavour &flavour = *Client().Flavour;
    QByteArray dpb;
    dpb.append(char(DpbVersion1));
    // Credentials travel as they are typed; they are plain ASCII in practice.
    if (!aParams.UserName.isEmpty())
        appendString(dpb, DpbUserName, aParams.UserName.toUtf8());
    if (!aParams.Password.isEmpty())
        appendString(dpb, DpbPassword, aParams.Password.toUtf8());
    // No conversion by the server: each column's bytes arrive as stored, and
    // the layer converts by the column's own set.
    appendString(dpb, DpbLcCtype, QByteArrayLiteral("NONE"));
    appendInt(dpb, DpbSqlDialect, 3);
    if (aParams.ConnectTimeout > 0)
        appendInt(dpb, DpbConnectTimeout, aParams.ConnectTimeout);
    if (flavour.DpbUtf8FileName) {
        dpb.append(char(*flavour.DpbUtf8FileName));
        dpb.append(char(0));
    }
    aPath = EncodeClientPath(aParams.AttachString());
    return dpb;
}

} // namespace

QString TDbConnectionParams::AttachString() const
{
    return QStringLiteral("%1/%2:%3").arg(Server).arg(Port).arg(Database);
}

TDbClientInfo DbClientInfo()
{
    TDbClientInfo info;
    try {
        const TClient &client = Client();
        info.Library = client.LibraryFile;
        info.Flavour = QLatin1String(client.Flavour->Name);
    } catch (const EDbError &e) {
        info.Error = e.Message();
    }
    return info;
}

void CreateDatabase(const TDbConnectionParams &aParams, const QString &aCharSet, bool aForcedWrites)
{
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9_]+$"));
    if (!plainName.match(aCharSet).hasMatch())
        throw EDbError(QStringLiteral("Jeu de caractères incorrect : %1").arg(aCharSet));
    // Created through the parameter block rather than a CREATE DATABASE
    // statement, so that the file name travels as attaching sends it (in
    // UTF-8 with its flag on Firebird, where the statement's text would be
    // read in the system's code page).
    QByteArray path;
    QByteArray dpb = attachParameters(aParams, path);
    appendInt(dpb, DpbPageSize, 8192);
    appendString(dpb, DpbSetDbCharset, aCharSet.toLatin1());
    if (!aForcedWrites)
        appendInt(dpb, DpbForceWrite, 0);
    const TEntryPoints &api = Client().Api;
    TStatusVector status;
    THandle db = 0;
    api.create_database(&status, short(path.size()), path.constData(), &db, short(dpb.size()), dpb.constData(), 0);
    RunAfterAttachHook();
    Check(status);
    api.detach_database(&status, &db);
    Check(status);
}

void SetAfterAttachHook(void (*aHook)())
{
    gAfterAttach = aHook;
}

void RunAfterAttachHook()
{
    if (const auto hook = gAfterAttach.load())
        hook();
}

TDbConnection::TDbConnection(TDbConnectionParams aParams)
    : FParams(std::move(aParams))
{
    TRegistry &r = registry();
    const std::lock_guard lock(r.Lock);
    r.Connections.push_back(this);
}

TDbConnection::~TDbConnection()
{
    {
        TRegistry &r = registry();
        const std::lock_guard lock(r.Lock);
        r.Connections.erase(std::find(r.Connections.begin(), r.Connections.end(), this));
    }
    try {
        delete FDefaultTransaction; // rolls back when still active
        FDefaultTransaction = nullptr;
        Close();
    } catch (const EDbError &e) {
        qWarning().noquote() << "Fermeture de la connexion :" << e.Message();
    }
    ForgetStatements(); // a failed rollback left the attachment: they outlive us
}

void TDbConnection::ForgetStatements()
{
    // Their handles go with the attachment.
    for (TDbAttachedStatement *statement : std::exchange(FStatements, {}))
        statement->AttachmentGone();
}

void TDbConnection::Open()
{
    if (FAttachment)
        return;
    // An empty name would have the client look for a database of its own
    // making (and load its embedded engine): it names no database.
    if (FParams.Database.trimmed().isEmpty())
        throw EDbError(QStringLiteral("Aucune base indiquée : le chemin de la base est vide."));
    const TEntryPoints &api = Client().Api;
    QByteArray path;
    const QByteArray dpb = attachParameters(FParams, path);
    TStatusVector status;
    THandle db = 0;
    api.attach_database(&status, short(path.size()), path.constData(), &db, short(dpb.size()), dpb.constData());
    RunAfterAttachHook();
    if (status.Failed()) {
        // Which client answered tells a wrong library from a wrong server.
        try {
            Raise(status);
        } catch (const EDbError &e) {
            throw EDbError(e.Message() + QStringLiteral("\nClient : ") + ClientDescription(), e.Codes(),
                           e.ErreursSysteme());
        }
    }
    FAttachment = db;
    FCancelHandle = db;
    FEnded = false;
    FAttachmentId = 0;
    if (!Client().Flavour->CanCancelCall) {
        // Kept for ending the attachment from another one: on InterBase the
        // only way to stop what runs on it.
        const char item = char(InfoAttachmentId);
        char buffer[32] = {};
        Client().Api.database_info(&status, &FAttachment, 1, &item, sizeof buffer, buffer);
        if (!status.Failed() && buffer[0] == item) {
            const int length = int(VaxInteger(buffer + 1, 2));
            if (length > 0 && length <= 8)
                FAttachmentId = VaxInteger(buffer + 3, length);
        }
    }
}

void TDbConnection::Close()
{
    // Closing is no decision to keep the work: only Commit() is.
    if (FDefaultTransaction && FDefaultTransaction->Active())
        FDefaultTransaction->Rollback();
    if (!FAttachment)
        return;
    ForgetStatements();
    FCancelHandle = 0;
    TStatusVector status;
    Client().Api.detach_database(&status, &FAttachment);
    // A connection the server has already dropped is closed all the same;
    // one we ended ourselves has nothing to report.
    FAttachment = 0;
    if (!FEnded)
        Check(status);
}

bool TDbConnection::CancelOperation()
{
    const TEntryPoints &api = Client().Api;
    THandle handle = FCancelHandle;
    if (handle == 0)
        return false;
    if (!Client().Flavour->CanCancelCall || !api.fb_cancel_operation)
        return EndAttachment();
    TStatusVector status;
    constexpr unsigned short CancelRaise = 3;
    api.fb_cancel_operation(&status, &handle, CancelRaise);
    constexpr TStatus NothingToCancel = 335544933;
    return !status.Failed() || status.V[1] == NothingToCancel;
}

bool TDbConnection::EndAttachment()
{
    if (FEnded)
        return true;
    const qint64 id = FAttachmentId;
    if (id <= 0)
        return false;
    // From an attachment of our own: the running call can't be interrupted
    // on its own attachment. The server stops the statement, rolls back its
    // transaction, and the call returns with an error.
    try {
        TDbConnection other(FParams);
        TDbTransaction tx(&other);
        tx.StartTransaction();
        AttachmentQueries::Execute(
            other.Attachment(), tx.Handle(),
            QByteArray("UPDATE TMP$ATTACHMENTS SET TMP$STATE = 'SHUTDOWN' WHERE TMP$ATTACHMENT_ID = ") + QByteArray::number(id));
        tx.Commit();
    } catch (const EDbError &e) {
        qWarning().noquote() << "Arrêt de la connexion :" << e.Message();
        return false;
    }
    FEnded = true;
    return true;
}

bool TDbConnection::Abandon()
{
    const int before = FCommitState.fetch_or(KAbandoned);
    CancelOperation();
    return (before & KCommitting) == 0;
}

int TDbConnection::AbandonAll()
{
    TRegistry &r = registry();
    const std::lock_guard lock(r.Lock);
    int attached = 0;
    // By index over the connections there were: one opened meanwhile comes
    // after them and is gone again before the next turn.
    for (std::size_t i = 0, n = r.Connections.size(); i < n; ++i) {
        TDbConnection *c = r.Connections[i];
        if (c->FCancelHandle != 0)
            ++attached;
        c->Abandon();
    }
    return attached;
}

void TDbConnection::BeginCommit()
{
    int expected = 0;
    while (!FCommitState.compare_exchange_weak(expected, KCommitting))
        if (expected & KAbandoned)
            throw EDbError(QStringLiteral("Opération interrompue : rien n'a été validé."));
}

void TDbConnection::EndCommit(bool aCommitted)
{
    if (aCommitted)
        ++FCommits;
    FCommitState.fetch_and(~KCommitting);
}

QString TDbConnection::ServerVersion()
{
    const char item = char(Client().Flavour->InfoVersion);
    char buffer[512] = {};
    TStatusVector status;
    Client().Api.database_info(&status, Attachment(), 1, &item, sizeof buffer, buffer);
    Check(status);
    // item, length (2 bytes), count, then counted strings: the first one.
    if (buffer[0] != item)
        return {};
    const int count = static_cast<unsigned char>(buffer[3]);
    if (count < 1)
        return {};
    const int len = static_cast<unsigned char>(buffer[4]);
    return DecodeClientText(QByteArray(buffer + 5, std::min(len, int(sizeof buffer) - 5)));
}

QByteArray TDbConnection::EncodeStatement(const QString &aSql)
{
    bool ascii = true;
    for (const QChar c : aSql)
        if (c.unicode() > 0x7F) {
            ascii = false;
            break;
        }
    if (ascii)
        return aSql.toLatin1();
    if (FDefaultCharSet < 0) {
        // A database created without a default set has NONE.
        TDbTransaction tx(this);
        tx.StartTransaction();
        FDefaultCharSet = int(AttachmentQueries::Integer(Attachment(), tx.Handle(), QByteArrayLiteral(
                                  "SELECT CS.RDB$CHARACTER_SET_ID FROM RDB$DATABASE D JOIN RDB$CHARACTER_SETS CS"
                                  " ON CS.RDB$CHARACTER_SET_NAME = D.RDB$CHARACTER_SET_NAME")).value_or(0));
    }
    return EncodeText(aSql, Client().Flavour->CharSetOf(FDefaultCharSet), QStringLiteral("texte de la requête"));
}

void TDbConnection::Register(TDbAttachedStatement *aStatement)
{
    FStatements.push_back(aStatement);
}

void TDbConnection::Unregister(TDbAttachedStatement *aStatement)
{
    std::erase(FStatements, aStatement);
}

quint64 *TDbConnection::Attachment()
{
    Open();
    return &FAttachment;
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

quint64 *TDbConnection::ActiveTransaction(TDbTransaction *aTransaction) const
{
    if (aTransaction && aTransaction->Active())
        return aTransaction->Handle();
    if (InTransaction())
        return FDefaultTransaction->Handle();
    return nullptr;
}

TDbTransaction::TDbTransaction(TDbConnection *aConnection, TDbTransactionOptions aOptions)
    : FConnection(aConnection), FOptions(aOptions)
{
}

TDbTransaction::~TDbTransaction()
{
    if (!FTransaction)
        return;
    try {
        Rollback();
    } catch (const EDbError &e) {
        qWarning().noquote() << "Annulation de la transaction :" << e.Message();
        FTransaction = 0;
    }
}

void TDbTransaction::StartTransaction()
{
    if (FTransaction)
        throw EDbError(QStringLiteral("Une transaction est déjà active sur cette connexion."));
    FTransaction = StartDbTransaction(FConnection->Attachment(), FOptions);
}

void TDbTransaction::Commit()
{
    if (!FTransaction)
        return;
    FConnection->BeginCommit();
    TStatusVector status;
    Client().Api.commit_transaction(&status, &FTransaction);
    FConnection->EndCommit(!status.Failed());
    Check(status);
    FTransaction = 0;
}

void TDbTransaction::Rollback()
{
    if (!FTransaction)
        return;
    TStatusVector status;
    Client().Api.rollback_transaction(&status, &FTransaction);
    FTransaction = 0;
    Check(status);
}
