#include "db/DbQuery.h"

#include "db/DbConnection.h"
#include "db/DbError.h"
#include "db/IscApi.h"
#include "db/LockRetry.h"
#include "db/RowBlocks.h"
#include "db/Sqlda.h"
#include "db/SqlText.h"
#include "db/TextCodec.h"

#include <QDebug>
#include <QScopeGuard>

#include <algorithm>
#include <limits>

using namespace Isc;

namespace {

// The transaction a statement runs in: the explicit one in force, or an
// autocommit transaction of its own that Commit() ends and that is rolled
// back when the statement fails.
class TStatementTransaction
{
public:
    TStatementTransaction(TDbConnection *aConnection, TDbTransaction *aTransaction)
        : FConnection(aConnection), FAttachment(aConnection->Attachment()),
          FTransaction(aConnection->ActiveTransaction(aTransaction))
    {
        if (!FTransaction) {
            FOwn = aConnection->StartTransactionHandle();
            FTransaction = &FOwn;
        }
    }
    ~TStatementTransaction()
    {
        // A cancel request that arrives during the rollback interrupts it
        // too: try again, so that no transaction is left open. One ended
        // with its attachment is gone already.
        if (FConnection->AttachmentEnded())
            FOwn = 0;
        for (int attempt = 0; FOwn != 0 && attempt < 5; ++attempt) {
            TStatusVector status;
            Client().Api.rollback_transaction(&status, &FOwn);
            if (!status.Failed())
                FOwn = 0;
        }
    }
    TStatementTransaction(const TStatementTransaction &) = delete;
    TStatementTransaction &operator=(const TStatementTransaction &) = delete;

    THandle *Attachment() const { return FAttachment; }
    THandle *Handle() const { return FTransaction; }

    void Commit()
    {
        if (FOwn == 0)
            return;
        FConnection->BeginCommit();
        TStatusVector status;
        Client().Api.commit_transaction(&status, &FOwn);
        FConnection->EndCommit(!status.Failed());
        Check(status);
        FOwn = 0;
    }

private:
    TDbConnection *FConnection;
    THandle *FAttachment;
    THandle *FTransaction;
    THandle FOwn = 0;
};

QString quoteIdentifier(const QString &aName)
{
    return QLatin1Char('"') + QString(aName).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

bool isCursorStatement(int aType)
{
    return aType == StmtSelect || aType == StmtSelectForUpdate;
}

} // namespace

struct TDbQuery::TPrepared final : TDbAttachedStatement
{
    QString Text;
    // The connection the statement was prepared on, until its attachment
    // goes: a statement handle means nothing on the next one.
    TDbConnection *Connection = nullptr;
    THandle Statement = 0;
    Sqlda::TArea In;
    Sqlda::TArea Out;
    QList<Sqlda::TColumn> Columns;
    int Type = 0;
    unsigned RowLength = 0;

    void AttachmentGone() override
    {
        Connection = nullptr;
        Statement = 0;
    }

    ~TPrepared()
    {
        // A closed attachment took its statements with it.
        if (!Connection)
            return;
        Connection->Unregister(this);
        if (!Statement)
            return;
        TStatusVector status;
        Client().Api.dsql_free_statement(&status, &Statement, DsqlDrop);
    }
};

// ---------------------------------------------------------------- TDbField

QString TDbField::FieldName() const
{
    return FQuery->Column(FIndex).Name;
}

bool TDbField::IsNull() const
{
    const QVariant v = FQuery->ValueOf(FIndex);
    return !v.isValid() || v.isNull();
}

QString TDbField::AsString() const
{
    FQuery->CheckCurrentRow();
    const Sqlda::TColumn &c = FQuery->Column(FIndex);
    if ((FQuery->FEditing && FQuery->FEdits.contains(FIndex)) || c.BlobIndex >= 0
        || (!FQuery->FPosted.isEmpty()
            && FQuery->FPosted.contains(qint64(FQuery->FCurrent) * FQuery->FPrepared->Columns.size() + FIndex)))
        return Sqlda::TextOfValue(FQuery->ValueOf(FIndex));
    return Sqlda::TextOf(c, FQuery->RowMessage(FQuery->FCurrent));
}

qint64 TDbField::AsLargeInt() const
{
    const QVariant v = FQuery->ValueOf(FIndex);
    if (!v.isValid() || v.isNull())
        return 0;
    switch (v.userType()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Bool:
        return v.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float:
        return qint64(v.toDouble());
    default:
        break;
    }
    if (v.userType() == qMetaTypeId<TDateTime>())
        return v.value<TDateTime>().DayNumber();
    bool ok = false;
    const qint64 n = v.toString().trimmed().toLongLong(&ok);
    if (!ok)
        throw EDbError(QStringLiteral("'%1' n'est pas une valeur entière correcte (colonne %2)")
                           .arg(v.toString(), FieldName()));
    return n;
}

qint32 TDbField::AsInteger() const
{
    const qint64 n = AsLargeInt();
    // A value out of range is refused, never wrapped.
    if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        throw EDbError(QStringLiteral("%1 dépasse la capacité d'un entier de 32 bits (colonne %2)")
                           .arg(n).arg(FieldName()));
    return qint32(n);
}

double TDbField::AsFloat() const
{
    const QVariant v = FQuery->ValueOf(FIndex);
    if (!v.isValid() || v.isNull())
        return 0.0;
    if (v.userType() == qMetaTypeId<TDateTime>())
        return v.value<TDateTime>().ToDays();
    if (v.userType() == QMetaType::QString) {
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        if (!ok)
            throw EDbError(QStringLiteral("'%1' n'est pas une valeur numérique correcte (colonne %2)")
                               .arg(v.toString(), FieldName()));
        return d;
    }
    return v.toDouble();
}

TDateTime TDbField::AsDateTime() const
{
    const QVariant v = FQuery->ValueOf(FIndex);
    if (!v.isValid() || v.isNull())
        return {};
    if (v.userType() == qMetaTypeId<TDateTime>())
        return v.value<TDateTime>();
    if (v.userType() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        for (const char *format : {"dd/MM/yyyy HH:mm:ss", "dd/MM/yyyy HH:mm", "dd/MM/yyyy"}) {
            const QDateTime dt = QDateTime::fromString(s, QLatin1String(format));
            if (dt.isValid())
                return TDateTime::FromQDateTime(dt);
        }
        throw EDbError(QStringLiteral("'%1' n'est pas une date correcte (colonne %2)").arg(s, FieldName()));
    }
    return TDateTime::FromDays(v.toDouble());
}

QVariant TDbField::AsVariant() const
{
    return FQuery->ValueOf(FIndex);
}

void TDbField::SetValue(const QVariant &aValue) const
{
    if (!FQuery->FEditing)
        throw EDbError(QStringLiteral("La requête n'est pas en mode édition"));
    FQuery->FEdits.insert(FIndex, aValue);
}

// ---------------------------------------------------------------- TDbQuery

TDbQuery::TDbQuery(TDbConnection *aConnection, TDbTransaction *aTransaction)
    : FConnection(aConnection), FTransaction(aTransaction)
{
}

TDbQuery::~TDbQuery()
{
    RowBlocks::Give(FBlocks);
}

QString TDbQuery::SQLText() const
{
    return FSQL.join(QLatin1Char('\n'));
}

void TDbQuery::SetSQLText(const QString &aText)
{
    FSQL = aText.split(QLatin1Char('\n'));
}

TDbParams &TDbQuery::Params()
{
    const QString text = SQLText();
    if (!FParsed || text != FParsedFrom) {
        FParsed = true;
        FParsedFrom = text;
        FParamNames = FParamCheck ? ParseNamedParams(text).ParamNames : QStringList();
        FParams.Reset(FParamNames);
    }
    return FParams;
}

TDbParam &TDbQuery::ParamByName(const QString &aName)
{
    return Params().ByName(aName);
}

bool TDbQuery::Prepared() const
{
    return FPrepared && FPrepared->Connection && FPrepared->Text == SQLText();
}

void TDbQuery::EnsurePrepared(void *aTransaction)
{
    if (Prepared())
        return;
    FPrepared.reset();
    const QString text = SQLText();
    Params();
    const QString sql = StripFinalSemicolon(FParamCheck ? ParseNamedParams(text).Sql : text);
    if (IsBlankStatement(sql))
        throw EDbError(QStringLiteral("La requête est vide"));
    const QByteArray bytes = FConnection->EncodeStatement(sql);
    auto prepared = std::make_unique<TPrepared>();
    prepared->Text = text;
    const TEntryPoints &api = Client().Api;
    TStatusVector status;
    THandle *tx = static_cast<THandle *>(aTransaction);
    api.dsql_allocate_statement(&status, FConnection->Attachment(), &prepared->Statement);
    Check(status);
    prepared->Connection = FConnection;
    FConnection->Register(prepared.get());
    api.dsql_prepare(&status, tx, &prepared->Statement, 0, bytes.constData(), 3, prepared->Out.Get());
    Check(status);
    if (prepared->Out.Count() > prepared->Out.Capacity()) {
        prepared->Out = Sqlda::TArea(prepared->Out.Count());
        api.dsql_describe(&status, &prepared->Statement, 1, prepared->Out.Get());
        Check(status);
    }
    api.dsql_describe_bind(&status, &prepared->Statement, 1, prepared->In.Get());
    Check(status);
    if (prepared->In.Count() > prepared->In.Capacity()) {
        prepared->In = Sqlda::TArea(prepared->In.Count());
        api.dsql_describe_bind(&status, &prepared->Statement, 1, prepared->In.Get());
        Check(status);
    }
    const char item = char(InfoSqlStmtType);
    char info[16] = {};
    api.dsql_sql_info(&status, &prepared->Statement, 1, &item, sizeof info, info);
    Check(status);
    if (info[0] == item)
        prepared->Type = int(VaxInteger(info + 3, int(VaxInteger(info + 1, 2))));
    prepared->Columns = Sqlda::Describe(prepared->Out, prepared->RowLength);
    FPrepared = std::move(prepared);
}

void TDbQuery::Prepare()
{
    TStatementTransaction tx(FConnection, FTransaction);
    EnsurePrepared(tx.Handle());
    tx.Commit();
}

void TDbQuery::ExecSQL()
{
    Run(false);
}

void TDbQuery::Open()
{
    Run(true);
}

void TDbQuery::Run(bool aFetch)
{
    for (TLockRetry retry(FConnection, FTransaction);;) {
        try {
            RunOnce(aFetch);
            return;
        } catch (const EDbError &e) {
            if (!retry.Again(e))
                throw;
        }
    }
}

void TDbQuery::RunOnce(bool aFetch)
{
    Close();
    TStatementTransaction tx(FConnection, FTransaction);
    EnsurePrepared(tx.Handle());
    const TEntryPoints &api = Client().Api;
    TStatusVector status;
    const Sqlda::TInput input(tx.Attachment(), tx.Handle(), FPrepared->In, FParams.Positional(FParamNames),
                              FParamNames);
    THandle *stmt = &FPrepared->Statement;
    const QList<Sqlda::TColumn> &columns = FPrepared->Columns;
    const bool hasBlobs = std::any_of(columns.begin(), columns.end(),
                                      [](const Sqlda::TColumn &c) { return c.BlobIndex >= 0; });
    const bool hasOutput = !columns.isEmpty();
    const unsigned length = FPrepared->RowLength;
    const bool cursor = isCursorStatement(FPrepared->Type);
    // Rows go into blocks: no copying as the result grows.
    const int perBlock = cursor ? std::max(1, int(RowBlocks::BlockBytes / std::max(1u, length))) : 1;
    QList<QByteArray> blocks;
    // Handed back if the fetch fails; moved to the query otherwise.
    const auto giveBack = qScopeGuard([&] { RowBlocks::Give(blocks); });
    int count = 0;
    QList<QVariantList> blobs;
    auto nextSlot = [&]() -> unsigned char * {
        if (count / perBlock >= blocks.size())
            blocks.append(RowBlocks::Take(qsizetype(perBlock) * length));
        unsigned char *slot = reinterpret_cast<unsigned char *>(blocks[count / perBlock].data())
                            + qsizetype(count % perBlock) * length;
        Sqlda::PointAt(FPrepared->Out, columns, slot);
        return slot;
    };
    auto keepRow = [&](const unsigned char *aRow) {
        if (hasBlobs) {
            QVariantList values;
            for (const Sqlda::TColumn &c : columns)
                if (c.BlobIndex >= 0)
                    values << Sqlda::ReadBlob(tx.Attachment(), tx.Handle(), c, aRow);
            blobs << values;
        }
        ++count;
    };
    if (cursor) {
        api.dsql_execute2(&status, tx.Handle(), stmt, 1, input.Get(), nullptr);
        Check(status);
        // Closed on every way out, a failed conversion of a row included: an
        // open cursor makes the next opening fail.
        bool open = true;
        const auto closeCursor = qScopeGuard([&] {
            if (!open)
                return;
            TStatusVector ignored;
            api.dsql_free_statement(&ignored, stmt, DsqlClose);
        });
        while (aFetch) {
            unsigned char *slot = nextSlot();
            const TStatus rc = api.dsql_fetch(&status, stmt, 1, FPrepared->Out.Get());
            if (rc == 100)
                break;
            Check(status);
            keepRow(slot);
        }
        open = false;
        api.dsql_free_statement(&status, stmt, DsqlClose);
        Check(status);
    } else {
        // EXECUTE PROCEDURE and the like: at most one row of outputs.
        unsigned char *slot = nextSlot();
        api.dsql_execute2(&status, tx.Handle(), stmt, 1, input.Get(), hasOutput ? FPrepared->Out.Get() : nullptr);
        Check(status);
        if (aFetch && hasOutput)
            keepRow(slot);
    }
    tx.Commit();
    FBlocks = std::move(blocks);
    FRowsPerBlock = perBlock;
    FRowLength = length;
    FRowCount = count;
    FBlobs = std::move(blobs);
    // Asked of the server only when wanted: it costs a round trip.
    FAffectedKnown = aFetch;
    FRowsAffected = count;
    if (!aFetch)
        return;
    FActive = true;
    First();
}

qint64 TDbQuery::RowsAffected()
{
    if (!FAffectedKnown && FPrepared) {
        const char item = char(InfoSqlRecords);
        char info[64] = {};
        TStatusVector status;
        Client().Api.dsql_sql_info(&status, &FPrepared->Statement, 1, &item, sizeof info, info);
        Check(status);
        qint64 total = 0;
        if (info[0] == item) {
            // item, length, then (counter, length, value) triples.
            const int end = 3 + int(VaxInteger(info + 1, 2));
            for (int p = 3; p < end && p < int(sizeof info) - 3 && info[p] != char(InfoEnd);) {
                const char counter = info[p];
                const int len = int(VaxInteger(info + p + 1, 2));
                if (counter == char(InfoReqInsertCount) || counter == char(InfoReqUpdateCount)
                    || counter == char(InfoReqDeleteCount))
                    total += VaxInteger(info + p + 3, len);
                p += 3 + len;
            }
        }
        FRowsAffected = total;
        FAffectedKnown = true;
    }
    return FRowsAffected;
}

void TDbQuery::Close()
{
    FActive = false;
    FEditing = false;
    FEdits.clear();
    RowBlocks::Give(FBlocks);
    FRowCount = 0;
    FBlobs.clear();
    FPosted.clear();
    FCurrent = 0;
    FEof = FBof = true;
}

void TDbQuery::First()
{
    FCurrent = 0;
    FBof = true;
    FEof = FRowCount == 0;
}

void TDbQuery::Next()
{
    if (FEditing)
        Post();
    if (FCurrent + 1 < FRowCount) {
        ++FCurrent;
        FBof = false;
    } else {
        FEof = true;
    }
}

void TDbQuery::Prior()
{
    if (FEditing)
        Post();
    if (FCurrent > 0) {
        --FCurrent;
        FEof = false;
    } else {
        FBof = true;
    }
}

int TDbQuery::FieldCount() const
{
    return FPrepared && FActive ? int(FPrepared->Columns.size()) : 0;
}

TDbField TDbQuery::Fields(int aIndex)
{
    if (aIndex < 0 || aIndex >= FieldCount())
        throw EDbError(QStringLiteral("Numéro de colonne %1 hors limites").arg(aIndex));
    return TDbField(this, aIndex);
}

int TDbQuery::FindFieldIndex(const QString &aName) const
{
    if (!FPrepared || !FActive)
        return -1;
    for (int i = 0; i < FPrepared->Columns.size(); ++i)
        if (FPrepared->Columns[i].Name.compare(aName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TDbField TDbQuery::FieldByName(const QString &aName)
{
    const int index = FindFieldIndex(aName);
    if (index < 0)
        throw EDbError(QStringLiteral("Colonne '%1' introuvable").arg(aName));
    return TDbField(this, index);
}

void TDbQuery::CheckCurrentRow() const
{
    if (!FActive)
        throw EDbError(QStringLiteral("La requête n'est pas ouverte"));
    if (FRowCount == 0)
        throw EDbError(QStringLiteral("La requête ne contient aucune ligne"));
}

const unsigned char *TDbQuery::RowMessage(int aRow) const
{
    return reinterpret_cast<const unsigned char *>(FBlocks[aRow / FRowsPerBlock].constData())
         + qsizetype(aRow % FRowsPerBlock) * FRowLength;
}

const Sqlda::TColumn &TDbQuery::Column(int aIndex) const
{
    return FPrepared->Columns[aIndex];
}

QVariant TDbQuery::StoredValue(int aRow, int aIndex) const
{
    if (!FPosted.isEmpty()) {
        const auto it = FPosted.constFind(qint64(aRow) * FPrepared->Columns.size() + aIndex);
        if (it != FPosted.cend())
            return it.value();
    }
    const Sqlda::TColumn &c = Column(aIndex);
    if (c.BlobIndex >= 0)
        return FBlobs[aRow][c.BlobIndex];
    return Sqlda::ValueOf(c, RowMessage(aRow));
}

QVariant TDbQuery::ValueOf(int aIndex) const
{
    CheckCurrentRow();
    if (FEditing && FEdits.contains(aIndex))
        return FEdits.value(aIndex);
    return StoredValue(FCurrent, aIndex);
}

void TDbQuery::Edit()
{
    CheckCurrentRow();
    FEditing = true;
    FEdits.clear();
}

void TDbQuery::Cancel()
{
    FEditing = false;
    FEdits.clear();
}

QStringList TDbQuery::PrimaryKeyOf(const QString &aTable)
{
    TDbQuery q(FConnection, FTransaction);
    q.SQL() << QStringLiteral("SELECT S.RDB$FIELD_NAME FROM RDB$RELATION_CONSTRAINTS RC")
            << QStringLiteral(" JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = RC.RDB$INDEX_NAME")
            << QStringLiteral(" WHERE RC.RDB$RELATION_NAME = :TABLE_NAME AND RC.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY'")
            << QStringLiteral(" ORDER BY S.RDB$FIELD_POSITION");
    q.ParamByName(QStringLiteral("TABLE_NAME")).SetAsString(aTable);
    q.Open();
    QStringList key;
    for (; !q.Eof(); q.Next())
        key << q.Fields(0).AsString();
    return key;
}

void TDbQuery::Post()
{
    if (!FEditing)
        return;
    const QList<Sqlda::TColumn> &columns = FPrepared->Columns;
    QString table;
    for (const Sqlda::TColumn &c : columns)
        if (!c.Relation.isEmpty()) {
            table = c.Relation;
            break;
        }
    QList<int> changed;
    for (auto it = FEdits.cbegin(); it != FEdits.cend(); ++it) {
        const Sqlda::TColumn &c = columns[it.key()];
        // Only the first table's own columns can be written back: anything
        // else is refused whole rather than dropped without a word.
        if (table.isEmpty() || c.Relation != table || c.Field.isEmpty())
            throw EDbError(QStringLiteral("La colonne %1 n'est pas une colonne de la table %2 : cette modification "
                                          "ne peut pas être enregistrée")
                               .arg(c.Name, table.isEmpty() ? QStringLiteral("(aucune)") : table));
        changed << it.key();
    }
    std::sort(changed.begin(), changed.end());
    if (changed.isEmpty()) {
        Cancel();
        return;
    }
    const QStringList key = PrimaryKeyOf(table);
    if (key.isEmpty())
        throw EDbError(QStringLiteral("La table %1 n'a pas de clé primaire : la ligne ne peut pas être enregistrée")
                           .arg(table));
    TDbQuery update(FConnection, FTransaction);
    QStringList sets;
    QStringList wheres;
    int n = 0;
    for (int index : changed) {
        const QString name = QStringLiteral("P%1").arg(n++);
        sets << quoteIdentifier(columns[index].Field) + QStringLiteral(" = :") + name;
    }
    QVariantList keyValues;
    for (const QString &keyColumn : key) {
        int found = -1;
        for (int i = 0; i < columns.size() && found < 0; ++i)
            if (columns[i].Relation == table && columns[i].Field == keyColumn)
                found = i;
        if (found < 0)
            throw EDbError(QStringLiteral("La colonne %1 de la clé de %2 n'est pas lue par la requête : "
                                          "la ligne ne peut pas être enregistrée").arg(keyColumn, table));
        // The key as read, before any change made in this edit.
        keyValues << StoredValue(FCurrent, found);
        const QString name = QStringLiteral("P%1").arg(n++);
        wheres << quoteIdentifier(keyColumn) + QStringLiteral(" = :") + name;
    }
    update.SQL() << QStringLiteral("UPDATE %1 SET %2").arg(quoteIdentifier(table), sets.join(QStringLiteral(", ")))
                 << QStringLiteral(" WHERE ") + wheres.join(QStringLiteral(" AND "));
    n = 0;
    for (int index : changed)
        update.ParamByName(QStringLiteral("P%1").arg(n++)).SetValue(FEdits.value(index));
    for (const QVariant &v : keyValues)
        update.ParamByName(QStringLiteral("P%1").arg(n++)).SetValue(v);
    update.ExecSQL();
    if (update.RowsAffected() == 0)
        throw EDbError(QStringLiteral("La ligne de %1 à enregistrer n'existe plus").arg(table));
    for (int index : changed)
        FPosted.insert(qint64(FCurrent) * columns.size() + index, FEdits.value(index));
    Cancel();
}
