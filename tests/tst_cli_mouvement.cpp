// ivromvt-cli noeuds, evaluer and envoyer, run as a separate process
// against real site databases.
#include "CliRun.h"
#include "testdb/FreinSymData.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

using TRun = TCliRun;

QJsonObject Json(const TRun &aRun)
{
    return QJsonDocument::fromJson(aRun.Out.toUtf8()).object();
}

// The fixture's K rows are updated at noon on this day.
const QDate KDay(2026, 3, 10);

} // namespace

class TestCliMouvement : public QObject
{
    Q_OBJECT

private slots:
    void noeuds();
    void noeudsWithoutReplicationTables();
    void evaluerWithoutReplicationTables();
    void evaluer_data();
    void evaluer();
    void evaluerBadDate();
    void evaluerKtbIdAbsent();
    void envoyer();
    void envoyerRefused_data();
    void envoyerRefused();
    void envoyerFailureIsReported_data();
    void envoyerFailureIsReported();
    void envoyerInterrompu_data();
    void envoyerInterrompu();
    void envoyerUnSeulParNoeud();
    void envoyerDeuxNoeudsEnsemble();
    void envoyerCibles_data();
    void envoyerCibles();
    void envoyerAvertit_data();
    void envoyerAvertit();
    void evaluerSansSens();
};

void TestCliMouvement::noeuds()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("mags"), 0, KDay);
    db.Exec(QStringLiteral("UPDATE SYM_NODE_HOST SET HEARTBEAT_TIME = TIMESTAMP '2026-12-09 10:30:00' "
                           "WHERE NODE_ID = 'mag-001'"));
    db.Exec(QStringLiteral("UPDATE SYM_NODE_HOST SET HEARTBEAT_TIME = TIMESTAMP '2026-12-08 18:00:05' "
                           "WHERE NODE_ID = 'mag-002'"));

    const TRun text = RunCli({QStringLiteral("noeuds"), db.Path()});
    QCOMPARE(text.Code, 0);
    QVERIFY2(text.Out.contains(QLatin1String("Noeud local : serveur (groupe mags)")), qPrintable(text.Out));
    QVERIFY(text.Out.contains(QLatin1String("Sens : Magasin vers Lame")));
    QVERIFY(text.Out.contains(QLatin1String("09/12/2026 10:30:00")));

    const TRun json = RunCli({QStringLiteral("noeuds"), db.Path(), QStringLiteral("--json")});
    QCOMPARE(json.Code, 0);
    const QJsonObject o = Json(json);
    QCOMPARE(o.value(QLatin1String("noeud_local")).toObject().value(QLatin1String("node_id")).toString(),
             QStringLiteral("serveur"));
    QCOMPARE(o.value(QLatin1String("sens")).toString(), QStringLiteral("Magasin vers Lame"));
    QStringList remotes;
    for (const QJsonValue &v : o.value(QLatin1String("noeuds_distants")).toArray())
        remotes << v.toObject().value(QLatin1String("node_id")).toString() + QLatin1Char('/')
                       + v.toObject().value(QLatin1String("heartbeat_time")).toString();
    remotes.sort();
    QCOMPARE(remotes, (QStringList{"mag-001/2026-12-09T10:30:00", "mag-002/2026-12-08T18:00:05"}));
}

void TestCliMouvement::noeudsWithoutReplicationTables()
{
    TTestDatabase db(TTestDatabase::TSchema::RetailOnly);
    const TRun r = RunCli({QStringLiteral("noeuds"), db.Path()});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.startsWith(QLatin1String("Erreur : ")), qPrintable(r.Err));
    QVERIFY(r.Err.contains(QLatin1String("SYM_NODE")));
}

// The replication's tables missing: said in French before the server's
// own words.
void TestCliMouvement::evaluerWithoutReplicationTables()
{
    TTestDatabase db(TTestDatabase::TSchema::RetailOnly);
    const TRun r = RunCli({QStringLiteral("evaluer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                           QStringLiteral("--au"), QStringLiteral("10/03/2026")});
    QVERIFY2((r.Out + r.Err).contains(QStringLiteral("Table ou procédure inconnue dans cette base")),
             qPrintable(r.Out + r.Err));
}

void TestCliMouvement::evaluer_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("du");
    QTest::addColumn<QString>("au");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("envoyable");
    QTest::newRow("130 rows") << 130 << "10/03/2026" << "10/03/2026" << 130 << true;
    QTest::newRow("nothing in range") << 130 << "11/03/2026" << "12/03/2026" << 0 << false;
    QTest::newRow("end before start") << 130 << "10/03/2026" << "09/03/2026" << 0 << false;
}

void TestCliMouvement::evaluer()
{
    QFETCH(int, rows);
    QFETCH(QString, du);
    QFETCH(QString, au);
    QFETCH(int, count);
    QFETCH(bool, envoyable);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), rows, KDay);
    const QStringList args{QStringLiteral("evaluer"), db.Path(), QStringLiteral("--du"), du, QStringLiteral("--au"), au};

    const TRun text = RunCli(args);
    QCOMPARE(text.Code, 0);
    QVERIFY2(text.Out.contains(QStringLiteral("%1 Enregistrements \"K\" à repousser donc %2 au total.")
                                   .arg(count).arg(count * 2)),
             qPrintable(text.Out));
    QVERIFY(text.Out.contains(envoyable ? QLatin1String("Envoi possible.") : QLatin1String("Envoi impossible.")));

    const TRun json = RunCli(args + QStringList{QStringLiteral("--json")});
    QCOMPARE(json.Code, 0);
    const QJsonObject o = Json(json);
    QCOMPARE(o.value(QLatin1String("quantite")).toInt(), count);
    QCOMPARE(o.value(QLatin1String("evenements")).toInt(), count * 2);
    QCOMPARE(o.value(QLatin1String("envoi_possible")).toBool(), envoyable);
    if (count == 130)
        QCOMPARE(o.value(QLatin1String("duree_estimee")).toString(), QStringLiteral("00:04"));
    // Days and instants in ISO 8601.
    const QDate jourDu = QDate::fromString(du, QStringLiteral("dd/MM/yyyy"));
    const QDate jourAu = QDate::fromString(au, QStringLiteral("dd/MM/yyyy"));
    QCOMPARE(o.value(QLatin1String("du")).toString(), jourDu.toString(Qt::ISODate));
    QCOMPARE(o.value(QLatin1String("debut")).toString(), jourDu.toString(Qt::ISODate) + QStringLiteral("T00:00:00"));
    QCOMPARE(o.value(QLatin1String("fin")).toString(),
             jourAu.addDays(1).toString(Qt::ISODate) + QStringLiteral("T00:00:00"));
}

void TestCliMouvement::evaluerBadDate()
{
    TTestDatabase db;
    const TRun r = RunCli({QStringLiteral("evaluer"), db.Path(), QStringLiteral("--du"), QStringLiteral("2026-03-10"),
                        QStringLiteral("--au"), QStringLiteral("10/03/2026")});
    QCOMPARE(r.Code, 2);
    QVERIFY2(r.Err.contains(QLatin1String("JJ/MM/AAAA")), qPrintable(r.Err));
}

// A K row whose KTB_ID is NULL is shown without one, not as table 0.
void TestCliMouvement::evaluerKtbIdAbsent()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 2, KDay);
    db.Exec(QStringLiteral("INSERT INTO K (K_ID, KTB_ID, K_INSERTED, K_UPDATED) "
                           "VALUES (500, NULL, '2026-03-10 08:00:00', '2026-03-10 08:00:00')"));
    const QStringList args{QStringLiteral("evaluer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                           QStringLiteral("--au"), QStringLiteral("10/03/2026")};
    const TRun text = RunCli(args);
    QCOMPARE(text.Code, 0);
    const QStringList lignes = text.Out.split(QLatin1Char('\n')).filter(QStringLiteral("(sans nom)"));
    QCOMPARE(lignes.size(), 1);
    QVERIFY2(lignes[0].simplified().startsWith(QLatin1String("(sans nom) 1 ")), qPrintable(text.Out));

    const TRun json = RunCli(args + QStringList{QStringLiteral("--json")});
    QCOMPARE(json.Code, 0);
    const QJsonArray tables = Json(json).value(QLatin1String("tables")).toArray();
    QCOMPARE(tables.size(), 2);
    QCOMPARE(tables[0].toObject().value(QLatin1String("ktb_id")).toInt(), 1);
    QVERIFY(tables[1].toObject().contains(QLatin1String("ktb_id")));
    QVERIFY(tables[1].toObject().value(QLatin1String("ktb_id")).isNull());
    QCOMPARE(tables[1].toObject().value(QLatin1String("lignes")).toInt(), 1);
}

void TestCliMouvement::envoyer()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    // A K row without its table's row: counted, but it gives no event.
    SiteFixture::AddKRows(db, 100, 1, TDateTime::FromQDate(KDay), 99);
    const QStringList args{QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                           QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"),
                           QStringLiteral("mag-002"), QStringLiteral("--oui")};
    TRun r = RunCli(args);
    QVERIFY2(r.Code == 0, qPrintable(r.Err));
    QVERIFY2(r.Out.contains(QStringLiteral("Traitement terminé, Ivro va maintenant repousser les données vers le noeud "
                                          "mag-002")),
             qPrintable(r.Out));
    QVERIFY2(r.Out.contains(QStringLiteral("Événements créés : 6 (DATA_ID ")), qPrintable(r.Out));
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA WHERE NODE_LIST = 'mag-002' AND EVENT_TYPE = 'R'")), 6);
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 6);

    // The figures are the events created by this sending, not the promise.
    r = RunCli(args + QStringList{QStringLiteral("--json")});
    QVERIFY2(r.Code == 0, qPrintable(r.Err));
    const QJsonObject o = Json(r);
    QCOMPARE(o.value(QLatin1String("evenements_prevus")).toInt(), 8);
    QCOMPARE(o.value(QLatin1String("evenements")).toInt(), 6);
    const qint64 premier = qint64(o.value(QLatin1String("premier_data_id")).toDouble());
    QCOMPARE(qint64(o.value(QLatin1String("dernier_data_id")).toDouble()), premier + 5);
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA WHERE DATA_ID >= %1").arg(premier)), 6);

    // One measure of the duration: the sending's result and its journal line.
    r = RunCli({QStringLiteral("journal"), db.Path(), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    const QJsonObject ligne = QJsonDocument::fromJson(r.Out.toUtf8()).array().first().toObject();
    QCOMPARE(qint64(ligne.value(QLatin1String("premier_data_id")).toDouble()), premier);
    QCOMPARE(ligne.value(QLatin1String("duree")).toString(), o.value(QLatin1String("duree")).toString());
}

void TestCliMouvement::envoyerRefused_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("du");
    QTest::addColumn<QString>("au");
    QTest::addColumn<QString>("noeud");
    QTest::addColumn<bool>("oui");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("code");
    const QString au = QStringLiteral("11/03/2026");
    QTest::newRow("no confirmation without a terminal") << "lame" << "10/03/2026" << au << "mag-001" << false << "--oui" << 2;
    QTest::newRow("empty range") << "lame" << "11/03/2026" << au << "mag-001" << true << "rien à envoyer" << 1;
    QTest::newRow("unknown node") << "lame" << "10/03/2026" << au << "mag-999" << true << "Noeud inconnu" << 1;
    QTest::newRow("no direction") << "autre" << "10/03/2026" << au << "mag-001" << true << "Sens du mouvement inconnu" << 1;
    // Its end, 00:00:00 of the next day, is beyond what the server holds.
    QTest::newRow("range beyond the server") << "lame" << "10/03/2026" << "31/12/9999" << "mag-001" << true
                                             << "Plage de dates hors de ce que le serveur accepte" << 1;
}

void TestCliMouvement::envoyerRefused()
{
    QFETCH(QString, group);
    QFETCH(QString, du);
    QFETCH(QString, au);
    QFETCH(QString, noeud);
    QFETCH(bool, oui);
    QFETCH(QString, message);
    QFETCH(int, code);
    TTestDatabase db;
    SiteFixture::MakeSite(db, group, 3, KDay);
    QStringList args{QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), du, QStringLiteral("--au"), au,
                     QStringLiteral("--noeud"), noeud};
    if (oui)
        args << QStringLiteral("--oui");
    const TRun r = RunCli(args);
    QCOMPARE(r.Code, code);
    QVERIFY2(r.Err.contains(message), qPrintable(r.Err));
    // Refused before anything was installed or sent.
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME LIKE 'IVRO_MVT%'")), 0);
}

void TestCliMouvement::envoyerFailureIsReported_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("messages");
    // Every insert into SYM_DATA fails inside the procedure.
    QTest::newRow("procedure en echec") << "ALTER TRIGGER TRG_SYM_DATA_DATA_ID INACTIVE"
                                        << QStringList{"L'envoi a échoué", "DATA_ID"};
    // Old procedures that a procedure of the site calls can't be replaced:
    // the stand-in would be called and create nothing.
    QTest::newRow("installation en echec")
        << "CREATE PROCEDURE IVRO_MVT_LAME2MAG_NODE (A TIMESTAMP, B TIMESTAMP, C VARCHAR(50)) AS BEGIN END\n^\n"
           "CREATE PROCEDURE P_APPEL AS BEGIN EXECUTE PROCEDURE IVRO_MVT_LAME2MAG_NODE(NULL, NULL, NULL); END\n^\n"
        << QStringList{"Échec de l'installation des procédures de mouvement, rien n'a été envoyé",
                       "étape 1 (DROP PROCEDURE IVRO_MVT_LAME2MAG_NODE;)", "étape 6 (CREATE PROCEDURE IVRO_MVT_LAME2MAG_NODE ("};
    // Nothing routed from the central server: rows counted, no event
    // forecast, so nothing is installed nor run.
    QTest::newRow("aucun evenement") << "DELETE FROM SYM_TRIGGER_ROUTER WHERE ROUTER_ID = 'lame_vers_mags'"
                                     << QStringList{"Envoi refusé. Aucun événement à créer (Lame vers Magasin) : les "
                                                    "3 enregistrements \"K\"",
                                                    "\"lame_vers_mags\""};
}

void TestCliMouvement::envoyerFailureIsReported()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, messages);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    db.Exec(setup);
    for (const QString &json : {QString(), QStringLiteral("--json")}) {
        QStringList args{QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                         QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"),
                         QStringLiteral("mag-001"), QStringLiteral("--oui")};
        if (!json.isEmpty())
            args << json;
        const TRun r = RunCli(args);
        QCOMPARE(r.Code, 1);
        for (const QString &m : messages)
            QVERIFY2(r.Err.contains(m), qPrintable(r.Err));
        QVERIFY(!r.Out.contains(QStringLiteral("Traitement terminé")));
        QVERIFY(!r.Out.contains(QLatin1String("evenements")));
        QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);
    }
}

void TestCliMouvement::envoyerInterrompu_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

// A signal while the range procedure runs cancels it: the process ends on
// its own, says so, and the statement leaves nothing behind. Tried at a few
// moments of the sending.
void TestCliMouvement::envoyerInterrompu()
{
    QFETCH(int, signal);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 199999, KDay);
    const QString enCours = QStringLiteral(
        "MON$STATEMENTS WHERE MON$STATE = 1 AND MON$ATTACHMENT_ID <> CURRENT_CONNECTION "
        "AND MON$SQL_TEXT CONTAINING 'IVRO_MVT_LAME2MAG_NODE'");
    for (int delai : {0, 150, 600}) {
        // The previous run's statement may still be ending on the server
        // after its process has gone: it must not pass for this run's.
        QTRY_VERIFY_WITH_TIMEOUT(db.Count(enCours) == 0, 30000);
        QProcess p;
        p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
        p.setArguments({QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                        QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"),
                        QStringLiteral("mag-001"), QStringLiteral("--oui")});
        p.setStandardInputFile(QProcess::nullDevice());
        p.start();
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(db.Count(enCours) == 1 || p.state() == QProcess::NotRunning, 60000);
        QTest::qWait(delai);
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(30000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 130, qPrintable(err));
        // The worker ended on the server's cancellation, and nothing else was said.
        QCOMPARE(err, QStringLiteral("Envoi interrompu : aucun événement créé.\n"));
        QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);
    }
}

// Two sendings to one node at once: the second is refused at once, the
// first counts exactly its own events; a process that dies while sending
// leaves the node free.
void TestCliMouvement::envoyerUnSeulParNoeud()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    TFreinSymData frein(db);
    const QStringList args{QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                           QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"),
                           QStringLiteral("mag-001"), QStringLiteral("--oui")};
    const auto lance = [&](QProcess &aProcess) {
        aProcess.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
        aProcess.setArguments(args);
        aProcess.setStandardInputFile(QProcess::nullDevice());
        aProcess.start();
        QVERIFY(aProcess.waitForStarted());
    };

    for (const bool tue : {false, true}) {
        frein.Hold();
        QProcess premier;
        lance(premier);
        // The first is in its range procedure, holding the node.
        QTRY_VERIFY_WITH_TIMEOUT(frein.Held() || premier.state() == QProcess::NotRunning, 8000);
        QCOMPARE(premier.state(), QProcess::Running);
        if (tue) {
            ::kill(pid_t(premier.processId()), SIGKILL);
            QVERIFY(premier.waitForFinished(10000));
            frein.Release();
            break;
        }
        const TRun second = RunCli(args);
        QCOMPARE(second.Code, 1);
        QVERIFY2(second.Err.contains(QStringLiteral("Un envoi vers le noeud mag-001 est déjà en cours sur cette base.")),
                 qPrintable(second.Err));
        // Who holds it, as the server knows it.
        QVERIFY2(second.Err.contains(QStringLiteral("processus %1").arg(premier.processId())), qPrintable(second.Err));
        frein.Release();
        QVERIFY(premier.waitForFinished(60000));
        const QString out = QString::fromUtf8(premier.readAllStandardOutput());
        QVERIFY2(premier.exitCode() == 0, qPrintable(QString::fromUtf8(premier.readAllStandardError())));
        QVERIFY2(out.contains(QStringLiteral("Événements créés : 6 (DATA_ID ")), qPrintable(out));
        QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 6);
    }

    // The server drops the dead process's lock with its attachment; until
    // it has noticed, the node is said to be busy.
    QElapsedTimer attente;
    attente.start();
    TRun apres = RunCli(args);
    while (apres.Code == 1 && apres.Err.contains(QLatin1String("déjà en cours")) && attente.elapsed() < 30000) {
        QTest::qWait(500);
        apres = RunCli(args);
    }
    QVERIFY2(apres.Code == 0, qPrintable(apres.Err));
    QVERIFY2(apres.Out.contains(QStringLiteral("Événements créés : 6 (DATA_ID ")), qPrintable(apres.Out));
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 12);
}

// Sendings to two nodes started together install the procedures one after
// the other: each creates its events, none fails its installation.
void TestCliMouvement::envoyerDeuxNoeudsEnsemble()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    constexpr int KTours = 4;
    for (int tour = 0; tour < KTours; ++tour) {
        QList<std::shared_ptr<QProcess>> envois;
        for (const char *noeud : {"mag-001", "mag-002"}) {
            auto p = std::make_shared<QProcess>();
            p->setProgram(QStringLiteral(IVROMVT_CLI_PATH));
            p->setArguments({QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                             QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"),
                             QLatin1String(noeud), QStringLiteral("--oui")});
            p->setStandardInputFile(QProcess::nullDevice());
            envois << p;
        }
        for (const auto &p : envois)
            p->start();
        for (const auto &p : envois) {
            QVERIFY(p->waitForFinished(120000));
            const QString err = QString::fromUtf8(p->readAllStandardError());
            QVERIFY2(p->exitCode() == 0, qPrintable(QStringLiteral("tour %1 : %2").arg(tour).arg(err)));
        }
    }
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), KTours * 12);
}

// Only a node of the group the direction's router sends to can be sent
// to; any other is refused as a bad request, before anything is written.
void TestCliMouvement::envoyerCibles_data()
{
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("noeud");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("central to shop") << "lame" << "mag-001" << 0 << "Traitement terminé";
    QTest::newRow("shop to central") << "mags" << "mag-001" << 0 << "Traitement terminé";
    QTest::newRow("shop to shop") << "mags" << "mag-003" << 2
                                  << "Envoi refusé. Le noeud mag-003 est du groupe \"mags\" ; le sens Magasin vers "
                                     "Lame n'envoie qu'au groupe \"lame\" (routeur \"mags_vers_lame\")";
    QTest::newRow("node of an unknown group") << "lame" << "caisse-1" << 2
                                              << "Le noeud caisse-1 est du groupe \"caisses\"";
}

void TestCliMouvement::envoyerCibles()
{
    QFETCH(QString, local);
    QFETCH(QString, noeud);
    QFETCH(int, code);
    QFETCH(QString, message);
    TTestDatabase db;
    SiteFixture::MakeSite(db, local, 3, KDay);
    SiteFixture::AddRemoteNode(db, QStringLiteral("mag-003"), QStringLiteral("mags"), TDateTime::Now());
    SiteFixture::AddRemoteNode(db, QStringLiteral("caisse-1"), QStringLiteral("caisses"), TDateTime::Now());
    const TRun r = RunCli({QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                           QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"), noeud,
                           QStringLiteral("--oui")});
    QVERIFY2(r.Code == code, qPrintable(r.Err));
    QVERIFY2((code == 0 ? r.Out : r.Err).contains(message), qPrintable(r.Out + r.Err));
    if (code != 0) {
        QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);
        QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME LIKE 'IVRO_MVT%'")), 0);
    }
}

// What may keep the events from arriving is said before the sending, and
// asked about on a terminal; --oui goes on.
void TestCliMouvement::envoyerAvertit_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("avertissement");
    QTest::newRow("silent for three days")
        << "UPDATE SYM_NODE_HOST SET HEARTBEAT_TIME = CURRENT_TIMESTAMP - 3 WHERE NODE_ID = 'mag-001'"
        << "Le noeud mag-001 n'a plus envoyé de heartbeat depuis le ";
    QTest::newRow("synchronisation disabled") << "UPDATE SYM_NODE SET SYNC_ENABLED = 0 WHERE NODE_ID = 'mag-001'"
                                              << "La synchronisation du noeud mag-001 est désactivée";
    QTest::newRow("same range sent today") << ""
                                           << "Les jours du 10/03/2026 au 10/03/2026 ont déjà été envoyés au noeud "
                                              "mag-001 aujourd'hui";
}

void TestCliMouvement::envoyerAvertit()
{
    QFETCH(QString, sql);
    QFETCH(QString, avertissement);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    const QStringList args{QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                           QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"),
                           QStringLiteral("mag-001")};
    int envoyes = 0;
    if (sql.isEmpty()) {
        const TRun premier = RunCli(args + QStringList{QStringLiteral("--oui")});
        QVERIFY2(premier.Code == 0, qPrintable(premier.Err));
        QVERIFY2(!premier.Err.contains(QLatin1String("Avertissement")), qPrintable(premier.Err));
        envoyes = 6;
    } else {
        db.Exec(sql);
    }
    const TRun oui = RunCli(args + QStringList{QStringLiteral("--oui")});
    QVERIFY2(oui.Code == 0, qPrintable(oui.Err));
    QVERIFY2(oui.Err.contains(QStringLiteral("Avertissement : ") + avertissement), qPrintable(oui.Err));
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), envoyes + 6);
}

// A database where no sending can work says so, with its reason; the
// range is stated as the procedures read it, a reversed one as such.
void TestCliMouvement::evaluerSansSens()
{
    TTestDatabase db(TTestDatabase::TSchema::RetailOnly);
    SiteFixture::AddKRows(db, 1, 3, TDateTime::FromQDate(KDay));
    TRun r = RunCli({QStringLiteral("evaluer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                     QStringLiteral("--au"), QStringLiteral("11/03/2026")});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(QStringLiteral("Envoi impossible. Aucun sens de mouvement : le noeud local de cette base "
                                           "est illisible")),
             qPrintable(r.Out));
    QVERIFY2(r.Out.contains(QStringLiteral("Plage : du 10/03/2026 au 11/03/2026 inclus (lignes mises à jour du "
                                           "10/03/2026 00:00:00 jusqu'au 12/03/2026 00:00:00 compris)")),
             qPrintable(r.Out));
    QVERIFY(!r.Out.contains(QLatin1String("Envoi possible")));

    r = RunCli({QStringLiteral("evaluer"), db.Path(), QStringLiteral("--du"), QStringLiteral("11/03/2026"),
                QStringLiteral("--au"), QStringLiteral("10/03/2026")});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(QStringLiteral("Plage : du 11/03/2026 au 10/03/2026 : plage inversée")), qPrintable(r.Out));
}

QTEST_GUILESS_MAIN(TestCliMouvement)
#include "tst_cli_mouvement.moc"
