// The database layer against bare client-library code doing the same work,
// on the same database, in one run: fetching rows as text, parameterised
// inserts in autocommit, attach + one query + release.
#include "db/DbConnection.h"
#include "db/DbError.h"
#include "db/DbQuery.h"
#include "db/IscApi.h"
#include "db/TextCodec.h"
#include "testdb/TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <functional>

using namespace Isc;

namespace {

const int FetchRows = 200000;
const int Inserts = 10000;
const int Attaches = 200;

const TEntryPoints &api()
{
    return Client().Api;
}

void ok(const TStatusVector &aStatus)
{
    Check(aStatus);
}

THandle bareAttach(const QString &aPath)
{
    const QByteArray path = (QStringLiteral("localhost/3050:") + aPath).toUtf8();
    QByteArray dpb;
    dpb.append(char(DpbVersion1));
    for (auto [item, value] : {std::pair<char, QByteArray>{char(DpbUserName), "SYSDBA"},
                               {char(DpbPassword), "tidestone"}, {char(DpbLcCtype), "NONE"}}) {
        dpb.append(item);
        dpb.append(char(value.size()));
        dpb.append(value);
    }
    TStatusVector st;
    THandle db = 0;
    api().attach_database(&st, short(path.size()), path.constData(), &db, short(dpb.size()), dpb.constData());
    ok(st);
    return db;
}

THandle bareStart(THandle *aDb)
{
    static const char tpb[] = {char(TpbVersion3), char(TpbWrite), char(TpbReadCommitted), char(TpbRecVersion),
                               char(TpbWait)};
    TStatusVector st;
    THandle tx = 0;
    TTeb teb{aDb, sizeof tpb, tpb};
    api().start_multiple(&st, &tx, 1, &teb);
    ok(st);
    return tx;
}

void bareCommit(THandle *aTx)
{
    TStatusVector st;
    api().commit_transaction(&st, aTx);
    ok(st);
}

// An XSQLDA of n variables.
QByteArray sqlda(int aCount)
{
    QByteArray bytes(int(sizeof(TSqlda) + (aCount - 1) * sizeof(TSqlVar)), '\0');
    auto *da = reinterpret_cast<TSqlda *>(bytes.data());
    da->version = SqldaVersion1;
    da->sqln = short(aCount);
    return bytes;
}

// Bare: fetch every row and turn each of its four columns into text, the
// name decoded by the base's set as the layer must (UTF-8, or Windows-1252
// for NONE).
qint64 bareFetch(const QString &aPath, bool aUtf8)
{
    THandle db = bareAttach(aPath);
    THandle tx = bareStart(&db);
    TStatusVector st;
    THandle stmt = 0;
    api().dsql_allocate_statement(&st, &db, &stmt);
    ok(st);
    QByteArray outBytes = sqlda(4);
    auto *out = reinterpret_cast<TSqlda *>(outBytes.data());
    api().dsql_prepare(&st, &tx, &stmt, 0, "SELECT ID, NAME, AMOUNT, STAMP FROM BENCH ORDER BY ID", 3, out);
    ok(st);
    qint32 id;
    char name[2 + 160]; // 40 characters of up to 4 bytes
    qint64 amount;
    TTimestamp ts;
    short nulls[4];
    char *data[] = {reinterpret_cast<char *>(&id), name, reinterpret_cast<char *>(&amount),
                    reinterpret_cast<char *>(&ts)};
    for (int i = 0; i < 4; ++i) {
        out->sqlvar[i].sqldata = data[i];
        out->sqlvar[i].sqlind = &nulls[i];
    }
    api().dsql_execute2(&st, &tx, &stmt, 1, nullptr, nullptr);
    ok(st);
    qint64 chars = 0;
    while (api().dsql_fetch(&st, &stmt, 1, out) == 0) {
        quint16 len;
        std::memcpy(&len, name, 2);
        const TDateTime when = TDateTime::FromMSecs((qint64(ts.Date) - DayZeroOffset) * 86400000LL + ts.Time / 10);
        const QString text = aUtf8 ? QString::fromUtf8(name + 2, len) : FromWindows1252(name + 2, len);
        chars += QString::number(id).size() + text.size()
               + QString::number(double(amount) / 100.0).size() + when.ToString().size();
    }
    api().dsql_free_statement(&st, &stmt, DsqlDrop);
    ok(st);
    bareCommit(&tx);
    api().detach_database(&st, &db);
    ok(st);
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
    THandle db = bareAttach(aPath);
    THandle tx = bareStart(&db);
    TStatusVector st;
    THandle stmt = 0;
    api().dsql_allocate_statement(&st, &db, &stmt);
    ok(st);
    api().dsql_prepare(&st, &tx, &stmt, 0, "INSERT INTO INS (ID, NAME) VALUES (?, ?)", 3, nullptr);
    ok(st);
    bareCommit(&tx);
    QByteArray inBytes = sqlda(2);
    auto *in = reinterpret_cast<TSqlda *>(inBytes.data());
    api().dsql_describe_bind(&st, &stmt, 1, in);
    ok(st);
    qint32 id;
    char name[2 + 40];
    short nulls[2] = {0, 0};
    in->sqlvar[0].sqltype = SqlLong | 1;
    in->sqlvar[0].sqllen = 4;
    in->sqlvar[0].sqldata = reinterpret_cast<char *>(&id);
    in->sqlvar[0].sqlind = &nulls[0];
    in->sqlvar[1].sqltype = SqlVarying | 1;
    in->sqlvar[1].sqllen = 40;
    in->sqlvar[1].sqldata = name;
    in->sqlvar[1].sqlind = &nulls[1];
    for (int i = 0; i < Inserts; ++i) {
        tx = bareStart(&db);
        id = i;
        const QByteArray text = QStringLiteral("nom %1").arg(i).toLatin1();
        const quint16 len = quint16(text.size());
        std::memcpy(name, &len, 2);
        std::memcpy(name + 2, text.constData(), len);
        api().dsql_execute2(&st, &tx, &stmt, 1, in, nullptr);
        ok(st);
        bareCommit(&tx);
    }
    api().dsql_free_statement(&st, &stmt, DsqlDrop);
    ok(st);
    api().detach_database(&st, &db);
    ok(st);
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
        THandle db = bareAttach(aPath);
        THandle tx = bareStart(&db);
        TStatusVector st;
        THandle stmt = 0;
        api().dsql_allocate_statement(&st, &db, &stmt);
        ok(st);
        QByteArray outBytes = sqlda(1);
        auto *out = reinterpret_cast<TSqlda *>(outBytes.data());
        api().dsql_prepare(&st, &tx, &stmt, 0, "SELECT COUNT(*) FROM RDB$DATABASE", 3, out);
        ok(st);
        qint64 count = 0;
        short null = 0;
        out->sqlvar[0].sqldata = reinterpret_cast<char *>(&count);
        out->sqlvar[0].sqlind = &null;
        api().dsql_execute2(&st, &tx, &stmt, 1, nullptr, nullptr);
        ok(st);
        api().dsql_fetch(&st, &stmt, 1, out);
        ok(st);
        api().dsql_free_statement(&st, &stmt, DsqlDrop);
        ok(st);
        bareCommit(&tx);
        api().detach_database(&st, &db);
        ok(st);
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

void runOn(const QString &aCharSet)
{
    std::printf("-- base %s\n", qPrintable(aCharSet));
    TTestDatabase db(TTestDatabase::TSchema::Empty, aCharSet);
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
    const bool utf8 = aCharSet == QLatin1String("UTF8");
    bareFetch(path, utf8);
    double bare = 0, layer = 0;
    const int rounds = 5;
    for (int round = 0; round < rounds; ++round) {
        bare += timeIt([&] { bareFetch(path, utf8); });
        layer += timeIt([&] { layerFetch(path, params); });
    }
    report("fetch 200000 rows x 4 as text", bare / rounds, layer / rounds);

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
}

} // namespace

// Usage: bench_dblayer [CHARSET…] (default: UTF8 NONE)
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList sets = app.arguments().mid(1);
    if (sets.isEmpty())
        sets = {QStringLiteral("UTF8"), QStringLiteral("NONE")};
    try {
        for (const QString &set : sets)
            runOn(set);
    } catch (const EDbError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
    return 0;
}
