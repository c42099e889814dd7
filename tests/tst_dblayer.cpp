// The Firebird client layer against a real server.
#include "common/Erreur.h"
#include "data/acces/ServerErrorText.h"
#include "db/DbConnection.h"
#include "db/DbError.h"
#include "db/DbQuery.h"
#include "db/DbScript.h"
#include "db/DbServices.h"
#include "db/DbStoredProc.h"
#include "db/SqlText.h"
#include "db/ClientFlavour.h"
#include "db/IscApi.h"
#include "db/TextCodec.h"
#include "testdb/TestDatabase.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QUuid>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QtTest>

class TestDbLayer : public QObject
{
    Q_OBJECT

private slots:
    void namedParamParsing_data();
    void namedParamParsing();
    void columnRules_data();
    void columnRules();
    void textInEachCharSet_data();
    void textInEachCharSet();
    void accentedDatabasePath();
    void clientFlavours_data();
    void clientFlavours();
    void transactionParametersByServer_data();
    void transactionParametersByServer();
    void standInParsesLikeInterBase_data();
    void standInParsesLikeInterBase();
    void olderServerRefusesWaitItem();
    void standInExportsNoFirebirdSymbol();
    void parametersByName();
    void finalSemicolon();
    void autocommitVisibleAtOnce();
    void openTransactionRolledBackOnRelease();
    void rowErrorClosesCursor();
    void notNullColumnAfterNullRows();
    void preparedQueryAcrossReconnect();
    void binaryBlobReadAsText();
    void booleanParameter_data();
    void booleanParameter();
    void writeBackOnJoinTouchesFirstTableOnly();
    void writeBackWithoutKeyColumnFails();
    void storedProcParamsByName();
    void scriptDropOfMissingObject_data();
    void scriptDropOfMissingObject();
    void scriptErrorPolicies();
    void scriptBlankChunk();
    void servicesBringDatabaseOnline();
    void accentedFileNames();
    void connectionFailures_data();
    void connectionFailures();
    void dateTimeConversions();
    void errorText_data();
    void errorText();
};

void TestDbLayer::namedParamParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("repeated") << "SELECT * FROM K WHERE A>=:DEB AND B<=:deb" << "SELECT * FROM K WHERE A>=? AND B<=?"
                              << QStringList{"DEB", "DEB"};
    QTest::newRow("url literal") << "UPDATE T SET U='http://x:80' WHERE ID=:ID" << "UPDATE T SET U='http://x:80' WHERE ID=?"
                                 << QStringList{"ID"};
    QTest::newRow("doubled quote") << "SELECT 'it''s :NOT' FROM R WHERE X=:X" << "SELECT 'it''s :NOT' FROM R WHERE X=?"
                                   << QStringList{"X"};
    QTest::newRow("quoted identifier") << "SELECT \"A:B\" FROM T WHERE C=:C" << "SELECT \"A:B\" FROM T WHERE C=?"
                                       << QStringList{"C"};
    QTest::newRow("comments") << "SELECT 1 -- :NO\nFROM T /* :NONE */ WHERE A=:A$1"
                              << "SELECT 1 -- :NO\nFROM T /* :NONE */ WHERE A=?" << QStringList{"A$1"};
    QTest::newRow("no name after colon") << "SELECT A[1:2] FROM T" << "SELECT A[1:2] FROM T" << QStringList{};
}

void TestDbLayer::namedParamParsing()
{
    QFETCH(QString, text);
    QFETCH(QString, sql);
    QFETCH(QStringList, names);
    const TParsedSql parsed = ParseNamedParams(text);
    QCOMPARE(parsed.Sql, sql);
    QCOMPARE(parsed.ParamNames, names);
}

void TestDbLayer::columnRules_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("literal");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<double>("real");
    // NULL: text "", integer 0, real 0, date-time day 0 (checked for every type).
    QTest::newRow("char") << "CHAR(10)" << "'ab'" << "ab" << 0 << 0.0;
    QTest::newRow("char digits") << "CHAR(6)" << "'42'" << "42" << 42 << 42.0;
    QTest::newRow("varchar keeps blanks") << "VARCHAR(10)" << "' a '" << " a " << 0 << 0.0;
    QTest::newRow("varchar accents") << "VARCHAR(10)" << "'Générée'" << "Générée" << 0 << 0.0;
    QTest::newRow("smallint") << "SMALLINT" << "-7" << "-7" << -7 << -7.0;
    QTest::newRow("integer") << "INTEGER" << "2147483647" << "2147483647" << 2147483647 << 2147483647.0;
    QTest::newRow("bigint") << "BIGINT" << "1234567890123" << "1234567890123" << int(qint32(1234567890123LL))
                            << 1234567890123.0;
    QTest::newRow("numeric") << "NUMERIC(15,2)" << "12.50" << "12.5" << 12 << 12.5;
    QTest::newRow("numeric negative") << "NUMERIC(9,3)" << "-0.005" << "-0.005" << 0 << -0.005;
    QTest::newRow("numeric exact scaling") << "NUMERIC(9,2)" << "-0.07" << "-0.07" << 0 << -0.07;
    QTest::newRow("float own precision") << "FLOAT" << "0.1" << "0.1" << 0 << double(0.1f);
    QTest::newRow("double") << "DOUBLE PRECISION" << "2.25" << "2.25" << 2 << 2.25;
    QTest::newRow("timestamp") << "TIMESTAMP" << "'2026-12-10 08:05:09'" << "10/12/2026 08:05:09" << 0 << 0.0;
    QTest::newRow("date") << "DATE" << "'2026-01-31'" << "31/01/2026 00:00:00" << 0 << 0.0;
    QTest::newRow("timestamp first day") << "TIMESTAMP" << "'0001-01-01 23:59:59.999'" << "01/01/0001 23:59:59" << 0
                                         << 0.0;
    QTest::newRow("timestamp last day") << "TIMESTAMP" << "'9999-12-31 00:00:00'" << "31/12/9999 00:00:00" << 0 << 0.0;
    QTest::newRow("text blob") << "BLOB SUB_TYPE TEXT" << "'K_ID'" << "K_ID" << 0 << 0.0;
}

void TestDbLayer::columnRules()
{
    QFETCH(QString, type);
    QFETCH(QString, literal);
    QFETCH(QString, text);
    QFETCH(int, integer);
    QFETCH(double, real);
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V %1)").arg(type));
    db.Exec(QStringLiteral("INSERT INTO T VALUES (1, NULL)"));
    db.Exec(QStringLiteral("INSERT INTO T VALUES (2, %1)").arg(literal));

    auto cnx = db.Connect();
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT V FROM T" << "ORDER BY ID";
    q.Open();
    QCOMPARE(q.RecordCount(), 2);
    TDbField v = q.FieldByName(QStringLiteral("v"));
    QVERIFY(v.IsNull());
    QCOMPARE(v.AsString(), QString());
    QCOMPARE(v.AsInteger(), 0);
    QCOMPARE(v.AsFloat(), 0.0);
    QCOMPARE(v.AsDateTime(), TDateTime());
    QCOMPARE(v.AsDateTime().ToQDateTime(), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    q.Next();
    QVERIFY(!q.Eof());
    QVERIFY(!v.IsNull());
    QCOMPARE(v.AsString(), text);
    if (!type.startsWith(QLatin1String("CHAR(10)")) && !type.startsWith(QLatin1String("VARCHAR"))
        && !type.startsWith(QLatin1String("TIMESTAMP")) && !type.startsWith(QLatin1String("DATE"))
        && !type.startsWith(QLatin1String("BLOB"))) {
        // Out of the 32-bit range is refused, never wrapped.
        if (type == QLatin1String("BIGINT"))
            QVERIFY_THROWS_EXCEPTION(EDbError, v.AsInteger());
        else
            QCOMPARE(v.AsInteger(), integer);
        QVERIFY2(v.AsFloat() == real, qPrintable(QString::number(v.AsFloat(), 'g', 17)));
    }
    if (type == QLatin1String("TIMESTAMP") && text.startsWith(QLatin1String("10/12/2026")))
        QCOMPARE(v.AsDateTime(), TDateTime::FromDate(2026, 12, 10, 8, 5, 9));
    q.Next();
    QVERIFY(q.Eof());
}

void TestDbLayer::textInEachCharSet_data()
{
    QTest::addColumn<QString>("charSet");   // the database's default set
    QTest::addColumn<QString>("type");      // the column's type
    QTest::addColumn<QString>("how");       // param, literal or bytes (stored by hex, read back)
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("stored"); // the bytes in the column, hex; empty: refused
    const QString créteil = QStringLiteral("Créteil Sud €");
    const QByteArray cp1252 = "4372e97465696c2053756420" "80";
    const QByteArray utf8 = "4372c3a97465696c2053756420" "e282ac";
    QTest::newRow("NONE param") << "NONE" << "VARCHAR(40)" << "param" << créteil << cp1252;
    QTest::newRow("NONE literal") << "NONE" << "VARCHAR(40)" << "literal" << créteil << cp1252;
    QTest::newRow("NONE read") << "NONE" << "VARCHAR(40)" << "bytes" << QStringLiteral("Sète €")
                               << QByteArray("53e874652080");
    QTest::newRow("NONE CHAR padding") << "NONE" << "CHAR(16)" << "param" << créteil << cp1252 + "202020";
    QTest::newRow("NONE text blob") << "NONE" << "BLOB SUB_TYPE TEXT" << "param" << créteil << cp1252;
    QTest::newRow("NONE every byte") << "NONE" << "VARCHAR(40)" << "bytes"
                                     << FromWindows1252("\x81\x8d\x8f\x90\x9d\xff", 6)
                                     << QByteArray("818d8f909dff");
    QTest::newRow("NONE cannot hold") << "NONE" << "VARCHAR(40)" << "param" << QStringLiteral("Łódź") << QByteArray();
    QTest::newRow("WIN1252 param") << "WIN1252" << "VARCHAR(40)" << "param" << créteil << cp1252;
    QTest::newRow("WIN1252 text blob") << "WIN1252" << "BLOB SUB_TYPE TEXT" << "param" << créteil << cp1252;
    QTest::newRow("WIN1252 cannot hold") << "WIN1252" << "VARCHAR(40)" << "param" << QStringLiteral("Łódź")
                                         << QByteArray();
    QTest::newRow("UTF8 param") << "UTF8" << "VARCHAR(40)" << "param" << créteil << utf8;
    QTest::newRow("UTF8 literal") << "UTF8" << "VARCHAR(40)" << "literal" << créteil << utf8;
    QTest::newRow("UTF8 CHAR padding") << "UTF8" << "CHAR(14)" << "param" << créteil << utf8 + "20";
    QTest::newRow("UTF8 text blob") << "UTF8" << "BLOB SUB_TYPE TEXT" << "param" << QStringLiteral("Łódź")
                                    << QByteArray("c581c3b364c5ba");
    QTest::newRow("NONE column in UTF8 base") << "UTF8" << "VARCHAR(40) CHARACTER SET NONE" << "param" << créteil
                                              << cp1252;
}

void TestDbLayer::textInEachCharSet()
{
    QFETCH(QString, charSet);
    QFETCH(QString, type);
    QFETCH(QString, how);
    QFETCH(QString, value);
    QFETCH(QByteArray, stored);
    TTestDatabase db(TTestDatabase::TSchema::Empty, charSet);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V %1)").arg(type));
    auto cnx = db.Connect();
    {
        TDbQuery ins(cnx.get());
        if (how == QLatin1String("param")) {
            ins.SQL() << "INSERT INTO T VALUES (1, :V)";
            ins.ParamByName(QStringLiteral("V")).SetAsString(value);
        } else if (how == QLatin1String("literal")) {
            ins.SQL() << QStringLiteral("INSERT INTO T VALUES (1, '%1')").arg(value);
        } else {
            ins.SQL() << QStringLiteral("INSERT INTO T VALUES (1, CAST(x'%1' AS VARCHAR(40) CHARACTER SET OCTETS))")
                             .arg(QString::fromLatin1(stored));
        }
        if (stored.isEmpty()) {
            try {
                ins.ExecSQL();
                QFAIL("un texte que le jeu de caractères ne peut pas contenir a été écrit");
            } catch (const EDbError &e) {
                QVERIFY2(e.Message().contains(QStringLiteral("paramètre V")), qPrintable(e.Message()));
                QVERIFY2(e.Message().contains(QStringLiteral("« Ł »")), qPrintable(e.Message()));
            }
            QCOMPARE(db.Count(QStringLiteral("T")), 0);
            return;
        }
        ins.ExecSQL();
    }
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT V, CAST(V AS VARCHAR(60) CHARACTER SET OCTETS) AS RAW FROM T";
    q.Open();
    QCOMPARE(q.FieldByName(QStringLiteral("V")).AsString(), value);
    QByteArray raw;
    QCOMPARE(ToWindows1252(q.FieldByName(QStringLiteral("RAW")).AsString(), raw), qsizetype(-1));
    QCOMPARE(raw.toHex(), stored);
}

void TestDbLayer::accentedDatabasePath()
{
    // A site's folder named in French: the path reaches the server intact.
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    const QString folder = TTestDatabase::Folder() + QStringLiteral("Sète été %1/").arg(QCoreApplication::applicationPid());
    QVERIFY(QDir().mkpath(folder));
    const auto cleanup = qScopeGuard([&] { QDir(folder).removeRecursively(); });
    QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
    const QString path = folder + QStringLiteral("base é.fdb");
    QVERIFY(QFile::copy(db.Path(), path));
    QFile::setPermissions(path, QFileDevice::Permissions(0x6666));
    TDbConnectionParams p;
    p.Database = path;
    p.UserName = TTestDatabase::User;
    p.Password = TTestDatabase::Password;
    TDbConnection cnx(p);
    TDbQuery q(&cnx);
    q.SQL() << "SELECT MON$DATABASE_NAME FROM MON$DATABASE";
    {
        const TFixtureSql firebirdTable; // the name as Firebird's server holds it
        q.Open();
    }
    QCOMPARE(q.Fields(0).AsString(), path);
}

void TestDbLayer::clientFlavours_data()
{
    QTest::addColumn<bool>("firebird");
    QTest::addColumn<int>("utf8");
    QTest::addColumn<int>("boolean");
    QTest::addColumn<int>("booleanWidth");
    QTest::addColumn<bool>("utf8FileName");
    QTest::addColumn<int>("versionItem");
    QTest::addColumn<int>("lockWaitItem");
    QTest::newRow("Firebird") << true << 4 << 32764 << 1 << true << 103 << 21;
    QTest::newRow("InterBase") << false << 59 << 590 << 2 << false << 12 << 23;
}

void TestDbLayer::clientFlavours()
{
    QFETCH(bool, firebird);
    const TClientFlavour &f = firebird ? FirebirdFlavour() : InterBaseFlavour();
    QTEST(int(f.CsUtf8), "utf8");
    QTEST(int(f.SqlBoolean), "boolean");
    QTEST(int(f.BooleanWidth), "booleanWidth");
    QTEST(f.DpbUtf8FileName.has_value(), "utf8FileName");
    QTEST(int(f.InfoVersion), "versionItem");
    // Each client's own lock-wait item: the other's number means something
    // else there (InterBase's 21 is "no savepoint").
    QVERIFY(f.TpbLockTimeout);
    QTEST(int(*f.TpbLockTimeout), "lockWaitItem");
    // The sets both number alike, and UTF8 by each one's own number.
    QCOMPARE(f.CharSetOf(0), TCharSet::None);
    QCOMPARE(f.CharSetOf(53), TCharSet::Win1252);
    QCOMPARE(f.CharSetOf(f.CsUtf8), TCharSet::Utf8);
    QCOMPARE(f.CharSetOf(firebird ? 59 : 4), TCharSet::Unknown);
    // 77 is Firebird's UTF-8 file name, InterBase's archive item: never sent there.
    if (!firebird)
        QVERIFY(!f.DpbUtf8FileName);
    // The loaded client is told by its exports, and reported with its file.
    if (firebird == InterBaseClient())
        return;
    QCOMPARE(Isc::Client().Flavour, &f);
    const TDbClientInfo info = DbClientInfo();
    QCOMPARE(info.Flavour, QLatin1String(f.Name));
    QVERIFY2(QFileInfo(info.Library).isAbsolute() && QFileInfo::exists(info.Library), qPrintable(info.Library));
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    // The Firebird server answers both items; InterBase's client asks for
    // the older one.
    QVERIFY(!db.Connect()->ServerVersion().isEmpty());
}

void TestDbLayer::transactionParametersByServer_data()
{
    QTest::addColumn<bool>("firebird");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("snapshot");
    QTest::addColumn<bool>("noWait");
    QTest::addColumn<QByteArray>("tpb"); // hex
    // version 3, write, read committed + record versions (or concurrency),
    // then wait + the bounded wait (10 s), or no wait.
    const QByteArray waitFb = "03090f110615040a000000", waitIb = "03090f110617040a000000";
    QTest::newRow("Firebird 3") << true << "LI-V3.0.11.33637 Firebird 3.0" << false << false << waitFb;
    QTest::newRow("Firebird 1.5, no bound known") << true << "WI-V1.5.6.5026 Firebird 1.5" << false << false
                                                  << QByteArray("03090f1107");
    QTest::newRow("InterBase 2020") << false << "WI-V14.1.0.319" << false << false << waitIb;
    QTest::newRow("InterBase 2017") << false << "WI-V13.0.0.129" << false << false << waitIb;
    QTest::newRow("InterBase XE7: no wait item") << false << "WI-V12.0.2.353" << false << false
                                                 << QByteArray("03090f1107");
    QTest::newRow("InterBase XE3") << false << "LI-V11.0.1.484" << false << false << QByteArray("03090f1107");
    QTest::newRow("version not given") << false << "" << false << false << QByteArray("03090f1107");
    QTest::newRow("no wait asked, InterBase 2020") << false << "WI-V14.1.0.319" << false << true
                                                   << QByteArray("03090f1107");
    QTest::newRow("snapshot, InterBase 2020") << false << "WI-V14.1.0.319" << true << false
                                              << QByteArray("0309020617040a000000");
    QTest::newRow("snapshot, InterBase XE7") << false << "WI-V12.0.2.353" << true << false << QByteArray("03090207");
}

void TestDbLayer::transactionParametersByServer()
{
    QFETCH(bool, firebird);
    QFETCH(QString, version);
    QFETCH(bool, snapshot);
    QFETCH(bool, noWait);
    const TClientFlavour &f = firebird ? FirebirdFlavour() : InterBaseFlavour();
    QTEST(TransactionParameters(f, version, TDbTransactionOptions{snapshot, noWait}).toHex(), "tpb");
}

// Under the stand-in for InterBase's client, what InterBase's parser does
// not know is refused before Firebird's server sees it, as InterBase would
// refuse it; what InterBase documents goes through.
void TestDbLayer::standInParsesLikeInterBase_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::newRow("IIF") << "SELECT IIF(1 = 1, 1, 0) FROM RDB$DATABASE" << "Function unknown\nIIF";
    QTest::newRow("TRIM") << "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS" << "Function unknown\nTRIM";
    QTest::newRow("FIRST") << "SELECT FIRST 1 RDB$RELATION_NAME FROM RDB$RELATIONS" << "Token unknown - line 1, column 8\nFIRST";
    QTest::newRow("EXECUTE BLOCK") << "EXECUTE BLOCK AS BEGIN END" << "Token unknown - line 1, column 9\nBLOCK";
    QTest::newRow("monitoring table") << "SELECT COUNT(*) FROM MON$ATTACHMENTS" << "Table unknown\nMON$ATTACHMENTS";
    QTest::newRow("relation type") << "SELECT RDB$RELATION_TYPE FROM RDB$RELATIONS" << "Column unknown\nRDB$RELATION_TYPE";
    QTest::newRow("in a literal") << "SELECT 'IIF(' FROM RDB$DATABASE" << "";
    QTest::newRow("qualified name") << "SELECT R.RDB$RELATION_NAME FROM RDB$RELATIONS R LEFT JOIN RDB$DATABASE D ON 1 = 1" << "";
    QTest::newRow("documented forms")
        << "SELECT COALESCE(NULL, 1), CASE WHEN 1 = 1 THEN 2 END, GEN_ID(G, 0), UPPER('a') "
           "FROM RDB$RELATIONS WHERE RDB$RELATION_NAME STARTING WITH 'RDB$' ROWS 1"
        << "";
}

void TestDbLayer::standInParsesLikeInterBase()
{
    QFETCH(QString, sql);
    QFETCH(QString, refusal);
    if (!InterBaseClient())
        QSKIP("Firebird's client sends the statement to Firebird's parser as it is.");
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE GENERATOR G"));
    auto cnx = db.Connect();
    TDbQuery q(cnx.get());
    q.SQL() << sql;
    try {
        q.Open();
        QVERIFY2(refusal.isEmpty(), "accepted");
    } catch (const EDbError &e) {
        QVERIFY2(!refusal.isEmpty(), qPrintable(e.Message()));
        QVERIFY2(e.Message().startsWith(QStringLiteral("Dynamic SQL Error\nSQL error code = ")), qPrintable(e.Message()));
        QVERIFY2(e.Message().contains(refusal), qPrintable(e.Message()));
    }
}

// A server older than InterBase 2017 refuses the bounded wait as a whole
// transaction: the layer never sends it there.
void TestDbLayer::olderServerRefusesWaitItem()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    auto cnx = db.Connect();
    if (!InterBaseClient() || ServerMajorVersion(cnx->ServerVersion()) >= 13)
        QSKIP("Only a server older than InterBase 2017 refuses the item.");
    const QByteArray withWait = TransactionParameters(InterBaseFlavour(), QStringLiteral("WI-V14.1.0.319"));
    try {
        StartDbTransaction(cnx->Attachment(), withWait);
        QFAIL("the older server took the wait item");
    } catch (const EDbError &e) {
        QCOMPARE(e.Message(), QStringLiteral("invalid parameter in transaction parameter block"));
    }
    // What the layer sends there is taken.
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT 1 FROM RDB$DATABASE";
    q.Open();
    QCOMPARE(q.Fields(0).AsInteger(), 1);
}

// The tests' stand-in for InterBase's client shows only InterBase's entry
// points: the layer must take it for InterBase's client.
void TestDbLayer::standInExportsNoFirebirdSymbol()
{
    // The process's own client first: loaded after the stand-in, the
    // loader would hand the stand-in back for its name.
    const TDbClientInfo mine = DbClientInfo();
    QLibrary standIn(QStringLiteral(IVROMVT_IBCLIENT_PATH));
    QVERIFY2(standIn.load(), qPrintable(standIn.errorString()));
    const auto unload = qScopeGuard([&] { standIn.unload(); });
    QCOMPARE(DbClientInfo().Library, mine.Library);
    QVERIFY(standIn.resolve("isc_attach_database"));
    QVERIFY(standIn.resolve("isc_interprete"));
    for (const char *name : {"fb_interpret", "fb_get_master_interface", "fb_cancel_operation"})
        QVERIFY2(!standIn.resolve(name), name);
}

void TestDbLayer::parametersByName()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(40), D TIMESTAMP, "
                           "N INTEGER, B BLOB SUB_TYPE TEXT)"));
    auto cnx = db.Connect();
    TDbQuery ins(cnx.get());
    ins.SQL() << "INSERT INTO T (ID, S, D, N, B)" << "VALUES (:ID, :S || ' http://h:1', :D, :ID * 10, :B)";
    const TDateTime when = TDateTime::FromDate(2026, 2, 3, 4, 5, 6, 789);
    ins.ParamByName(QStringLiteral("ID")).SetAsInteger(7);
    ins.ParamByName(QStringLiteral("s")).SetAsString(QStringLiteral("é:x"));
    ins.ParamByName(QStringLiteral("D")).SetAsDateTime(when);
    ins.ParamByName(QStringLiteral("B")).SetAsString(QStringLiteral("clé ') longue"));
    ins.ExecSQL();
    QCOMPARE(ins.RowsAffected(), 1);
    ins.ParamByName(QStringLiteral("ID")).SetAsInteger(8);
    ins.ParamByName(QStringLiteral("D")).Clear();
    ins.ExecSQL(); // the same prepared statement, new values

    TDbQuery sel(cnx.get());
    sel.SQL() << "SELECT S, D, N, B FROM T WHERE ID = :ID";
    sel.ParamByName(QStringLiteral("ID")).SetAsInteger(7);
    sel.Open();
    QCOMPARE(sel.FieldByName(QStringLiteral("S")).AsString(), QStringLiteral("é:x http://h:1"));
    QCOMPARE(sel.FieldByName(QStringLiteral("D")).AsDateTime(), when);
    QCOMPARE(sel.FieldByName(QStringLiteral("N")).AsInteger(), 70);
    QCOMPARE(sel.FieldByName(QStringLiteral("B")).AsString(), QStringLiteral("clé ') longue"));
    sel.ParamByName(QStringLiteral("ID")).SetAsInteger(8);
    sel.Open();
    QVERIFY(sel.FieldByName(QStringLiteral("D")).IsNull());

    QVERIFY_THROWS_EXCEPTION(EDbError, sel.ParamByName(QStringLiteral("UNKNOWN")));
}

void TestDbLayer::finalSemicolon()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    auto cnx = db.Connect();
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT 1 AS ONE FROM RDB$DATABASE;" << "  ";
    q.Open();
    QCOMPARE(q.FieldByName(QStringLiteral("ONE")).AsInteger(), 1);
    QCOMPARE(StripFinalSemicolon(QStringLiteral("END;\r\n")), QStringLiteral("END"));
}

void TestDbLayer::autocommitVisibleAtOnce()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)"));
    auto writer = db.Connect();
    auto reader = db.Connect();
    TDbQuery count(reader.get());
    count.SQL() << "SELECT COUNT(*) FROM T";
    count.Open();
    QCOMPARE(count.Fields(0).AsInteger(), 0);

    TDbQuery ins(writer.get());
    ins.SQL() << "INSERT INTO T VALUES (1)";
    ins.ExecSQL(); // writer stays attached, no explicit commit
    count.Open();
    QCOMPARE(count.Fields(0).AsInteger(), 1);
}

// Only an explicit Commit keeps the work of an explicit transaction: not
// the release of its connection, and least of all one that an error unwinds.
void TestDbLayer::openTransactionRolledBackOnRelease()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)"));
    {
        auto cnx = db.Connect();
        cnx->StartTransaction();
        TDbQuery ins(cnx.get());
        ins.SQL() << "INSERT INTO T VALUES (1)";
        ins.ExecSQL();
        QVERIFY(cnx->InTransaction());
    }
    QCOMPARE(db.Count(QStringLiteral("T")), 0);

    try {
        auto cnx = db.Connect();
        TDbTransaction tx(cnx.get());
        tx.StartTransaction();
        TDbQuery ins(cnx.get(), &tx);
        ins.SQL() << "INSERT INTO T VALUES (:ID)";
        ins.ParamByName(QStringLiteral("ID")).SetAsInteger(2);
        ins.ExecSQL();
        ins.ExecSQL(); // duplicate key: unwinds past the transaction and the connection
        QFAIL("a duplicate key must fail");
    } catch (const EDbError &) {
    }
    QCOMPARE(db.Count(QStringLiteral("T")), 0);

    auto cnx = db.Connect();
    cnx->StartTransaction();
    TDbQuery ins(cnx.get());
    ins.SQL() << "INSERT INTO T VALUES (3)";
    ins.ExecSQL();
    cnx->Commit();
    QCOMPARE(db.Count(QStringLiteral("T")), 1);
}

// Rows are read into memory that earlier results used: the indicator of a
// NOT NULL column, which the client leaves alone, must not keep an earlier
// row's NULL.
void TestDbLayer::notNullColumnAfterNullRows()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(10) NOT NULL, "
                           "KIND CHAR(1) NOT NULL)"));
    db.Exec(QStringLiteral("EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= 3000) DO BEGIN "
                           "INSERT INTO T VALUES (:I, 'n' || :I, 'R'); I = I + 1; END END"));
    auto cnx = db.Connect();
    {
        TDbQuery nulls(cnx.get());
        nulls.SQL() << "SELECT CAST(NULL AS INTEGER), CAST(NULL AS VARCHAR(10)), CAST(NULL AS CHAR(1)) FROM T";
        nulls.Open();
        QVERIFY(nulls.Fields(1).IsNull());
    }
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT ID, NAME, KIND FROM T ORDER BY ID";
    q.Open();
    int expected = 1;
    for (; !q.Eof(); q.Next(), ++expected) {
        QCOMPARE(q.Fields(0).AsInteger(), expected);
        QCOMPARE(q.Fields(1).AsString(), QStringLiteral("n%1").arg(expected));
        QCOMPARE(q.Fields(2).AsString(), QStringLiteral("R"));
    }
    QCOMPARE(expected, 3001);
}

// A row that can't be read (a text blob in a set the layer refuses) fails
// with its own error every time, also inside one explicit transaction, where
// a cursor left open would make the next opening fail otherwise.
void TestDbLayer::rowErrorClosesCursor()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V BLOB SUB_TYPE TEXT CHARACTER SET KOI8R)"));
    db.Exec(QStringLiteral("INSERT INTO T VALUES (1, 'abc')"));
    auto cnx = db.Connect();
    cnx->StartTransaction();
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT ID, V FROM T";
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            q.Open();
            QFAIL("a text blob in KOI8R must be refused");
        } catch (const EDbError &e) {
            QVERIFY2(e.Message().contains(QStringLiteral("Jeu de caractères non géré")), qPrintable(e.Message()));
        }
    }
    TDbQuery other(cnx.get());
    other.SQL() << "SELECT COUNT(*) FROM T";
    other.Open();
    QCOMPARE(other.Fields(0).AsInteger(), 1);
    cnx->Commit();
}

// A prepared statement belongs to the attachment it was prepared on.
void TestDbLayer::preparedQueryAcrossReconnect()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)"));
    db.Exec(QStringLiteral("INSERT INTO T VALUES (7)"));
    auto cnx = db.Connect();
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT ID FROM T WHERE ID = :ID";
    q.ParamByName(QStringLiteral("ID")).SetAsInteger(7);
    q.Prepare();
    QVERIFY(q.Prepared());
    cnx->Close();
    QVERIFY(!q.Prepared());
    cnx->Open();
    q.Open();
    QCOMPARE(q.Fields(0).AsInteger(), 7);
    QVERIFY(q.Prepared());
}

// A binary blob is bytes; asked for as text, they are NONE text, that is
// Windows-1252, as everywhere else in the layer.
void TestDbLayer::binaryBlobReadAsText()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, B BLOB SUB_TYPE BINARY)"));
    const QByteArray bytes("Cr\xE9teil \x80");
    auto cnx = db.Connect();
    TDbQuery ins(cnx.get());
    ins.SQL() << "INSERT INTO T VALUES (1, :B)";
    ins.ParamByName(QStringLiteral("B")).SetValue(bytes);
    ins.ExecSQL();
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT B FROM T";
    q.Open();
    QCOMPARE(q.Fields(0).AsVariant().toByteArray(), bytes);
    QCOMPARE(q.Fields(0).AsString(), QStringLiteral("Créteil €"));
}

void TestDbLayer::booleanParameter_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("stored");
    QTest::newRow("true") << QVariant(true) << "True";
    QTest::newRow("false") << QVariant(false) << "False";
    QTest::newRow("integer 1") << QVariant(1) << "True";
    QTest::newRow("null") << QVariant() << "";
}

void TestDbLayer::booleanParameter()
{
    if (InterBaseClient())
        QSKIP("The InterBase stand-in forwards to a Firebird server, whose BOOLEAN (type 32764, one byte) it "
              "does not turn into InterBase's (type 590, two bytes)");
    QFETCH(QVariant, value);
    QFETCH(QString, stored);
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, B BOOLEAN)"));
    auto cnx = db.Connect();
    TDbQuery ins(cnx.get());
    ins.SQL() << "INSERT INTO T VALUES (1, :B)";
    ins.ParamByName(QStringLiteral("B")).SetValue(value);
    ins.ExecSQL();
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT B FROM T WHERE B IS NOT DISTINCT FROM :B";
    q.ParamByName(QStringLiteral("B")).SetValue(value);
    q.Open();
    QCOMPARE(q.RecordCount(), 1);
    QCOMPARE(q.Fields(0).AsString(), stored);
}

void TestDbLayer::writeBackOnJoinTouchesFirstTableOnly()
{
    TTestDatabase db;
    db.Exec(QStringLiteral("INSERT INTO K (K_ID, KTB_ID, K_ENABLED) VALUES (10, 1, 1)"));
    db.Exec(QStringLiteral("INSERT INTO GENBASES (BAS_ID, BAS_NOM, BAS_IDENT, BAS_GUID, BAS_NOMPOURNOUS) "
                           "VALUES (10, 'Nom', '3', 'g', 'old')"));
    // A concurrent change of a column the edit does not touch must survive.
    auto cnx = db.Connect();
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT * FROM GENBASES JOIN K ON (K_ID = BAS_ID AND K_ENABLED = 1)";
    q.Open();
    QCOMPARE(q.RecordCount(), 1);
    db.Exec(QStringLiteral("UPDATE GENBASES SET BAS_NOM = 'Concurrent' WHERE BAS_ID = 10"));
    q.Edit();
    q.FieldByName(QStringLiteral("BAS_NOMPOURNOUS")).SetAsString(QStringLiteral("NOUVEAU"));
    q.FieldByName(QStringLiteral("BAS_GUID")).SetAsString(QStringLiteral("{G}"));
    q.Post();
    QCOMPARE(q.FieldByName(QStringLiteral("BAS_NOMPOURNOUS")).AsString(), QStringLiteral("NOUVEAU"));
    QCOMPARE(db.Rows(QStringLiteral("SELECT BAS_NOM, BAS_NOMPOURNOUS, BAS_GUID, BAS_IDENT FROM GENBASES")),
             QStringList{"Concurrent|NOUVEAU|{G}|3"});

    // An edit of the second table can't be written: refused whole, not
    // dropped without a word while the rest goes through.
    q.Edit();
    q.FieldByName(QStringLiteral("BAS_NOMPOURNOUS")).SetAsString(QStringLiteral("AUTRE"));
    q.FieldByName(QStringLiteral("K_ENABLED")).SetAsInteger(0);
    try {
        q.Post();
        QFAIL("an edit of the joined table must be refused");
    } catch (const EDbError &e) {
        QVERIFY2(e.Message().contains(QStringLiteral("K_ENABLED")), qPrintable(e.Message()));
    }
    q.Cancel();
    QCOMPARE(db.Scalar(QStringLiteral("SELECT BAS_NOMPOURNOUS FROM GENBASES")).toString(), QStringLiteral("NOUVEAU"));
    QCOMPARE(db.Scalar(QStringLiteral("SELECT K_ENABLED FROM K WHERE K_ID = 10")).toInt(), 1);
}

void TestDbLayer::writeBackWithoutKeyColumnFails()
{
    TTestDatabase db;
    db.Exec(QStringLiteral("INSERT INTO GENMAGASIN (MAG_ID, MAG_CODE) VALUES (1, 'A')"));
    auto cnx = db.Connect();
    TDbQuery q(cnx.get());
    q.SQL() << "SELECT MAG_CODE FROM GENMAGASIN";
    q.Open();
    q.Edit();
    q.FieldByName(QStringLiteral("MAG_CODE")).SetAsString(QString());
    QVERIFY_THROWS_EXCEPTION(EDbError, q.Post());
    QCOMPARE(db.Scalar(QStringLiteral("SELECT MAG_CODE FROM GENMAGASIN")).toString(), QStringLiteral("A"));
}

void TestDbLayer::storedProcParamsByName()
{
    TTestDatabase db;
    db.Exec(QStringLiteral("INSERT INTO K (K_ID, K_VERSION, K_ENABLED) VALUES (5, 0, 1)"));
    auto cnx = db.Connect();
    TDbStoredProc proc(cnx.get());
    proc.SetStoredProcName(QStringLiteral("PR_UPDATEK"));
    proc.Prepare();
    QCOMPARE(proc.InputNames(), (QStringList{"K_ID", "SUPRESSION"}));
    proc.ParamByName(QStringLiteral("SUPRESSION")).SetAsInteger(1);
    proc.ParamByName(QStringLiteral("K_ID")).SetAsInteger(5);
    proc.ExecProc();
    QCOMPARE(db.Scalar(QStringLiteral("SELECT K_ENABLED FROM K WHERE K_ID = 5")).toInt(), 0);

    db.Exec(QStringLiteral("CREATE PROCEDURE TWICE (A INTEGER) RETURNS (R INTEGER) AS BEGIN R = A * 2; END"));
    TDbStoredProc twice(cnx.get());
    twice.SetStoredProcName(QStringLiteral("twice"));
    twice.ParamByName(QStringLiteral("A")).SetAsInteger(21);
    twice.ExecProc();
    QCOMPARE(twice.ParamByName(QStringLiteral("R")).AsInteger(), 42);

    TDbStoredProc missing(cnx.get());
    missing.SetStoredProcName(QStringLiteral("NO_SUCH_PROC"));
    try {
        missing.Prepare();
        QFAIL("an unknown procedure must be reported");
    } catch (const EDbError &e) {
        QVERIFY2(e.Message().contains(QLatin1String("NO_SUCH_PROC")), qPrintable(e.Message()));
    }
}

void TestDbLayer::scriptDropOfMissingObject_data()
{
    QTest::addColumn<QString>("statement");
    QTest::newRow("table") << "DROP TABLE NO_SUCH_TABLE;";
    QTest::newRow("view") << "DROP VIEW NO_SUCH_VIEW";
    QTest::newRow("procedure") << "DROP PROCEDURE NO_SUCH_PROC;";
    QTest::newRow("trigger") << "drop trigger NO_SUCH_TRIGGER";
    QTest::newRow("generator") << "DROP GENERATOR NO_SUCH_GEN";
    QTest::newRow("sequence") << "DROP SEQUENCE NO_SUCH_SEQ";
    QTest::newRow("function") << "DROP FUNCTION NO_SUCH_FUNC";
    QTest::newRow("external function") << "DROP EXTERNAL FUNCTION NO_SUCH_UDF";
    QTest::newRow("exception") << "DROP EXCEPTION NO_SUCH_EXC";
    QTest::newRow("index") << "DROP INDEX NO_SUCH_INDEX";
    QTest::newRow("domain") << "DROP DOMAIN NO_SUCH_DOMAIN";
}

void TestDbLayer::scriptDropOfMissingObject()
{
    QFETCH(QString, statement);
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    auto cnx = db.Connect();
    TDbScript runner(cnx.get());
    QVERIFY(runner.ExecuteChunk(QStringLiteral("\r\n") + statement));
    QVERIFY(runner.Errors().isEmpty());
}

void TestDbLayer::scriptErrorPolicies()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    auto cnx = db.Connect();
    const QString body = QStringLiteral("\r\nCREATE PROCEDURE P (A INTEGER) RETURNS (B INTEGER)\r\nAS\r\n"
                                        "DECLARE VARIABLE X INTEGER;\r\nBEGIN\r\n  X = :A;\r\n  B = :X + 1;\r\nEND;");
    TDbScript stop(cnx.get());
    QVERIFY(stop.ExecuteChunk(body));
    QVERIFY_THROWS_EXCEPTION(EDbError, stop.ExecuteChunk(body)); // exists already

    TDbScript record(cnx.get());
    record.SetErrorPolicy(TDbScript::TErrorPolicy::RecordAndContinue);
    QVERIFY(!record.ExecuteChunk(body));
    QVERIFY(!record.ExecuteChunk(QStringLiteral("DROP TABLE RDB$DATABASE")));
    QCOMPARE(record.Errors().size(), 2);
    QVERIFY(record.Errors()[0].Statement.contains(QLatin1String("CREATE PROCEDURE P")));
    QVERIFY(!record.Errors()[0].Message.isEmpty());
    QVERIFY(record.ExecuteChunk(QStringLiteral("DROP PROCEDURE P;")));
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = 'P'")), 0);
}

void TestDbLayer::scriptBlankChunk()
{
    TDbConnectionParams nowhere;
    nowhere.Database = QStringLiteral("/nonexistent/x.fdb");
    TDbConnection cnx(nowhere);
    TDbScript runner(&cnx);
    QVERIFY(runner.ExecuteChunk(QStringLiteral("\r\n  \r\n\t")));
    QVERIFY(runner.ExecuteChunk(QString()));
    QVERIFY(!cnx.Connected()); // nothing to run: no connection made
}

// An accented file name reaches the server as the name we mean, whichever
// call carries it: creating, attaching, and the service that restarts it.
void TestDbLayer::accentedFileNames()
{
    TDbConnectionParams p;
    p.Database = TTestDatabase::Folder()
               + QStringLiteral("Créée à Sète %1.fdb").arg(QUuid::createUuid().toString(QUuid::Id128));
    p.UserName = TTestDatabase::User;
    p.Password = TTestDatabase::Password;
    CreateDatabase(p, QStringLiteral("NONE"), false);
    // Dropped through the server, which owns the file.
    const auto drop = qScopeGuard([&p] {
        try {
            TDbConnection cnx(p);
            Isc::TStatusVector status;
            Isc::Client().Api.drop_database(&status, cnx.Attachment());
        } catch (const EDbError &e) {
            qWarning().noquote() << "base non supprimée :" << e.Message();
        }
    });
    QVERIFY2(QFileInfo::exists(p.Database), qPrintable(p.Database));

    QProcess gfix;
    gfix.start(QStringLiteral("gfix"), {QStringLiteral("-shut"), QStringLiteral("full"), QStringLiteral("-force"),
                                        QStringLiteral("0"), QStringLiteral("-user"), TTestDatabase::User,
                                        QStringLiteral("-password"), TTestDatabase::Password,
                                        QStringLiteral("localhost:") + p.Database});
    QVERIFY(gfix.waitForFinished(30000));
    QCOMPARE(gfix.exitCode(), 0);
    TDbServiceManager services(QStringLiteral("localhost"), TTestDatabase::User, TTestDatabase::Password);
    services.DatabaseOnline(p.Database);

    TDbConnection cnx(p);
    TDbQuery q(&cnx);
    q.SQL() << QStringLiteral("SELECT COUNT(*) FROM RDB$DATABASE");
    q.Open();
    QCOMPARE(q.Fields(0).AsInteger(), 1);
}

void TestDbLayer::servicesBringDatabaseOnline()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    QProcess gfix;
    gfix.start(QStringLiteral("gfix"), {QStringLiteral("-shut"), QStringLiteral("full"), QStringLiteral("-force"),
                                        QStringLiteral("0"), QStringLiteral("-user"), TTestDatabase::User,
                                        QStringLiteral("-password"), TTestDatabase::Password,
                                        QStringLiteral("localhost:") + db.Path()});
    QVERIFY(gfix.waitForFinished(30000));
    QCOMPARE(gfix.exitCode(), 0);
    QVERIFY_THROWS_EXCEPTION(EDbError, db.Count(QStringLiteral("RDB$DATABASE")));

    TDbServiceManager services(QStringLiteral("localhost"), TTestDatabase::User, TTestDatabase::Password);
    services.DatabaseOnline(db.Path());
    QCOMPARE(db.Count(QStringLiteral("RDB$DATABASE")), 1);

    try {
        services.DatabaseOnline(db.Path()); // already online: the server refuses
        QFAIL("bringing an online database online must fail");
    } catch (const EDbError &e) {
        QVERIFY2(e.Message().contains(QLatin1String("shutdown mode")), qPrintable(e.Message()));
    }
}

void TestDbLayer::connectionFailures_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("phrase"); // the operator's sentence for it
    QTest::newRow("wrong password") << "localhost" << 3050 << "wrong" << "password" << "mot de passe";
    // The server answered: its version is given beside the client's.
    QTest::newRow("missing database") << "localhost" << 3050 << "tidestone" << "\nServeur : " << "introuvable";
    QTest::newRow("unreachable server") << "127.0.0.1" << 3059 << "tidestone" << "connect" << "injoignable";
    // A listener that accepts the connection and never answers.
    QTest::newRow("server that never answers") << "127.0.0.1" << -1 << "tidestone" << ""
                                               << "n'a pas accepté la connexion";
}

void TestDbLayer::connectionFailures()
{
    QFETCH(QString, server);
    QFETCH(int, port);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    QFETCH(QString, phrase);
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    TDbConnectionParams p;
    p.Server = server;
    p.Port = port;
    // The kernel completes the handshake for a listening socket: the client
    // connects, then waits for an answer that never comes.
    int silent = -1;
    if (port < 0) {
        silent = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        QVERIFY(::bind(silent, reinterpret_cast<sockaddr *>(&a), len) == 0);
        QVERIFY(::listen(silent, 4) == 0);
        QVERIFY(::getsockname(silent, reinterpret_cast<sockaddr *>(&a), &len) == 0);
        p.Port = ntohs(a.sin_port);
        p.ConnectTimeout = 2;
    }
    const auto closeSilent = qScopeGuard([&] { if (silent >= 0) ::close(silent); });
    QElapsedTimer clock;
    clock.start();
    p.Database = QString(QTest::currentDataTag()) == QLatin1String("missing database") ? db.Path() + QStringLiteral(".absente")
                                                                                        : db.Path();
    p.UserName = TTestDatabase::User;
    p.Password = password;
    TDbConnection cnx(p);
    QVERIFY(!cnx.Connected()); // created closed
    TDbQuery q(&cnx);
    q.SQL() << "SELECT 1 FROM RDB$DATABASE";
    try {
        q.Open();
        QFAIL("the connection must fail");
    } catch (const EDbError &e) {
        QVERIFY2(e.Message().contains(expected, Qt::CaseInsensitive), qPrintable(e.Message()));
        const QString text = TexteErreurServeur(e);
        QVERIFY2(text.startsWith(PhraseErreurServeur(e)) && text.contains(phrase), qPrintable(text));
        QVERIFY2(text.endsWith(e.Message()), qPrintable(text));
    }
    // A silent server is given up after the connect time-out, not minutes.
    if (silent >= 0)
        QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
}

void TestDbLayer::dateTimeConversions()
{
    const QDateTime when(QDate(2026, 12, 10), QTime(23, 59, 59, 999));
    const TDateTime t = TDateTime::FromQDateTime(when);
    QCOMPARE(t.ToQDateTime(), when);
    QCOMPARE(TDateTime::FromDays(t.ToDays()), t);
    QCOMPARE(TDateTime::FromDate(1899, 12, 31, 12).ToDays(), 1.5);
    QCOMPARE(TDateTime::FromDays(-1.25).ToQDateTime(), QDateTime(QDate(1899, 12, 28), QTime(18, 0)));
    QCOMPARE(t.TruncDay().AddDays(1), TDateTime::FromDate(2026, 12, 11));
}

void TestDbLayer::errorText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("operatorText"); // the sentence first for a server error
    const QString ours = QStringLiteral("Impossible d'écrire le fichier « réglages.ini » : accès refusé");
    const QString server = QStringLiteral("lock conflict on no wait transaction\nTable « CLÉS »");
    const QString foreign = QStringLiteral("données reçues : « déjà vu »");
    QTest::newRow("ours") << 0 << ours << ours;
    QTest::newRow("server error") << 1 << server
                                  << PhraseErreurServeur(QList<qint64>{335544345}) + QLatin1Char('\n') + server;
    QTest::newRow("foreign, UTF-8") << 2 << foreign << foreign;
}

void TestDbLayer::errorText()
{
    QFETCH(int, kind);
    QFETCH(QString, expected);
    QFETCH(QString, operatorText);
    try {
        switch (kind) {
        case 0: throw EIvroErreur(expected);
        case 1: throw EDbError(expected, {335544345});
        default: throw std::runtime_error(expected.toStdString());
        }
    } catch (const std::exception &e) {
        QCOMPARE(TexteErreur(e), expected);
        QCOMPARE(QByteArray(e.what()), expected.toUtf8());
        QCOMPARE(TexteErreurServeur(e), operatorText);
    }
}

QTEST_GUILESS_MAIN(TestDbLayer)
#include "tst_dblayer.moc"
