#pragma once

#include <QString>

namespace Firebird {
class IAttachment;
class ITransaction;
}

class TDbTransaction;

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
};

// One server connection over TCP/IP. Created closed; attaches on first use.
// Statements run in autocommit (one read-committed transaction each) unless
// the connection's explicit transaction is active.
class TDbConnection
{
public:
    explicit TDbConnection(TDbConnectionParams aParams);
    ~TDbConnection(); // commits an open explicit transaction, then detaches
    TDbConnection(const TDbConnection &) = delete;
    TDbConnection &operator=(const TDbConnection &) = delete;

    const TDbConnectionParams &Params() const { return FParams; }

    void Open();
    void Close();
    bool Connected() const { return FAttachment != nullptr; }
    // Asks the server to cancel the statement running on this connection:
    // callable from another thread while it runs; the running call then
    // raises EDbError. True too when nothing runs (nothing is cancelled);
    // false when it can't be asked (not attached, or a client library that
    // can't cancel).
    bool CancelOperation();

    // The explicit transaction of the connection.
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const;

    // For the statements of this layer: the attachment, opened on demand.
    Firebird::IAttachment *Attachment();
    // The explicit transaction in force for a statement bound to aTransaction
    // (or to none): null means autocommit.
    Firebird::ITransaction *ActiveTransaction(TDbTransaction *aTransaction) const;

private:
    friend class TDbTransaction;
    TDbConnectionParams FParams;
    Firebird::IAttachment *FAttachment = nullptr;
    TDbTransaction *FDefaultTransaction = nullptr;
};

// An explicit transaction on a connection. Freeing it while active commits.
class TDbTransaction
{
public:
    explicit TDbTransaction(TDbConnection *aConnection);
    ~TDbTransaction();
    TDbTransaction(const TDbTransaction &) = delete;
    TDbTransaction &operator=(const TDbTransaction &) = delete;

    void StartTransaction();
    void Commit();
    void Rollback();
    bool Active() const { return FTransaction != nullptr; }

    TDbConnection *Connection() const { return FConnection; }
    Firebird::ITransaction *Handle() const { return FTransaction; }

private:
    TDbConnection *FConnection;
    Firebird::ITransaction *FTransaction = nullptr;
};

// Transaction parameters of every transaction this layer starts: read
// committed, record versions, waiting at most 10 s for a locked row.
Firebird::ITransaction *StartDbTransaction(Firebird::IAttachment *aAttachment);
