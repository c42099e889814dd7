#pragma once

#include "db/TransactionStart.h"

#include <QString>

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <vector>

class TDbTransaction;

// A statement prepared on a connection. Its handle lives as long as the
// attachment it was prepared on: closing the connection tells it so.
class TDbAttachedStatement
{
public:
    virtual void AttachmentGone() = 0;

protected:
    ~TDbAttachedStatement() = default;
};

// Where and as whom a connection attaches.
struct TDbConnectionParams
{
    QString Server = QStringLiteral("localhost");
    int Port = 3050;
    QString Database;
    QString UserName;
    QString Password;

    // The client library's form: server/port:path.
    QString AttachString() const;
    // Seconds to wait for a server that does not answer the connection.
    int ConnectTimeout = 10;
};

// One server connection over TCP/IP. Created closed; attaches on first use.
// Statements run in autocommit (one read-committed transaction each) unless
// the connection's explicit transaction is active.
//
// Threads: used by one thread at a time, with its transactions and queries
// (nothing here is locked); it may be handed to another thread and back
// when that thread starts and is waited for, as TQueryThread does. From
// another thread, while it runs a statement: CancelOperation, Abandon,
// Abandoned, AttachmentEnded and Commits (atomics and the client's cancel
// call). Not while its owner closes or frees it: the cancel reads a copy of
// the handle that Close clears, and may still reach a handle being
// detached; the caller keeps the two apart. AbandonAll is safe at any time:
// it holds the lock under which connections are made and freed.
class TDbConnection
{
public:
    explicit TDbConnection(TDbConnectionParams aParams);
    // Rolls back an open explicit transaction, then detaches: work is kept
    // only by an explicit Commit, never by an error path that unwinds.
    ~TDbConnection();
    TDbConnection(const TDbConnection &) = delete;
    TDbConnection &operator=(const TDbConnection &) = delete;

    const TDbConnectionParams &Params() const { return FParams; }

    void Open();
    void Close();
    bool Connected() const { return FAttachment != 0; }

    // Asks the server to cancel the statement that runs on this connection:
    // callable from another thread, the running call then raises EDbError
    // and its work is rolled back. True too when nothing runs (nothing is
    // cancelled); false when it can't be asked (not attached). InterBase's
    // client has no cancel call: there the attachment is ended instead, and
    // the connection is of no further use.
    bool CancelOperation();

    // From any thread: no transaction of this connection commits from now on
    // (a commit asked later fails and rolls back), and the running statement
    // is cancelled. False when a commit was already under way: it may go
    // through.
    bool Abandon();
    // Commits that went through on this connection, explicit or automatic.
    quint64 Commits() const { return FCommits; }
    // Abandons every connection of the process; the number of them that were
    // attached.
    static int AbandonAll();

    // The server's number for this attachment (asked once); 0 when not
    // attached or when the server does not say.
    qint64 AttachmentId();

    // The server's version text, as the server gave it when the connection
    // attached (attaching first if need be); empty when it gave none.
    QString ServerVersion();
    // Starts a transaction on the attachment, with the parameters its server
    // takes.
    quint64 StartTransactionHandle(const TDbTransactionOptions &aOptions = {});
    // Whether a statement in aTransaction (or in the transaction in force)
    // is run again when it meets a locked row: on a server that can't bound
    // a transaction's wait, for transactions that would wait.
    bool RetriesLocks(TDbTransaction *aTransaction);
    // Whether Abandon() was called.
    bool Abandoned() const { return (FCommitState & KAbandoned) != 0; }
    // Whether this connection's attachment was ended from another one (what
    // stops a statement on InterBase): the server rolled its transactions
    // back with it, and the client is asked nothing more about them.
    bool AttachmentEnded() const { return FEnded; }

    // A statement's text as the server must get it: its literals are text of
    // the database's default character set, asked of the server the first
    // time a statement holds anything but ASCII.
    QByteArray EncodeStatement(const QString &aSql);

    // The explicit transaction of the connection.
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const;

    // For the statements of this layer: the attachment's handle slot, opened
    // on demand.
    quint64 *Attachment();
    // The explicit transaction in force for a statement bound to aTransaction
    // (or to none): null means autocommit.
    quint64 *ActiveTransaction(TDbTransaction *aTransaction) const;
    // Each statement prepared on the attachment registers until it is freed;
    // closing tells those left that their handle went with it.
    void Register(TDbAttachedStatement *aStatement);
    void Unregister(TDbAttachedStatement *aStatement);
    // Around every commit: BeginCommit raises EDbError when the connection
    // was abandoned; EndCommit counts a commit that went through.
    void BeginCommit();
    void EndCommit(bool aCommitted);

private:
    friend class TDbTransaction;
    TDbConnectionParams FParams;
    quint64 FAttachment = 0;
    int FDefaultCharSet = -1; // not asked yet
    // Learnt when attaching: the server's version, and what follows from it
    // for the transactions.
    QString FServerVersion;
    QByteArray FUsualTpb;
    bool FLockWaitItem = false;
    void AskServer();
    // A copy of the handle for CancelOperation, which runs on another thread.
    std::atomic<quint64> FCancelHandle{0};
    // The server's number for the attachment, and whether we ended it.
    std::atomic<qint64> FAttachmentId{0};
    std::atomic<bool> FEnded{false};
    bool EndAttachment();
    qint64 AskAttachmentId();
    TDbTransaction *FDefaultTransaction = nullptr;
    std::vector<TDbAttachedStatement *> FStatements;
    void ForgetStatements();
    enum : int { KCommitting = 1, KAbandoned = 2 };
    std::atomic<int> FCommitState{0};
    std::atomic<quint64> FCommits{0};
};

// Run after every attempt to attach (database or service manager): the
// client library sets up process-wide things of its own on its first one,
// among them handlers for SIGINT and SIGTERM, which a program that handles
// those signals itself takes back here.
void SetAfterAttachHook(void (*aHook)());
void RunAfterAttachHook();

// An explicit transaction on a connection. Freeing it while active rolls it
// back.
class TDbTransaction
{
public:
    explicit TDbTransaction(TDbConnection *aConnection, TDbTransactionOptions aOptions = {});
    ~TDbTransaction();
    TDbTransaction(const TDbTransaction &) = delete;
    TDbTransaction &operator=(const TDbTransaction &) = delete;

    void StartTransaction();
    void Commit();
    void Rollback();
    bool Active() const { return FTransaction != 0; }

    TDbConnection *Connection() const { return FConnection; }
    quint64 *Handle() { return FTransaction ? &FTransaction : nullptr; }
    const TDbTransactionOptions &Options() const { return FOptions; }

private:
    TDbConnection *FConnection;
    TDbTransactionOptions FOptions;
    quint64 FTransaction = 0;
};

// The client library this process talks to the servers through.
struct TDbClientInfo
{
    QString Library; // the file loaded
    QString Flavour; // "InterBase" or "Firebird"
    QString Error;   // why none could be loaded (then the two above are empty)
};
// Loads the client when it is not yet loaded; never raises.
TDbClientInfo DbClientInfo();

// Creates a database on a server (page size 8192, dialect 3) with the given
// default character set, e.g. "NONE", "WIN1252" or "UTF8"; forced writes off
// when aForcedWrites is false. Raises EDbError with the server's message.
void CreateDatabase(const TDbConnectionParams &aParams, const QString &aCharSet, bool aForcedWrites = true);
