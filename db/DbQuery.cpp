#include "db/DbQuery.h"

#include "db/DbConnection.h"
#include "db/FbMessage.h"
#include "db/SqlText.h"

#include <QDebug>

#include <algorithm>

using namespace Firebird;

namespace {

// The transaction a statement runs in: the explicit one in force, or an
// autocommit transaction of its own that Commit() ends and that is rolled
// back when the statement fails.
class TStatementTransaction
{
public:
    TStatementTransaction(TDbConnection *aConnection, TDbTransaction *aTransaction)
        : FAttachment(aConnection->Attachment()), FTransaction(aConnection->ActiveTransaction(aTransaction))
    {
        if (!FTransaction) {
            FTransaction = StartDbTransaction(FAttachment);
            FOwned = true;
        }
    }
    ~TStatementTransaction()
    {
        if (!FOwned || !FTransaction)
            return;
        try {
            FbApi::TStatus status;
            FTransaction->rollback(&status);
        } catch (const FbException &) {
            FTransaction->release();
        }
    }
    TStatementTransaction(const TStatementTransaction &) = delete;
    TStatementTransaction &operator=(const TStatementTransaction &) = delete;

    IAttachment *Attachment() const { return FAttachment; }
    ITransaction *Handle() const { return FTransaction; }

    void Commit()
    {
        if (!FOwned)
            return;
        FbApi::TStatus status;
        FTransaction->commit(&status);
        FTransaction = nullptr;
    }

private:
    IAttachment *FAttachment;
    ITransaction *FTransaction;
    bool FOwned = false;
};

QString quoteIdentifier(const QString &aName)
{
    return QLatin1Char('"') + QString(aName).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

bool isCursorStatement(unsigned aType)
{
    return aType == isc_info_sql_stmt_select || aType == isc_info_sql_stmt_select_for_upd;
}

} // namespace

struct TDbQuery::TPrepared
{
    QString Text;
    IStatement *Statement = nullptr;
    FbApi::TRef<IMessageMetadata> InMeta;
    FbApi::TRef<IMessageMetadata> OutMeta;
    QList<FbMessage::TColumn> Columns;
    unsigned Type = 0;
    unsigned OutLength = 0;
    bool HasOutput = false;
    FbMessage::TInputCache InputCache;

    ~TPrepared()
    {
        if (!Statement)
            return;
        try {
            FbApi::TStatus status;
            Statement->free(&status);
        } catch (const FbException &) {
            Statement->release(); // the connection is gone; free the handle only
        }
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
    const FbMessage::TColumn &c = FQuery->Column(FIndex);
    if ((FQuery->FEditing && FQuery->FEdits.contains(FIndex)) || c.BlobIndex >= 0
        || (!FQuery->FPosted.isEmpty()
            && FQuery->FPosted.contains(qint64(FQuery->FCurrent) * FQuery->FPrepared->Columns.size() + FIndex)))
        return FbMessage::TextOfValue(FQuery->ValueOf(FIndex));
    return FbMessage::TextOf(c, FQuery->RowMessage(FQuery->FCurrent));
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
    return qint32(AsLargeInt());
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

TDbQuery::~TDbQuery() = default;

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
    return FPrepared && FPrepared->Text == SQLText();
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
    auto prepared = std::make_unique<TPrepared>();
    prepared->Text = text;
    FbGuard([&] {
        FbApi::TStatus status;
        prepared->Statement = FConnection->Attachment()->prepare(
            &status, static_cast<ITransaction *>(aTransaction), 0, sql.toUtf8().constData(), 3,
            IStatement::PREPARE_PREFETCH_METADATA);
        prepared->Type = prepared->Statement->getType(&status);
        prepared->InMeta.reset(prepared->Statement->getInputMetadata(&status));
        prepared->OutMeta.reset(prepared->Statement->getOutputMetadata(&status));
        prepared->HasOutput = prepared->OutMeta->getCount(&status) > 0;
        prepared->OutLength = prepared->OutMeta->getMessageLength(&status);
    });
    prepared->Columns = FbMessage::Describe(prepared->OutMeta.get());
    FPrepared = std::move(prepared);
}

void TDbQuery::Prepare()
{
    FbGuard([&] {
        TStatementTransaction tx(FConnection, FTransaction);
        EnsurePrepared(tx.Handle());
        tx.Commit();
    });
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
    Close();
    FbGuard([&] {
        TStatementTransaction tx(FConnection, FTransaction);
        EnsurePrepared(tx.Handle());
        FbApi::TStatus status;
        FbMessage::TInput input(tx.Attachment(), tx.Handle(), FPrepared->InMeta.get(),
                                FParams.Positional(FParamNames), &FPrepared->InputCache);
        IStatement *stmt = FPrepared->Statement;
        const QList<FbMessage::TColumn> &columns = FPrepared->Columns;
        const bool hasBlobs = std::any_of(columns.begin(), columns.end(),
                                          [](const FbMessage::TColumn &c) { return c.BlobIndex >= 0; });
        const unsigned length = FPrepared->OutLength;
        // Rows go into blocks of about 1 MiB: no copying as the result grows.
        const int perBlock = isCursorStatement(FPrepared->Type) ? std::max(1, int((1 << 20) / std::max(1u, length))) : 1;
        QList<QByteArray> blocks;
        int count = 0;
        QList<QVariantList> blobs;
        auto nextSlot = [&]() -> unsigned char * {
            if (count / perBlock >= blocks.size())
                blocks.append(QByteArray(qsizetype(perBlock) * length, Qt::Uninitialized));
            return reinterpret_cast<unsigned char *>(blocks[count / perBlock].data())
                 + qsizetype(count % perBlock) * length;
        };
        auto keepRow = [&](const unsigned char *aMessage) {
            if (hasBlobs) {
                QVariantList values;
                for (const FbMessage::TColumn &c : columns)
                    if (c.BlobIndex >= 0)
                        values << FbMessage::ReadBlob(tx.Attachment(), tx.Handle(), c, aMessage);
                blobs << values;
            }
            ++count;
        };
        if (isCursorStatement(FPrepared->Type)) {
            FbApi::TRef<IResultSet> rs(stmt->openCursor(&status, tx.Handle(), input.Meta(), input.Buffer(),
                                                        FPrepared->OutMeta.get(), 0));
            while (aFetch) {
                unsigned char *slot = nextSlot();
                if (rs->fetchNext(&status, slot) != IStatus::RESULT_OK)
                    break;
                keepRow(slot);
            }
            rs->close(&status);
            (void)rs.release();
        } else {
            // EXECUTE PROCEDURE and the like: at most one row of outputs.
            unsigned char *slot = nextSlot();
            stmt->execute(&status, tx.Handle(), input.Meta(), input.Buffer(),
                          FPrepared->HasOutput ? FPrepared->OutMeta.get() : nullptr,
                          FPrepared->HasOutput ? slot : nullptr);
            if (aFetch && FPrepared->HasOutput)
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
    });
    if (!aFetch)
        return;
    FActive = true;
    First();
}

qint64 TDbQuery::RowsAffected()
{
    if (!FAffectedKnown && FPrepared) {
        FRowsAffected = FbGuard([&] {
            FbApi::TStatus status;
            return qint64(FPrepared->Statement->getAffectedRecords(&status));
        });
        FAffectedKnown = true;
    }
    return FRowsAffected;
}

void TDbQuery::Close()
{
    FActive = false;
    FEditing = false;
    FEdits.clear();
    FBlocks.clear();
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

const FbMessage::TColumn &TDbQuery::Column(int aIndex) const
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
    const FbMessage::TColumn &c = Column(aIndex);
    if (c.BlobIndex >= 0)
        return FBlobs[aRow][c.BlobIndex];
    return FbMessage::ValueOf(c, RowMessage(aRow));
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
    const QList<FbMessage::TColumn> &columns = FPrepared->Columns;
    QString table;
    for (const FbMessage::TColumn &c : columns)
        if (!c.Relation.isEmpty()) {
            table = c.Relation;
            break;
        }
    QList<int> changed;
    for (auto it = FEdits.cbegin(); it != FEdits.cend(); ++it)
        if (columns[it.key()].Relation == table && !table.isEmpty())
            changed << it.key();
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
