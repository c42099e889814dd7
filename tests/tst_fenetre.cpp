#include "DataModFixture.h"
#include "app/DetailEvaluation.h"
#include "app/QtFrancais.h"
#include "app/IvroMvt_Frm.h"
#include "app/StatusPanel.h"
#include "app/TickCount.h"
#include "data/mouvement/Envoi.h"
#include "data/mouvement/QueryThread.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <functional>

namespace {

constexpr int KAttente = 30000; // ms: a stuck action fails instead of hanging

// One modal box as the operator saw it.
struct TBoxVue
{
    QString Titre;
    QString Texte;
    QMessageBox::Icon Icone = QMessageBox::NoIcon;
    QStringList Boutons;
    QString ParDefaut;
    bool AuPremierPlan = false;
};

QString sansEsperluette(QString aTexte)
{
    return aTexte.remove(QLatin1Char('&'));
}

// Answers the modal boxes the window opens, in order, from a timer that
// keeps running inside their own event loops. A box with no answer left is
// closed with Esc, so that a test fails on its checks instead of hanging.
class TRepondeur : public QObject
{
public:
    using TReponse = std::function<void(QWidget *)>;

    TRepondeur()
    {
        FTimer.setInterval(10);
        connect(&FTimer, &QTimer::timeout, this, &TRepondeur::Tick);
        FTimer.start();
    }

    // Clicks the box's button whose text (without "&") is aTexte.
    TRepondeur &Clique(const QString &aTexte)
    {
        FReponses << [aTexte](QWidget *aModal) {
            for (QAbstractButton *b : aModal->findChildren<QAbstractButton *>())
                if (sansEsperluette(b->text()) == aTexte) {
                    b->click();
                    return;
                }
            QTest::keyClick(aModal, Qt::Key_Escape);
        };
        return *this;
    }
    TRepondeur &Fait(TReponse aReponse)
    {
        FReponses << std::move(aReponse);
        return *this;
    }

    QList<TBoxVue> Vues;
    int Dialogues = 0; // file dialogs seen

private:
    void Tick()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == FDernier)
            return;
        FDernier = modal;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            TBoxVue vue;
            vue.Titre = box->windowTitle();
            vue.Texte = box->text();
            vue.Icone = box->icon();
            for (QAbstractButton *b : box->buttons())
                vue.Boutons << sansEsperluette(b->text());
            if (box->defaultButton())
                vue.ParDefaut = sansEsperluette(box->defaultButton()->text());
            vue.AuPremierPlan = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            Vues << vue;
        } else if (qobject_cast<QFileDialog *>(modal)) {
            ++Dialogues;
        }
        QPointer<QWidget> guard(modal);
        if (!FReponses.isEmpty())
            FReponses.takeFirst()(modal);
        else
            QTest::keyClick(modal, Qt::Key_Escape);
        if (!guard)
            FDernier = nullptr;
    }

    QTimer FTimer;
    QList<TReponse> FReponses;
    QPointer<QWidget> FDernier;
};

QDate jour(int aDay)
{
    return QDate(2026, 3, aDay);
}

TDateTime instant(int aDay, int aHour, int aMinute = 0, int aSecond = 0)
{
    return TDateTime::FromDate(2026, 3, aDay, aHour, aMinute, aSecond);
}

} // namespace

class TestFenetre : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void etatAuDemarrage();
    void tempsEcouleAuTravers();
    void tempsEcouleALaSeconde();
    void panneauLongSansElargir();
    void soulignesVisibles();
    void tabulationQuitteLaGrille();
    void fermetureRefuseePendantTraitement_data();
    void fermetureRefuseePendantTraitement();
    void chargementDesNoeuds_data();
    void chargementDesNoeuds();
    void choixDuFichier();
    void chargementEnEchec();
    void changementDeBaseEfface();
    void ciblesDuSens();
    void raisonLisibleEntiere_data();
    void raisonLisibleEntiere();
    void nouvelleEvaluationExigee();
    void evaluation_data();
    void evaluation();
    void evaluationEnEchec();
    void evaluationSansBase();
    void envoi_data();
    void envoi();
    void envoiInterrompu_data();
    void envoiInterrompu();
    void noeudSilencieux_data();
    void noeudSilencieux();
    void finDEnvoiLisible();
    void envoiDossierNonInscriptible_data();
    void envoiDossierNonInscriptible();
    void envoiEchec_data();
    void envoiEchec();
    void envoiNoeudOccupe();
    void evaluationSansEvenementPrevu();
    void regleDuWorker_data();
    void regleDuWorker();
    void detailsEtProgression();
    void detailsIndisponibles();

private:
    // A window on aDb, shown, writing its script into FProgramDir.
    std::unique_ptr<TFrm_IvroMVT> Fenetre(const TTestDatabase *aDb = nullptr);
    void Evalue(TFrm_IvroMVT &aW, const QDate &aDeb, const QDate &aFin);
    QString ScriptEcrit() const { return FProgramDir->filePath(QStringLiteral("ivro_mvt.sql")); }

    TDataModFixture FDataMod;
    QTranslator FQtFrancais;
    std::unique_ptr<TTestDatabase> FPlages; // shared by the evaluation table
    std::unique_ptr<QTemporaryDir> FProgramDir;
};

void TestFenetre::initTestCase()
{
    QVERIFY(InstallQtFrancais(FQtFrancais));

    // 199999 rows on the 10th, one on the 11th; 129 on the 17th with one at
    // 00:00:00 of the 20th (inside 15..19) and one at 23:59:59 of the 14th
    // (outside it).
    FPlages = std::make_unique<TTestDatabase>();
    SiteFixture::MakeSite(*FPlages, QStringLiteral("lame"), 0, jour(1));
    SiteFixture::AddKRows(*FPlages, 1, 199999, instant(10, 12));
    SiteFixture::AddKRows(*FPlages, 200000, 1, instant(11, 12));
    SiteFixture::AddKRows(*FPlages, 300000, 129, instant(17, 12));
    SiteFixture::AddKRows(*FPlages, 400000, 1, instant(20, 0));
    SiteFixture::AddKRows(*FPlages, 400001, 1, instant(14, 23, 59, 59));
}

void TestFenetre::cleanupTestCase()
{
    FPlages.reset();
}

void TestFenetre::cleanup()
{
    SetTickSource({});
}

std::unique_ptr<TFrm_IvroMVT> TestFenetre::Fenetre(const TTestDatabase *aDb)
{
    FProgramDir = std::make_unique<QTemporaryDir>();
    auto w = std::make_unique<TFrm_IvroMVT>();
    w->SetProgramDir(FProgramDir->path() + QLatin1Char('/'));
    w->show();
    if (aDb)
        w->LoadIBFile(aDb->Path());
    return w;
}

void TestFenetre::Evalue(TFrm_IvroMVT &aW, const QDate &aDeb, const QDate &aFin)
{
    aW.dtDEB->setDate(aDeb);
    aW.dtFIN->setDate(aFin);
    aW.BEVALClick();
    QTRY_VERIFY_WITH_TIMEOUT(aW.CanClose(), KAttente);
}

void TestFenetre::etatAuDemarrage()
{
    TFrm_IvroMVT w;
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("Génération des Mouvements lame vers noeud et noeud vers lame"));
    QCOMPARE(w.size(), QSize(646, 490));
    QVERIFY(w.font().family() == QLatin1String("Verdana") || w.font().family() == QLatin1String("DejaVu Sans"));
    QCOMPARE(w.font().pixelSize(), 11);
    QCOMPARE(w.lblSens->font().pixelSize(), 16);
    QVERIFY(w.lblSens->font().bold());

    // The boxes, docked inside a 5-pixel border.
    QCOMPARE(w.GroupBox1->geometry(), QRect(5, 5, 636, 129));
    QCOMPARE(w.GroupBox4->mapTo(&w, QPoint(0, 0)), QPoint(8, 137));
    QCOMPARE(w.GroupBox4->size(), QSize(630, 56));
    QCOMPARE(w.GroupBox2->geometry(), QRect(5, 196, 636, 165));
    QCOMPARE(w.GroupBox3->geometry(), QRect(5, 361, 636, 105));
    QCOMPARE(w.sb->geometry(), QRect(5, 466, 636, 19));
    QCOMPARE(w.teIBFile->geometry(), QRect(170, 30, 388, 21));
    QCOMPARE(w.BIBFile->geometry(), QRect(565, 29, 31, 24));
    QCOMPARE(w.edtLOCAL_NODE_ID->geometry(), QRect(170, 61, 266, 21));
    QCOMPARE(w.dtDEB->geometry(), QRect(170, 95, 105, 21));
    QCOMPARE(w.dtFIN->geometry(), QRect(314, 95, 105, 21));
    QCOMPARE(w.BEVAL->geometry(), QRect(433, 94, 120, 25));
    // Beside it, inside the box, the detail's button: nothing to show yet.
    QCOMPARE(w.BDETAIL->geometry(), QRect(559, 94, 70, 25));
    QVERIFY(!w.BDETAIL->isEnabled() && !w.wDetail->isVisible());
    QCOMPARE(w.cbNode->geometry(), QRect(234, 36, 216, 22));
    QCOMPARE(w.BMVT->geometry(), QRect(456, 34, 141, 25));
    QCOMPARE(w.Label3->text(), QStringLiteral("Vers le noeud  :"));
    QCOMPARE(w.BIBFile->text(), QStringLiteral("\u2026"));
    QCOMPARE(w.BMVT->text(), QStringLiteral("Envoyer les données "));

    // Tab order: the box order, then the controls' own order.
    QList<QWidget *> chaine;
    QWidget *suivant = w.teIBFile;
    do {
        if (suivant->focusPolicy() & Qt::TabFocus)
            chaine << suivant;
        suivant = suivant->nextInFocusChain();
    } while (suivant != w.teIBFile);
    const QList<QWidget *> attendu = {w.teIBFile, w.BIBFile, w.dtDEB, w.dtFIN, w.BEVAL,
                                      w.edtLOCAL_NODE_ID, w.DBGrid1, w.cbNode, w.BMVT};
    QList<QWidget *> nos;
    for (QWidget *c : std::as_const(chaine))
        if (attendu.contains(c))
            nos << c;
    QCOMPARE(nos, attendu);

    QCOMPARE(w.dtDEB->date(), QDate::currentDate().addDays(-5));
    QCOMPARE(w.dtFIN->date(), QDate::currentDate());
    QCOMPARE(w.dtDEB->displayFormat(), QStringLiteral("dd/MM/yyyy"));
    QVERIFY(w.dtDEB->calendarPopup());
    QCOMPARE(w.dtDEB->toolTip(), QStringLiteral("à partir de 00:00:00"));
    QCOMPARE(w.dtFIN->toolTip(), QStringLiteral("jusqu'au lendemain 00:00:00 compris"));
    QVERIFY(!w.BMVT->isEnabled());
    QVERIFY(w.BEVAL->isEnabled() && w.BIBFile->isEnabled() && w.cbNode->isEnabled());
    QVERIFY(w.teIBFile->isReadOnly() && w.teIBFile->isEnabled());
    QVERIFY(!w.edtLOCAL_NODE_ID->isEnabled());
    QCOMPARE(w.DBGrid1->model()->rowCount(), 0);
    QCOMPARE(w.DBGrid1->model()->columnCount(), 3);
    QCOMPARE(w.DBGrid1->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("HEARTBEAT_TIME"));
    QCOMPARE(w.DBGrid1->columnWidth(0), 197);
    QCOMPARE(w.DBGrid1->columnWidth(2), 141);
    QCOMPARE(w.cbNode->count(), 0);
    QCOMPARE(w.cbNode->currentText(), QString());
    QCOMPARE(w.lblSens->text(), QString());
    QCOMPARE(w.PanelText(0), QString());
    QCOMPARE(w.Timer1->interval(), 1000);
    QVERIFY(!w.Timer1->isActive());
    QVERIFY(w.CanClose());
}

void TestFenetre::tempsEcouleAuTravers()
{
    // Started 296 ms before the counter wraps, now at 704: one second.
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 1, jour(10));
    auto w = Fenetre(&db);
    SetTickSource([] { return quint32(0xFFFFFFFFu - 295u); });
    Evalue(*w, jour(10), jour(10));
    SetTickSource([] { return quint32(704); });
    w->Timer1Timer();
    QCOMPARE(w->PanelText(0), QStringLiteral("00:01"));
}

void TestFenetre::tempsEcouleALaSeconde()
{
    // The first tick comes once a whole second has gone by, never before:
    // shown as 00:01, not 00:00.
    TFrm_IvroMVT w;
    QElapsedTimer horloge;
    horloge.start();
    SetTickSource([&horloge] { return quint32(horloge.elapsed()); });
    QCOMPARE(w.Timer1->timerType(), Qt::PreciseTimer);
    for (int essai = 0; essai < 3; ++essai) {
        w.SetPanelText(0, QString());
        horloge.restart();
        w.Timer1->start();
        QTRY_VERIFY_WITH_TIMEOUT(!w.PanelText(0).isEmpty(), 3000);
        w.Timer1->stop();
        QCOMPARE(w.PanelText(0), QStringLiteral("00:01"));
    }
}

void TestFenetre::panneauLongSansElargir()
{
    auto w = Fenetre();
    QApplication::processEvents();
    const int largeurMini = w->minimumSizeHint().width();
    const QString texte = QStringLiteral("Échec de l'évaluation : I/O error during \"open\" operation for file \"")
                          + QStringLiteral("/un/chemin/tres/long").repeated(40) + QStringLiteral(".fdb\"");
    w->SetPanelText(1, texte);
    QApplication::processEvents();

    // The elapsed time keeps its own place beside the messages.
    QVERIFY(w->Panel(1)->geometry().left() >= w->Panel(0)->geometry().right());
    QCOMPARE(w->minimumSizeHint().width(), largeurMini);
    QVERIFY(w->minimumSizeHint().width() <= 646);
    QCOMPARE(w->width(), 646);
    QCOMPARE(w->PanelText(1), texte);
    QCOMPARE(w->Panel(1)->toolTip(), texte);
    // A few lines at most, each within the panel, the rest cut.
    const QString affiche = w->Panel(1)->TexteAffiche();
    QVERIFY2(affiche.endsWith(QStringLiteral("…")), qPrintable(affiche));
    QVERIFY(affiche.startsWith(QStringLiteral("Échec de l'évaluation")));
    const QStringList lignes = affiche.split(QLatin1Char('\n'));
    QVERIFY(lignes.size() <= TStatusPanel::KLignesMax);
    for (const QString &ligne : lignes)
        QVERIFY(w->Panel(1)->fontMetrics().horizontalAdvance(ligne) <= w->Panel(1)->contentsRect().width());
}

void TestFenetre::soulignesVisibles()
{
    // Underscores are drawn below the baseline: a panel as high as the
    // status bar must still show them.
    auto w = Fenetre();
    w->SetPanelText(1, QString(20, QLatin1Char('_')));
    QApplication::processEvents();
    const QImage image = w->Panel(1)->grab().toImage();
    const QRect zone = w->Panel(1)->contentsRect();
    const QRgb fond = image.pixel(zone.right() - 1, zone.center().y());
    int encres = 0;
    for (int y = zone.top(); y <= zone.bottom(); ++y)
        for (int x = zone.left(); x < zone.left() + 60; ++x)
            encres += qGray(image.pixel(x, y)) + 60 < qGray(fond) ? 1 : 0;
    QVERIFY2(encres >= 20, qPrintable(QString::number(encres)));
}

void TestFenetre::tabulationQuitteLaGrille()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, jour(1));
    auto w = Fenetre(&db);
    QApplication::setActiveWindow(w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    w->DBGrid1->setFocus();
    w->DBGrid1->setCurrentIndex(w->DBGrid1->model()->index(0, 0));
    QTRY_COMPARE(QApplication::focusWidget(), w->DBGrid1);
    QTest::keyClick(w->DBGrid1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w->cbNode);
}

void TestFenetre::fermetureRefuseePendantTraitement_data()
{
    QTest::addColumn<bool>("envoi");
    QTest::newRow("evaluation") << false;
    QTest::newRow("envoi") << true;
}

void TestFenetre::fermetureRefuseePendantTraitement()
{
    QFETCH(bool, envoi);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, jour(10));
    auto w = Fenetre(&db);
    TRepondeur repondeur;
    if (envoi) {
        Evalue(*w, jour(10), jour(10));
        w->cbNode->setCurrentIndex(0);
        repondeur.Clique(QStringLiteral("OK"));
        w->BMVTClick();
    } else {
        w->BEVALClick();
    }
    // The worker's end can only be delivered once we are back in an event
    // loop: the action is still running here.
    QVERIFY(!w->CanClose());
    repondeur.Clique(QStringLiteral("OK"));
    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    const TBoxVue refus = repondeur.Vues.constLast();
    QCOMPARE(refus.Titre, QStringLiteral("Erreur"));
    QCOMPARE(refus.Texte, QStringLiteral("Traitement en cours !\nImpossible de fermer le programme."));
    QCOMPARE(refus.Boutons, QStringList{QStringLiteral("OK")});

    QTRY_VERIFY_WITH_TIMEOUT(w->CanClose(), KAttente);
    const qsizetype vues = repondeur.Vues.size();
    QVERIFY(w->close());
    QCOMPARE(repondeur.Vues.size(), vues); // idle: no question asked
}

void TestFenetre::chargementDesNoeuds_data()
{
    QTest::addColumn<QString>("groupe");
    QTest::addColumn<QString>("sens");
    QTest::addColumn<int>("cibles"); // the shops are targets only of the central server
    QTest::newRow("lame") << "lame" << "Lame vers Magasin" << 2;
    QTest::newRow("mags") << "mags" << "Magasin vers Lame" << 0;
    QTest::newRow("casse differente") << "LAME" << "" << 0;
    QTest::newRow("sans noeud local") << "" << "" << 0;
}

void TestFenetre::chargementDesNoeuds()
{
    QFETCH(QString, groupe);
    QFETCH(QString, sens);
    QFETCH(int, cibles);
    TTestDatabase db;
    const QString longNoeud = QStringLiteral("magasin-de-la-rue-principale-0042"); // 33 characters
    if (!groupe.isEmpty()) {
        SiteFixture::AddCaptureConfig(db);
        SiteFixture::AddLocalNode(db, QStringLiteral("serveur"), groupe);
        SiteFixture::AddRemoteNode(db, QStringLiteral("mag-001"), QStringLiteral("mags"),
                                   TDateTime::FromDate(2026, 12, 9, 10, 30));
        SiteFixture::AddRemoteNode(db, longNoeud, QStringLiteral("mags"));
    }
    auto w = Fenetre(&db);

    QCOMPARE(w->teIBFile->text(), db.Path());
    QCOMPARE(w->lblSens->text(), sens);
    QCOMPARE(w->edtLOCAL_NODE_ID->text(), groupe.isEmpty() ? QStringLiteral(" / ") : "serveur / " + groupe);
    QAbstractItemModel *grille = w->DBGrid1->model();
    if (groupe.isEmpty()) {
        QCOMPARE(grille->rowCount(), 0);
        QCOMPARE(w->cbNode->count(), 0);
        return;
    }
    QCOMPARE(grille->rowCount(), 2);
    QCOMPARE(w->cbNode->count(), cibles);
    QCOMPARE(w->cbNode->currentIndex(), -1);
    QCOMPARE(w->cbNode->currentText(), QString());
    if (cibles == 0) {
        // Grey, and why: no direction, or no node the direction reaches.
        QVERIFY2(w->lblRaisonEnvoi->text().startsWith(QStringLiteral("Envoi impossible. ")),
                 qPrintable(w->lblRaisonEnvoi->text()));
        return;
    }
    const int premier = w->cbNode->itemText(0) == QLatin1String("mag-001") ? 0 : 1;
    QCOMPARE(grille->index(premier, 0).data().toString(), QStringLiteral("mag-001"));
    QCOMPARE(grille->index(premier, 1).data().toString(), QStringLiteral("mags"));
    QCOMPARE(grille->index(premier, 2).data().toString(), QStringLiteral("09/12/2026 10:30:00"));
    // No heartbeat yet: an empty cell, not day 0 (30/12/1899).
    QCOMPARE(grille->index(1 - premier, 2).data().toString(), QString());
    // The list offers the whole name; the grid's column keeps 30 characters.
    QCOMPARE(w->cbNode->itemText(1 - premier), longNoeud);
    QCOMPARE(grille->index(1 - premier, 0).data().toString(), longNoeud.left(30));
    QVERIFY(!(grille->flags(grille->index(0, 0)) & Qt::ItemIsEditable));
}

void TestFenetre::choixDuFichier()
{
    TTestDatabase a, b;
    SiteFixture::MakeSite(a, QStringLiteral("lame"), 0, jour(1));
    SiteFixture::MakeSite(b, QStringLiteral("mags"), 0, jour(1));
    auto w = Fenetre(&a);
    TRepondeur repondeur;

    // Cancelled: nothing changes.
    w->BIBFileClick();
    QCOMPARE(repondeur.Dialogues, 1);
    QCOMPARE(w->teIBFile->text(), a.Path());
    QCOMPARE(w->lblSens->text(), QStringLiteral("Lame vers Magasin"));
    QCOMPARE(w->cbNode->count(), 2);

    // Chosen: the other database is loaded.
    repondeur.Fait([&b](QWidget *aModal) {
        auto *dialog = static_cast<QFileDialog *>(aModal);
        dialog->selectFile(b.Path());
        static_cast<QDialog *>(dialog)->accept(); // as the Open button does
    });
    w->BIBFileClick();
    QCOMPARE(repondeur.Dialogues, 2);
    QCOMPARE(w->teIBFile->text(), b.Path());
    QCOMPARE(w->lblSens->text(), QStringLiteral("Magasin vers Lame"));
    QVERIFY(repondeur.Vues.isEmpty());
}

void TestFenetre::chargementEnEchec()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, jour(1));
    auto w = Fenetre(&db);
    TRepondeur repondeur;
    const QString absente = TTestDatabase::Folder() + QStringLiteral("absente.fdb");
    w->LoadIBFile(absente);

    QCOMPARE(repondeur.Vues.size(), 1);
    QCOMPARE(repondeur.Vues[0].Titre, QStringLiteral("Erreur"));
    // Our sentence first, then the server's own text.
    QVERIFY2(repondeur.Vues[0].Texte.startsWith(QStringLiteral("Base introuvable")), qPrintable(repondeur.Vues[0].Texte));
    QVERIFY(repondeur.Vues[0].Texte.contains(absente));
    QCOMPARE(w->teIBFile->text(), absente);
    QCOMPARE(w->lblSens->text(), QString());
    // Nothing of the previous database is left to be taken for this one's.
    QCOMPARE(w->edtLOCAL_NODE_ID->text(), QString());
    QCOMPARE(w->cbNode->count(), 0);
    QCOMPARE(w->DBGrid1->model()->rowCount(), 0);
}

// On a shop, the target list offers only the nodes of the group the
// direction's router sends to; the grid still lists every remote node.
void TestFenetre::ciblesDuSens()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("mags"), 3, jour(10));
    SiteFixture::AddRemoteNode(db, QStringLiteral("mag-003"), QStringLiteral("mags"), TDateTime::Now());
    auto w = Fenetre(&db);
    QCOMPARE(w->lblSens->text(), QStringLiteral("Magasin vers Lame"));
    QCOMPARE(w->DBGrid1->model()->rowCount(), 3);
    QStringList cibles;
    for (int i = 0; i < w->cbNode->count(); ++i)
        cibles << w->cbNode->itemText(i);
    QCOMPARE(cibles, (QStringList{"mag-001", "mag-002"}));
    Evalue(*w, jour(10), jour(10));
    QVERIFY(w->BMVT->isEnabled());
}

// Why the send button is grey reads whole beside it, at start, after a
// load and after an evaluation, never under another button; a database
// where no sending can work keeps it grey with its reason.
void TestFenetre::raisonLisibleEntiere_data()
{
    QTest::addColumn<QString>("cas");
    QTest::addColumn<QString>("raison"); // its beginning, after the evaluation
    QTest::newRow("at start") << "depart" << "Choisissez une base";
    QTest::newRow("without replication tables") << "sans tables" << "Envoi impossible. Cette base ne peut pas être lue";
    QTest::newRow("no node of the target group")
        << "sans cible" << "Envoi impossible. Aucun noeud du groupe \"caisses\" dans cette base";
    QTest::newRow("200000 rows") << "limite" << "Envoi impossible. 200000 enregistrements \"K\" : l'envoi est limité "
                                                "à moins de 200000 enregistrements.";
    QTest::newRow("reversed range") << "inversee" << "Envoi impossible. Plage inversée : le dernier jour (15/03/2026) "
                                                     "est avant le premier (19/03/2026).";
}

void TestFenetre::raisonLisibleEntiere()
{
    QFETCH(QString, cas);
    QFETCH(QString, raison);
    TTestDatabase db(cas == QLatin1String("sans tables") ? TTestDatabase::TSchema::RetailOnly
                                                         : TTestDatabase::TSchema::Full);
    if (cas == QLatin1String("sans cible")) {
        SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, jour(10));
        db.Exec(QStringLiteral("UPDATE SYM_ROUTER SET TARGET_NODE_GROUP_ID = 'caisses' WHERE ROUTER_ID = 'lame_vers_mags'"));
    }
    const TTestDatabase *base = cas == QLatin1String("limite") || cas == QLatin1String("inversee") ? FPlages.get()
                                : cas == QLatin1String("depart")                                   ? nullptr
                                                                                                   : &db;
    TRepondeur repondeur; // the load's error box, when there is one
    auto w = Fenetre(base);
    QVERIFY(!w->BMVT->isEnabled());
    QVERIFY(!w->lblRaisonEnvoi->text().isEmpty());
    if (base) {
        if (cas == QLatin1String("limite"))
            Evalue(*w, jour(10), jour(11));
        else if (cas == QLatin1String("inversee"))
            Evalue(*w, jour(19), jour(15));
        else
            Evalue(*w, jour(10), jour(10));
        QVERIFY(!w->BMVT->isEnabled());
    }
    QVERIFY2(w->lblRaisonEnvoi->text().startsWith(raison), qPrintable(w->lblRaisonEnvoi->text()));
    // Whole, inside its box, and clear of every button.
    const QRect r = w->lblRaisonEnvoi->geometry();
    QVERIFY(w->lblRaisonEnvoi->isVisible());
    QVERIFY(w->lblRaisonEnvoi->heightForWidth(r.width()) <= r.height());
    QVERIFY(w->GroupBox3->rect().contains(r));
    for (const QPushButton *b : w->GroupBox3->findChildren<QPushButton *>())
        QVERIFY2(!r.intersects(b->geometry()), qPrintable(b->text()));
}

// The status line, its details and the send button's reason speak of the
// database on screen only.
void TestFenetre::changementDeBaseEfface()
{
    TTestDatabase a, b;
    SiteFixture::MakeSite(a, QStringLiteral("lame"), 5, jour(10));
    SiteFixture::MakeSite(b, QStringLiteral("mags"), 0, jour(10));
    auto w = Fenetre(&a);
    Evalue(*w, jour(10), jour(10));
    QVERIFY(w->PanelText(1).startsWith(QStringLiteral("5 Enregistrements")));
    QVERIFY(!w->Panel(1)->Details().isEmpty());
    QVERIFY(w->BMVT->isEnabled());

    w->LoadIBFile(b.Path());
    QCOMPARE(w->PanelText(1), QString());
    QCOMPARE(w->PanelText(0), QString());
    QCOMPARE(w->Panel(1)->Details(), QString());
    QVERIFY(!w->ContenuValide());
    QVERIFY(!w->BDETAIL->isEnabled() && !w->wDetail->isVisible());
    QCOMPARE(w->lblRaisonEnvoi->text(), QStringLiteral("Évaluez la plage avant d'envoyer."));
    QCOMPARE(w->lblSens->text(), QStringLiteral("Magasin vers Lame"));
}

// Changing the database or touching the range needs a new evaluation before
// a sending: otherwise the confirmation would quote another count and the
// row limit could be bypassed.
void TestFenetre::nouvelleEvaluationExigee()
{
    TTestDatabase a, b;
    SiteFixture::MakeSite(a, QStringLiteral("lame"), 130, jour(10));
    SiteFixture::MakeSite(b, QStringLiteral("lame"), 0, jour(10));
    auto w = Fenetre(&a);
    Evalue(*w, jour(10), jour(10));
    QVERIFY(w->BMVT->isEnabled());
    w->LoadIBFile(b.Path());
    QVERIFY(!w->BMVT->isEnabled());

    w->LoadIBFile(a.Path());
    Evalue(*w, jour(10), jour(10));
    QVERIFY(w->BMVT->isEnabled());
    QFocusEvent entree(QEvent::FocusIn);
    QApplication::sendEvent(w->dtFIN, &entree);
    QVERIFY(!w->BMVT->isEnabled());
}

void TestFenetre::evaluation_data()
{
    QTest::addColumn<QDate>("deb");
    QTest::addColumn<QDate>("fin");
    QTest::addColumn<QString>("texte");
    QTest::addColumn<bool>("envoyable");
    QTest::addColumn<QString>("raison"); // beside the send button
    const QString aucune = QStringLiteral("Envoi impossible. Aucun enregistrement \"K\" dans cette plage : rien à envoyer.");
    // 15..19 counts the row at midnight after the 19th, not the one at
    // 23:59:59 before the 15th.
    QTest::newRow("130 aux bornes") << jour(15) << jour(19)
        << "130 Enregistrements \"K\" à repousser donc 260 au total. A la vitesse moyenne de 65 lignes/s, "
           "cela va prendre 00:04."
        << true << "";
    QTest::newRow("199999") << jour(10) << jour(10)
        << "199999 Enregistrements \"K\" à repousser donc 399998 au total. A la vitesse moyenne de 65 lignes/s, "
           "cela va prendre 01:42:33."
        << true << "";
    QTest::newRow("200000") << jour(10) << jour(11)
        << "200000 Enregistrements \"K\" à repousser donc 400000 au total. A la vitesse moyenne de 65 lignes/s, "
           "cela va prendre 01:42:33."
        << false
        << "Envoi impossible. 200000 enregistrements \"K\" : l'envoi est limité à moins de 200000 enregistrements. "
           "Choisissez une plage plus courte.";
    QTest::newRow("aucune") << jour(1) << jour(5)
        << "0 Enregistrements \"K\" à repousser donc 0 au total. A la vitesse moyenne de 65 lignes/s, "
           "cela va prendre 00:00."
        << false << aucune;
    QTest::newRow("fin avant debut") << jour(19) << jour(15)
        << "0 Enregistrements \"K\" à repousser donc 0 au total. A la vitesse moyenne de 65 lignes/s, "
           "cela va prendre 00:00."
        << false
        << "Envoi impossible. Plage inversée : le dernier jour (15/03/2026) est avant le premier (19/03/2026). "
           "Choisissez un premier jour au plus tard égal au dernier.";
}

void TestFenetre::evaluation()
{
    QFETCH(QDate, deb);
    QFETCH(QDate, fin);
    QFETCH(QString, texte);
    QFETCH(bool, envoyable);
    QFETCH(QString, raison);
    auto w = Fenetre(FPlages.get());
    w->cbNode->setCurrentIndex(1);
    w->BEVALClick();
    QVERIFY(!w->CanClose());
    QVERIFY(!w->BEVAL->isEnabled() && !w->BIBFile->isEnabled() && !w->dtDEB->isEnabled() && !w->dtFIN->isEnabled());
    QVERIFY(w->cbNode->isEnabled()); // the target can be chosen meanwhile
    QCOMPARE(w->PanelText(1), QStringLiteral("Evaluation en cours...."));
    QCOMPARE(w->PanelText(0), QStringLiteral("00:00"));
    QTRY_VERIFY_WITH_TIMEOUT(w->CanClose(), KAttente);

    Evalue(*w, deb, fin);
    QCOMPARE(w->PanelText(1), texte);
    QCOMPARE(w->BMVT->isEnabled(), envoyable);
    QCOMPARE(w->lblRaisonEnvoi->text(), raison);
    // Read whole where it stands, not cut by its box.
    QVERIFY(w->lblRaisonEnvoi->isVisible());
    QVERIFY(w->lblRaisonEnvoi->heightForWidth(w->lblRaisonEnvoi->width()) <= w->lblRaisonEnvoi->height());
    // The estimate is read whole on the status line, however long the sentence.
    QCOMPARE(w->Panel(1)->TexteAffiche().replace(QLatin1Char('\n'), QLatin1Char(' ')), texte);
    // The panel itself is as high as its lines, not only the bar.
    QTRY_VERIFY(w->Panel(1)->height() >= w->Panel(1)->Lignes() * w->Panel(1)->fontMetrics().lineSpacing());
    QVERIFY(w->BEVAL->isEnabled() && w->BIBFile->isEnabled() && w->dtDEB->isEnabled() && w->dtFIN->isEnabled());
    QVERIFY(!w->Timer1->isActive());
    QCOMPARE(w->cbNode->currentIndex(), 1);
}

void TestFenetre::evaluationEnEchec()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 130, jour(10));
    auto w = Fenetre(&db);
    Evalue(*w, jour(10), jour(10));
    QVERIFY(w->BMVT->isEnabled());
    // The path the actions read now names no database.
    w->teIBFile->setText(TTestDatabase::Folder() + QStringLiteral("absente.fdb"));

    TRepondeur repondeur;
    Evalue(*w, jour(10), jour(10));
    const QString prefixe = QStringLiteral("Échec de l'évaluation : ");
    // Our sentence first, as for a failed load, then the server's message.
    QVERIFY2(w->PanelText(1).startsWith(prefixe + QStringLiteral("Base introuvable")), qPrintable(w->PanelText(1)));
    QVERIFY(w->PanelText(1).contains(QLatin1String("absente.fdb")));
    QVERIFY(!w->PanelText(1).contains(QLatin1String("au total")));
    QVERIFY(!w->BMVT->isEnabled());
    QVERIFY(w->BEVAL->isEnabled() && w->CanClose());
    QCOMPARE(repondeur.Vues.size(), 1);
    QCOMPARE(repondeur.Vues[0].Titre, QStringLiteral("Erreur"));
    QCOMPARE(repondeur.Vues[0].Texte,
             QStringLiteral("L'évaluation a échoué :\n") + w->PanelText(1).mid(prefixe.size()));
}

void TestFenetre::evaluationSansBase()
{
    auto w = Fenetre();
    TRepondeur repondeur;
    w->BEVALClick();
    QCOMPARE(repondeur.Vues.size(), 1);
    QCOMPARE(repondeur.Vues[0].Texte, QStringLiteral("Veuillez choisir une base."));
    // Nothing started: the window is idle as before.
    QVERIFY(w->CanClose() && w->BEVAL->isEnabled() && w->BIBFile->isEnabled() && w->dtDEB->isEnabled());
    QVERIFY(!w->Timer1->isActive());
    QCOMPARE(w->PanelText(1), QString());
}

void TestFenetre::envoi_data()
{
    QTest::addColumn<QString>("groupe");
    QTest::addColumn<QString>("autreRouteur");
    QTest::newRow("lame vers magasin") << "lame" << "mags_vers_lame";
    QTest::newRow("magasin vers lame") << "mags" << "lame_vers_mags";
}

void TestFenetre::envoi()
{
    QFETCH(QString, groupe);
    QFETCH(QString, autreRouteur);
    TTestDatabase db;
    SiteFixture::MakeSite(db, groupe, 130, jour(10));
    SiteFixture::AddKRows(db, 1000, 1, instant(9, 12)); // outside the range
    // Only the direction's own router may feed the business table: the
    // wrong procedure would leave its rows out.
    db.Exec(QStringLiteral("DELETE FROM SYM_TRIGGER_ROUTER WHERE TRIGGER_ID='ARTICLE' AND ROUTER_ID='%1'")
                .arg(autreRouteur));
    auto w = Fenetre(&db);
    Evalue(*w, jour(10), jour(10));
    w->cbNode->setCurrentIndex(w->cbNode->findText(QStringLiteral("mag-002")));

    TRepondeur repondeur;
    repondeur.Clique(QStringLiteral("OK"));
    w->BMVTClick();
    QVERIFY(!w->CanClose());
    QVERIFY(!w->cbNode->isEnabled() && !w->BMVT->isEnabled() && !w->BEVAL->isEnabled());
    QCOMPARE(w->PanelText(1), QStringLiteral("Traitement en cours...."));
    QTRY_VERIFY_WITH_TIMEOUT(w->CanClose(), KAttente);

    QCOMPARE(repondeur.Vues.size(), 1);
    const TBoxVue confirmation = repondeur.Vues[0];
    QCOMPARE(confirmation.Titre, QStringLiteral("Avertissement"));
    // The sentence the window has always asked, then the range as the
    // procedures read it and the forecast of the details.
    QCOMPARE(confirmation.Texte, QStringLiteral("Vous êtes sur le point d'envoyer 260 enregsitrements \nau noeud "
                                                "mag-002. Cela devrait prendre environ 00:04. \n"
                                                "Voulez-vous continuer ?\nBase %1, jours du %2 au %2, sens %3 ; "
                                                "durée en minutes:secondes.\n\n"
                                                "Plage : du 10/03/2026 au 10/03/2026 inclus (lignes mises à jour du "
                                                "10/03/2026 00:00:00 jusqu'au 11/03/2026 00:00:00 compris).\n"
                                                "D'après le détail par table, 260 événements seront créés.")
                                     .arg(db.Path(), jour(10).toString(QStringLiteral("dd/MM/yyyy")),
                                          groupe == QLatin1String("lame") ? QStringLiteral("Lame vers Magasin")
                                                                          : QStringLiteral("Magasin vers Lame")));
    QCOMPARE(confirmation.Icone, QMessageBox::Warning);
    QCOMPARE(confirmation.Boutons.size(), 2);
    QVERIFY(confirmation.Boutons.contains(QStringLiteral("OK")));
    QVERIFY(confirmation.Boutons.contains(QStringLiteral("Annuler")));
    QCOMPARE(confirmation.ParDefaut, QStringLiteral("Annuler"));
    QVERIFY(confirmation.AuPremierPlan);

    QVERIFY(QFile::exists(ScriptEcrit()));
    QCOMPARE(w->PanelText(1), QStringLiteral("Traitement terminé, Ivro va maintenant repousser les données vers le "
                                             "noeud mag-002 (260 événements créés)"));
    QCOMPARE(w->cbNode->currentIndex(), -1);
    QVERIFY(w->BMVT->isEnabled() && w->cbNode->isEnabled() && w->BEVAL->isEnabled() && w->BIBFile->isEnabled());
    QVERIFY(!w->Timer1->isActive());

    QStringList attendues;
    for (int n = 1; n <= 130; ++n)
        attendues << QStringLiteral("K|K_ID='%1'|7|ch_k|mag-002|R").arg(n)
                  << QStringLiteral("ARTICLE|ART_ID='%1'|8|ch_art|mag-002|R").arg(n);
    QStringList lignes = db.Rows(QStringLiteral(
        "SELECT TABLE_NAME, ROW_DATA, TRIGGER_HIST_ID, CHANNEL_ID, NODE_LIST, EVENT_TYPE FROM SYM_DATA"));
    attendues.sort();
    lignes.sort();
    QCOMPARE(lignes, attendues);

    // A second sending needs the target chosen again.
    repondeur.Vues.clear();
    w->BMVTClick();
    QCOMPARE(repondeur.Vues.size(), 1);
    QCOMPARE(repondeur.Vues[0].Texte, QStringLiteral("Veuillez choisir un noeud."));
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 260);
}

void TestFenetre::envoiInterrompu_data()
{
    QTest::addColumn<QString>("groupe");
    QTest::addColumn<bool>("choisirNoeud");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("bmvt");
    QTest::addColumn<QString>("change"); // after the evaluation: the last day ("fin") or the database ("base")
    QTest::newRow("aucun noeud choisi") << "lame" << false << "Veuillez choisir un noeud." << true << "";
    QTest::newRow("annule") << "lame" << true << "" << true << "";
    QTest::newRow("sens inconnu") << "LAME" << true
        << "Aucun sens de mouvement pour cette base.\n"
           "Veuillez choisir une base dont le noeud local est du groupe lame ou mags."
        << false << "";
    // The sending is the evaluation's: days or a database shown since then
    // call for a new evaluation, and nothing is sent.
    const QString autre = QStringLiteral("Évaluez la plage avant d'envoyer : la dernière évaluation ne porte pas sur "
                                         "la base, les jours et le sens affichés.");
    QTest::newRow("plage changee depuis l'evaluation") << "lame" << true << autre << false << "fin";
    QTest::newRow("base changee depuis l'evaluation") << "lame" << true << autre << false << "base";
}

void TestFenetre::envoiInterrompu()
{
    QFETCH(QString, groupe);
    QFETCH(bool, choisirNoeud);
    QFETCH(QString, message);
    QFETCH(bool, bmvt);
    QFETCH(QString, change);
    TTestDatabase db;
    SiteFixture::MakeSite(db, groupe, 5, jour(10));
    auto w = Fenetre(&db);
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    Evalue(*w, jour(10), jour(10));
    if (choisirNoeud)
        w->cbNode->setCurrentIndex(0);
    // Without entering the picker, as a program or an accessibility tool may.
    if (change == QLatin1String("fin"))
        w->dtFIN->setDate(jour(12));
    else if (change == QLatin1String("base"))
        w->teIBFile->setText(FPlages->Path());

    TRepondeur repondeur;
    repondeur.Clique(message.isEmpty() ? QStringLiteral("Annuler") : QStringLiteral("OK"));
    w->BMVTClick();

    QCOMPARE(repondeur.Vues.size(), 1);
    if (!message.isEmpty()) {
        QCOMPARE(repondeur.Vues[0].Titre, QStringLiteral("Erreur"));
        QCOMPARE(repondeur.Vues[0].Texte, message);
        QCOMPARE(repondeur.Vues[0].Boutons, QStringList{QStringLiteral("OK")});
    } else {
        QCOMPARE(repondeur.Vues[0].Titre, QStringLiteral("Avertissement"));
    }
    // Idle again at once, nothing written, nothing sent.
    QVERIFY(w->CanClose());
    QCOMPARE(w->BMVT->isEnabled(), bmvt);
    QVERIFY(w->cbNode->isEnabled() && w->BEVAL->isEnabled() && w->BIBFile->isEnabled() && w->dtDEB->isEnabled());
    // Without a direction the list offers no target at all.
    QCOMPARE(w->cbNode->currentIndex(), choisirNoeud && groupe != QLatin1String("LAME") ? 0 : -1);
    if (!choisirNoeud)
        QCOMPARE(w->focusWidget(), w->cbNode);
    QVERIFY(!QFile::exists(ScriptEcrit()));
    QTest::qWait(50);
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);
}

void TestFenetre::noeudSilencieux_data()
{
    QTest::addColumn<int>("heures");     // since the last heartbeat; -1: never
    QTest::addColumn<QString>("alerte"); // the warning's beginning, none when fresh
    QTest::addColumn<bool>("continuer"); // the operator's answer to it
    QTest::newRow("jamais, annule") << -1 << "Le noeud mag-é03 n'a jamais envoyé de heartbeat : " << false;
    QTest::newRow("jamais, continue") << -1 << "Le noeud mag-é03 n'a jamais envoyé de heartbeat : " << true;
    QTest::newRow("silencieux") << 49 << "Le noeud mag-é03 n'a plus envoyé de heartbeat depuis le " << false;
    QTest::newRow("entendu hier") << 23 << "" << true;
}

// Events for a node that is not listening wait in the database: the
// operator is told before the confirmation, and may stop there.
void TestFenetre::noeudSilencieux()
{
    QFETCH(int, heures);
    QFETCH(QString, alerte);
    QFETCH(bool, continuer);
    TTestDatabase db(TTestDatabase::TSchema::Full, QStringLiteral("NONE"));
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, jour(10));
    SiteFixture::AddRemoteNode(db, QStringLiteral("mag-é03"), QStringLiteral("mags"),
                               heures < 0 ? TDateTime() : TDateTime::Now().AddMSecs(-qint64(heures) * 3600 * 1000));
    auto w = Fenetre(&db);
    Evalue(*w, jour(10), jour(10));
    w->cbNode->setCurrentIndex(w->cbNode->findText(QStringLiteral("mag-é03")));

    TRepondeur repondeur;
    if (!alerte.isEmpty())
        repondeur.Clique(continuer ? QStringLiteral("OK") : QStringLiteral("Annuler"));
    repondeur.Clique(QStringLiteral("Annuler")); // the confirmation: nothing is sent here
    w->BMVTClick();
    QTRY_VERIFY_WITH_TIMEOUT(w->CanClose(), KAttente);

    const int confirmation = alerte.isEmpty() ? 0 : 1;
    QCOMPARE(repondeur.Vues.size(), alerte.isEmpty() || continuer ? confirmation + 1 : 1);
    if (!alerte.isEmpty()) {
        const TBoxVue vue = repondeur.Vues[0];
        QVERIFY2(vue.Texte.startsWith(alerte), qPrintable(vue.Texte));
        QVERIFY(vue.Texte.contains(QStringLiteral("les événements l'attendront")));
        QCOMPARE(vue.Titre, QStringLiteral("Avertissement"));
        QCOMPARE(vue.ParDefaut, QStringLiteral("Annuler"));
    }
    if (repondeur.Vues.size() > confirmation)
        QVERIFY(repondeur.Vues[confirmation].Texte.startsWith(QStringLiteral("Vous êtes sur le point d'envoyer 6 ")));
    QVERIFY(w->BMVT->isEnabled() && w->cbNode->isEnabled() && w->BEVAL->isEnabled());
    QCOMPARE(w->cbNode->currentText(), QStringLiteral("mag-é03"));
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);
}

// After a sending the status line names the node whole, beside the
// progress bar, on a NONE database with an accented name.
void TestFenetre::finDEnvoiLisible()
{
    TTestDatabase db(TTestDatabase::TSchema::Full, QStringLiteral("NONE"));
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 130, jour(10));
    const QString noeud = QStringLiteral("mag-béziers-centre-ville-nord-42");
    SiteFixture::AddRemoteNode(db, noeud, QStringLiteral("mags"), TDateTime::Now());
    auto w = Fenetre(&db);
    Evalue(*w, jour(10), jour(10));
    w->cbNode->setCurrentIndex(w->cbNode->findText(noeud));
    TRepondeur repondeur;
    repondeur.Clique(QStringLiteral("OK"));
    w->BMVTClick();
    QTRY_VERIFY_WITH_TIMEOUT(w->CanClose(), KAttente);
    QApplication::processEvents();

    const QString fin = MouvementTexteFin(noeud) + QStringLiteral(" (260 événements créés)");
    QCOMPARE(w->PanelText(1), fin);
    QVERIFY(w->pbEnvoi->isVisible());
    QCOMPARE(w->Panel(1)->TexteAffiche().replace(QLatin1Char('\n'), QLatin1Char(' ')), fin);
    QVERIFY(w->Panel(1)->Lignes() > 1);
    QVERIFY(w->sb->height() > 19);
    QTRY_VERIFY(w->Panel(1)->height() >= w->Panel(1)->Lignes() * w->Panel(1)->fontMetrics().lineSpacing());
    QCOMPARE(w->height(), 490); // the grid gave the room, not the window

    // A short message again: the bar is back to one line.
    w->SetPanelText(1, QStringLiteral("Evaluation en cours...."));
    QCOMPARE(w->Panel(1)->Lignes(), 1);
    QCOMPARE(w->sb->height(), 19);
}

void TestFenetre::envoiDossierNonInscriptible_data()
{
    QTest::addColumn<bool>("proceduresPresentes");
    QTest::newRow("procedures deja installees") << true;
    QTest::newRow("procedures absentes") << false;
}

// Without a writable program folder no script is written, no question is
// asked and no other folder is used: the procedures are installed from the
// program all the same, and the sending goes through.
void TestFenetre::envoiDossierNonInscriptible()
{
    QFETCH(bool, proceduresPresentes);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("mags"), 4, jour(10));
    if (proceduresPresentes) {
        QTemporaryDir ailleurs;
        QVERIFY(DataMod->Mouvement.InstallMvtProcedures(db.Path(), ailleurs.path() + QLatin1Char('/')));
    }
    auto w = Fenetre(&db);
    const QString absent = FProgramDir->path() + QStringLiteral("/absent/");
    w->SetProgramDir(absent);
    Evalue(*w, jour(10), jour(10));
    w->cbNode->setCurrentIndex(0);
    const QString noeud = w->cbNode->currentText();

    TRepondeur repondeur;
    repondeur.Clique(QStringLiteral("OK")).Clique(QStringLiteral("OK"));
    w->BMVTClick();
    QTRY_VERIFY_WITH_TIMEOUT(w->CanClose(), KAttente);
    QVERIFY(!QFile::exists(absent));
    QVERIFY(QDir(FProgramDir->path()).isEmpty());
    QVERIFY(w->BMVT->isEnabled());
    QCOMPARE(w->cbNode->currentIndex(), -1);
    QCOMPARE(repondeur.Vues.size(), 1); // the confirmation only
    QCOMPARE(w->PanelText(1), QStringLiteral("Traitement terminé, Ivro va maintenant repousser les données "
                                             "vers le noeud %1 (8 événements créés)").arg(noeud));
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 8);
}

void TestFenetre::envoiEchec_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("panneau");
    QTest::addColumn<QStringList>("boite"); // parts of the error box's text
    QTest::addColumn<int>("selection");     // of the target list afterwards
    QTest::addColumn<bool>("apres");        // the setup comes after the evaluation
    // Old procedures that a procedure of the site calls can't be replaced.
    QTest::newRow("installation en echec")
        << "CREATE PROCEDURE IVRO_MVT_LAME2MAG_NODE (A TIMESTAMP, B TIMESTAMP, C VARCHAR(50)) AS BEGIN END\n^\n"
           "CREATE PROCEDURE P_APPEL AS BEGIN EXECUTE PROCEDURE IVRO_MVT_LAME2MAG_NODE(NULL, NULL, NULL); END\n^\n"
        << "Échec de l'installation des procédures de mouvement : rien n'a été envoyé."
        << QStringList{"Échec de l'installation des procédures de mouvement, rien n'a été envoyé :\n",
                       "étape 1 (DROP PROCEDURE IVRO_MVT_LAME2MAG_NODE;) : ",
                       "étape 6 (CREATE PROCEDURE IVRO_MVT_LAME2MAG_NODE () : "}
        << 0 << false;
    // Nothing is routed from the central server any more, since the
    // evaluation: rows counted, no event.
    QTest::newRow("aucun evenement")
        << "DELETE FROM SYM_TRIGGER_ROUTER WHERE ROUTER_ID = 'lame_vers_mags'"
        << "Échec de l'envoi vers le noeud mag-001 : Aucun événement créé pour le noeud mag-001 : les 5 "
           "enregistrements \"K\" de la plage n'ont donné aucun événement. Vérifiez que leurs tables sont capturées "
           "et routées par \"lame_vers_mags\"."
        << QStringList{"L'envoi des données vers le noeud mag-001 a échoué :\nAucun événement créé pour le noeud "
                       "mag-001"}
        << -1 << true;
}

// A sending that sent nothing says so in an error box, and the window is
// idle again, ready for another try.
void TestFenetre::envoiEchec()
{
    QFETCH(QString, setup);
    QFETCH(QString, panneau);
    QFETCH(QStringList, boite);
    QFETCH(int, selection);
    QFETCH(bool, apres);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 5, jour(10));
    if (!apres)
        db.Exec(setup);
    auto w = Fenetre(&db);
    Evalue(*w, jour(10), jour(10));
    if (apres)
        db.Exec(setup);
    w->cbNode->setCurrentIndex(w->cbNode->findText(QStringLiteral("mag-001")));

    TRepondeur repondeur;
    repondeur.Clique(QStringLiteral("OK")).Clique(QStringLiteral("OK"));
    w->BMVTClick();
    QTRY_VERIFY_WITH_TIMEOUT(w->CanClose(), KAttente);
    QTRY_COMPARE_WITH_TIMEOUT(repondeur.Vues.size(), 2, KAttente);
    QCOMPARE(repondeur.Vues[1].Titre, QStringLiteral("Erreur"));
    for (const QString &partie : boite)
        QVERIFY2(repondeur.Vues[1].Texte.contains(partie), qPrintable(repondeur.Vues[1].Texte));
    QCOMPARE(w->PanelText(1), panneau);
    QVERIFY(w->BMVT->isEnabled() && w->cbNode->isEnabled() && w->BEVAL->isEnabled());
    QCOMPARE(w->cbNode->currentIndex(), selection);
    QVERIFY(!w->Timer1->isActive());
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);
}

// Another sending holds the node (the command line, another window, another
// machine): refused at once, nothing installed, the window idle again with
// the node still chosen.
void TestFenetre::envoiNoeudOccupe()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 5, jour(10));
    auto autre = db.Connect();
    auto verrou = std::make_unique<TEnvoi::TVerrou>(autre.get(), QStringLiteral("mag-001"));
    auto w = Fenetre(&db);
    Evalue(*w, jour(10), jour(10));
    w->cbNode->setCurrentIndex(w->cbNode->findText(QStringLiteral("mag-001")));

    TRepondeur repondeur;
    repondeur.Clique(QStringLiteral("OK")).Clique(QStringLiteral("OK"));
    w->BMVTClick();
    QTRY_COMPARE_WITH_TIMEOUT(repondeur.Vues.size(), 2, KAttente);
    const QString message = QStringLiteral("Un envoi vers le noeud mag-001 est déjà en cours sur cette base. "
                                           "Attendez qu'il se termine avant d'en lancer un autre.");
    QCOMPARE(repondeur.Vues[1].Titre, QStringLiteral("Erreur"));
    QVERIFY2(repondeur.Vues[1].Texte.startsWith(message), qPrintable(repondeur.Vues[1].Texte));
    // The holder is this process, by its server connection.
    QVERIFY2(repondeur.Vues[1].Texte.contains(QStringLiteral("processus %1").arg(QCoreApplication::applicationPid())),
             qPrintable(repondeur.Vues[1].Texte));
    QVERIFY(w->PanelText(1).startsWith(QStringLiteral("Envoi refusé : ") + message));
    QVERIFY(w->CanClose());
    QVERIFY(w->BMVT->isEnabled() && w->cbNode->isEnabled() && w->BEVAL->isEnabled());
    QCOMPARE(w->cbNode->currentText(), QStringLiteral("mag-001"));
    QVERIFY(!QFile::exists(ScriptEcrit()));
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME STARTING 'IVRO_MVT'")), 0);
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 0);

    // Once the other one has ended, the same click goes through.
    verrou.reset();
    repondeur.Clique(QStringLiteral("OK"));
    w->BMVTClick();
    QTRY_VERIFY_WITH_TIMEOUT(w->CanClose(), KAttente);
    QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 10);
}

// Rows whose tables are captured by no router of the direction would give
// no event: the sending is refused as for 0 rows, and the details say why.
void TestFenetre::evaluationSansEvenementPrevu()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 5, jour(10));
    db.Exec(QStringLiteral("DELETE FROM SYM_TRIGGER_ROUTER WHERE ROUTER_ID = 'lame_vers_mags'"));
    auto w = Fenetre(&db);
    Evalue(*w, jour(10), jour(10));
    QCOMPARE(w->PanelText(1), MouvementEvalue(5).Texte());
    QVERIFY(!w->BMVT->isEnabled());
    const QString details = w->Panel(1)->Details();
    QVERIFY2(details.contains(QStringLiteral("Aucun événement à créer (Lame vers Magasin) : les 5 enregistrements "
                                             "&quot;K&quot; de la plage ne donneraient aucun événement.")),
             qPrintable(details));
    QVERIFY(details.contains(QStringLiteral("0 événements prévus")));
}

void TestFenetre::regleDuWorker_data()
{
    QTest::addColumn<QString>("instruction");
    QTest::addColumn<bool>("joignable");
    QTest::addColumn<int>("resultat");
    QTest::newRow("comptage vide") << "SELECT Count(*) AS QTE FROM K WHERE K_UPDATED>=:DEB AND K_UPDATED<=:FIN"
                                   << true << 0;
    QTest::newRow("premiere colonne") << "SELECT 42, 7 FROM RDB$DATABASE" << true << 42;
    QTest::newRow("procedure") << "EXECUTE PROCEDURE P_TRACE" << true << 0;
    QTest::newRow("minuscules") << "select 42 from rdb$database" << true << 0;
    QTest::newRow("blanc devant") << " SELECT 42 FROM RDB$DATABASE" << true << 0;
    QTest::newRow("saut de ligne devant") << "\nSELECT 42 FROM RDB$DATABASE" << true << 0;
    QTest::newRow("base injoignable") << "SELECT 42 FROM RDB$DATABASE" << false << -1;
}

void TestFenetre::regleDuWorker()
{
    QFETCH(QString, instruction);
    QFETCH(bool, joignable);
    QFETCH(int, resultat);
    TTestDatabase db;
    db.Exec(QStringLiteral("CREATE TABLE TRACE (N INTEGER)\n^\n"
                           "CREATE PROCEDURE P_TRACE AS BEGIN INSERT INTO TRACE VALUES (1); END\n^\n"));
    auto cnx = DataMod->Acces.getNewConnexion(
        SysdbaRef(joignable ? db.Path() : TTestDatabase::Folder() + QStringLiteral("absente.fdb")));
    auto query = DataMod->Acces.getNewQuery(cnx.get());
    query->SetSQLText(instruction);
    if (instruction.contains(QLatin1String(":DEB"))) {
        query->ParamByName(QStringLiteral("DEB")).SetAsDateTime(instant(2, 0));
        query->ParamByName(QStringLiteral("FIN")).SetAsDateTime(instant(1, 0));
    }

    bool rappele = false;
    bool surLeFilPrincipal = false;
    qint32 lu = 99;
    QString message;
    auto *worker = new TQueryThread(cnx.get(), query.get(), [&](TQueryThread *aSender) {
        rappele = true;
        surLeFilPrincipal = QThread::currentThread() == QCoreApplication::instance()->thread();
        lu = aSender->FResultat;
        message = aSender->FMessage;
    });
    QPointer<TQueryThread> garde(worker);
    worker->Start();
    QTRY_VERIFY_WITH_TIMEOUT(rappele, KAttente);
    QVERIFY(surLeFilPrincipal);
    QCOMPARE(lu, resultat);
    QCOMPARE(message.isEmpty(), resultat != -1);
    QTRY_VERIFY_WITH_TIMEOUT(garde.isNull(), KAttente); // it frees itself
    query.reset();
    cnx.reset();
    if (joignable)
        QCOMPARE(db.Count(QStringLiteral("TRACE")), instruction.startsWith(QLatin1String("EXECUTE")) ? 1 : 0);
}

// What the range holds, in the details of the evaluation's text; during
// the sending, a progress bar out of the events expected; at its end, the
// DATA_ID range of the events created. The status texts stay as they were.
void TestFenetre::detailsEtProgression()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3000, jour(10));
    db.Exec(QStringLiteral("INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (2, 'CLIENT')"));
    SiteFixture::AddKRows(db, 10000, 3, instant(10, 9), 2);
    auto w = Fenetre(&db);
    Evalue(*w, jour(10), jour(10));
    QCOMPARE(w->PanelText(1), MouvementEvalue(3003).Texte());
    QVERIFY(w->ContenuValide());
    const QString details = w->Panel(1)->Details();
    for (const QString &part : {QStringLiteral("<td>ARTICLE</td><td align=\"right\">3000</td><td>oui</td>"
                                               "<td align=\"right\">6000</td>"),
                                QStringLiteral("<td>CLIENT</td><td align=\"right\">3</td><td>non (ligne K seule)</td>"
                                               "<td align=\"right\">3</td>"),
                                QStringLiteral("6003 événements prévus (Lame vers Magasin)")})
        QVERIFY2(details.contains(part), qPrintable(details));
    QVERIFY(w->Panel(1)->toolTip().contains(QStringLiteral("6003 événements prévus")));
    QVERIFY(!w->pbEnvoi->isVisible());
    // The same detail in the window itself, one click away ("Détail").
    QVERIFY(w->BDETAIL->isEnabled() && w->BDETAIL->isVisible() && !w->wDetail->isVisible());
    w->BDETAIL->click();
    QVERIFY(w->wDetail->isVisible() && w->wDetail->Table()->isVisible());
    QCOMPARE(w->wDetail->Titre()->text(),
             QStringLiteral("Détail par table de la plage évaluée : 6003 événements prévus (Lame vers Magasin)."));
    QStringList lignes;
    for (int r = 0; r < w->wDetail->Table()->rowCount(); ++r) {
        QStringList cellules;
        for (int c = 0; c < w->wDetail->Table()->columnCount(); ++c)
            cellules << w->wDetail->Table()->item(r, c)->text();
        lignes << cellules.join(QLatin1Char('|'));
    }
    QCOMPARE(lignes, (QStringList{QStringLiteral("ARTICLE|3000|oui|6000"), QStringLiteral("CLIENT|3|non (ligne K seule)|3")}));
    QApplication::processEvents();
    QCOMPARE(w->size(), QSize(646, 490)); // the grid gives the room, not the window

    w->cbNode->setCurrentIndex(w->cbNode->findText(QStringLiteral("mag-001")));
    TRepondeur repondeur;
    repondeur.Clique(QStringLiteral("OK"));
    w->BMVTClick();
    QVERIFY(w->pbEnvoi->isVisible());
    QCOMPARE(w->pbEnvoi->maximum(), 6003);
    QTRY_VERIFY_WITH_TIMEOUT(w->CanClose(), KAttente);

    QCOMPARE(w->PanelText(1), MouvementTexteFin(QStringLiteral("mag-001")) + QStringLiteral(" (6003 événements créés)"));
    const QStringList bornes = db.Rows(QStringLiteral("SELECT MIN(DATA_ID), MAX(DATA_ID), COUNT(*) FROM SYM_DATA"));
    const QStringList b = bornes.value(0).split(QLatin1Char('|'));
    QCOMPARE(b.value(2), QStringLiteral("6003"));
    QVERIFY(w->pbEnvoi->isVisible());
    QCOMPARE(w->pbEnvoi->text(), QStringLiteral("DATA_ID %1 à %2").arg(b.value(0), b.value(1)));
    const QString suivi = QStringLiteral("6003 événements créés pour le noeud mag-001, DATA_ID %1 à %2.")
                              .arg(b.value(0), b.value(1));
    QVERIFY2(w->pbEnvoi->toolTip().startsWith(suivi), qPrintable(w->pbEnvoi->toolTip()));
    QVERIFY(w->pbEnvoi->toolTip().contains(QStringLiteral("--noeud mag-001 --de %1 --a %2").arg(b.value(0), b.value(1))));
    QVERIFY(w->Panel(1)->Details().contains(suivi));

    // The next action starts clean.
    Evalue(*w, jour(10), jour(10));
    QVERIFY(!w->pbEnvoi->isVisible());
}

// The count stands on its own: a database without SymmetricDS's tables has
// no per-table details, and says why.
void TestFenetre::detailsIndisponibles()
{
    TTestDatabase db(TTestDatabase::TSchema::RetailOnly);
    SiteFixture::AddKRows(db, 1, 4, instant(10, 12));
    auto w = Fenetre();
    w->teIBFile->setText(db.Path());
    Evalue(*w, jour(10), jour(10));
    QCOMPARE(w->PanelText(1), MouvementEvalue(4).Texte());
    // Without the replication tables no sending can work: grey, and why.
    QVERIFY(!w->BMVT->isEnabled());
    QVERIFY2(w->lblRaisonEnvoi->text().startsWith(QStringLiteral("Envoi impossible. Aucun sens de mouvement")),
             qPrintable(w->lblRaisonEnvoi->text()));
    QVERIFY(!w->ContenuValide());
    QVERIFY2(w->Panel(1)->Details().contains(QStringLiteral("Détail par table indisponible : ")),
             qPrintable(w->Panel(1)->Details()));
    QVERIFY(w->Panel(1)->Details().contains(QLatin1String("SYM_TRIGGER")));
    w->BDETAIL->click();
    QVERIFY(w->wDetail->isVisible() && !w->wDetail->Table()->isVisible());
    QVERIFY(w->wDetail->Titre()->text().startsWith(QStringLiteral("Détail par table indisponible : ")));
}

QTEST_MAIN(TestFenetre)
#include "tst_fenetre.moc"
