// The window's side of the journal and the follow-up: each sending made in
// the window is recorded once, and its follow-up, opened beside "Envoyer les
// données ", reads in the background until every event is loaded or in
// error, the test playing the engine's senders between two readings.
#include "DataModFixture.h"
#include "app/IvroMvt_Frm.h"
#include "app/QtFrancais.h"
#include "app/SuiviPanel.h"
#include "data/mouvement/JournalEnvois.h"
#include "testdb/RoutingFixture.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <memory>

using namespace RoutingFixture;

namespace {

constexpr int KAttente = 30000;
const QString KNoeud = QStringLiteral("mag-001");

// Answers every message box with "OK" and keeps its text.
class TRepondeur : public QObject
{
public:
    TRepondeur()
    {
        FTimer.setInterval(10);
        connect(&FTimer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            Textes << box->text();
            for (QAbstractButton *b : box->buttons())
                if (b->text().remove(QLatin1Char('&')) == QStringLiteral("OK")) {
                    b->click();
                    return;
                }
        });
        FTimer.start();
    }
    QStringList Textes;

private:
    QTimer FTimer;
};

QString Colonne(const QTableWidget *aTable, int aColonne)
{
    QStringList t;
    for (int r = 0; r < aTable->rowCount(); ++r)
        t << aTable->item(r, 0)->text() + QLatin1Char('=') + aTable->item(r, aColonne)->text();
    return t.join(QLatin1Char(' '));
}

} // namespace

class TestSuiviPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void envoiConsigne_data();
    void envoiConsigne();
    void suiviJusquauBout();
    void verdictDuJournal_data();
    void verdictDuJournal();

private:
    // The window on aDb after a sending of the 10th to mag-001, the boxes
    // answered by a TRepondeur of the caller.
    std::unique_ptr<TFrm_IvroMVT> Envoie(const TTestDatabase &aDb);

    TDataModFixture FDataMod;
    QTranslator FQtFrancais;
    std::unique_ptr<QTemporaryDir> FDonnees;
    std::unique_ptr<QTemporaryDir> FProgramDir;
};

void TestSuiviPanel::initTestCase()
{
    QVERIFY(InstallQtFrancais(FQtFrancais));
}

void TestSuiviPanel::init()
{
    FDonnees = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(FDonnees->path()));
}

std::unique_ptr<TFrm_IvroMVT> TestSuiviPanel::Envoie(const TTestDatabase &aDb)
{
    FProgramDir = std::make_unique<QTemporaryDir>();
    auto w = std::make_unique<TFrm_IvroMVT>();
    w->SetProgramDir(FProgramDir->path() + QLatin1Char('/'));
    w->show();
    w->LoadIBFile(aDb.Path());
    w->dtDEB->setDate(QDate(2026, 3, 10));
    w->dtFIN->setDate(QDate(2026, 3, 10));
    w->BEVALClick();
    if (!QTest::qWaitFor([&w] { return w->CanClose(); }, KAttente))
        return nullptr;
    w->cbNode->setCurrentIndex(w->cbNode->findText(KNoeud));
    w->BMVTClick();
    if (!QTest::qWaitFor([&w] { return w->CanClose(); }, KAttente))
        return nullptr;
    return w;
}

void TestSuiviPanel::envoiConsigne_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("issue");
    QTest::addColumn<QString>("message");
    QTest::newRow("termine") << QString() << "terminé" << QString();
    // Every insert into SYM_DATA fails inside the procedure.
    QTest::newRow("echec") << "ALTER TRIGGER TRG_SYM_DATA_DATA_ID INACTIVE" << "échoué" << "DATA_ID";
}

void TestSuiviPanel::envoiConsigne()
{
    QFETCH(QString, setup);
    QFETCH(QString, issue);
    QFETCH(QString, message);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 5, QDate(2026, 3, 10));
    if (!setup.isEmpty())
        db.Exec(setup);
    TRepondeur repondeur;
    const QDateTime avant = QDateTime::currentDateTimeUtc().addSecs(-1);
    auto w = Envoie(db);
    QVERIFY(w);

    QStringList avertissements;
    const QList<TEnvoiJournal> envois = JournalEnvois::Lire(&avertissements);
    QCOMPARE(avertissements, QStringList());
    QCOMPARE(envois.size(), 1);
    const TEnvoiJournal &e = envois[0];
    QCOMPARE(e.Base, db.Path());
    QCOMPARE(e.Noeud, KNoeud);
    QCOMPARE(e.Sens, TSensMouvement::LameVersMag);
    QCOMPARE(e.Du, QDate(2026, 3, 10));
    QCOMPARE(e.Au, QDate(2026, 3, 10));
    QCOMPARE(e.TexteIssue(), issue);
    QVERIFY2(message.isEmpty() ? e.Message.isEmpty() : e.Message.contains(message), qPrintable(e.Message));
    QVERIFY(avant <= e.Debut && e.Debut <= e.Fin && e.Fin <= QDateTime::currentDateTimeUtc());
    QCOMPARE(e.Evenements, qint64(db.Count(QStringLiteral("SYM_DATA"))));
    if (e.Evenements > 0) {
        QCOMPARE(e.PremierDataId, db.Scalar(QStringLiteral("SELECT MIN(DATA_ID) FROM SYM_DATA")).toLongLong());
        QCOMPARE(e.DernierDataId, db.Scalar(QStringLiteral("SELECT MAX(DATA_ID) FROM SYM_DATA")).toLongLong());
    }
}

// A sending of the window followed to its end in the window: the router has
// put eight events in batches, two wait in a gap; one batch is refused. The
// follow-up goes on while the shop loads, stops at the operator's word and
// resumes, and ends by itself once nothing is on its way.
void TestSuiviPanel::suiviJusquauBout()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 5, QDate(2026, 3, 10));
    TRepondeur repondeur;
    auto w = Envoie(db);
    QVERIFY(w);
    const qint64 de = db.Scalar(QStringLiteral("SELECT MIN(DATA_ID) FROM SYM_DATA")).toLongLong();
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 10);
    for (qint64 id = de; id < de + 7; ++id)
        Route(db, id, id, KNoeud, QStringLiteral("NE"));
    Route(db, de + 7, de + 7, KNoeud, QStringLiteral("ER"), true, QStringLiteral("Table ARTICLE absente"));
    AddGap(db, de + 8, de + 50000000);

    QVERIFY(w->BSUIVI->isEnabled());
    w->BSUIVI->click();
    auto *panel = w->findChild<TSuiviPanel *>();
    QVERIFY(panel);
    QVERIFY(panel->isVisible());
    panel->SetPeriode(100);
    QSignalSpy lu(panel, &TSuiviPanel::Rafraichi);
    QSignalSpy fini(panel, &TSuiviPanel::Fini);
    QVERIFY(lu.wait(KAttente));
    QCOMPARE(panel->cbEnvoi->count(), 1);
    QCOMPARE(Colonne(panel->tvStatuts, 2), QStringLiteral("NE=7 ER=1"));
    QCOMPARE(Colonne(panel->tvErreurs, 5), QString::number(de + 7) + QStringLiteral("=Table ARTICLE absente"));
    // The event the batch stopped at and the SQL state, as suivi shows them.
    QCOMPARE(Colonne(panel->tvErreurs, 3), QString::number(de + 7) + QStringLiteral("=23000"));
    QCOMPARE(Colonne(panel->tvErreurs, 4), QStringLiteral("%1=%2").arg(de + 7).arg((de + 7) * 10));
    QVERIFY2(panel->lblEtat->text().contains(QStringLiteral("Non routés (en attente du routage) : 2")),
             qPrintable(panel->lblEtat->text()));
    QVERIFY2(panel->lblAvancement->text().contains(QStringLiteral("Encore en route : 9 événements sur 10.")),
             qPrintable(panel->lblAvancement->text()));
    QVERIFY(panel->Suit());

    // Stopped by the operator: no reading any more until resumed.
    panel->BARRET->click();
    QVERIFY(!panel->Suit());
    QCOMPARE(panel->lblAvancement->text(), QStringLiteral("Suivi arrêté."));
    QCOMPARE(panel->BARRET->text(), QStringLiteral("Reprendre le suivi"));
    lu.clear();
    QVERIFY(!lu.wait(400));
    panel->BARRET->click();
    QVERIFY(panel->Suit());

    // The shop loads the first batches, the router takes the last two.
    QVERIFY(lu.wait(KAttente));
    db.Exec(QStringLiteral("UPDATE SYM_OUTGOING_BATCH SET STATUS = 'OK' WHERE STATUS = 'NE' AND BATCH_ID < %1")
                .arg(de + 4));
    Route(db, de + 8, de + 8, KNoeud, QStringLiteral("NE"));
    Route(db, de + 9, de + 9, KNoeud, QStringLiteral("NE"));
    QTRY_COMPARE_WITH_TIMEOUT(Colonne(panel->tvStatuts, 2), QStringLiteral("NE=5 OK=4 ER=1"), KAttente);
    QVERIFY(fini.isEmpty());
    QVERIFY(panel->Suit());

    db.Exec(QStringLiteral("UPDATE SYM_OUTGOING_BATCH SET STATUS = 'OK' WHERE STATUS = 'NE'"));
    QVERIFY(fini.wait(KAttente));
    QVERIFY(!panel->Suit());
    QCOMPARE(Colonne(panel->tvStatuts, 2), QStringLiteral("OK=9 ER=1"));
    QVERIFY2(panel->lblAvancement->text().contains(QStringLiteral("Plus rien ne changera : 9 chargés, 1 en erreur.")),
             qPrintable(panel->lblAvancement->text()));
    QVERIFY(w->CanClose());
    QCOMPARE(repondeur.Textes.size(), 1); // the confirmation only
}

// A sending of the journal followed later: its entry names the days sent
// and what ended then (the creation of the events); the time since counts
// whole days; a sending whose events SymmetricDS has purged says so, as
// suivi does. A sending made from another machine is not in the journal:
// the node's events of the day are read in SYM_DATA, and the panel says so.
void TestSuiviPanel::verdictDuJournal_data()
{
    QTest::addColumn<bool>("purge");
    QTest::addColumn<bool>("journal");
    QTest::addColumn<QString>("entree");
    QTest::addColumn<QString>("avancement");
    const QString jours = QStringLiteral("jours du 06/03/2026 au 10/03/2026");
    QTest::newRow("loaded two days ago") << false << true << jours << "Suivi terminé, 2 j 01:";
    QTest::newRow("purged") << true << true << jours
                            << "Les 3 événements de cet envoi ne sont plus dans SYM_DATA : SymmetricDS les a purgés";
    QTest::newRow("made elsewhere") << false << false << "mag-001 - événements de rechargement du jour dans SYM_DATA"
                                    << "Suivi terminé. Plus rien en route : les 1 événements sont chargés.";
}

void TestSuiviPanel::verdictDuJournal()
{
    QFETCH(bool, purge);
    QFETCH(bool, journal);
    QFETCH(QString, entree);
    QFETCH(QString, avancement);
    TTestDatabase db;
    qint64 de = 1000;
    qint64 a = 1002;
    if (!purge) {
        de = AddEvent(db, KNoeud);
        a = de;
        Route(db, de, 1, KNoeud, QStringLiteral("OK"));
    }
    const QDateTime debut = QDateTime::currentDateTimeUtc().addSecs(-49 * 3600 - 30);
    TEnvoiJournal e = JournalEnvois::Nouveau(db.Path(), KNoeud, TSensMouvement::LameVersMag, QDate(2026, 3, 6),
                                             QDate(2026, 3, 10), debut);
    e.Fin = debut.addSecs(20);
    e.Evenements = a - de + 1;
    e.PremierDataId = de;
    e.DernierDataId = a;
    e.Issue = TIssueEnvoi::Termine;
    if (journal)
        QCOMPARE(JournalEnvois::Consigner(e), QString());

    // The journal's sendings come first: the nodes only stand in for none.
    auto *panel = new TSuiviPanel(DataMod->Mouvement, db.Path(), {KNoeud});
    panel->SetPeriode(100);
    QSignalSpy fini(panel, &TSuiviPanel::Fini);
    QVERIFY(fini.wait(KAttente));
    QCOMPARE(panel->cbEnvoi->count(), 1);
    const QString lue = panel->cbEnvoi->itemText(0);
    QVERIFY2(lue.contains(entree), qPrintable(lue));
    QCOMPARE(panel->DansSymData(), !journal);
    if (journal)
        QVERIFY2(lue.endsWith(QStringLiteral("création des événements terminée")), qPrintable(lue));
    QCOMPARE(!panel->lblSource->isHidden(), !journal);
    QCOMPARE(panel->lblSource->text().contains(QStringLiteral("dans tout SYM_DATA")), !journal);
    QVERIFY2(panel->lblAvancement->text().contains(avancement), qPrintable(panel->lblAvancement->text()));
    QVERIFY(!panel->lblAvancement->text().contains(QStringLiteral("0 chargés")));
    delete panel;
}

QTEST_MAIN(TestSuiviPanel)
#include "tst_suivipanel.moc"
