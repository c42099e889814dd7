// The data module's connection factory and script executor.
#include "data/acces/ServerErrorText.h"
#include "data/uDataMod.h"
#include "db/DbError.h"
#include "testdb/TestDatabase.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QtTest>

#include <sys/stat.h>

class TestDataMod : public QObject
{
    Q_OBJECT

private slots:
    void definitionLines_data();
    void definitionLines();
    void portMalEcrit_data();
    void portMalEcrit();
    void definitionsCreatedOnceAndExact();
    void freeDefinition();
    void connectionsAreClosedAndIndependent();
    void storedProcPrepared();
    void executeScriptChunks_data();
    void executeScriptChunks();
    void executeScriptFailingChunkGoesOn();
    void executeScriptEmptyPathOrNoServer();
    void serverErrorSentence_data();
    void serverErrorSentence();
    void lockConflictSentence();
};

void TestDataMod::definitionLines_data()
{
    QTest::addColumn<QString>("ref");
    QTest::addColumn<QStringList>("lines");
    const QString head = QStringLiteral("DriverID=IB");
    const QStringList sysdba{"User_Name=SYSDBA", "Password=tidestone"};
    QTest::newRow("local path") << "SYSDBA@D:\\Data\\SHOP.IB"
                                << (QStringList{head, "Server=localhost", "Protocol=TCPIP", "Port=3050",
                                                "Database=D:\\Data\\SHOP.IB"} + sysdba);
    QTest::newRow("server and path") << "SYSDBA@srv/D:\\Data\\SHOP.IB"
                                     << (QStringList{head, "Server=srv", "Protocol=TCPIP", "Port=3050",
                                                     "Database=D:\\Data\\SHOP.IB"} + sysdba);
    QTest::newRow("two slashes") << "SYSDBA@srv/D:/Data/SHOP.IB"
                                 << (QStringList{head, "Server=localhost", "Protocol=TCPIP", "Port=3050",
                                                 "Database=srv/D:/Data/SHOP.IB"} + sysdba);
    QTest::newRow("final slash dropped") << "SYSDBA@srv/base/"
                                         << (QStringList{head, "Server=srv", "Protocol=TCPIP", "Port=3050",
                                                         "Database=base"} + sysdba);
    QTest::newRow("at sign in path") << "SYSDBA@/data/a@b.fdb"
                                     << (QStringList{head, "Server=localhost", "Protocol=TCPIP", "Port=3050",
                                                     "Database=/data/a@b.fdb"} + sysdba);
    QTest::newRow("empty database") << "SYSDBA@"
                                    << (QStringList{head, "Server=localhost", "Protocol=TCPIP", "Port=3050",
                                                    "Database="} + sysdba);
    // The server's own form with a port: the path may then hold "/".
    QTest::newRow("port and Windows path") << "SYSDBA@srv/3051:D:\\Data\\SHOP.IB"
                                           << (QStringList{head, "Server=srv", "Protocol=TCPIP", "Port=3051",
                                                           "Database=D:\\Data\\SHOP.IB"} + sysdba);
    QTest::newRow("port and local path") << "SYSDBA@localhost/3999:/data/site.fdb"
                                         << (QStringList{head, "Server=localhost", "Protocol=TCPIP", "Port=3999",
                                                         "Database=/data/site.fdb"} + sysdba);
    QTest::newRow("port and alias") << "SYSDBA@caisse1/3051:site"
                                    << (QStringList{head, "Server=caisse1", "Protocol=TCPIP", "Port=3051",
                                                    "Database=site"} + sysdba);
    QTest::newRow("korvala") << "KORVALA@base.fdb"
                             << QStringList{head, "Server=localhost", "Protocol=TCPIP", "Port=3050",
                                            "Database=base.fdb", "User_Name=KORVALA", "Password=plumvox"};
    QTest::newRow("other user") << "sysdba@base.fdb"
                                << QStringList{head, "Server=localhost", "Protocol=TCPIP", "Port=3050",
                                               "Database=base.fdb"};
}

void TestDataMod::definitionLines()
{
    QFETCH(QString, ref);
    QFETCH(QStringList, lines);
    TDataMod dm;
    dm.Acces.getNewConnexion(ref);
    QCOMPARE(dm.Acces.Definitions().size(), 1);
    QCOMPARE(dm.Acces.Definitions()[0].Name, ref);
    QCOMPARE(dm.Acces.Definitions()[0].DriverID, QStringLiteral("IB"));
    QCOMPARE(dm.Acces.Definitions()[0].Params, lines);
}

void TestDataMod::portMalEcrit_data()
{
    QTest::addColumn<QString>("ref");
    QTest::addColumn<QString>("message");
    QTest::newRow("port before the slash") << "SYSDBA@localhost:3999/site" << "SERVEUR/PORT:CHEMIN (ici localhost/3999:site)";
    QTest::newRow("port 0") << "SYSDBA@srv/0:site" << "Port invalide dans \"srv/0:site\" : 0";
    QTest::newRow("port too high") << "SYSDBA@srv/65536:site" << "Port invalide";
}

// Refused before anything is tried, with the form to write.
void TestDataMod::portMalEcrit()
{
    QFETCH(QString, ref);
    QFETCH(QString, message);
    TDataMod dm;
    try {
        dm.Acces.getNewConnexion(ref);
        QFAIL("accepted");
    } catch (const EDbError &e) {
        QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
    }
    QCOMPARE(dm.Acces.Definitions().size(), 0);
}

void TestDataMod::definitionsCreatedOnceAndExact()
{
    TDataMod dm;
    auto a = dm.Acces.getNewConnexion(QStringLiteral("SYSDBA@/x/base.fdb"));
    auto b = dm.Acces.getNewConnexion(QStringLiteral("SYSDBA@/x/base.fdb"));
    QCOMPARE(dm.Acces.Definitions().size(), 1);
    QVERIFY(a.get() != b.get());
    dm.Acces.getNewConnexion(QStringLiteral("SYSDBA@/X/base.fdb")); // case counts
    QCOMPARE(dm.Acces.Definitions().size(), 2);
    QVERIFY_THROWS_EXCEPTION(EDbError, dm.Acces.CreateInFDManager(QStringLiteral("SYSDBA"), QStringLiteral("/x/base.fdb")));
}

void TestDataMod::freeDefinition()
{
    TDataMod dm;
    dm.Acces.getNewConnexion(QStringLiteral("SYSDBA@a"));
    dm.Acces.getNewConnexion(QStringLiteral("SYSDBA@b"));
    dm.Acces.FreeInfFDManager(QStringLiteral("SYSDBA@never"));
    QCOMPARE(dm.Acces.Definitions().size(), 2);
    dm.Acces.FreeInfFDManager(QStringLiteral("SYSDBA@a"));
    QCOMPARE(dm.Acces.Definitions().size(), 1);
    QCOMPARE(dm.Acces.Definitions()[0].Name, QStringLiteral("SYSDBA@b"));
}

void TestDataMod::connectionsAreClosedAndIndependent()
{
    TTestDatabase db;
    TDataMod dm;
    auto cnx1 = dm.Acces.getNewConnexion(SysdbaRef(db.Path()));
    auto cnx2 = dm.Acces.getNewConnexion(SysdbaRef(db.Path()));
    QVERIFY(!cnx1->Connected());
    auto q = dm.Acces.getNewQuery(cnx1.get());
    q->SQL() << "SELECT COUNT(*) FROM K";
    q->Open();
    QVERIFY(cnx1->Connected());
    QVERIFY(!cnx2->Connected());

    auto bad = dm.Acces.getNewConnexion(QStringLiteral("SYSDBA@"));
    auto q2 = dm.Acces.getNewQuery(bad.get());
    q2->SQL() << "SELECT 1 FROM RDB$DATABASE";
    QVERIFY_THROWS_EXCEPTION(EDbError, q2->Open()); // reported on first use
}

void TestDataMod::storedProcPrepared()
{
    TTestDatabase db;
    TDataMod dm;
    auto cnx = dm.Acces.getNewConnexion(SysdbaRef(db.Path()));
    auto proc = dm.Acces.getNewStoredProc(cnx.get(), nullptr, QStringLiteral("PR_UPDATEK"));
    QVERIFY(proc->Prepared());
    QVERIFY(cnx->Connected());
    QVERIFY_THROWS_EXCEPTION(EDbError, dm.Acces.getNewStoredProc(cnx.get(), nullptr, QStringLiteral("NOPE")));
}

void TestDataMod::executeScriptChunks_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("tables"); // tables T1..T3 expected afterwards

    QTest::newRow("last chunk without caret never runs")
        << QStringList{"CREATE TABLE T1 (A INTEGER);", "^", "CREATE TABLE T2 (A INTEGER);"} << true
        << QStringList{"T1"};
    QTest::newRow("two carets: empty chunk is a success")
        << QStringList{"^", "^", "CREATE TABLE T1 (A INTEGER)", "^"} << true << QStringList{"T1"};
    QTest::newRow("caret elsewhere drops the line")
        << QStringList{"CREATE TABLE T1 (A INTEGER,", "  ^", "B INTEGER) ^", "  B2 INTEGER);", "^"} << true
        << QStringList{"T1"};
    QTest::newRow("chunk ends at line beginning with caret")
        << QStringList{"CREATE TABLE T1 (A INTEGER)", "^ whatever follows", "CREATE TABLE T2 (A INTEGER)", "^"}
        << true << QStringList{"T1", "T2"};
    QTest::newRow("procedure body with semicolons and :vars")
        << QStringList{"create procedure P1 (A integer) returns (B integer)", "as", "declare variable X integer;",
                       "begin", "  X = :A;", "  B = :X;", "end;", "^", "execute procedure P1(1);", "^",
                       "CREATE TABLE T3 (A INTEGER)", "^"}
        << true << QStringList{"T3"};
    QTest::newRow("failing call in lower case is a prepared call")
        << QStringList{"execute procedure NO_SUCH_PROC;", "^", "CREATE TABLE T1 (A INTEGER)", "^"} << false
        << QStringList{"T1"};
}

void TestDataMod::executeScriptChunks()
{
    QFETCH(QStringList, script);
    QFETCH(bool, result);
    QFETCH(QStringList, tables);
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    TDataMod dm;
    QCOMPARE(dm.Acces.ExecuteScript(db.Path(), script), result);
    QStringList found;
    for (const QString &t : {QStringLiteral("T1"), QStringLiteral("T2"), QStringLiteral("T3")})
        if (db.Count(QStringLiteral("RDB$RELATIONS WHERE RDB$RELATION_NAME = '%1'").arg(t)) == 1)
            found << t;
    QCOMPARE(found, tables);
}

void TestDataMod::executeScriptFailingChunkGoesOn()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T1 (A INTEGER)"));
    TDataMod dm;
    const QStringList script{"CREATE TABLE T1 (A INTEGER);", "^",       "CREATE TABLE T2 (A INTEGER);", "^",
                             "INSERT INTO T2 VALUES (5);",   "^",       "DROP TABLE NOT_THERE;",         "^",
                             "EXECUTE PROCEDURE NOT_THERE;", "^",       "INSERT INTO T2 VALUES (6);",    "^"};
    QVERIFY(!dm.Acces.ExecuteScript(db.Path(), script));
    QCOMPARE(db.Rows(QStringLiteral("SELECT A FROM T2 ORDER BY A")), (QStringList{"5", "6"}));
}

void TestDataMod::executeScriptEmptyPathOrNoServer()
{
    TDataMod dm;
    QVERIFY(dm.Acces.ExecuteScript(QString(), {QStringLiteral("garbage"), QStringLiteral("^")}));
    QVERIFY(dm.Acces.Definitions().isEmpty()); // nothing was even defined
    QVERIFY(!dm.Acces.ExecuteScript(QStringLiteral("/var/tmp/ivromvt/none.fdb"),
                              {QStringLiteral("CREATE TABLE T (A INTEGER)"), QStringLiteral("^")}));
    QVERIFY(dm.Acces.ExecuteScript(QStringLiteral("/var/tmp/ivromvt/none.fdb"), {QStringLiteral("^")}));
}

void TestDataMod::serverErrorSentence_data()
{
    QTest::addColumn<QString>("ref");       // connection reference; %1 stands for a fresh database
    QTest::addColumn<QString>("sql");       // run on it
    QTest::addColumn<QString>("sentence");  // the start of the sentence, "" for none
    QTest::addColumn<int>("droits");        // of the fresh database's file; -1 as made
    QTest::newRow("no such file") << "SYSDBA@" + TTestDatabase::Folder() + "absente.fdb"
                                  << "SELECT 1 FROM RDB$DATABASE" << "Base introuvable : aucun fichier" << -1;
    QTest::newRow("file the server may only read") << "SYSDBA@%1" << "SELECT 1 FROM RDB$DATABASE"
                                                   << "Accès refusé par le serveur" << 0444;
    QTest::newRow("file the server can't open") << "SYSDBA@%1" << "SELECT 1 FROM RDB$DATABASE"
                                                << "Le serveur n'a pas le droit" << 0;
    // A file the server's account may not read is there: not "introuvable".
    QTest::newRow("file the server may not read") << "SYSDBA@" + TTestDatabase::Folder() + "interdite.fdb"
                                                  << "SELECT 1 FROM RDB$DATABASE" << "Le serveur n'a pas le droit" << -1;
    QTest::newRow("not a database") << "SYSDBA@" + TTestDatabase::Folder() + "pas-une-base.txt"
                                    << "SELECT 1 FROM RDB$DATABASE" << "Base introuvable" << -1;
    QTest::newRow("unknown server") << "SYSDBA@serveur.invalid/D:\\BASES\\SITE.IB" << "SELECT 1 FROM RDB$DATABASE"
                                    << "Le serveur de bases de données est injoignable" << -1;
    QTest::newRow("login refused") << "INCONNU@%1" << "SELECT 1 FROM RDB$DATABASE"
                                   << "Le serveur a refusé la connexion" << -1;
    QTest::newRow("unknown table") << "SYSDBA@%1" << "SELECT * FROM PAS_DE_TABLE" << "Table ou procédure inconnue" << -1;
    QTest::newRow("unknown procedure") << "SYSDBA@%1" << "EXECUTE PROCEDURE PAS_DE_PROC"
                                       << "Table ou procédure inconnue" << -1;
    QTest::newRow("other error: the server's text alone") << "SYSDBA@%1" << "SELECT 1/0 FROM RDB$DATABASE" << "" << -1;
}

void TestDataMod::serverErrorSentence()
{
    QFETCH(QString, ref);
    QFETCH(QString, sql);
    QFETCH(QString, sentence);
    QFETCH(int, droits);
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    const QByteArray fichier = QFile::encodeName(db.Path());
    struct stat avant {};
    QVERIFY(droits < 0 || ::stat(fichier.constData(), &avant) == 0);
    if (droits >= 0)
        QCOMPARE(::chmod(fichier.constData(), mode_t(droits)), 0);
    const auto remets = qScopeGuard([&] {
        if (droits >= 0)
            ::chmod(fichier.constData(), avant.st_mode & 07777);
    });
    QFile texte(TTestDatabase::Folder() + QStringLiteral("pas-une-base.txt"));
    QVERIFY(texte.open(QIODevice::WriteOnly));
    texte.write(QByteArray(8192, 'x'));
    texte.close();
    texte.setPermissions(texte.permissions() | QFileDevice::ReadOther);
    QFile interdite(TTestDatabase::Folder() + QStringLiteral("interdite.fdb"));
    QVERIFY(interdite.open(QIODevice::WriteOnly));
    interdite.write(QByteArray(8192, 'x'));
    interdite.close();
    interdite.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    TDataMod dm;
    try {
        auto cnx = dm.Acces.getNewConnexion(ref.arg(db.Path()));
        auto query = dm.Acces.getNewQuery(cnx.get());
        query->SQL() << sql;
        query->Open();
        QFAIL("the server accepted it");
    } catch (const EDbError &e) {
        const QString lu = TexteErreurServeur(e);
        QVERIFY2(lu.startsWith(sentence), qPrintable(lu));
        QVERIFY2(lu.endsWith(e.Message()), qPrintable(lu)); // the server's own text comes after
        if (sentence.isEmpty())
            QCOMPARE(lu, e.Message());
    }
    QFile::remove(texte.fileName());
    QFile::remove(interdite.fileName());
}

void TestDataMod::lockConflictSentence()
{
    // A row held by another transaction for longer than the wait.
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE T1 (A INTEGER)"));
    db.Exec(QStringLiteral("INSERT INTO T1 VALUES (1)"));
    auto autre = db.Connect();
    autre->StartTransaction();
    TDbQuery verrou(autre.get());
    verrou.SQL() << QStringLiteral("UPDATE T1 SET A = 2");
    verrou.ExecSQL();

    TDataMod dm;
    auto cnx = dm.Acces.getNewConnexion(SysdbaRef(db.Path()));
    auto query = dm.Acces.getNewQuery(cnx.get());
    query->SQL() << QStringLiteral("UPDATE T1 SET A = 3");
    // The same bounded wait on every server: by the transaction's own item
    // where the server knows it, by tries again without waiting where it
    // does not (InterBase before 2017). Never at once, never for ever.
    QElapsedTimer attente;
    attente.start();
    try {
        query->ExecSQL();
        QFAIL("the row was not locked");
    } catch (const EDbError &e) {
        QVERIFY2(TexteErreurServeur(e).startsWith(QStringLiteral("Des lignes sont verrouillées")),
                 qPrintable(TexteErreurServeur(e)));
    }
    QVERIFY2(attente.elapsed() >= 9000 && attente.elapsed() < 30000, qPrintable(QString::number(attente.elapsed())));
    autre->Rollback();
    // Once the row is free, the statement goes through.
    query->ExecSQL();
    QCOMPARE(db.Scalar(QStringLiteral("SELECT A FROM T1")).toInt(), 3);
}

QTEST_GUILESS_MAIN(TestDataMod)
#include "tst_datamod.moc"
