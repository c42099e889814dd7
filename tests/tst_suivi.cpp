// Whether a node received the movements: the delivery state of the reload
// events of a DATA_ID range, through the data module and ivromvt-cli suivi,
// on site databases where the test plays SymmetricDS's router and senders.
#include "CliRun.h"
#include "DataModFixture.h"
#include "testdb/RoutingFixture.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QtTest>

using namespace RoutingFixture;

namespace {

const QString KNoeud = QStringLiteral("mag-001");
const QString KOther = QStringLiteral("mag-002");

// Twenty reload events for mag-001, with other events of the site in
// between, and what the engine made of each. Returns the range.
struct TLayout
{
    qint64 De = 0;
    qint64 A = 0;
};

TLayout LayOut(const TTestDatabase &aDb)
{
    QList<qint64> e{0}; // e[1] … e[20]
    for (int i = 1; i <= 20; ++i) {
        e << AddEvent(aDb, KNoeud);
        if (i == 5) {
            // A captured change and a sending to another shop share the
            // sequence: neither is one of ours.
            const qint64 change = AddEvent(aDb, QString(), QStringLiteral("U"), QStringLiteral("ARTICLE"));
            const qint64 other = AddEvent(aDb, KOther);
            Route(aDb, change, 900, KNoeud, QStringLiteral("ER"), true, QStringLiteral("pas un des nôtres"));
            Route(aDb, other, 901, KOther, QStringLiteral("NE"));
        }
    }
    qint64 batch = 100;
    for (int i = 1; i <= 6; ++i)
        Route(aDb, e[i], ++batch, KNoeud, QStringLiteral("OK"));
    Route(aDb, e[7], ++batch, KNoeud, QStringLiteral("ER"), true, QStringLiteral("violation of PRIMARY KEY on ARTICLE"));
    Route(aDb, e[8], ++batch, KNoeud, QStringLiteral("ER"), true, QStringLiteral("table ARTICLE inconnue\nligne 2"));
    // Sent again after an error: waiting for the shop's acknowledgement.
    Route(aDb, e[9], ++batch, KNoeud, QStringLiteral("LD"), true, QStringLiteral("délai dépassé"));
    Route(aDb, e[10], ++batch, KNoeud, QStringLiteral("NE"));
    Route(aDb, e[11], ++batch, KNoeud, QStringLiteral("NE"));
    Route(aDb, e[12], ++batch, KNoeud, QStringLiteral("SE"));
    // The shop did not qualify for the router: the unrouted node -1.
    Route(aDb, e[13], ++batch, QStringLiteral("-1"), QStringLiteral("OK"));
    Route(aDb, e[14], ++batch, KOther, QStringLiteral("NE"));
    // Two routers to the shop: two data events in one batch, one event.
    Route(aDb, e[15], ++batch, KNoeud, QStringLiteral("NE"));
    AddDataEvent(aDb, e[15], batch, QStringLiteral("lame_vers_mags_bis"));
    // e[16] … e[18] wait in a gap; e[19] and e[20] fell between two gaps.
    AddGap(aDb, e[16], e[18]);
    AddGap(aDb, e[20] + 1, e[20] + 50000000);
    return {e[1], e[20]};
}

QJsonObject Json(const TCliRun &aRun)
{
    return QJsonDocument::fromJson(aRun.Out.toUtf8()).object();
}

QString Statuts(const QList<TSuiviStatut> &aStatuts)
{
    QStringList s;
    for (const TSuiviStatut &t : aStatuts)
        s << QStringLiteral("%1:%2/%3").arg(t.STATUS).arg(t.Evenements).arg(t.Lots);
    return s.join(QLatin1Char(' '));
}

} // namespace

class TestSuivi : public QObject
{
    Q_OBJECT

private slots:
    void eachEventInItsBucket();
    void todaysRangeAndNothingFound();
    void verdicts_data();
    void verdicts();
    void cliReport();
    void cliMisuse_data();
    void cliMisuse();
    void cliFollowsUntilDone();
    void sendThenFollow();
    void sendingShowsProgressOnATerminal();

private:
    TDataModFixture FDataMod;
};

void TestSuivi::eachEventInItsBucket()
{
    TTestDatabase db;
    const TLayout l = LayOut(db);
    const TSuiviEnvoi s = FDataMod.Mouvement.SuiviEnvoi(db.Path(), KNoeud, l.De, l.A);
    QCOMPARE(s.Total, 20);
    QCOMPARE(s.AvecLot, 13);
    QCOMPARE(s.NonRoutes, 3);
    QCOMPARE(s.HorsTrous, 2);
    QCOMPARE(s.RoutesAilleurs(), 2);
    QCOMPARE(s.EnReprise, 1);
    QCOMPARE(Statuts(s.Statuts), QStringLiteral("NE:3/3 SE:1/1 LD:1/1 OK:6/6 ER:2/2"));
    QCOMPARE(s.EnCours(), 8);
    QVERIFY(!s.Termine());

    QCOMPARE(s.LotsEnErreur.size(), 3);
    QCOMPARE(s.LotsEnErreur[0].BATCH_ID, 107);
    QCOMPARE(s.LotsEnErreur[0].STATUS, QStringLiteral("ER"));
    QCOMPARE(s.LotsEnErreur[0].SQL_MESSAGE, QStringLiteral("violation of PRIMARY KEY on ARTICLE"));
    QCOMPARE(s.LotsEnErreur[0].SQL_CODE, -803);
    QCOMPARE(s.LotsEnErreur[0].SQL_STATE, QStringLiteral("23000"));
    QCOMPARE(s.LotsEnErreur[0].FAILED_DATA_ID, 1070);
    QCOMPARE(s.LotsEnErreur[0].LAST_UPDATE_TIME, TDateTime::FromDate(2026, 3, 10, 14, 5));
    QCOMPARE(s.LotsEnErreur[2].STATUS, QStringLiteral("LD"));
    QCOMPARE(s.LotsEnErreur[2].SQL_MESSAGE, QStringLiteral("délai dépassé"));

    // Another shop's view of the same range: its own sending only.
    const TSuiviEnvoi other = FDataMod.Mouvement.SuiviEnvoi(db.Path(), KOther, l.De, l.A);
    QCOMPARE(other.Total, 1);
    QCOMPARE(Statuts(other.Statuts), QStringLiteral("NE:1/1"));
    QVERIFY(other.LotsEnErreur.isEmpty());

    // Everything loaded or in error, the gap of the last three given up by
    // the router (the last gap above them stays): done.
    db.Exec(QStringLiteral("UPDATE SYM_OUTGOING_BATCH SET STATUS = 'OK' WHERE STATUS IN ('NE', 'SE', 'LD')"));
    db.Exec(QStringLiteral("DELETE FROM SYM_DATA_GAP WHERE START_ID <= %1").arg(l.A));
    const TSuiviEnvoi fini = FDataMod.Mouvement.SuiviEnvoi(db.Path(), KNoeud, l.De, l.A);
    QCOMPARE(fini.NonRoutes, 0);
    QCOMPARE(fini.HorsTrous, 5);
    QCOMPARE(fini.EnCours(), 0);
    QVERIFY(fini.Termine());
}

void TestSuivi::todaysRangeAndNothingFound()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, QDate(2026, 3, 10));
    qint64 de = -1;
    qint64 a = -1;
    QVERIFY(!FDataMod.Mouvement.PlageEnvoisDuJour(db.Path(), KNoeud, de, a));

    const qint64 hier = AddEvent(db, KNoeud);
    db.Exec(QStringLiteral("UPDATE SYM_DATA SET CREATE_TIME = CURRENT_TIMESTAMP - 1 WHERE DATA_ID = %1").arg(hier));
    const qint64 first = AddEvent(db, KNoeud);
    AddEvent(db, KOther);
    AddEvent(db, KNoeud, QStringLiteral("U"));
    const qint64 last = AddEvent(db, KNoeud);
    AddEvent(db, KOther);
    QVERIFY(FDataMod.Mouvement.PlageEnvoisDuJour(db.Path(), KNoeud, de, a));
    QCOMPARE(de, first);
    QCOMPARE(a, last);

    // Purged after loading, or never made: nothing to report, nothing on its way.
    const TSuiviEnvoi vide = FDataMod.Mouvement.SuiviEnvoi(db.Path(), KNoeud, last + 10, last + 20);
    QCOMPARE(vide.Total, 0);
    QVERIFY(vide.Statuts.isEmpty());
    QVERIFY(vide.Termine());
}

// Where one event stands and what the follow-up then says: only GP gaps
// are read by the router; an event no gap will ever hold, or routed into
// another node's batch, will not arrive and is never said to have.
void TestSuivi::verdicts_data()
{
    QTest::addColumn<QString>("cas");
    QTest::addColumn<QString>("compte"); // non routés/au-delà/hors trous/ailleurs
    QTest::addColumn<bool>("termine");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("in a GP gap") << "GP" << "1/0/0/0" << false << "1 événements encore en route.";
    QTest::newRow("in an OK gap") << "OK" << "0/0/1/0" << true
                                  << "Plus rien ne changera : 0 chargés, 0 en erreur, 1 n'arriveront jamais au noeud "
                                     "(1 jamais routés, 0 routés sans lot pour lui).";
    QTest::newRow("in an SK gap") << "SK" << "0/0/1/0" << true << "1 n'arriveront jamais au noeud (1 jamais routés";
    QTest::newRow("above every GP gap") << "au-dela" << "0/1/0/0" << false << "1 événements encore en route.";
    QTest::newRow("no gap, routed events above") << "sans trou" << "0/0/1/0" << true << "1 jamais routés";
    QTest::newRow("in another node's batch") << "ailleurs" << "0/0/0/1" << true
                                             << "1 n'arriveront jamais au noeud (0 jamais routés, 1 routés sans lot "
                                                "pour lui).";
    QTest::newRow("loaded") << "OK lot" << "0/0/0/0" << true << "Plus rien en route : les 1 événements sont chargés.";
    QTest::newRow("purged") << "purge" << "0/0/0/0" << true
                            << "Les 5 événements de cet envoi ne sont plus dans SYM_DATA : SymmetricDS les a purgés";
}

void TestSuivi::verdicts()
{
    QFETCH(QString, cas);
    QFETCH(QString, compte);
    QFETCH(bool, termine);
    QFETCH(QString, verdict);
    TTestDatabase db;
    const qint64 avant = AddEvent(db, KOther);
    const qint64 e = cas == QLatin1String("purge") ? avant + 100 : AddEvent(db, KNoeud);
    const auto trou = [&db](qint64 aDe, qint64 aA, const QString &aStatut) {
        db.Exec(QStringLiteral("INSERT INTO SYM_DATA_GAP (START_ID, END_ID, STATUS, CREATE_TIME, LAST_UPDATE_TIME) "
                               "VALUES (%1, %2, '%3', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)")
                    .arg(aDe).arg(aA).arg(aStatut));
    };
    if (cas == QLatin1String("GP") || cas == QLatin1String("OK") || cas == QLatin1String("SK")) {
        trou(e, e, cas);
        if (cas != QLatin1String("GP"))
            AddGap(db, e + 1, e + 50000000);
    } else if (cas == QLatin1String("au-dela")) {
        AddGap(db, avant, avant);
    } else if (cas == QLatin1String("sans trou")) {
        Route(db, AddEvent(db, KOther), 1, KOther, QStringLiteral("OK"));
    } else if (cas == QLatin1String("ailleurs")) {
        Route(db, e, 1, KOther, QStringLiteral("NE"));
    } else if (cas == QLatin1String("OK lot")) {
        Route(db, e, 1, KNoeud, QStringLiteral("OK"));
    }
    const TSuiviEnvoi s = FDataMod.Mouvement.SuiviEnvoi(db.Path(), KNoeud, e, e);
    QCOMPARE(QStringLiteral("%1/%2/%3/%4").arg(s.NonRoutes).arg(s.AuDelaDesTrous).arg(s.HorsTrous).arg(s.RoutesAilleurs()),
             compte);
    QCOMPARE(s.Termine(), termine);
    const QString texte = VerdictSuivi(s, cas == QLatin1String("purge") ? 5 : 1);
    QVERIFY2(texte.contains(verdict), qPrintable(texte));
    // Nothing that will not arrive is ever said to have.
    if (s.NArriverontPas() > 0)
        QVERIFY(!texte.contains(QStringLiteral("sont chargés")));
}

void TestSuivi::cliReport()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, QDate(2026, 3, 10));
    const TLayout l = LayOut(db);
    const QStringList args{QStringLiteral("suivi"), db.Path(), QStringLiteral("--noeud"), KNoeud};

    // Without a range: today's reload events for the node, which are these.
    const TCliRun text = RunCli(args);
    QCOMPARE(text.Code, 0);
    QVERIFY2(text.Out.contains(QStringLiteral("pour le noeud mag-001, DATA_ID %1 à %2 : 20").arg(l.De).arg(l.A)),
             qPrintable(text.Out));
    for (const QString &line : {QStringLiteral("non routés (en attente du routage)          : 3"),
                                QStringLiteral("hors de tout trou (ne seront jamais routés) : 2"),
                                QStringLiteral("routés sans lot pour ce noeud               : 2"),
                                QStringLiteral("table ARTICLE inconnue ligne 2"),
                                QStringLiteral("8 événements encore en route.")})
        QVERIFY2(text.Out.contains(line), qPrintable(text.Out));

    const TCliRun json = RunCli(args + QStringList{QStringLiteral("--de"), QString::number(l.De), QStringLiteral("--a"),
                                                   QString::number(l.A), QStringLiteral("--json")});
    QCOMPARE(json.Code, 0);
    const QJsonObject o = Json(json);
    QCOMPARE(o.value(QLatin1String("evenements")).toInt(), 20);
    QCOMPARE(o.value(QLatin1String("non_routes")).toInt(), 3);
    QCOMPARE(o.value(QLatin1String("hors_trous")).toInt(), 2);
    QCOMPARE(o.value(QLatin1String("routes_sans_lot")).toInt(), 2);
    QCOMPARE(o.value(QLatin1String("en_cours")).toInt(), 8);
    QCOMPARE(o.value(QLatin1String("termine")).toBool(), false);
    QStringList statuts;
    for (const QJsonValue &v : o.value(QLatin1String("statuts")).toArray())
        statuts << v.toObject().value(QLatin1String("statut")).toString() + QLatin1Char('=')
                       + QString::number(v.toObject().value(QLatin1String("evenements")).toInt());
    QCOMPARE(statuts, (QStringList{"NE=3", "SE=1", "LD=1", "OK=6", "ER=2"}));
    const QJsonArray lots = o.value(QLatin1String("lots_en_erreur")).toArray();
    QCOMPARE(lots.size(), 3);
    QCOMPARE(lots[1].toObject().value(QLatin1String("message")).toString(), QStringLiteral("table ARTICLE inconnue\nligne 2"));
}

void TestSuivi::cliMisuse_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("no node") << QStringList{} << 2 << "--noeud NOEUD";
    QTest::newRow("unknown node") << QStringList{"--noeud", "mag-999"} << 1 << "Noeud inconnu de cette base";
    QTest::newRow("half a range") << QStringList{"--noeud", "mag-001", "--de", "5"} << 2 << "--de et --a vont ensemble";
    QTest::newRow("not a number") << QStringList{"--noeud", "mag-001", "--de", "5;", "--a", "9"} << 2
                                  << "--de attend un DATA_ID";
    QTest::newRow("reversed") << QStringList{"--noeud", "mag-001", "--de", "9", "--a", "5"} << 2
                              << "Plage de DATA_ID vide";
    QTest::newRow("bad period") << QStringList{"--noeud", "mag-001", "--suivre", "0"} << 2 << "--suivre attend";
}

void TestSuivi::cliMisuse()
{
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(QString, message);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, QDate(2026, 3, 10));
    const TCliRun r = RunCli(QStringList{QStringLiteral("suivi"), db.Path()} + options);
    QCOMPARE(r.Code, code);
    QVERIFY2(r.Err.contains(message), qPrintable(r.Err));
}

// Following: the report comes once nothing is on its way any more, here
// when the test, as the shop would, has acknowledged the last batches.
void TestSuivi::cliFollowsUntilDone()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, QDate(2026, 3, 10));
    const qint64 e1 = AddEvent(db, KNoeud);
    const qint64 e2 = AddEvent(db, KNoeud);
    AddGap(db, e2, e2 + 50000000);
    Route(db, e1, 1, KNoeud, QStringLiteral("LD"));

    QProcess p;
    p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
    p.setArguments({QStringLiteral("suivi"), db.Path(), QStringLiteral("--noeud"), KNoeud, QStringLiteral("--de"),
                    QString::number(e1), QStringLiteral("--a"), QString::number(e2), QStringLiteral("--suivre"),
                    QStringLiteral("1"), QStringLiteral("--json")});
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    QVERIFY(p.waitForStarted());
    QVERIFY(!p.waitForFinished(2500)); // still following

    db.Exec(QStringLiteral("UPDATE SYM_OUTGOING_BATCH SET STATUS = 'OK' WHERE BATCH_ID = 1"));
    Route(db, e2, 2, KNoeud, QStringLiteral("ER"), true, QStringLiteral("refusé"));
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    QCOMPARE(o.value(QLatin1String("termine")).toBool(), true);
    QCOMPARE(o.value(QLatin1String("lots_en_erreur")).toArray().size(), 1);
}

// From end to end: envoyer gives the DATA_ID range of the events it
// created; once the test has routed and delivered part of them as the
// engine would, suivi tells where each one stands.
void TestSuivi::sendThenFollow()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 10, QDate(2026, 3, 10));
    const TCliRun envoi = RunCli({QStringLiteral("envoyer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                                  QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"), KNoeud,
                                  QStringLiteral("--oui"), QStringLiteral("--json")});
    QCOMPARE(envoi.Code, 0);
    const QJsonObject e = Json(envoi);
    QCOMPARE(e.value(QLatin1String("evenements")).toInt(), 20);
    const qint64 de = qint64(e.value(QLatin1String("premier_data_id")).toDouble());
    const qint64 a = qint64(e.value(QLatin1String("dernier_data_id")).toDouble());
    QCOMPARE(db.Scalar(QStringLiteral("SELECT MIN(DATA_ID) FROM SYM_DATA")).toLongLong(), de);
    QCOMPARE(db.Scalar(QStringLiteral("SELECT MAX(DATA_ID) FROM SYM_DATA")).toLongLong(), a);

    // The router took the first sixteen, one batch each; the shop loaded
    // twelve and refused four; four still wait in the last gap.
    for (qint64 id = de; id < de + 16; ++id)
        Route(db, id, id, KNoeud, id < de + 12 ? QStringLiteral("OK") : QStringLiteral("ER"), id >= de + 12,
              QStringLiteral("Table ARTICLE absente"));
    AddGap(db, de + 16, de + 50000000);

    const TCliRun suivi = RunCli({QStringLiteral("suivi"), db.Path(), QStringLiteral("--noeud"), KNoeud, QStringLiteral("--de"),
                                  QString::number(de), QStringLiteral("--a"), QString::number(a), QStringLiteral("--json")});
    QCOMPARE(suivi.Code, 0);
    const QJsonObject o = Json(suivi);
    QCOMPARE(o.value(QLatin1String("evenements")).toInt(), 20);
    QCOMPARE(o.value(QLatin1String("non_routes")).toInt(), 4);
    QCOMPARE(o.value(QLatin1String("en_cours")).toInt(), 4);
    QCOMPARE(o.value(QLatin1String("lots_en_erreur")).toArray().size(), 4);
    QCOMPARE(o.value(QLatin1String("lots_en_erreur")).toArray()[0].toObject().value(QLatin1String("message")).toString(),
             QStringLiteral("Table ARTICLE absente"));
}

// On a terminal, envoyer rewrites its progress line: the events inserted out
// of those expected; at the end, the range and the command that follows it.
void TestSuivi::sendingShowsProgressOnATerminal()
{
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("script (util-linux) is needed for a terminal");
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 10, QDate(2026, 3, 10));
    QProcess p;
    p.setProgram(script);
    p.setArguments({QStringLiteral("-qec"),
                    QStringLiteral("'%1' envoyer '%2' --du 10/03/2026 --au 10/03/2026 --noeud mag-001 --oui")
                        .arg(QStringLiteral(IVROMVT_CLI_PATH), db.Path()),
                    QStringLiteral("/dev/null")});
    p.start();
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 0);
    const QString de = db.Scalar(QStringLiteral("SELECT MIN(DATA_ID) FROM SYM_DATA")).toString();
    const QString a = db.Scalar(QStringLiteral("SELECT MAX(DATA_ID) FROM SYM_DATA")).toString();
    for (const QString &part : {QStringLiteral("  20 / 20 événements (100 %)\r\n"),
                                QStringLiteral("Événements créés : 20 (DATA_ID %1 à %2).").arg(de, a),
                                QStringLiteral("Suivi : ivromvt-cli suivi \"%1\" --noeud mag-001 --de %2 --a %3")
                                    .arg(db.Path(), de, a)})
        QVERIFY2(out.contains(part), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestSuivi)
#include "tst_suivi.moc"
