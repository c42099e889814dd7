#include "db/DbConnection.h"

#include "db/AttachmentMonitor.h"
#include "db/AttachmentQueries.h"
#include "db/DbError.h"
#include "db/DbServices.h"
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

// The version of a server that refused an attachment, asked of its service
// manager: only when the server answered (a wrong path, a database shut
// down), never after a refused login or a server out of reach, which would
// only be met a second time. Empty when it can't be known.
QString ServerVersionAfterFailure(const TDbConnectionParams &aParams, const QList<qint64> &aCodes)
{
    static const qint64 unanswered[] = {335544472 /* login */,        335544721 /* network_error */,
                                        335544722 /* net_connect */,  335544723 /* net_connect_listen */,
                                        335544704 /* net_lookup */,   335544421 /* connect_reject */};
    if (aCodes.isEmpty())
        return {};
    for (qint64 code : unanswered)
        if (aCodes.contains(code))
            return {};
    try {
        TDbServiceManager services(QStringLiteral("%1/%2").arg(aParams.Server).arg(aParams.Port), aParams.UserName,
                                   aParams.Password);
        return services.ServerVersion();
    } catch (const EDbError &) {
        return {};
    }
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
    const TClientFlavour &flavour = *Client().Flavour;
    const TEntryPoints &api = Client().Api;
    TStatusVector status;
    THandle db = 0;
    QByteArray path;
    QByteArray dpb = attachParameters(aParams, path);
    if (flavour.DpbSetDbCharset) {
        // Created through the parameter block rather than a CREATE DATABASE
        // statement, so that the file name travels as attaching sends it (in
        // UTF-8 with its flag on Firebird, where the statement's text would
        // be read in the system's code page).
        appendInt(dpb, DpbPageSize, 8192);
        appendString(dpb, *flavour.DpbSetDbCharset, aCharSet.toLatin1());
        if (!aForcedWrites)
            appendInt(dpb, DpbForceWrite, 0);
        api.create_database(&status, short(path.size()), path.constData(), &db, short(dpb.size()), dpb.constData(), 0);
        RunAfterAttachHook();
        Check(status);
    } else {
        // What InterBase documents for a new database's character set: the
        // statement's DEFAULT CHARACTER SET. Its text goes in the client's
        // code page, the file name's own.
        const auto quoted = [](QByteArray aText) { return "'" + aText.replace('\'', "''") + "'"; };
        const QByteArray sql = "CREATE DATABASE " + quoted(path) + " USER " + quoted(aParams.UserName.toUtf8())
                             + " PASSWORD " + quoted(aParams.Password.toUtf8()) + " PAGE_SIZE 8192 DEFAULT CHARACTER SET "
                             + aCharSet.toLatin1();
        THandle tx = 0;
        api.dsql_execute_immediate(&status, &db, &tx, 0, sql.constData(), 3, nullptr);
        RunAfterAttachHook();
        Check(status);
        if (!aForcedWrites) {
            api.detach_database(&status, &db);
            Check(status);
            appendInt(dpb, DpbForceWrite, 0);
            api.attach_database(&status, short(path.size()), path.constData(), &db, short(dpb.size()), dpb.constData());
            Check(status);
        }
    }
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
        // Which client answered, and which server, tell a wrong library from
        // a wrong server.
        try {
            Raise(status);
        } catch (const EDbError &e) {
            QString text = e.Message() + QStringLiteral("\nClient : ") + ClientDescription();
            const QString server = ServerVersionAfterFailure(FParams, e.Codes());
            if (!server.isEmpty())
                text += QStringLiteral("\nServeur : ") + server;
            throw EDbError(text, e.Codes(), e.Numbers(), e.ErreursSysteme());
        }
    }
    FAttachment = db;
    FCancelHandle = db;
    FEnded = false;
    FAttachmentId = 0;
    AskServer();
}

void TDbConnection::AskServer()
{
    // One round trip: the server's version, which decides how transactions
    // wait for a locked row, and the attachment's number, kept for ending
    // it from another attachment (on InterBase the only way to stop what
    // runs on it).
    const TClientFlavour &flavour = *Client().Flavour;
    const char items[] = {char(flavour.InfoVersion), char(InfoAttachmentId), char(InfoEnd)};
    char buffer[512] = {};
    TStatusVector status;
    Client().Api.database_info(&status, &FAttachment, short(sizeof items), items, sizeof buffer, buffer);
    FServerVersion.clear();
    // Clusters of item, length (2 bytes), value.
    for (int p = 0; !status.Failed() && p + 3 <= int(sizeof buffer) && buffer[p] != char(InfoEnd);) {
        const char item = buffer[p];
        const int length = int(VaxInteger(buffer + p + 1, 2));
        const char *value = buffer + p + 3;
        if (length < 0 || p + 3 + length > int(sizeof buffer))
            break;
        if (item == char(flavour.InfoVersion) && length >= 2) {
            // A count, then counted strings: the first is the server's.
            const int len = std::min(static_cast<unsigned char>(value[1]) + 0, length - 2);
            FServerVersion = DecodeClientText(QByteArray(value + 2, len));
        } else if (item == char(InfoAttachmentId) && length > 0 && length <= 8) {
            FAttachmentId = VaxInteger(value, length);
        }
        p += 3 + length;
    }
    FLockWaitItem = flavour.LockWaitItem(FServerVersion).has_value();
    FUsualTpb = TransactionParameters(flavour, FServerVersion);
}

qint64 TDbConnection::AskAttachmentId()
{
    const char item = char(InfoAttachmentId);
    char buffer[32] = {};
    TStatusVector status;
    Client().Api.database_info(&status, &FAttachment, 1, &item, sizeof buffer, buffer);
    if (!status.Failed() && buffer[0] == item) {
        const int length = int(VaxInteger(buffer + 1, 2));
        if (length > 0 && length <= 8)
            return VaxInteger(buffer + 3, length);
    }
    return 0;
}

qint64 TDbConnection::AttachmentId()
{
    if (FAttachmentId == 0 && FAttachment != 0)
        FAttachmentId = AskAttachmentId();
    return FAttachmentId;
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
        AttachmentMonitor::End(&other, id);
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
    Open();
    return FServerVersion;
}

quint64 TDbConnection::StartTransactionHandle(const TDbTransactionOptions &aOptions)
{
    Open();
    const bool usual = !aOptions.Snapshot && !aOptions.NoWait;
    return StartDbTransaction(&FAttachment,
                              usual ? FUsualTpb : TransactionParameters(*Client().Flavour, FServerVersion, aOptions));
}

bool TDbConnection::RetriesLocks(TDbTransaction *aTransaction)
{
    Open();
    if (FLockWaitItem)
        return false;
    if (aTransaction && aTransaction->Active())
        return !aTransaction->Options().NoWait;
    if (InTransaction())
        return !FDefaultTransaction->Options().NoWait;
    return true;
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
    FTransaction = FConnection->StartTransactionHandle(FOptions);
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
    // Ended with its attachment: asking again may never be answered.
    if (FConnection->AttachmentEnded()) {
        FTransaction = 0;
        return;
    }
    TStatusVector status;
    Client().Api.rollback_transaction(&status, &FTransaction);
    FTransaction = 0;
    Check(status);
}
