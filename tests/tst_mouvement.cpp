// The movement tool's data side, without the window: the embedded script,
// the rules, the node directory, the worker, the installation and a sending
// from end to end against real site databases.
#include "DataModFixture.h"
#include "common/TextFile.h"
#include "data/mouvement/Envoi.h"
#include "data/mouvement/Evaluation.h"
#include "data/mouvement/QueryThread.h"
#include "db/DbError.h"
#include "testdb/CatalogueFixture.h"
#include "testdb/FreinSymData.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

#include <sys/stat.h>

namespace {

struct TWorkerOutcome
{
    bool Called = false;
    bool OnUiThread = false;
    bool Freed = false;
    qint32 Resultat = 0;
    QString Message;
};

// Starts a worker on a prepared query and waits until it has freed itself.
TWorkerOutcome RunWorker(TDbConnection *aCnx, TDbQuery *aQuery)
{
    TWorkerOutcome out;
    QEventLoop loop;
    auto *worker = new TQueryThread(aCnx, aQuery, [&out](TQueryThread *Sender) {
        out.Called = true;
        out.OnUiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        out.Resultat = Sender->FResultat;
        out.Message = Sender->FMessage;
    });
    QPointer<TQueryThread> guard(worker);
    QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    worker->Start();
    loop.exec();
    out.Freed = guard.isNull();
    return out;
}

TDateTime Day(int aDay, int aHour = 0, int aMinute = 0, int aSecond = 0)
{
    return TDateTime::FromDate(2026, 3, aDay, aHour, aMinute, aSecond);
}

QString Literal(const TDateTime &aValue)
{
    return QLatin1Char('\'') + aValue.ToQDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
           + QLatin1Char('\'');
}

void AddK(const TTestDatabase &aDb, int aId, int aKtbId, const TDateTime &aUpdated, const TDateTime &aInserted)
{
    aDb.Exec(QStringLiteral("INSERT INTO K (K_ID, KTB_ID, K_VERSION, K_ENABLED, K_INSERTED, K_UPDATED) "
                            "VALUES (%1, %2, 1, 1, %3, %4)")
                 .arg(aId).arg(aKtbId).arg(Literal(aInserted), Literal(aUpdated)));
}

const QString KSymData = QStringLiteral(
    "SELECT NODE_LIST, TABLE_NAME, EVENT_TYPE, ROW_DATA, TRIGGER_HIST_ID, CHANNEL_ID, "
    "CASE WHEN CREATE_TIME IS NULL THEN 'sans date' ELSE 'date' END FROM SYM_DATA ORDER BY DATA_ID");

// The two events a K row of ARTICLE gives, as KSymData lists them.
QStringList EventsOf(int aKId, const QString &aNode)
{
    return {QStringLiteral("%1|K|R|K_ID='%2'|7|ch_k|date").arg(aNode).arg(aKId),
            QStringLiteral("%1|ARTICLE|R|ART_ID='%2'|8|ch_art|date").arg(aNode).arg(aKId)};
}

// SYNC_KEY_NAMES as SymmetricDS makes it on InterBase, instead of the BLOB
// it makes on Firebird; before any capture definition exists.
void MakeKeyNamesVarchar(const TTestDatabase &aDb)
{
    aDb.Exec(QStringLiteral("ALTER TABLE SYM_TRIGGER DROP SYNC_KEY_NAMES\n^\n"
                            "ALTER TABLE SYM_TRIGGER ADD SYNC_KEY_NAMES VARCHAR(4096)\n^\n"));
}

// Every event, positions relative to the first, NULL told apart from text.
const QString KSymDataRelative = QStringLiteral(
    "SELECT D.DATA_ID - M.FIRST_ID, NODE_LIST, TABLE_NAME, EVENT_TYPE, IIF(ROW_DATA IS NULL, 'NULL', 'texte'), "
    "ROW_DATA, TRIGGER_HIST_ID, CHANNEL_ID FROM SYM_DATA D "
    "CROSS JOIN (SELECT MIN(DATA_ID) AS FIRST_ID FROM SYM_DATA) M ORDER BY D.DATA_ID");

qint32 Send(TDataMod &aDataMod, const TTestDatabase &aDb, const TDateTime &aDay, QString &aMessage,
           TSensMouvement aSens = TSensMouvement::LameVersMag)
{
    auto cnx = aDataMod.Acces.getNewConnexion(SysdbaRef(aDb.Path()));
    auto query = aDataMod.Mouvement.NewMouvementSendQuery(cnx.get(), aSens, MouvementDebutPlage(aDay), MouvementFinPlage(aDay),
                                          QStringLiteral("mag-001"));
    const TWorkerOutcome out = RunWorker(cnx.get(), query.get());
    aMessage = out.Message;
    return out.Resultat;
}


// Every case the range procedures must treat as the per-row ones do: K rows
// inserted at the same instant, two definitions of a table on different
// channels, NULL key names, definitions without history or with several,
// one routed one way only, table names empty, NULL, padded, blank and "K",
// K rows without a table number or whose number KTB lacks, interleaved.
void MakeExactnessSite(const TTestDatabase &aDb)
{
    SiteFixture::MakeSite(aDb, QStringLiteral("lame"), 0, QDate(2026, 3, 10));
    const QStringList deux{QStringLiteral("lame_vers_mags"), QStringLiteral("mags_vers_lame")};
    SiteFixture::AddDefinition(aDb, QStringLiteral("ARTICLE_BIS"), QStringLiteral("ARTICLE"), QStringLiteral("ch_art2"),
                  QStringLiteral("ART_ID,ART_NOM"), deux, {30, 12, 31});
    SiteFixture::AddDefinition(aDb, QStringLiteral("K_BIS"), QStringLiteral("K"), QStringLiteral("ch_k2"), QString(), deux, {9});
    SiteFixture::AddDefinition(aDb, QStringLiteral("CLIENT"), QStringLiteral("CLIENT"), QStringLiteral("ch_cli"),
                  QStringLiteral("CLI_ID"), deux, {40});
    SiteFixture::AddDefinition(aDb, QStringLiteral("STOCK"), QStringLiteral("STOCK"), QStringLiteral("ch_sto"),
                  QStringLiteral("STO_ID"), deux, {});
    SiteFixture::AddDefinition(aDb, QStringLiteral("TICKET"), QStringLiteral("TICKET"), QStringLiteral("ch_tic"),
                  QStringLiteral("TIC_ID"), {QStringLiteral("mags_vers_lame")}, {41, 42});
    SiteFixture::AddDefinition(aDb, QStringLiteral("VIDE"), QStringLiteral("VIDE"), QStringLiteral("ch_vide"),
                  QStringLiteral("V_ID"), deux, {43});
    aDb.Exec(QStringLiteral("INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (2, 'CLIENT   ')\n^\n"
                            "INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (3, 'TICKET')\n^\n"
                            "INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (4, 'STOCK')\n^\n"
                            "INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (5, '')\n^\n"
                            "INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (6, NULL)\n^\n"
                            "INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (7, '   ')\n^\n"
                            "INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (8, 'K')\n^\n"
                            "INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (9, 'SANS_CAPTURE')\n^\n"));
    // Eleven instants for 44 rows: four rows share each K_INSERTED.
    const QList<int> tables = {1, 2, 3, 4, 5, 6, 7, 8, 9, 99, 0};
    for (int i = 0; i < 44; ++i) {
        const int ktb = tables[(i * 7) % tables.size()];
        aDb.Exec(QStringLiteral("INSERT INTO K (K_ID, KTB_ID, K_VERSION, K_ENABLED, K_INSERTED, K_UPDATED) "
                                "VALUES (%1, %2, 1, 1, '2026-03-01 00:00:%3', '2026-03-10 09:00:00')")
                     .arg(1000 - i * 3)
                     .arg(ktb == 0 ? QStringLiteral("NULL") : QString::number(ktb))
                     .arg(10 + (i * 3) % 11, 2, 10, QLatin1Char('0')));
    }
}

// A sending of one day range to aNode, as the window and the command line
// run it, waited for; aPendant runs once it has started.
TEnvoiResultat Envoie(const TTestDatabase &aDb, const TDateTime &aDeb, const TDateTime &aFin, const QString &aNode,
                      const QString &aDossier, const std::function<void(TEnvoi &)> &aPendant = {})
{
    const TSensMouvement sens = SensDuGroupe(DataMod->Mouvement.IvroMvtLocalNode(aDb.Path()).NODE_GROUP_ID);
    const TEvaluationResultat eval = TEvaluation(DataMod->Mouvement, aDb.Path(), aDeb, aFin, sens).Executer();
    TEnvoi envoi(DataMod->Mouvement, eval, aNode, aDossier);
    QEventLoop loop;
    QObject::connect(&envoi, &TEnvoi::Termine, &loop, &QEventLoop::quit);
    if (envoi.Demarrer()) {
        if (aPendant)
            aPendant(envoi);
        if (envoi.Resultat().Issue == TIssueEnvoi::EnCours)
            loop.exec();
    }
    return envoi.Resultat();
}

} // namespace

class TestMouvement : public QObject
{
    Q_OBJECT

private slots:
    void scriptResourceIsByteExact();
    void evaluation_data();
    void evaluation();
    void direction_data();
    void direction();
    void rangeBounds();

    void localNode();
    void remoteNodes();
    void nodesWithoutReplicationTables();

    void workerRules_data();
    void workerRules();
    void workerUnreachableDatabase();
    void workerJob();
    void countOverRange_data();
    void countOverRange();

    void installReplacesOnlyMouvementProcedures();
    void installFailureIsReported();
    void installKeepsPreparedSending();
    void installFromMemory_data();
    void installFromMemory();
    void sendingEndToEnd_data();
    void sendingEndToEnd();
    void sendingFailureKeepsMessage();
    void sendingOutcomes_data();
    void sendingOutcomes();
    void sendingCancelled();
    void sendingTargets_data();
    void sendingTargets();
    void guardRefusedAtOnce_data();
    void guardRefusedAtOnce();
    void installedScriptFollowsKeyNamesType_data();
    void installedScriptFollowsKeyNamesType();
    void keyNamesTooLongFailTheSending();
    void resolvedDefinitionsGiveShippedEvents_data();
    void resolvedDefinitionsGiveShippedEvents();
    void withoutTemporaryTableShippedProcedures();
    void sendingAttachesTwice();

private:
    TDataModFixture FDataMod;
};

void TestMouvement::scriptResourceIsByteExact()
{
    const QByteArray script = TOperationsMouvement::MouvementScriptResource();
    QCOMPARE(script.size(), 4347);
    QCOMPARE(QCryptographicHash::hash(script, QCryptographicHash::Sha256).toHex(),
             QByteArray("22b43ee881b79c6e5e6f5d7731848e5c06310ebf91b06c2f21a0475602be9e7e"));
    // CR LF line ends throughout: a checkout that changed them would show here first.
    QVERIFY(script.endsWith("^\r\n\r\n"));
    QCOMPARE(script.count("\r\n"), 108);
    QCOMPARE(script.count('\n'), 108);
}

void TestMouvement::evaluation_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("nbRec");
    QTest::addColumn<QString>("evalTime");
    QTest::addColumn<bool>("envoyable");
    QTest::newRow("130") << 130 << 260 << "00:04" << true;
    QTest::newRow("117000") << 117000 << 234000 << "01:00:00" << true;
    QTest::newRow("199999") << 199999 << 399998 << "01:42:33" << true;
    QTest::newRow("200000") << 200000 << 400000 << "01:42:33" << false;
    QTest::newRow("0") << 0 << 0 << "00:00" << false;
}

void TestMouvement::evaluation()
{
    QFETCH(int, count);
    QFETCH(int, nbRec);
    QFETCH(QString, evalTime);
    QFETCH(bool, envoyable);
    const TMouvementEvaluation e = MouvementEvalue(count);
    QCOMPARE(e.NbRec, nbRec);
    QCOMPARE(e.EvalTime, evalTime);
    QCOMPARE(e.Envoyable, envoyable);
    QCOMPARE(e.Texte(), QStringLiteral("%1 Enregistrements \"K\" à repousser donc %2 au total. A la vitesse moyenne "
                                       "de 65 lignes/s, cela va prendre %3.")
                            .arg(count).arg(nbRec).arg(evalTime));
}

void TestMouvement::direction_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("texte");
    QTest::addColumn<QString>("statement");
    QTest::newRow("lame") << "lame" << "Lame vers Magasin"
                          << "EXECUTE PROCEDURE IVRO_MVT_LAME2MAG_NODE(:DEB,:FIN,:NODE)";
    QTest::newRow("mags") << "mags" << "Magasin vers Lame"
                          << "EXECUTE PROCEDURE IVRO_MVT_MAG2LAME_NODE(:DEB,:FIN,:NODE)";
    QTest::newRow("LAME") << "LAME" << "" << "";
    QTest::newRow("none") << "" << "" << "";
}

void TestMouvement::direction()
{
    QFETCH(QString, group);
    QFETCH(QString, texte);
    QFETCH(QString, statement);
    const TSensMouvement sens = SensDuGroupe(group);
    QCOMPARE(TexteSens(sens), texte);
    QCOMPARE(InstructionEnvoi(sens), statement);
    QCOMPARE(SensDuTexte(texte), sens);
}

void TestMouvement::rangeBounds()
{
    // Whatever time the pickers hold, the range runs midnight to midnight.
    QCOMPARE(MouvementDebutPlage(Day(10, 14, 35, 12)), Day(10));
    QCOMPARE(MouvementFinPlage(Day(12, 14, 35, 12)), Day(13));
    QCOMPARE(MouvementFinPlage(Day(31, 23, 59, 59)), TDateTime::FromDate(2026, 4, 1));
}

void TestMouvement::localNode()
{
    TTestDatabase db;
    SiteFixture::AddLocalNode(db, QStringLiteral("serveur"), QStringLiteral("lame"));
    SiteFixture::AddRemoteNode(db, QStringLiteral("mag-001"), QStringLiteral("mags"), Day(9, 10, 30));
    const TNode node = FDataMod.Mouvement.IvroMvtLocalNode(db.Path());
    QCOMPARE(node.NODE_ID, QStringLiteral("serveur"));
    QCOMPARE(node.NODE_GROUP_ID, QStringLiteral("lame"));
    QVERIFY(!node.HEARTBEAT_TIME.IsZero());

    // The identity's node without a host row is no local node at all.
    db.Exec(QStringLiteral("DELETE FROM SYM_NODE_HOST WHERE NODE_ID = 'serveur'"));
    const TNode none = FDataMod.Mouvement.IvroMvtLocalNode(db.Path());
    QVERIFY(none.NODE_ID.isEmpty());
    QVERIFY(none.NODE_GROUP_ID.isEmpty());
}

void TestMouvement::remoteNodes()
{
    TTestDatabase db;
    SiteFixture::AddLocalNode(db, QStringLiteral("serveur"), QStringLiteral("lame"));
    QVERIFY(FDataMod.Mouvement.IvroMvtListeRemoteNodes(db.Path()).isEmpty());

    SiteFixture::AddRemoteNode(db, QStringLiteral("mag-001"), QStringLiteral("mags"), Day(9, 10, 30), 2);
    SiteFixture::AddRemoteNode(db, QStringLiteral("mag-002"), QStringLiteral("mags"));
    SiteFixture::AddRemoteNode(db, QStringLiteral("mag-003"), QStringLiteral("mags"), Day(9), 0);
    const TNodes nodes = FDataMod.Mouvement.IvroMvtListeRemoteNodes(db.Path());
    QStringList seen;
    for (const TNode &n : nodes) {
        seen << n.NODE_ID;
        QCOMPARE(n.NODE_GROUP_ID, QStringLiteral("mags"));
        QCOMPARE(n.HEARTBEAT_TIME, n.NODE_ID == QLatin1String("mag-001") ? Day(9, 10, 30) : TDateTime());
    }
    seen.sort();
    // Once per host row; a node without a host row is not listed.
    QCOMPARE(seen, (QStringList{"mag-001", "mag-001", "mag-002"}));
}

void TestMouvement::nodesWithoutReplicationTables()
{
    TTestDatabase db(TTestDatabase::TSchema::RetailOnly);
    QVERIFY_THROWS_EXCEPTION(EDbError, FDataMod.Mouvement.IvroMvtLocalNode(db.Path()));
    QVERIFY_THROWS_EXCEPTION(EDbError, FDataMod.Mouvement.IvroMvtListeRemoteNodes(db.Path()));
}

void TestMouvement::workerRules_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("resultat");
    QTest::addColumn<int>("marks"); // rows the procedure P_MARK left
    QTest::newRow("select") << "SELECT 5 FROM RDB$DATABASE" << 5 << 0;
    QTest::newRow("select without row") << "SELECT 5 FROM RDB$DATABASE WHERE 1 = 0" << 0 << 0;
    QTest::newRow("execute") << "EXECUTE PROCEDURE P_MARK" << 0 << 1;
    QTest::newRow("lower case execute") << "execute procedure P_MARK" << 0 << 0;
    QTest::newRow("lower case select") << "select 5 from rdb$database" << 0 << 0;
    QTest::newRow("leading blank") << " SELECT 5 FROM RDB$DATABASE" << 0 << 0;
    QTest::newRow("leading line break") << "\nEXECUTE PROCEDURE P_MARK" << 0 << 0;
    QTest::newRow("failing statement") << "SELECT 5 FROM NO_SUCH_TABLE" << -1 << 0;
}

void TestMouvement::workerRules()
{
    QFETCH(QString, statement);
    QFETCH(int, resultat);
    QFETCH(int, marks);
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE MARK (N INTEGER)\n^\n"
                           "CREATE PROCEDURE P_MARK AS BEGIN INSERT INTO MARK VALUES (1); END\n^\n"));

    auto cnx = FDataMod.Acces.getNewConnexion(SysdbaRef(db.Path()));
    auto query = FDataMod.Acces.getNewQuery(cnx.get());
    query->SetSQLText(statement);
    const TWorkerOutcome out = RunWorker(cnx.get(), query.get());
    QVERIFY(out.Called);
    QVERIFY(out.OnUiThread);
    QVERIFY(out.Freed);
    QCOMPARE(out.Resultat, resultat);
    QCOMPARE(out.Message.isEmpty(), resultat != -1);
    query.reset();
    cnx.reset();
    QCOMPARE(db.Count(QStringLiteral("MARK")), marks);
}

void TestMouvement::workerUnreachableDatabase()
{
    auto cnx = FDataMod.Acces.getNewConnexion(SysdbaRef(TTestDatabase::Folder() + QStringLiteral("absente.fdb")));
    auto query = FDataMod.Mouvement.NewMouvementCountQuery(cnx.get(), Day(1), Day(2));
    const TWorkerOutcome out = RunWorker(cnx.get(), query.get());
    QVERIFY(out.Called);
    QVERIFY(out.OnUiThread);
    QVERIFY(out.Freed);
    QCOMPARE(out.Resultat, -1);
    QVERIFY(!out.Message.isEmpty());
}

// A job's worker: its end told on the owner's thread with the job's
// failure; freed while its statement runs, it cancels the statement, waits
// for its thread and tells its end to nobody.
void TestMouvement::workerJob()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    db.Exec(QStringLiteral("CREATE TABLE MARK (N INTEGER)"));
    auto cnx = db.Connect();
    cnx->Open();

    bool fini = false;
    bool surLeFilPrincipal = false;
    qint32 resultat = 0;
    QString message;
    auto worker = std::make_unique<TQueryThread>(
        cnx.get(), [](TQueryThread *) { throw EDbError(QStringLiteral("Échec voulu")); },
        [&](TQueryThread *aSender) {
            fini = true;
            surLeFilPrincipal = QThread::currentThread() == QCoreApplication::instance()->thread();
            resultat = aSender->FResultat;
            message = aSender->FMessage;
        },
        this);
    worker->Start();
    QTRY_VERIFY_WITH_TIMEOUT(fini, 10000);
    QVERIFY(surLeFilPrincipal);
    QCOMPARE(resultat, -1);
    QCOMPARE(message, QStringLiteral("Échec voulu"));

    std::atomic<bool> arrete = false;
    QString erreur;
    bool rappele = false;
    worker = std::make_unique<TQueryThread>(
        cnx.get(),
        [&](TQueryThread *) {
            const TFixtureSql longRun; // a test's own long statement, in Firebird's PSQL
            TDbQuery q(cnx.get());
            q.SetParamCheck(false);
            q.SQL() << QStringLiteral("EXECUTE BLOCK AS DECLARE I BIGINT = 0; BEGIN WHILE (I < 4000000000) DO "
                                      "BEGIN I = I + 1; END INSERT INTO MARK VALUES (1); END");
            try {
                q.ExecSQL();
            } catch (const EDbError &e) {
                erreur = e.Message();
            }
            arrete = true;
        },
        [&](TQueryThread *) { rappele = true; }, this);
    worker->Start();
    QTest::qWait(500);
    QVERIFY(!arrete);
    worker.reset();
    QVERIFY(arrete);
    QVERIFY(!erreur.isEmpty());
    QCoreApplication::processEvents();
    QVERIFY(!rappele);
    QCOMPARE(db.Count(QStringLiteral("MARK")), 0);
}

void TestMouvement::countOverRange_data()
{
    QTest::addColumn<TDateTime>("deb");
    QTest::addColumn<TDateTime>("fin");
    QTest::addColumn<int>("count");
    // Picker values keep their time of day; the bounds drop it.
    QTest::newRow("10 to 12") << Day(10, 15, 0) << Day(12, 8, 0) << 4;
    QTest::newRow("one day") << Day(11) << Day(11) << 0;
    QTest::newRow("end before start") << Day(12) << Day(10) << 0;
}

void TestMouvement::countOverRange()
{
    QFETCH(TDateTime, deb);
    QFETCH(TDateTime, fin);
    QFETCH(int, count);
    TTestDatabase db;
    const TDateTime inserted = Day(1);
    AddK(db, 1, 1, Day(9, 23, 59, 59), inserted);              // just before the first day
    AddK(db, 2, 1, Day(10), inserted);                         // first instant
    AddK(db, 3, 1, Day(12, 23, 59, 59), inserted);             // last day
    AddK(db, 4, 1, Day(13), inserted);                         // midnight after: inclusive
    AddK(db, 5, 1, Day(13, 0, 0, 1), inserted);                // after
    AddK(db, 6, 1, Day(10, 12), inserted);

    auto cnx = FDataMod.Acces.getNewConnexion(SysdbaRef(db.Path()));
    auto query = FDataMod.Mouvement.NewMouvementCountQuery(cnx.get(), MouvementDebutPlage(deb), MouvementFinPlage(fin));
    QCOMPARE(query->SQLText(), MouvementInstructionComptage);
    const TWorkerOutcome out = RunWorker(cnx.get(), query.get());
    QCOMPARE(out.Resultat, count);
}

// The script's clean-up takes the four movement procedures and nothing
// else: the gap kit's IVRO_MVT_LAME2MAGS and any other name the pattern of
// the shipped script catches stay.
void TestMouvement::installReplacesOnlyMouvementProcedures()
{
    TTestDatabase db;
    AddGapKit(db);
    db.Exec(QStringLiteral("CREATE PROCEDURE IVRO_MVT_LAME2MAG_NODE AS BEGIN END\n^\n"
                           "CREATE PROCEDURE MY_IVRO_MVT_LOG AS BEGIN END\n^\n"));
    QVERIFY(FDataMod.Replication.IsGAPDefined(db.Path()));
    QTemporaryDir dir;
    const QString programDir = dir.path() + QLatin1Char('/');
    TOperationsMouvement::TMouvementInstallation rapport;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), programDir, &rapport));
    QCOMPARE(rapport.Erreurs, QStringList());
    QCOMPARE(rapport.Fichier, programDir + QStringLiteral("ivro_mvt.sql"));

    QFile file(rapport.Fichier);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), TOperationsMouvement::MouvementScriptResource());
    QCOMPARE(db.Rows(QStringLiteral("SELECT TRIM(RDB$PROCEDURE_NAME) FROM RDB$PROCEDURES "
                                    "WHERE RDB$PROCEDURE_NAME LIKE '%IVRO%' OR RDB$PROCEDURE_NAME = 'TMP_DROP_PROC' "
                                    "ORDER BY 1")),
             (QStringList{"IVRO_DETECT_GAP", "IVRO_DO_GAP", "IVRO_MVT_LAME2MAG", "IVRO_MVT_LAME2MAGS",
                          "IVRO_MVT_LAME2MAG_NODE", "IVRO_MVT_MAG2LAME", "IVRO_MVT_MAG2LAME_NODE",
                          "IVRO_PUSH_MISSING_TAVEN", "MY_IVRO_MVT_LOG"}));
    QVERIFY(FDataMod.Replication.IsGAPDefined(db.Path()));
    // The old range procedure was replaced by the real one.
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURE_PARAMETERS WHERE RDB$PROCEDURE_NAME = 'IVRO_MVT_LAME2MAG_NODE'")),
             3);
    // Installing again over the same procedures leaves them and the rest.
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), programDir));
    QVERIFY(FDataMod.Replication.IsGAPDefined(db.Path()));
}

// Old procedures that can't be dropped (a procedure of the site calls one)
// can't be replaced: the installation fails and says at which steps.
void TestMouvement::installFailureIsReported()
{
    TTestDatabase db;
    QTemporaryDir dir;
    const QString programDir = dir.path() + QLatin1Char('/');
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), programDir));
    // An older text of the range procedure, which the installation replaces.
    db.Exec(QStringLiteral("ALTER PROCEDURE IVRO_MVT_LAME2MAG_NODE (ADEB TIMESTAMP, AFIN TIMESTAMP, "
                           "TONODE VARCHAR(50)) AS BEGIN END"));
    db.Exec(QStringLiteral("CREATE PROCEDURE P_APPEL AS BEGIN "
                           "EXECUTE PROCEDURE IVRO_MVT_LAME2MAG_NODE(NULL, NULL, NULL); END"));
    TOperationsMouvement::TMouvementInstallation rapport;
    QVERIFY(!FDataMod.Mouvement.InstallMvtProcedures(db.Path(), programDir, &rapport));
    // The procedure the site's one calls stays: it can be neither dropped nor
    // created again; the others are replaced (the range procedure installed
    // calls no per-row procedure).
    const QStringList attendues = {
        QStringLiteral("étape 1 (DROP PROCEDURE IVRO_MVT_LAME2MAG_NODE;) : "),
        QStringLiteral("étape 6 (CREATE PROCEDURE IVRO_MVT_LAME2MAG_NODE () : "),
    };
    QCOMPARE(rapport.Erreurs.size(), attendues.size());
    for (int i = 0; i < attendues.size(); ++i)
        QVERIFY2(rapport.Erreurs[i].startsWith(attendues[i]), qPrintable(rapport.Erreurs[i]));

    QVERIFY(!FDataMod.Mouvement.InstallMvtProcedures(TTestDatabase::Folder() + QStringLiteral("absente.fdb"), programDir,
                                           &rapport));
    QVERIFY(!rapport.Erreurs.isEmpty());
}

void TestMouvement::installFromMemory_data()
{
    QTest::addColumn<QString>("piege");
    QTest::newRow("lien vers un autre fichier") << "lien";
    QTest::newRow("tube nomme") << "tube";
    QTest::newRow("dossier inaccessible") << "absent";
}

// What is found under the script's name is never followed nor read: the
// copy replaces it whole, and the procedures come from the program. A folder
// that refuses the copy gets nothing, and the procedures are installed all
// the same.
void TestMouvement::installFromMemory()
{
    QFETCH(QString, piege);
    TTestDatabase db;
    QTemporaryDir dir;
    QTemporaryDir ailleurs;
    QString programDir = dir.path() + QLatin1Char('/');
    const QString script = programDir + QStringLiteral("ivro_mvt.sql");
    const QString victime = ailleurs.filePath(QStringLiteral("victime.txt"));
    QFile v(victime);
    QVERIFY(v.open(QIODevice::WriteOnly));
    v.write("intact");
    v.close();
    if (piege == QLatin1String("lien"))
        QVERIFY(QFile::link(victime, script));
    else if (piege == QLatin1String("tube"))
        QCOMPARE(::mkfifo(QFile::encodeName(script).constData(), 0666), 0);
    else
        programDir = dir.path() + QStringLiteral("/absent/");

    TOperationsMouvement::TMouvementInstallation rapport;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), programDir, &rapport));
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME LIKE 'IVRO_MVT%'")), 4);
    QVERIFY(v.open(QIODevice::ReadOnly));
    QCOMPARE(v.readAll(), QByteArray("intact"));
    if (piege == QLatin1String("absent")) {
        QVERIFY(rapport.Fichier.isEmpty());
        QVERIFY(!rapport.NonEcrit.isEmpty());
        QVERIFY(!QFile::exists(programDir));
        return;
    }
    QCOMPARE(rapport.Fichier, script);
    const QFileInfo written(script);
    QVERIFY(written.isFile() && !written.isSymLink());
    QFile f(script);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), TOperationsMouvement::MouvementScriptResource());
    // No temporary copy left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("ivro_mvt.sql")});
}

void TestMouvement::sendingEndToEnd_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("router");
    QTest::newRow("lame vers magasin") << "lame" << "lame_vers_mags";
    QTest::newRow("magasin vers lame") << "mags" << "mags_vers_lame";
}

void TestMouvement::sendingEndToEnd()
{
    QFETCH(QString, group);
    QFETCH(QString, router);
    TTestDatabase db;
    SiteFixture::MakeSite(db, group, 0, QDate(2026, 3, 10));
    // Only the direction's router carries the capture definitions, so the
    // other direction's procedure would insert nothing.
    db.Exec(QStringLiteral("DELETE FROM SYM_TRIGGER_ROUTER WHERE ROUTER_ID <> '%1'").arg(router));
    AddK(db, 1, 1, Day(10, 9), Day(1, 0, 0, 2));
    AddK(db, 2, 1, Day(11, 9), Day(1, 0, 0, 3));
    AddK(db, 3, 1, Day(12, 9), Day(1, 0, 0, 1));  // inserted first: sent first
    AddK(db, 4, 99, Day(12, 9), Day(1, 0, 0, 4)); // no KTB row: no event
    AddK(db, 5, 1, Day(20, 9), Day(1, 0, 0, 5));  // outside the range

    QTemporaryDir dir;
    const QString node = QStringLiteral("mag-002");
    const QString noise = QStringLiteral(
        "INSERT INTO SYM_DATA (NODE_LIST, TABLE_NAME, EVENT_TYPE, ROW_DATA, TRIGGER_HIST_ID, CHANNEL_ID, CREATE_TIME) "
        "VALUES ('%1', 'ARTICLE', '%2', 'ART_ID=''9''', 8, 'ch_art', CURRENT_TIMESTAMP)");
    db.Exec(noise.arg(node, QStringLiteral("R"))); // an earlier sending
    TFreinSymData frein(db);
    frein.Hold();
    const TEnvoiResultat r = Envoie(db, MouvementDebutPlage(Day(10)), MouvementFinPlage(Day(12)), node,
                                    dir.path() + QLatin1Char('/'), [&](TEnvoi &) {
        QTRY_VERIFY_WITH_TIMEOUT(frein.Held(), 8000);
        // Committed while the sending runs: a captured change, another
        // node's reload, and a reload of the same node from elsewhere.
        db.Exec(noise.arg(node, QStringLiteral("U")));
        db.Exec(noise.arg(QStringLiteral("mag-001"), QStringLiteral("R")));
        db.Exec(noise.arg(node, QStringLiteral("R")));
        frein.Release();
    });
    QCOMPARE(r.Issue, TIssueEnvoi::Termine);
    QVERIFY2(r.Message.isEmpty(), qPrintable(r.Message));
    QVERIFY(r.Lance);

    QStringList events = db.Rows(KSymData);
    QCOMPARE(events.size(), 10);
    events.erase(std::remove_if(events.begin(), events.end(),
                                [](const QString &e) { return e.contains(QLatin1String("ART_ID='9'")); }),
                 events.end());
    QCOMPARE(events, EventsOf(3, node) + EventsOf(1, node) + EventsOf(2, node));
    // Exactly its own six, though others were numbered among them.
    QCOMPARE(r.Crees.Nombre, 6);
    const QStringList bornes = db.Rows(QStringLiteral(
        "SELECT MIN(DATA_ID), MAX(DATA_ID) FROM SYM_DATA WHERE ROW_DATA <> 'ART_ID=''9'''"));
    QCOMPARE(bornes.value(0), QStringLiteral("%1|%2").arg(r.Crees.PremierDataId).arg(r.Crees.DernierDataId));
    QCOMPARE(r.Demande.Noeud, node);
    QVERIFY(r.Debut.isValid() && r.Fin >= r.Debut);
}

// Two sendings to two nodes that start together: the second one's
// installation finds the procedures the first one installed and leaves them
// (dropping and creating them again, each step committed on its own, would
// let the first one prepare its call in between and find none).
void TestMouvement::installKeepsPreparedSending()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, QDate(2026, 3, 10));
    QTemporaryDir dir;
    const QString programDir = dir.path() + QLatin1Char('/');
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), programDir));
    // A procedure created again gets a new number.
    const QString numeros = QStringLiteral("SELECT TRIM(RDB$PROCEDURE_NAME), RDB$PROCEDURE_ID FROM RDB$PROCEDURES "
                                           "WHERE RDB$PROCEDURE_NAME STARTING WITH 'IVRO_MVT_' ORDER BY 1");
    const QStringList avant = db.Rows(numeros);
    QCOMPARE(avant.size(), 4);
    auto cnx = FDataMod.Acces.getNewConnexion(SysdbaRef(db.Path()));
    auto query = FDataMod.Mouvement.NewMouvementSendQuery(cnx.get(), TSensMouvement::LameVersMag, MouvementDebutPlage(Day(10)),
                                                    MouvementFinPlage(Day(10)), QStringLiteral("mag-001"));
    query->Prepare();
    TOperationsMouvement::TMouvementInstallation rapport;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), programDir, &rapport));
    QCOMPARE(rapport.Erreurs, QStringList());
    QCOMPARE(db.Rows(numeros), avant);
    query->ExecSQL();
    query.reset();
    cnx.reset();
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA WHERE NODE_LIST = 'mag-001'")), 6);
}

void TestMouvement::sendingFailureKeepsMessage()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, QDate(2026, 3, 10));
    QTemporaryDir dir;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), dir.path() + QLatin1Char('/')));
    // Without its key generator every insert into SYM_DATA fails: the whole
    // range must fail, with nothing left behind.
    db.Exec(QStringLiteral("ALTER TRIGGER TRG_SYM_DATA_DATA_ID INACTIVE"));
    auto cnx = FDataMod.Acces.getNewConnexion(SysdbaRef(db.Path()));
    auto query = FDataMod.Mouvement.NewMouvementSendQuery(cnx.get(), TSensMouvement::LameVersMag, MouvementDebutPlage(Day(10)),
                                          MouvementFinPlage(Day(10)), QStringLiteral("mag-001"));
    const TWorkerOutcome out = RunWorker(cnx.get(), query.get());
    QCOMPARE(out.Resultat, -1);
    QVERIFY2(out.Message.contains(QLatin1String("DATA_ID")), qPrintable(out.Message));
    query.reset();
    cnx.reset();
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);
}

void TestMouvement::sendingOutcomes_data()
{
    QTest::addColumn<QString>("avant"); // before the evaluation
    QTest::addColumn<QString>("apres"); // after it
    QTest::addColumn<bool>("verrou");   // another sending holds the node
    QTest::addColumn<QString>("au");    // last day
    QTest::addColumn<int>("issue");
    QTest::addColumn<bool>("installe");
    QTest::addColumn<QString>("message");
    // What the operator holds beside the evaluation: more days of K rows
    // ("plage") or another database with K rows in the range ("base").
    QTest::addColumn<QString>("ailleurs");
    QTest::addColumn<int>("crees"); // events created
    const QString sansRouteur = QStringLiteral("DELETE FROM SYM_TRIGGER_ROUTER WHERE ROUTER_ID = 'lame_vers_mags'");
    QTest::newRow("procedure en echec") << QString() << "ALTER TRIGGER TRG_SYM_DATA_DATA_ID INACTIVE" << false
                                        << "10/03/2026" << int(TIssueEnvoi::Echec) << true << "DATA_ID" << "" << 0;
    QTest::newRow("aucun evenement cree") << QString() << sansRouteur << false << "10/03/2026"
                                          << int(TIssueEnvoi::Echec) << true
                                          << "Aucun événement créé pour le noeud mag-001 : les 3 enregistrements" << "" << 0;
    // The forecast says nothing would be created: refused, as for 0 rows.
    QTest::newRow("aucun evenement prevu") << sansRouteur << QString() << false << "10/03/2026"
                                           << int(TIssueEnvoi::Refuse) << false
                                           << "Aucun événement à créer (Lame vers Magasin)" << "" << 0;
    QTest::newRow("noeud deja en cours d'envoi") << QString() << QString() << true << "10/03/2026"
                                                 << int(TIssueEnvoi::Refuse) << false
                                                 << "Un envoi vers le noeud mag-001 est déjà en cours" << "" << 0;
    // The day after 31/12/9999 is no timestamp the server can hold.
    QTest::newRow("plage hors du serveur") << QString() << QString() << false << "31/12/9999"
                                           << int(TIssueEnvoi::Refuse) << false
                                           << "Plage de dates hors de ce que le serveur accepte" << "" << 0;
    // Built from its evaluation, a sending sends what was evaluated, on the
    // database evaluated: the forecast, whatever else the operator holds.
    QTest::newRow("plage plus large que l'evaluee") << QString() << QString() << false << "10/03/2026"
                                                    << int(TIssueEnvoi::Termine) << true << "" << "plage" << 6;
    QTest::newRow("autre base que l'evaluee") << QString() << QString() << false << "10/03/2026"
                                              << int(TIssueEnvoi::Termine) << true << "" << "base" << 6;
}

// How a sending ends: when it creates no event nothing of it remains;
// when it does, it created what its evaluation forecast on the database
// evaluated, and nothing elsewhere. The node is free again either way.
void TestMouvement::sendingOutcomes()
{
    QFETCH(QString, avant);
    QFETCH(QString, apres);
    QFETCH(bool, verrou);
    QFETCH(QString, au);
    QFETCH(int, issue);
    QFETCH(bool, installe);
    QFETCH(QString, message);
    QFETCH(QString, ailleurs);
    QFETCH(int, crees);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, QDate(2026, 3, 10));
    if (!avant.isEmpty())
        db.Exec(avant);
    const QString node = QStringLiteral("mag-001");
    const TDateTime deb = MouvementDebutPlage(Day(10));
    const TDateTime fin = MouvementFinPlage(TDateTime::FromQDate(QDate::fromString(au, QStringLiteral("dd/MM/yyyy"))));
    const auto evalue = [&](const TTestDatabase &aDb, const TDateTime &aFin) {
        return TEvaluation(DataMod->Mouvement, aDb.Path(), deb, aFin, TSensMouvement::LameVersMag).Executer();
    };
    std::unique_ptr<TTestDatabase> autreBase;
    if (ailleurs == QLatin1String("plage")) {
        // The 11th and 12th hold rows too: a sending of 10..12 would give 14 events.
        SiteFixture::AddKRows(db, 100, 2, Day(11, 9));
        SiteFixture::AddKRows(db, 200, 2, Day(12, 9));
        QCOMPARE(evalue(db, MouvementFinPlage(Day(12))).EvenementsPrevus().value_or(-1), qint64(14));
    } else if (ailleurs == QLatin1String("base")) {
        autreBase = std::make_unique<TTestDatabase>();
        SiteFixture::MakeSite(*autreBase, QStringLiteral("lame"), 5, QDate(2026, 3, 10));
        QCOMPARE(evalue(*autreBase, fin).EvenementsPrevus().value_or(-1), qint64(10));
    }
    const TEvaluationResultat eval = evalue(db, fin);
    if (!apres.isEmpty())
        db.Exec(apres);
    auto autre = db.Connect();
    std::unique_ptr<TEnvoi::TVerrou> tenu;
    if (verrou)
        tenu = std::make_unique<TEnvoi::TVerrou>(autre.get(), node);

    QTemporaryDir dir;
    TEnvoi envoi(DataMod->Mouvement, eval, node, dir.path() + QLatin1Char('/'));
    int termine = 0;
    QObject::connect(&envoi, &TEnvoi::Termine, &envoi, [&termine] { ++termine; });
    if (envoi.Demarrer())
        QTRY_VERIFY_WITH_TIMEOUT(termine > 0, 60000);
    QCOMPARE(termine, 1);
    const TEnvoiResultat &r = envoi.Resultat();
    QCOMPARE(int(r.Issue), issue);
    QVERIFY2(r.Message.contains(message), qPrintable(r.Message));
    QCOMPARE(r.Crees.Nombre, crees);
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), crees);
    if (crees > 0) {
        QCOMPARE(eval.EvenementsPrevus().value_or(-1), qint64(crees));
        QCOMPARE(r.Demande.Base, db.Path());
        QVERIFY(r.Demande.Debut == deb && r.Demande.Fin == fin);
    }
    if (autreBase) {
        QCOMPARE(autreBase->Count(QStringLiteral("SYM_DATA")), 0);
        QCOMPARE(autreBase->Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME STARTING 'IVRO_MVT'")), 0);
    }
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME STARTING 'IVRO_MVT'")) > 0, installe);
    QCOMPARE(QFile::exists(dir.path() + QStringLiteral("/ivro_mvt.sql")), installe);
    tenu.reset();
    TEnvoi::TVerrou libre(autre.get(), node);
}

// A cancellation reaches the range procedure while it runs: nothing is
// kept, and the node is free for the next sending.
void TestMouvement::sendingCancelled()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, QDate(2026, 3, 10));
    TFreinSymData frein(db);
    frein.Hold();
    QTemporaryDir dir;
    const TEnvoiResultat r = Envoie(db, MouvementDebutPlage(Day(10)), MouvementFinPlage(Day(10)), QStringLiteral("mag-001"),
                                    dir.path() + QLatin1Char('/'), [&](TEnvoi &aEnvoi) {
        QTRY_VERIFY_WITH_TIMEOUT(frein.Held(), 8000);
        QVERIFY(aEnvoi.Cancel());
    });
    frein.Release();
    QCOMPARE(r.Issue, TIssueEnvoi::Interrompu);
    QCOMPARE(r.Message, QStringLiteral("Envoi interrompu : aucun événement créé."));
    QCOMPARE(r.Crees.Nombre, 0);
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);
    auto cnx = db.Connect();
    TEnvoi::TVerrou libre(cnx.get(), QStringLiteral("mag-001"));
}

// A sending goes only to a node of the group the direction's router sends
// to, as SYM_ROUTER says: the events carry the node, and the router keeps
// only the nodes of its target group.
void TestMouvement::sendingTargets_data()
{
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("cible"); // the target node's group
    QTest::addColumn<QString>("sql");   // run before the check
    QTest::addColumn<QString>("refus"); // empty: accepted
    QTest::newRow("central to shop") << "lame" << "mags" << "" << "";
    QTest::newRow("shop to central") << "mags" << "lame" << "" << "";
    QTest::newRow("shop to shop") << "mags" << "mags" << ""
                                  << "Le noeud cible est du groupe \"mags\" ; le sens Magasin vers Lame n'envoie "
                                     "qu'au groupe \"lame\" (routeur \"mags_vers_lame\")";
    QTest::newRow("node of an unknown group") << "lame" << "caisses" << ""
                                              << "n'envoie qu'au groupe \"mags\"";
    // The target group is read, not assumed.
    QTest::newRow("router sending elsewhere") << "lame" << "mags"
                                              << "UPDATE SYM_ROUTER SET TARGET_NODE_GROUP_ID = 'caisses' "
                                                 "WHERE ROUTER_ID = 'lame_vers_mags'"
                                              << "n'envoie qu'au groupe \"caisses\"";
    QTest::newRow("router missing") << "lame" << "mags" << "DELETE FROM SYM_ROUTER"
                                    << "Le routeur \"lame_vers_mags\" du sens Lame vers Magasin est absent de SYM_ROUTER";
}

void TestMouvement::sendingTargets()
{
    QFETCH(QString, local);
    QFETCH(QString, cible);
    QFETCH(QString, sql);
    QFETCH(QString, refus);
    TTestDatabase db;
    SiteFixture::MakeSite(db, local, 0, QDate(2026, 3, 10));
    SiteFixture::AddRemoteNode(db, QStringLiteral("cible"), cible, TDateTime::Now());
    if (!sql.isEmpty())
        db.Exec(sql);
    const TSensMouvement sens = SensDuGroupe(local);
    const QString texte = MouvementRefusCible(sens, DataMod->Mouvement.MouvementGroupeCible(db.Path(), sens), QStringLiteral("cible"), cible);
    if (refus.isEmpty())
        QCOMPARE(texte, QString());
    else
        QVERIFY2(texte.contains(refus), qPrintable(texte));
}

// Another sending's hold on the node's row, by an insert or an update not
// committed yet, refuses a sending at once as busy, never after the lock
// wait with a server error.
void TestMouvement::guardRefusedAtOnce_data()
{
    QTest::addColumn<QString>("tenue");
    QTest::newRow("row inserted, not committed") << "INSERT INTO IVRO_MVT_VERROU (NODE_ID) VALUES ('mag-001')";
    QTest::newRow("row updated, not committed") << "UPDATE IVRO_MVT_VERROU SET DEBUT = CURRENT_TIMESTAMP "
                                                   "WHERE NODE_ID = 'mag-001'";
}

void TestMouvement::guardRefusedAtOnce()
{
    QFETCH(QString, tenue);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, QDate(2026, 3, 10));
    db.Exec(QStringLiteral("CREATE TABLE IVRO_MVT_VERROU (NODE_ID VARCHAR(50) NOT NULL PRIMARY KEY, DEBUT TIMESTAMP)"));
    if (tenue.startsWith(QLatin1String("UPDATE")))
        db.Exec(QStringLiteral("INSERT INTO IVRO_MVT_VERROU (NODE_ID) VALUES ('mag-001')"));
    auto autre = db.Connect();
    TDbTransaction transaction(autre.get());
    transaction.StartTransaction();
    TDbQuery tient(autre.get(), &transaction);
    tient.SQL() << tenue;
    tient.ExecSQL();

    auto cnx = db.Connect();
    try {
        TEnvoi::TVerrou verrou(cnx.get(), QStringLiteral("mag-001"));
        QFAIL("the guard was taken");
    } catch (const EEnvoiRefuse &e) {
        // Then who holds it, where the server can tell.
        QVERIFY2(e.Message().startsWith(MouvementTexteEnvoiDejaEnCours(QStringLiteral("mag-001"))), qPrintable(e.Message()));
    }
    transaction.Rollback();
    TEnvoi::TVerrou libre(cnx.get(), QStringLiteral("mag-001"));
}

void TestMouvement::installedScriptFollowsKeyNamesType_data()
{
    QTest::addColumn<bool>("varchar");
    QTest::newRow("BLOB (Firebird)") << false;
    QTest::newRow("VARCHAR(4096) (InterBase)") << true;
}

// Whatever the column type, the installed procedures insert exactly the
// events the script as shipped inserts, in the same order.
void TestMouvement::installedScriptFollowsKeyNamesType()
{
    QFETCH(bool, varchar);
    TTestDatabase db;
    if (varchar)
        MakeKeyNamesVarchar(db);
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, QDate(2026, 3, 10));
    // A second capture definition of K, without key names.
    db.Exec(QStringLiteral(
        "INSERT INTO SYM_TRIGGER (TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, SYNC_KEY_NAMES, CREATE_TIME, "
        "LAST_UPDATE_TIME) VALUES ('K_BIS', 'K', 'ch_k2', NULL, CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)\n^\n"
        "INSERT INTO SYM_TRIGGER_ROUTER (TRIGGER_ID, ROUTER_ID, CREATE_TIME, LAST_UPDATE_TIME) "
        "VALUES ('K_BIS', 'lame_vers_mags', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)\n^\n"
        "INSERT INTO SYM_TRIGGER_HIST (TRIGGER_HIST_ID, TRIGGER_ID, SOURCE_TABLE_NAME, COLUMN_NAMES, "
        "PK_COLUMN_NAMES, LAST_TRIGGER_BUILD_REASON, CREATE_TIME) "
        "VALUES (9, 'K_BIS', 'K', 'K_ID', 'K_ID', 'N', CURRENT_TIMESTAMP)\n^\n"));
    AddK(db, 1, 1, Day(10, 9), Day(1, 0, 0, 2));
    AddK(db, 2, 1, Day(10, 9), Day(1, 0, 0, 1));
    AddK(db, 3, 99, Day(10, 9), Day(1, 0, 0, 3)); // no KTB row
    AddK(db, 4, 1, Day(10, 9), Day(1, 0, 0, 4));

    const QStringList shipped = SplitTextLines(DecodeWindowsText(TOperationsMouvement::MouvementScriptResource()));
    const QStringList nettoye = MouvementNettoyageExact(shipped);
    const QStringList installed = FDataMod.Mouvement.MouvementScriptPourBase(db.Path(), shipped);
    QCOMPARE(FDataMod.Mouvement.SyncKeyNamesEstBlob(db.Path()), !varchar);
    QCOMPARE(installed.size(), nettoye.size());
    int changed = 0;
    for (int i = 0; i < nettoye.size(); ++i) {
        if (installed[i] == nettoye[i])
            continue;
        ++changed;
        QCOMPARE(installed[i], QString(nettoye[i]).replace(QStringLiteral("SYNC_KEY_NAMES ||"),
                                                           QStringLiteral("CAST(SYNC_KEY_NAMES AS VARCHAR(4096)) ||")));
    }
    QCOMPARE(changed, varchar ? 0 : 4);

    QString message;
    QVERIFY(FDataMod.Acces.ExecuteScript(db.Path(), shipped));
    QCOMPARE(Send(FDataMod, db, Day(10), message), 0);
    const QStringList fromShipped = db.Rows(KSymDataRelative);
    db.Exec(QStringLiteral("DELETE FROM SYM_DATA"));

    QTemporaryDir dir;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), dir.path() + QLatin1Char('/')));
    QCOMPARE(Send(FDataMod, db, Day(10), message), 0);
    const QStringList fromInstalled = db.Rows(KSymDataRelative);
    QCOMPARE(fromInstalled, fromShipped);
    // Three events for each of the three K rows with a table: not vacuous.
    QCOMPARE(fromInstalled.size(), 9);
    QCOMPARE(fromInstalled.filter(QStringLiteral("|K|R|NULL||")).size(), 3);
    QVERIFY(fromInstalled.first().startsWith(QStringLiteral("0|mag-001|")));
    QVERIFY(fromInstalled.contains(QStringLiteral("8|mag-001|ARTICLE|R|texte|ART_ID='4'|8|ch_art")));
    // The per-row procedures follow the column's type.
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_SOURCE CONTAINING 'AS VARCHAR(4096)' "
                                     "AND RDB$PROCEDURE_NAME IN ('IVRO_MVT_LAME2MAG', 'IVRO_MVT_MAG2LAME')")),
             varchar ? 0 : 2);
}

// Key names that don't fit the text they are read as fail the sending
// rather than send cut keys.
void TestMouvement::keyNamesTooLongFailTheSending()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 2, QDate(2026, 3, 10));
    db.Exec(QStringLiteral("UPDATE SYM_TRIGGER SET SYNC_KEY_NAMES = LPAD('K_ID', 4097, 'X') WHERE TRIGGER_ID = 'K'"));
    QTemporaryDir dir;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), dir.path() + QLatin1Char('/')));
    QString message;
    QCOMPARE(Send(FDataMod, db, Day(10), message), -1);
    QVERIFY2(message.contains(QLatin1String("truncation")), qPrintable(message));
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);

    // At 4096 characters it still goes through, whole.
    db.Exec(QStringLiteral("UPDATE SYM_TRIGGER SET SYNC_KEY_NAMES = LPAD('K_ID', 4096, 'X') WHERE TRIGGER_ID = 'K'"));
    QCOMPARE(Send(FDataMod, db, Day(10), message), 0);
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA WHERE CHAR_LENGTH(ROW_DATA) = 4096 + 4")), 2);
}

void TestMouvement::resolvedDefinitionsGiveShippedEvents_data()
{
    QTest::addColumn<int>("sens");
    QTest::addColumn<bool>("varchar");
    QTest::newRow("lame vers magasin, BLOB") << int(TSensMouvement::LameVersMag) << false;
    QTest::newRow("magasin vers lame, BLOB") << int(TSensMouvement::MagVersLame) << false;
    QTest::newRow("lame vers magasin, VARCHAR") << int(TSensMouvement::LameVersMag) << true;
    QTest::newRow("magasin vers lame, VARCHAR") << int(TSensMouvement::MagVersLame) << true;
}

// The installed range procedures give exactly the rows of the procedures
// as shipped, in their order, with one CREATE_TIME; twice in a row too (the
// definitions of one call are not those of the next).
void TestMouvement::resolvedDefinitionsGiveShippedEvents()
{
    QFETCH(int, sens);
    QFETCH(bool, varchar);
    const auto s = TSensMouvement(sens);
    TTestDatabase db;
    if (varchar)
        MakeKeyNamesVarchar(db);
    MakeExactnessSite(db);
    const TDateTime day = Day(10);
    QString message;

    QVERIFY(FDataMod.Acces.ExecuteScript(db.Path(), FDataMod.Mouvement.MouvementScriptPourBase(db.Path(), SplitTextLines(DecodeWindowsText(
                                                                                      TOperationsMouvement::MouvementScriptResource())))));
    QCOMPARE(Send(FDataMod, db, day, message, s), 0);
    const QStringList shipped = db.Rows(KSymDataRelative);
    db.Exec(QStringLiteral("DELETE FROM SYM_DATA"));

    QTemporaryDir dir;
    TOperationsMouvement::TMouvementInstallation rapport;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), dir.path() + QLatin1Char('/'), &rapport));
    QCOMPARE(rapport.Remarque, QString());
    QVERIFY(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = '%1' AND RDB$PROCEDURE_SOURCE "
                                    "CONTAINING '%2'")
                         .arg(InstructionEnvoi(s).mid(18, 22), MouvementTableDefinitions))
            == 1);
    QCOMPARE(Send(FDataMod, db, day, message, s), 0);
    QCOMPARE(db.Rows(KSymDataRelative), shipped);
    QCOMPARE(db.Scalar(QStringLiteral("SELECT COUNT(DISTINCT CREATE_TIME) FROM SYM_DATA")).toInt(), 1);
    // Not vacuous: every kind of row is there.
    QVERIFY(shipped.size() > 60);
    QVERIFY(!shipped.filter(QStringLiteral("|K|R|NULL||9|ch_k2")).isEmpty());
    QVERIFY(!shipped.filter(QStringLiteral("|ARTICLE|R|texte|ART_ID,ART_NOM='")).isEmpty());
    QCOMPARE(shipped.filter(QStringLiteral("|TICKET|")).isEmpty(), s == TSensMouvement::LameVersMag);
    QVERIFY(shipped.filter(QStringLiteral("|STOCK|")).isEmpty());

    db.Exec(QStringLiteral("DELETE FROM SYM_DATA"));
    auto cnx = db.Connect();
    cnx->StartTransaction();
    for (int fois = 0; fois < 2; ++fois) {
        TDbQuery appel(cnx.get());
        appel.SQL() << InstructionEnvoi(s);
        appel.ParamByName(QStringLiteral("DEB")).SetAsDateTime(MouvementDebutPlage(day));
        appel.ParamByName(QStringLiteral("FIN")).SetAsDateTime(MouvementFinPlage(day));
        appel.ParamByName(QStringLiteral("NODE")).SetAsString(QStringLiteral("mag-001"));
        appel.ExecSQL();
    }
    cnx->Commit();
    // The second call's rows follow the first's, the same again.
    QStringList deuxFois = shipped;
    for (const QString &row : shipped)
        deuxFois << QString::number(row.section(QLatin1Char('|'), 0, 0).toInt() + shipped.size()) + QLatin1Char('|')
                        + row.section(QLatin1Char('|'), 1);
    QCOMPARE(db.Rows(KSymDataRelative), deuxFois);
}

// Where the temporary table can't be had (here a table of that name that
// is not ours), the range procedures stay as shipped and the report says
// so; the table is left as it is.
void TestMouvement::withoutTemporaryTableShippedProcedures()
{
    TTestDatabase db;
    MakeExactnessSite(db);
    db.Exec(QStringLiteral("CREATE TABLE %1 (X INTEGER)").arg(MouvementTableDefinitions));
    QTemporaryDir dir;
    TOperationsMouvement::TMouvementInstallation rapport;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), dir.path() + QLatin1Char('/'), &rapport));
    QVERIFY2(rapport.Remarque.startsWith(QStringLiteral("Table temporaire IVRO_MVT_DEFINITIONS indisponible")),
             qPrintable(rapport.Remarque));
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_SOURCE CONTAINING 'IVRO_MVT_LAME2MAG('")), 1);
    QCOMPARE(db.Count(QStringLiteral("RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = '%1'").arg(MouvementTableDefinitions)), 1);
    QString message;
    QCOMPARE(Send(FDataMod, db, Day(10), message), 0);
    QVERIFY(db.Count(QStringLiteral("SYM_DATA")) > 60);
}

namespace {
std::atomic<int> GAttachements{0};
void CompteAttachement()
{
    ++GAttachements;
}
} // namespace

// A sending works on one attachment and reads its progress on a second.
void TestMouvement::sendingAttachesTwice()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, QDate(2026, 3, 10));
    const TDateTime deb = MouvementDebutPlage(Day(10));
    const TDateTime fin = MouvementFinPlage(Day(10));
    const TEvaluationResultat eval = TEvaluation(DataMod->Mouvement, db.Path(), deb, fin, TSensMouvement::LameVersMag).Executer();
    QTemporaryDir dir;
    TEnvoi envoi(DataMod->Mouvement, eval, QStringLiteral("mag-001"), dir.path() + QLatin1Char('/'));
    QEventLoop loop;
    QObject::connect(&envoi, &TEnvoi::Termine, &loop, &QEventLoop::quit);
    GAttachements = 0;
    SetAfterAttachHook(CompteAttachement);
    if (envoi.Demarrer())
        loop.exec();
    SetAfterAttachHook(nullptr);
    QCOMPARE(envoi.Resultat().Issue, TIssueEnvoi::Termine);
    QCOMPARE(envoi.Resultat().Crees.Nombre, 6);
    QCOMPARE(GAttachements.load(), 2);
}

QTEST_GUILESS_MAIN(TestMouvement)
#include "tst_mouvement.moc"
