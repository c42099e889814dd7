#pragma once

#include "common/DateTime.h"
#include "db/DbParams.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>

#include <memory>

class TDbConnection;
class TDbTransaction;
class TDbQuery;

namespace Sqlda {
struct TColumn;
}

// One column of the current row of an open query.
class TDbField
{
public:
    TDbField(TDbQuery *aQuery, int aIndex) : FQuery(aQuery), FIndex(aIndex) {}

    QString FieldName() const;
    int Index() const { return FIndex; }
    bool IsNull() const;
    QString AsString() const;    // NULL gives ""
    qint32 AsInteger() const;    // NULL gives 0
    qint64 AsLargeInt() const;   // NULL gives 0
    double AsFloat() const;      // NULL gives 0
    TDateTime AsDateTime() const; // NULL gives day 0
    QVariant AsVariant() const;  // NULL gives an invalid QVariant

    // Only in edit mode.
    void SetAsString(const QString &aValue) const { SetValue(aValue); }
    void SetAsInteger(qint32 aValue) const { SetValue(aValue); }
    void SetAsDateTime(const TDateTime &aValue) const { SetValue(QVariant::fromValue(aValue)); }
    void SetAsFloat(double aValue) const { SetValue(aValue); }
    void Clear() const { SetValue(QVariant()); }
    void SetValue(const QVariant &aValue) const;

private:
    TDbQuery *FQuery;
    int FIndex;
};

// A statement on a connection: named parameters (":NAME"), execution, and
// a result read into memory when opened, so that the autocommit transaction
// ends with the opening. A row can be edited and posted back to the first
// table of the statement by its primary key.
//
// Threads: a query goes with its connection. Prepared, it registers with
// the connection until freed (unlocked), so it is prepared, run and freed
// on the thread that uses the connection at that time. Made and set on one
// thread (text, parameters), it may be handed with its connection to a
// worker that runs it, and back once the worker's thread has ended; never
// used from two threads at once.
class TDbQuery
{
public:
    explicit TDbQuery(TDbConnection *aConnection, TDbTransaction *aTransaction = nullptr);
    ~TDbQuery();
    TDbQuery(const TDbQuery &) = delete;
    TDbQuery &operator=(const TDbQuery &) = delete;

    TDbConnection *Connection() const { return FConnection; }
    TDbTransaction *Transaction() const { return FTransaction; }

    // The statement as lines; joined by line breaks when run.
    QStringList &SQL() { return FSQL; }
    const QStringList &SQL() const { return FSQL; }
    QString SQLText() const;
    void SetSQLText(const QString &aText);

    // When false the text is sent as it is: no ":NAME" is a parameter.
    void SetParamCheck(bool aValue) { FParamCheck = aValue; FParsed = false; }

    TDbParam &ParamByName(const QString &aName);
    TDbParams &Params();

    void Prepare();
    bool Prepared() const;
    void ExecSQL();
    qint64 RowsAffected();

    void Open();
    void Close();
    bool Active() const { return FActive; }
    bool IsEmpty() const { return FRowCount == 0; }
    int RecordCount() const { return FRowCount; }
    void First();
    void Next();
    void Prior();
    bool Eof() const { return FEof; }
    bool Bof() const { return FBof; }
    int RecNo() const { return FCurrent; }

    int FieldCount() const;
    TDbField Fields(int aIndex);
    TDbField FieldByName(const QString &aName);
    int FindFieldIndex(const QString &aName) const; // -1 when absent

    void Edit();
    void Post();
    void Cancel();
    bool Editing() const { return FEditing; }

private:
    friend class TDbField;
    struct TPrepared;

    void EnsurePrepared(void *aTransaction);
    // Executes the statement; with aFetch its rows are read and kept. Run
    // again while it meets a locked row on a server that can't wait for it.
    void Run(bool aFetch);
    void RunOnce(bool aFetch);
    void CheckCurrentRow() const;
    const unsigned char *RowMessage(int aRow) const;
    // The value as read or as posted back, ignoring a pending edit.
    QVariant StoredValue(int aRow, int aIndex) const;
    const Sqlda::TColumn &Column(int aIndex) const;
    QVariant ValueOf(int aIndex) const;
    QStringList PrimaryKeyOf(const QString &aTable);

    TDbConnection *FConnection;
    TDbTransaction *FTransaction;
    QStringList FSQL;
    bool FParamCheck = true;
    TDbParams FParams;
    bool FParsed = false;
    QString FParsedFrom;
    QStringList FParamNames;
    std::unique_ptr<TPrepared> FPrepared;
    bool FActive = false;
    // Rows as the server's messages, one after the other; blob values and
    // values posted back are kept beside them.
    QList<QByteArray> FBlocks;
    int FRowsPerBlock = 1;
    unsigned FRowLength = 0;
    int FRowCount = 0;
    QList<QVariantList> FBlobs;
    QHash<qint64, QVariant> FPosted; // key: row * column count + column
    int FCurrent = 0;
    bool FEof = true;
    bool FBof = true;
    qint64 FRowsAffected = 0;
    bool FAffectedKnown = true;
    bool FEditing = false;
    QHash<int, QVariant> FEdits;
};
