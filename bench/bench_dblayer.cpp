// The database layer against bare client-library code doing the same work,
// on the same database, in one run: fetching rows as text, parameterised
// inserts in autocommit, attach + one query + release.
#include "db/DbConnection.h"
#include "db/DbQuery.h"
#include "db/FbApi.h"
#include "testdb/TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <functional>

using namespace Firebird;

namespace {

const int FetchRows = 200000;
const int Inserts = 10000;
const int Attaches = 200;

QByteArray attachString(const QString &aPath)
{
    return (QStringLiteral("localhost/3050:") + aPath).toUtf8();
}

IAttachment *bareAttach(ThrowStatusWrapper &st, const QString &aPath)
{
    IXpbBuilder *dpb = FbApi::Util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&st, isc_dpb_user_name, "SYSDBA");
    dpb->insertString(&st, isc_dpb_password, "tidestone");
    dpb->insertString(&st, isc_dpb_lc_ctype, "UTF8");
    IAttachment *att = FbApi::Provider()->attachDatabase(&st, attachString(aPath).constData(),
                                                         dpb->getBufferLength(&st), dpb->getBuffer(&st));
    dpb->dispose();
    return att;
}

ITransaction *bareStart(ThrowStatusWrapper &st, IAttachment *att)
{
    static const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                        isc_tpb_rec_version, isc_tpb_wait};
    return att->startTransaction(&st, sizeof tpb, tpb);
}

// Bare: fetch every row and turn each of its four columns into text.
qint64 bareFetch(const QString &aPath)
{
    ThrowStatusWrapper st(FbApi::Master()->getStatus());
    IAttachment *att = bareAttach(st, aPath);
    ITransaction *tra = bareStart(st, att);
    IStatement *stmt = att->prepare(&st, tra, 0, "SELECT ID, NAME, AMOUNT, STAMP FROM BENCH ORDER BY ID", 3,
                                    IStatement::PREPARE_PREFETCH_METADATA);
    IMessageMetadata *meta = stmt->getOutputMetadata(&st);
    IResultSet *rs = stmt->openCursor(&st, tra, nullptr, nullptr, meta, 0);
    QByteArray buffer(int(meta->getMessageLength(&st)), '\0');
    const unsigned o0 = meta->getOffset(&st, 0), o1 = meta->getOffset(&st, 1), o2 = meta->getOffset(&st, 2),
                   o3 = meta->getOffset(&st, 3);
    qint64 chars = 0;
    unsigned char *b = reinterpret_cast<unsigned char *>(buffer.data());
    while (rs->fetchNext(&st, b) == IStatus::RESULT_OK) {
        qint32 id;
        std::memcpy(&id, b + o0, 4);
        quint16 len;
        std::memcpy(&len, b + o1, 2);
        qint64 amount;
        std::memcpy(&amount, b + o2, 8);
        ISC_TIMESTAMP ts;
        std::memcpy(&ts, b + o3, sizeof ts);
        const TDateTime when = TDateTime::FromMSecs((qint64(ts.timestamp_date) - FbApi::DayZeroOffset) * 86400000LL
                                                    + ts.timestamp_time / 10);
        chars += QString::number(id).size() + QString::fromUtf8(reinterpret_cast<char *>(b + o1 + 2), len).size()
               + QString::number(double(amount) / 100.0).size() + when.ToString().size();
    }
    rs->close(&st);
    meta->release();
    stmt->free(&st);
    tra->commit(&st);
    att->detach(&st);
    st.dispose();
    return chars;
}

qint64 layerFetch(const QString &aPath, TDbConnectionParams aParams)
{
    aParams.Database = aPath;
    TDbConnection cnx(aParams);
    TDbQuery q(&cnx);
    q.SQL() << "SELECT ID, NAME, AMOUNT, STAMP FROM BENCH ORDER BY ID";
    q.Open();
    qint64 chars = 0;
    for (; !q.Eof(); q.Next())
        for (int i = 0; i < 4; ++i)
            chars += q.Fields(i).AsString().size();
    return chars;
}

void bareInserts(const QString &aPath)
{
    ThrowStatusWrapper st(FbApi::Master()->getStatus());
    IAttachment *att = bareAttach(st, aPath);
    ITransaction *tra = bareStart(st, att);
    IStatement *stmt = att->prepare(&st, tra, 0, "INSERT INTO INS (ID, NAME) VALUES (?, ?)", 3,
                                    IStatement::PREPARE_PREFETCH_METADATA);
    tra->commit(&st);
    IMetadataBuilder *builder = stmt->getInputMetadata(&st)->getBuilder(&st);
    builder->setType(&st, 0, SQL_LONG + 1);
    builder->setLength(&st, 0, 4);
    builder->setType(&st, 1, SQL_VARYING + 1);
    builder->setLength(&st, 1, 40);
    builder->setCharSet(&st, 1, 4);
    IMessageMetadata *meta = builder->getMetadata(&st);
    builder->release();
    QByteArray buffer(int(meta->getMessageLength(&st)), '\0');
    char *b = buffer.data();
    for (int i = 0; i < Inserts; ++i) {
        tra = bareStart(st, att);
        std::memcpy(b + meta->getOffset(&st, 0), &i, 4);
        const QByteArray name = QStringLiteral("nom %1").arg(i).toUtf8();
        const quint16 len = quint16(name.size());
        std::memcpy(b + meta->getOffset(&st, 1), &len, 2);
        std::memcpy(b + meta->getOffset(&st, 1) + 2, name.constData(), len);
        stmt->execute(&st, tra, meta, b, nullptr, nullptr);
        tra->commit(&st);
    }
    meta->release();
    stmt->free(&st);
    att->detach(&st);
    st.dispose();
}

void layerInserts(const QString &aPath, TDbConnectionParams aParams)
{
    aParams.Database = aPath;
    TDbConnection cnx(aParams);
    TDbQuery q(&cnx);
    q.SQL() << "INSERT INTO INS (ID, NAME) VALUES (:ID, :NAME)";
    for (int i = 0; i < Inserts; ++i) {
        q.ParamByName(QStringLiteral("ID")).SetAsInteger(i);
        q.ParamByName(QStringLiteral("NAME")).SetAsString(QStringLiteral("nom %1").arg(i));
        q.ExecSQL();
    }
}

void bareAttachQuery(const QString &aPath)
{
    for (int i = 0; i < Attaches; ++i) {
        ThrowStatusWrapper st(FbApi::Master()->getStatus());
        IAttachment *att = bareAttach(st, aPath);
        ITransaction *tra = bareStart(st, att);
        IStatement *stmt = att->prepare(&st, tra, 0, "SELECT COUNT(*) FROM RDB$DATABASE", 3,
                                        IStatement::PREPARE_PREFETCH_METADATA);
        IMessageMetadata *meta = stmt->getOutputMetadata(&st);
        QByteArray buffer(int(meta->getMessageLength(&st)), '\0');
        IResultSet *rs = stmt->openCursor(&st, tra, nullptr, nullptr, meta, 0);
        rs->fetchNext(&st, buffer.data());
        rs->close(&st);
        meta->release();
        stmt->free(&st);
        tra->commit(&st);
        att->detach(&st);
        st.dispose();
    }
}

void layerAttachQuery(const QString &aPath, TDbConnectionParams aParams)
{
    aParams.Database = aPath;
    for (int i = 0; i < Attaches; ++i) {
        TDbConnection cnx(aParams);
        TDbQuery q(&cnx);
        q.SQL() << "SELECT COUNT(*) FROM RDB$DATABASE";
        q.Open();
        (void)q.Fields(0).AsInteger();
    }
}

double timeIt(const std::function<void()> &aWork)
{
    QElapsedTimer t;
    t.start();
    aWork();
    return double(t.nsecsElapsed()) / 1e6;
}

void report(const char *aName, double aBare, double aLayer)
{
    std::printf("%-34s bare %9.1f ms   layer %9.1f ms   ratio %.3f\n", aName, aBare, aLayer, aLayer / aBare);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    try {
        TTestDatabase db(TTestDatabase::TSchema::Empty);
        db.Exec(QStringLiteral("CREATE TABLE BENCH (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), "
                               "AMOUNT NUMERIC(15,2), STAMP TIMESTAMP)"));
        db.Exec(QStringLiteral("CREATE TABLE INS (ID INTEGER, NAME VARCHAR(40))"));
        db.Exec(QStringLiteral("EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < %1) DO BEGIN "
                               "INSERT INTO BENCH VALUES (:I, 'article ' || :I, :I / 7.0, "
                               "DATEADD(:I SECOND TO TIMESTAMP '2026-01-01 00:00:00')); I = I + 1; END END")
                    .arg(FetchRows));
        TDbConnectionParams params;
        params.UserName = TTestDatabase::User;
        params.Password = TTestDatabase::Password;
        const QString path = db.Path();

        // Warm the server's cache once, then alternate to share the noise.
        bareFetch(path);
        double bare = 0, layer = 0;
        for (int round = 0; round < 3; ++round) {
            bare += timeIt([&] { bareFetch(path); });
            layer += timeIt([&] { layerFetch(path, params); });
        }
        report("fetch 200000 rows x 4 as text", bare / 3, layer / 3);

        bare = timeIt([&] { bareInserts(path); });
        db.Exec(QStringLiteral("DELETE FROM INS"));
        layer = timeIt([&] { layerInserts(path, params); });
        report("10000 inserts in autocommit", bare, layer);

        bare = layer = 0;
        for (int round = 0; round < 2; ++round) {
            bare += timeIt([&] { bareAttachQuery(path); });
            layer += timeIt([&] { layerAttachQuery(path, params); });
        }
        report("attach + query + release (x200)", bare / 2, layer / 2);
    } catch (const EDbError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    } catch (const FbException &e) {
        std::fprintf(stderr, "%s\n", qPrintable(FbApi::FormatStatus(e.getStatus())));
        return 1;
    }
    return 0;
}
