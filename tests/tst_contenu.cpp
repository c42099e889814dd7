// What a day range holds: the K rows per table of KTB, whether the
// direction captures each table, and the reload events that a sending will
// create, checked against the events the movement procedures really insert.
#include "CliRun.h"
#include "DataModFixture.h"
#include "data/mouvement/Evaluation.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QDate KDay(2026, 3, 10);

TDateTime Noon(const QDate &aDay)
{
    return TDateTime::FromQDate(aDay).AddMSecs(12 * 3600 * 1000);
}

void AddTrigger(const TTestDatabase &aDb, const QString &aId, const QString &aTable, const QString &aRouter,
                int aHistId)
{
    SiteFixture::AddDefinition(aDb, aId, aTable, QStringLiteral("ch"), QStringLiteral("ID"), {aRouter},
                               aHistId > 0 ? QList<int>{aHistId} : QList<int>{});
}

// ARTICLE (KTB 1) captured both ways by the site fixture; CLIENT by
// nothing; TICKET from the shops only; STOCK by a definition that has no
// history yet; a blank name; a K row whose table KTB does not know. A
// second definition of K, central to shops only.
void MakeRange(const TTestDatabase &aDb)
{
    SiteFixture::MakeSite(aDb, QStringLiteral("lame"), 0, KDay);
    aDb.Exec(QStringLiteral("INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (2, 'CLIENT')"));
    aDb.Exec(QStringLiteral("INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (3, 'TICKET')"));
    aDb.Exec(QStringLiteral("INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (4, 'STOCK')"));
    aDb.Exec(QStringLiteral("INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (5, '   ')"));
    AddTrigger(aDb, QStringLiteral("TICKET"), QStringLiteral("TICKET"), QStringLiteral("mags_vers_lame"), 20);
    AddTrigger(aDb, QStringLiteral("STOCK"), QStringLiteral("STOCK"), QStringLiteral("lame_vers_mags"), 0);
    AddTrigger(aDb, QStringLiteral("K2"), QStringLiteral("K"), QStringLiteral("lame_vers_mags"), 21);
    SiteFixture::AddKRows(aDb, 1, 5, Noon(KDay), 1);
    SiteFixture::AddKRows(aDb, 100, 3, Noon(KDay), 2);
    SiteFixture::AddKRows(aDb, 200, 2, Noon(KDay), 3);
    SiteFixture::AddKRows(aDb, 300, 2, Noon(KDay), 4);
    SiteFixture::AddKRows(aDb, 400, 1, Noon(KDay), 5);
    SiteFixture::AddKRows(aDb, 500, 1, Noon(KDay), 99);
    SiteFixture::AddKRows(aDb, 600, 4, Noon(KDay.addDays(-1)), 1); // outside the range
}

QString Rows(const TMouvementContenu &aContenu, TSensMouvement aSens)
{
    QStringList rows;
    for (const TMouvementTableContenu &t : aContenu.Tables)
        rows << QStringLiteral("%1 %2:%3 %4 %5")
                    .arg(t.KTB_ID)
                    .arg(t.KTB_NAME.trimmed().isEmpty() ? QStringLiteral("-") : t.KTB_NAME)
                    .arg(t.Quantite)
                    .arg(aContenu.Capturee(aSens, t) ? QStringLiteral("capturée") : QStringLiteral("non"))
                    .arg(aContenu.Evenements(aSens, t));
    return rows.join(QStringLiteral(", "));
}

} // namespace

class TestContenu : public QObject
{
    Q_OBJECT

private slots:
    void perTableAndEvents_data();
    void perTableAndEvents();
    void emptyRange();
    void manyTables();
    void countIsSumOfDetails();
    void cliEvaluer();
    void cliEvaluerWithoutReplication();

private:
    TDataModFixture FDataMod;
};

void TestContenu::perTableAndEvents_data()
{
    QTest::addColumn<int>("sens");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("events");
    // Two definitions of K from the centre, one from the shops.
    QTest::newRow("lame vers mags")
        << int(TSensMouvement::LameVersMag)
        << "1 ARTICLE:5 capturée 15, 2 CLIENT:3 non 6, 4 STOCK:2 non 4, 3 TICKET:2 non 4, 99 -:1 non 0, 5 -:1 non 0"
        << 29;
    QTest::newRow("mags vers lame")
        << int(TSensMouvement::MagVersLame)
        << "1 ARTICLE:5 capturée 10, 2 CLIENT:3 non 3, 4 STOCK:2 non 2, 3 TICKET:2 capturée 4, 99 -:1 non 0, 5 -:1 non 0"
        << 19;
}

void TestContenu::perTableAndEvents()
{
    QFETCH(int, sens);
    QFETCH(QString, rows);
    QFETCH(int, events);
    const TSensMouvement s = TSensMouvement(sens);
    TTestDatabase db;
    MakeRange(db);
    const TDateTime deb = MouvementDebutPlage(TDateTime::FromQDate(KDay));
    const TDateTime fin = MouvementFinPlage(TDateTime::FromQDate(KDay));

    const TMouvementContenu c = FDataMod.Mouvement.MouvementContenu(db.Path(), deb, fin);
    QCOMPARE(c.Quantite(), 14);
    QCOMPARE(Rows(c, s), rows);
    QCOMPARE(c.Evenements(s), qint64(events));

    // What the procedures really insert for that range and direction.
    QTemporaryDir dir;
    QVERIFY(FDataMod.Mouvement.InstallMvtProcedures(db.Path(), dir.path() + QLatin1Char('/')));
    auto cnx = FDataMod.Acces.getNewConnexion(SysdbaRef(db.Path()));
    auto query = FDataMod.Mouvement.NewMouvementSendQuery(cnx.get(), s, deb, fin, QStringLiteral("mag-001"));
    query->ExecSQL();
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), events);
}

void TestContenu::emptyRange()
{
    TTestDatabase db;
    MakeRange(db);
    const TDateTime day = TDateTime::FromQDate(KDay.addDays(3));
    const TMouvementContenu c = FDataMod.Mouvement.MouvementContenu(db.Path(), MouvementDebutPlage(day), MouvementFinPlage(day));
    QVERIFY(c.Tables.isEmpty());
    QCOMPARE(c.Evenements(TSensMouvement::LameVersMag), qint64(0));
}

// Names are looked up by lots of numbers: every table of a range that
// touches more of them than a lot holds keeps its name.
void TestContenu::manyTables()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, KDay);
    db.Exec(QStringLiteral("EXECUTE BLOCK AS DECLARE I INTEGER = 1000; BEGIN WHILE (I < 1250) DO BEGIN "
                           "INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (:I, 'T' || :I); I = I + 1; END END"));
    for (int ktb = 1000; ktb < 1250; ++ktb)
        SiteFixture::AddKRows(db, 10 * ktb, 1 + ktb % 3, Noon(KDay), ktb);
    const TMouvementContenu c = FDataMod.Mouvement.MouvementContenu(db.Path(), MouvementDebutPlage(TDateTime::FromQDate(KDay)),
                                              MouvementFinPlage(TDateTime::FromQDate(KDay)));
    QCOMPARE(c.Tables.size(), 250);
    qint32 total = 0;
    for (const TMouvementTableContenu &t : c.Tables) {
        QCOMPARE(t.KTB_NAME, QStringLiteral("T%1").arg(t.KTB_ID));
        QCOMPARE(t.Quantite, 1 + t.KTB_ID % 3);
        total += 1 + t.KTB_ID % 3;
    }
    QCOMPARE(c.Quantite(), total);
}

// One pass: the count is the sum of the details, handed over with them on
// the caller's thread and on the evaluation's own; a failed count hands
// nothing over.
void TestContenu::countIsSumOfDetails()
{
    TTestDatabase db;
    MakeRange(db);
    const TDateTime deb = MouvementDebutPlage(TDateTime::FromQDate(KDay));
    const TDateTime fin = MouvementFinPlage(TDateTime::FromQDate(KDay));
    QList<TEvaluationResultat> comptes;
    const auto compte = [&comptes](const TEvaluationResultat &aCompte) { comptes << aCompte; };

    TEvaluation ici(DataMod->Mouvement, db.Path(), deb, fin);
    const TEvaluationResultat fini = ici.Executer(compte);
    QVERIFY(fini.ContenuLu);
    QCOMPARE(fini.Sens, TSensMouvement::LameVersMag); // the local node's, read in the pass
    QCOMPARE(fini.EvenementsPrevus(), qint64(29));

    TEvaluation fil(DataMod->Mouvement, db.Path(), deb, fin, TSensMouvement::LameVersMag);
    QEventLoop loop;
    connect(&fil, &TEvaluation::Terminee, this, [&](const TEvaluationResultat &aFin) {
        compte(aFin);
        loop.quit();
    });
    fil.Demarrer();
    loop.exec();

    QCOMPARE(comptes.size(), 2);
    for (const TEvaluationResultat &c : std::as_const(comptes)) {
        QCOMPARE(c.Evaluation.Count, 14);
        QVERIFY(c.ContenuLu);
        QCOMPARE(c.Contenu.Quantite(), 14);
    }

    comptes.clear();
    TEvaluation absente(DataMod->Mouvement, db.Path() + QStringLiteral(".absente"), deb, fin);
    QVERIFY(absente.Executer(compte).Echec);
    QCOMPARE(absente.Resultat().Evaluation.Count, -1);
    QVERIFY(comptes.isEmpty());
}

void TestContenu::cliEvaluer()
{
    TTestDatabase db;
    MakeRange(db);
    const QStringList args{QStringLiteral("evaluer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                           QStringLiteral("--au"), QStringLiteral("10/03/2026")};
    const TCliRun text = RunCli(args);
    QCOMPARE(text.Code, 0);
    for (const QString &line : {QStringLiteral("14 Enregistrements \"K\" à repousser donc 28 au total."),
                                QStringLiteral("TABLE       KTB_ID  LIGNES_K  CAPTUREE  EVENEMENTS"),
                                QStringLiteral("ARTICLE     1       5         oui       15"),
                                QStringLiteral("CLIENT      2       3         non       6"),
                                QStringLiteral("(sans nom)  99      1         non       0"),
                                QStringLiteral("Événements prévus (Lame vers Magasin) : 29")})
        QVERIFY2(text.Out.contains(line), qPrintable(text.Out));

    const TCliRun json = RunCli(args + QStringList{QStringLiteral("--json")});
    QCOMPARE(json.Code, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.Out.toUtf8()).object();
    QCOMPARE(o.value(QLatin1String("quantite")).toInt(), 14);
    QCOMPARE(o.value(QLatin1String("evenements_selon_captures")).toInt(), 29);
    const QJsonArray tables = o.value(QLatin1String("tables")).toArray();
    QCOMPARE(tables.size(), 6);
    const QJsonObject ticket = tables[3].toObject();
    QCOMPARE(ticket.value(QLatin1String("table")).toString(), QStringLiteral("TICKET"));
    QCOMPARE(ticket.value(QLatin1String("ktb_id")).toInt(), 3);
    QCOMPARE(ticket.value(QLatin1String("lignes")).toInt(), 2);
    QCOMPARE(ticket.value(QLatin1String("capturee")).toBool(), false);
    QCOMPARE(ticket.value(QLatin1String("evenements")).toInt(), 4);
}

// The count stands without SymmetricDS; only the details are missing.
void TestContenu::cliEvaluerWithoutReplication()
{
    TTestDatabase db(TTestDatabase::TSchema::RetailOnly);
    const QStringList args{QStringLiteral("evaluer"), db.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
                           QStringLiteral("--au"), QStringLiteral("10/03/2026")};
    const TCliRun text = RunCli(args);
    QCOMPARE(text.Code, 0);
    QVERIFY2(text.Out.contains(QStringLiteral("Détail par table indisponible : ")), qPrintable(text.Out));
    const TCliRun json = RunCli(args + QStringList{QStringLiteral("--json")});
    QCOMPARE(json.Code, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.Out.toUtf8()).object();
    QCOMPARE(o.value(QLatin1String("quantite")).toInt(), 0);
    QVERIFY(o.value(QLatin1String("tables")).isNull());
    QVERIFY(!o.value(QLatin1String("detail_indisponible")).toString().isEmpty());
}

QTEST_GUILESS_MAIN(TestContenu)
#include "tst_contenu.moc"
