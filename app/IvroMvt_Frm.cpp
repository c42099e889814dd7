#include "app/IvroMvt_Frm.h"

#include "app/DetailEvaluation.h"
#include "app/MessageBoxes.h"
#include "app/MouvementDetails.h"
#include "app/NoeudsTableModel.h"
#include "app/StatusPanel.h"
#include "app/SuiviPanel.h"
#include "app/TickCount.h"
#include "common/Erreur.h"
#include "common/UWMI.h"
#include "common/uCommun.h"
#include "data/acces/ServerErrorText.h"
#include "data/uDataMod.h"
#include "db/DbError.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <limits>

TFrm_IvroMVT *Frm_IvroMVT = nullptr;

namespace {

const QString KNoeudManquant = QStringLiteral("Veuillez choisir un noeud.");
const QString KBaseManquante = QStringLiteral("Veuillez choisir une base.");
const QString KSensInconnu = QStringLiteral("Aucun sens de mouvement pour cette base.\r\n"
                                            "Veuillez choisir une base dont le noeud local est du groupe lame ou mags.");
const QString KBaseAChoisir = QStringLiteral("Choisissez une base, puis évaluez une plage de jours.");
const QString KAEvaluer = QStringLiteral("Évaluez la plage avant d'envoyer.");
const QString KFermetureRefusee = QStringLiteral("Traitement en cours !\r\nImpossible de fermer le programme.");
const QString KEvaluationAutre = QStringLiteral("Évaluez la plage avant d'envoyer : la dernière évaluation ne porte "
                                                "pas sur la base, les jours et le sens affichés.");

constexpr int KLargeurNoeud = 197;
constexpr int KLargeurHeartbeat = 141;
constexpr int KHauteurBarreEtat = 19; // one line of text
constexpr int KHauteurDestination = 105; // the target box with a reason of two lines at most
constexpr int KRaisonGauche = 10;
constexpr int KRaisonHaut = 64;

// Verdana where the system has it; DejaVu Sans, its closest free cousin,
// elsewhere.
QFont policeFenetre(int aPixels, bool aGras = false)
{
    const QString family =
        QFontDatabase::hasFamily(QStringLiteral("Verdana")) ? QStringLiteral("Verdana") : QStringLiteral("DejaVu Sans");
    QFont font(family);
    font.setPixelSize(aPixels);
    font.setBold(aGras);
    return font;
}

QLabel *label(QWidget *aParent, const QString &aText, int aLeft, int aTop)
{
    auto *l = new QLabel(aText, aParent);
    l->adjustSize();
    l->move(aLeft, aTop);
    return l;
}

QDateEdit *datePicker(QWidget *aParent, const QString &aHint, const QRect &aGeometry)
{
    auto *d = new QDateEdit(aParent);
    const QLocale french(QLocale::French, QLocale::France);
    d->setLocale(french);
    d->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    d->setCalendarPopup(true);
    d->calendarWidget()->setLocale(french);
    d->setToolTip(aHint);
    d->setGeometry(aGeometry);
    return d;
}

// A server error reads with our sentence first when it is a common one.
QString messageOf(const std::exception &e)
{
    if (dynamic_cast<const EDbError *>(&e))
        return TexteErreurServeur(e).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return TexteErreur(e);
}

} // namespace

TFrm_IvroMVT::TFrm_IvroMVT(QWidget *aParent) : QWidget(aParent), FProgramDir(VGSE.ExePath)
{
    mdNodes.AddColumn(QStringLiteral("NOEUD"), QMetaType::QString, 30);
    mdNodes.AddColumn(QStringLiteral("GROUPE"), QMetaType::QString, 30);
    mdNodes.AddColumn(QStringLiteral("HEARTBEAT_TIME"), QMetaType::QDateTime);
    BuildLayout();
    FormCreate();
}

TFrm_IvroMVT::~TFrm_IvroMVT()
{
    // A worker still running calls back into this window: let it finish
    // first. Closing is refused while one runs, so only an abnormal end
    // gets here with one.
    while (FEvalThread || FMvtThread)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The grid outlives mdNodes (children go after members): unhook it.
    DBGrid1->setModel(nullptr);
}

void TFrm_IvroMVT::BuildLayout()
{
    setWindowTitle(QStringLiteral("Génération des Mouvements lame vers noeud et noeud vers lame"));
    setFont(policeFenetre(11));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(5, 5, 5, 5);
    root->setSpacing(0);

    GroupBox1 = new QGroupBox(QStringLiteral("Base de Données / Sélection des données à envoyer "), this);
    GroupBox1->setFixedHeight(129);
    Label7 = label(GroupBox1, QStringLiteral("Chemin de la base :"), 44, 33);
    teIBFile = new QLineEdit(GroupBox1);
    teIBFile->setReadOnly(true);
    teIBFile->setGeometry(170, 30, 388, 21);
    BIBFile = new QPushButton(QStringLiteral("\u2026"), GroupBox1);
    BIBFile->setGeometry(565, 29, 31, 24);
    Label1 = label(GroupBox1, QStringLiteral("Identité / Groupe :"), 52, 64);
    edtLOCAL_NODE_ID = new QLineEdit(GroupBox1);
    edtLOCAL_NODE_ID->setGeometry(170, 61, 266, 21);
    edtLOCAL_NODE_ID->setEnabled(false);
    Label4 = label(GroupBox1, QStringLiteral("Données du :"), 83, 100);
    dtDEB = datePicker(GroupBox1, QStringLiteral("à partir de 00:00:00"), QRect(170, 95, 105, 21));
    Label2 = label(GroupBox1, QStringLiteral("au"), 286, 99);
    // The procedures take the midnight that ends the day too.
    dtFIN = datePicker(GroupBox1, QStringLiteral("jusqu'au lendemain 00:00:00 compris"), QRect(314, 95, 105, 21));
    BEVAL = new QPushButton(QStringLiteral("Evaluer la Quantité"), GroupBox1);
    BEVAL->setGeometry(433, 94, 120, 25);
    BDETAIL = new QPushButton(QStringLiteral("Détail"), GroupBox1);
    BDETAIL->setGeometry(559, 94, 70, 25);
    BDETAIL->setCheckable(true);
    BDETAIL->setEnabled(false);
    BDETAIL->setToolTip(QStringLiteral("Montre sous les noeuds le détail par table de la dernière évaluation"));

    // The direction box keeps a 3-pixel margin on every side.
    auto *typeHolder = new QWidget(this);
    auto *typeLayout = new QVBoxLayout(typeHolder);
    typeLayout->setContentsMargins(3, 3, 3, 3);
    GroupBox4 = new QGroupBox(QStringLiteral(" Type "), typeHolder);
    GroupBox4->setFixedHeight(56);
    typeLayout->addWidget(GroupBox4);
    auto *sensLayout = new QVBoxLayout(GroupBox4);
    sensLayout->setContentsMargins(10, 6, 10, 6);
    lblSens = new QLabel(GroupBox4);
    lblSens->setAlignment(Qt::AlignCenter);
    lblSens->setFont(policeFenetre(16, true));
    sensLayout->addWidget(lblSens);

    GroupBox2 = new QGroupBox(QStringLiteral("Infos / Noeuds"), this);
    auto *gridLayout = new QVBoxLayout(GroupBox2);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    DBGrid1 = new QTableView(GroupBox2);
    FNoeudsModel = new TNoeudsTableModel(&mdNodes, this);
    DBGrid1->setModel(FNoeudsModel);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the grid for the target list; arrows move inside it.
    DBGrid1->setTabKeyNavigation(false);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setShowGrid(true);
    DBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    DBGrid1->horizontalHeader()->setFont(policeFenetre(11));
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->verticalHeader()->setDefaultSectionSize(QFontMetrics(policeFenetre(11)).height() + 6);
    DBGrid1->verticalHeader()->setMinimumWidth(14);
    DBGrid1->setColumnWidth(0, KLargeurNoeud);
    DBGrid1->setColumnWidth(2, KLargeurHeartbeat);
    // It gives its room to the evaluation's detail, down to a row.
    DBGrid1->setMinimumHeight(DBGrid1->horizontalHeader()->sizeHint().height()
                              + DBGrid1->verticalHeader()->defaultSectionSize() + 4);
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &aCurrent) { FNoeudsModel->SetCurrentRow(aCurrent.row()); });
    gridLayout->addWidget(DBGrid1);
    wDetail = new TDetailEvaluation(GroupBox2);
    wDetail->hide();
    gridLayout->addWidget(wDetail);

    GroupBox3 = new QGroupBox(QStringLiteral(" Destination des données à envoyer "), this);
    GroupBox3->setFixedHeight(KHauteurDestination);
    Label3 = label(GroupBox3, QStringLiteral("Vers le noeud  :"), 91, 39);
    cbNode = new QComboBox(GroupBox3);
    cbNode->setEditable(false);
    cbNode->setGeometry(234, 36, 216, 22);
    BMVT = new QPushButton(QStringLiteral("Envoyer les données "), GroupBox3);
    BMVT->setGeometry(456, 34, 141, 25);
    BMVT->setEnabled(false);
    // Left of "Suivre les envois", never under it: the box grows with the
    // reason's lines (AjusteRaison).
    lblRaisonEnvoi = new QLabel(GroupBox3);
    lblRaisonEnvoi->setGeometry(KRaisonGauche, KRaisonHaut, 456 - 6 - KRaisonGauche, 34);
    lblRaisonEnvoi->setWordWrap(true);
    lblRaisonEnvoi->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblRaisonEnvoi->setStyleSheet(QStringLiteral("color: #a00000;"));
    BSUIVI = new QPushButton(QStringLiteral("Suivre les envois"), GroupBox3);
    BSUIVI->setGeometry(456, 66, 141, 25);

    sb = new QStatusBar(this);
    sb->setFixedHeight(KHauteurBarreEtat);
    for (TStatusPanel *&panel : FPanels)
        panel = new TStatusPanel(sb);
    FPanels[0]->setFixedWidth(50);
    sb->addWidget(FPanels[0]);
    sb->addWidget(FPanels[1], 1);
    connect(FPanels[1], &TStatusPanel::LignesChangees, this, &TFrm_IvroMVT::HauteurBarreEtat);
    pbEnvoi = new QProgressBar(sb);
    pbEnvoi->setFixedWidth(190);
    pbEnvoi->setMaximumHeight(17);
    pbEnvoi->setTextVisible(true);
    pbEnvoi->hide();
    sb->addPermanentWidget(pbEnvoi);

    root->addWidget(GroupBox1);
    root->addWidget(typeHolder);
    root->addWidget(GroupBox2, 1);
    root->addWidget(GroupBox3);
    root->addWidget(sb);

    // Boxes in the order GroupBox1, GroupBox2, GroupBox3, GroupBox4; inside
    // each, the controls' own order.
    QWidget *order[] = {teIBFile, BIBFile, dtDEB, dtFIN, BEVAL, BDETAIL, edtLOCAL_NODE_ID, DBGrid1, cbNode, BMVT, BSUIVI};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    // A coarse timer may fire a little early and show the second not yet
    // elapsed: 00:00 at the first tick.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TFrm_IvroMVT::Timer1Timer);
    connect(BIBFile, &QPushButton::clicked, this, &TFrm_IvroMVT::BIBFileClick);
    connect(BEVAL, &QPushButton::clicked, this, &TFrm_IvroMVT::BEVALClick);
    connect(BMVT, &QPushButton::clicked, this, &TFrm_IvroMVT::BMVTClick);
    connect(BSUIVI, &QPushButton::clicked, this, &TFrm_IvroMVT::BSUIVIClick);
    connect(BDETAIL, &QPushButton::toggled, this, &TFrm_IvroMVT::MontreDetail);
    dtDEB->installEventFilter(this);
    dtFIN->installEventFilter(this);

    resize(646, 490);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFrm_IvroMVT::FormCreate()
{
    FEnvoiPermis = false;
    AppliqueEtat(TEtat::Repos);
    FCANMVT = false;
    const QDate today = QDate::currentDate();
    dtDEB->setDate(today.addDays(-5));
    dtFIN->setDate(today);
    Timer1->stop();
    FRaisonBase = KBaseAChoisir;
    TexteRaison(KBaseAChoisir);
}

QString TFrm_IvroMVT::PanelText(int aPanel) const
{
    return FPanels[aPanel]->Text();
}

void TFrm_IvroMVT::SetPanelText(int aPanel, const QString &aText)
{
    FPanels[aPanel]->SetText(aText);
}

bool TFrm_IvroMVT::eventFilter(QObject *aWatched, QEvent *aEvent)
{
    if (aEvent->type() == QEvent::FocusIn) {
        if (aWatched == dtDEB)
            dtDEBEnter();
        else if (aWatched == dtFIN)
            dtFINEnter();
    }
    return QWidget::eventFilter(aWatched, aEvent);
}

void TFrm_IvroMVT::MontreDetail()
{
    BDETAIL->setEnabled(!wDetail->Vide());
    wDetail->setVisible(!wDetail->Vide() && BDETAIL->isChecked());
}

// Touching the range calls for a new evaluation before any sending.
void TFrm_IvroMVT::DemandeEvaluation()
{
    FEnvoiPermis = false;
    AppliqueEtat(FEtat);
    if (FRaisonBase.isEmpty())
        TexteRaison(KAEvaluer);
    else if (FRaisonBase == KBaseAChoisir)
        TexteRaison(FRaisonBase);
    else
        MontreRaisonEnvoi(FRaisonBase);
}

void TFrm_IvroMVT::dtDEBEnter()
{
    DemandeEvaluation();
}

void TFrm_IvroMVT::dtFINEnter()
{
    DemandeEvaluation();
}

void TFrm_IvroMVT::closeEvent(QCloseEvent *aEvent)
{
    if (!CanClose()) {
        MessageErreur(this, KFermetureRefusee);
        aEvent->ignore();
        return;
    }
    aEvent->accept();
}

void TFrm_IvroMVT::StartTimer()
{
    FStart = GetTickCount();
    Timer1->start();
}

void TFrm_IvroMVT::Timer1Timer()
{
    // Unsigned 32-bit subtraction: right across a wrap of the tick counter.
    const quint32 elapsed = GetTickCount() - FStart;
    SetPanelText(0, FormatDuree(double(elapsed) / 1000.0));
    sb->repaint();
    QApplication::processEvents();
    // Once connected, no answer is waited for without end.
    if (FMvtThread && FMvtThread->SilenceServeur() >= KSilenceServeurMaxMs)
        AbandonEnvoiSilencieux();
}

void TFrm_IvroMVT::AppliqueEtat(TEtat aEtat)
{
    const bool nouveau = aEtat != FEtat;
    FEtat = aEtat;
    const bool repos = aEtat == TEtat::Repos;
    const bool envoi = aEtat == TEtat::PreparationEnvoi || aEtat == TEtat::Envoi;
    BIBFile->setEnabled(repos);
    BEVAL->setEnabled(repos);
    dtDEB->setEnabled(repos);
    dtFIN->setEnabled(repos);
    // The target may be chosen while the range is counted.
    cbNode->setEnabled(!envoi);
    BMVT->setEnabled(repos && FEnvoiPermis);
    // Closing is refused outside Repos (CanClose).
    if (!nouveau)
        return;
    switch (aEtat) {
    case TEtat::Repos:
        Timer1->stop();
        break;
    case TEtat::Evaluation:
        SetPanelText(1, QStringLiteral("Evaluation en cours...."));
        SetPanelText(0, QStringLiteral("00:00"));
        StartTimer();
        break;
    case TEtat::PreparationEnvoi:
        // The questions come first: the status line keeps the evaluation's
        // figures they quote.
        break;
    case TEtat::Envoi:
        SetPanelText(1, QStringLiteral("Traitement en cours...."));
        SetPanelText(0, QStringLiteral("00:00"));
        StartTimer();
        break;
    }
}

bool TFrm_IvroMVT::EvaluationAffichee() const
{
    return FEvaluation.Base == teIBFile->text() && FEvaluation.Sens == FSens
           && FEvaluation.Debut == MouvementDebutPlage(TDateTime::FromQDate(dtDEB->date()))
           && FEvaluation.Fin == MouvementFinPlage(TDateTime::FromQDate(dtFIN->date()));
}

void TFrm_IvroMVT::HauteurBarreEtat(int aLignes)
{
    // Beyond one line, a little room so that the last line's descenders stay inside the frame.
    const int plus = aLignes > 1 ? (aLignes - 1) * FPanels[1]->fontMetrics().lineSpacing() + 3 : 0;
    sb->setFixedHeight(KHauteurBarreEtat + plus);
}

void TFrm_IvroMVT::MontreRaisonEnvoi(const QString &aRefus)
{
    TexteRaison(aRefus.isEmpty() ? QString() : QStringLiteral("Envoi impossible. ") + aRefus);
}

void TFrm_IvroMVT::TexteRaison(const QString &aTexte)
{
    lblRaisonEnvoi->setText(aTexte);
    // Every line in view: the target box grows, the node grid gives way.
    const int hauteur = aTexte.isEmpty() ? 0 : lblRaisonEnvoi->heightForWidth(lblRaisonEnvoi->width());
    lblRaisonEnvoi->resize(lblRaisonEnvoi->width(), std::max(hauteur, 34));
    GroupBox3->setFixedHeight(std::max(KHauteurDestination, KRaisonHaut + hauteur + 7));
}

bool TFrm_IvroMVT::NoeudAttenduConfirme(const QString &aNoeud)
{
    QStringList avertissements;
    try {
        avertissements = DataMod->Mouvement.AvertissementsEnvoi(teIBFile->text(), aNoeud, dtDEB->date(), dtFIN->date());
    } catch (const EDbError &) {
        // Out of reach: the sending itself will say so.
        return true;
    }
    if (avertissements.isEmpty())
        return true;
    return ConfirmeAvertissement(this, MouvementQuestionAvertissements(avertissements, QStringLiteral("\r\n")));
}

void TFrm_IvroMVT::DemarreProgression(qint64 aAttendus, bool aLue)
{
    pbEnvoi->setToolTip(QString());
    pbEnvoi->setRange(0, int(std::min<qint64>(aAttendus, std::numeric_limits<int>::max())));
    pbEnvoi->setValue(0);
    pbEnvoi->setFormat(QStringLiteral("%v / %m événements"));
    // Without a generator to read, the sending goes on without a bar.
    pbEnvoi->setVisible(aLue);
}

void TFrm_IvroMVT::ProgressionEnvoi(qint64 aInseres)
{
    // A reading queued before the sending ended is no news.
    if (!FMvtThread)
        return;
    pbEnvoi->setValue(int(std::clamp<qint64>(aInseres, 0, pbEnvoi->maximum())));
}

void TFrm_IvroMVT::FinProgression(const TMouvementEvenements *aCrees, const QString &aNoeud)
{
    if (!aCrees || aCrees->Nombre == 0) {
        pbEnvoi->hide();
        return;
    }
    pbEnvoi->setRange(0, 1);
    pbEnvoi->setValue(1);
    pbEnvoi->setFormat(QStringLiteral("DATA_ID %1 à %2").arg(aCrees->PremierDataId).arg(aCrees->DernierDataId));
    const QString details = DetailsEnvoi(*aCrees, teIBFile->text(), aNoeud);
    pbEnvoi->setToolTip(details);
    pbEnvoi->show();
    FPanels[1]->SetDetails(
        QStringLiteral("<p>%1</p>").arg(details.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"))));
}

void TFrm_IvroMVT::BIBFileClick()
{
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    teIBFile->setText(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
    LoadIBFile(teIBFile->text());
}

void TFrm_IvroMVT::LoadIBFile(const QString &aPath)
{
    FIBFile = aPath;
    FRaisonBase.clear();
    teIBFile->setText(aPath);
    pbEnvoi->hide();
    // Nothing of the previous database stays on screen, loaded or not.
    edtLOCAL_NODE_ID->clear();
    cbNode->clear();
    mdNodes.Close();
    mdNodes.Open();
    SetPanelText(0, QString());
    SetPanelText(1, QString());
    FContenuValide = false;
    wDetail->Efface();
    MontreDetail();
    // The last evaluation counted another database: evaluate again first.
    DemandeEvaluation();
    QString erreur;
    try {
        FSens = TSensMouvement::Aucun;
        lblSens->clear();
        const TNode local = DataMod->Mouvement.IvroMvtLocalNode(aPath);
        const TNodes remotes = DataMod->Mouvement.IvroMvtListeRemoteNodes(aPath);
        edtLOCAL_NODE_ID->setText(local.NODE_ID + QStringLiteral(" / ") + local.NODE_GROUP_ID);
        const TSensMouvement sens = SensDuGroupe(local.NODE_GROUP_ID);
        FSens = sens;
        lblSens->setText(TexteSens(sens));
        // The grid shows every remote node; the target list only those the
        // direction's router sends to.
        const QString groupeCible = DataMod->Mouvement.MouvementGroupeCible(aPath, sens);
        if (sens == TSensMouvement::Aucun)
            FRaisonBase = local.NODE_ID.isEmpty() ? MouvementTexteSansSens() : MouvementTexteSansSens(local.NODE_ID, local.NODE_GROUP_ID);
        else if (groupeCible.isEmpty())
            FRaisonBase = MouvementRefusCible(sens, groupeCible, QString(), QString());
        for (const TNode &node : remotes) {
            mdNodes.Append();
            mdNodes.SetValue(0, node.NODE_ID);
            mdNodes.SetValue(1, node.NODE_GROUP_ID);
            mdNodes.SetValue(2, QVariant::fromValue(node.HEARTBEAT_TIME));
            if (MouvementRefusCible(sens, groupeCible, node.NODE_ID, node.NODE_GROUP_ID).isEmpty()
                && cbNode->findText(node.NODE_ID) < 0)
                cbNode->addItem(node.NODE_ID);
            mdNodes.Post();
        }
        if (FRaisonBase.isEmpty() && cbNode->count() == 0)
            FRaisonBase = QStringLiteral("Aucun noeud du groupe \"%1\" dans cette base : le sens %2 n'envoie qu'à "
                                         "ce groupe.")
                              .arg(groupeCible, TexteSens(sens));
    } catch (const std::exception &e) {
        erreur = messageOf(e);
        FRaisonBase = QStringLiteral("Cette base ne peut pas être lue (voir le message d'erreur).");
    }
    // The last evaluation counted another database: evaluate again first.
    DemandeEvaluation();
    // A list that gets items selects the first: the target must be chosen.
    cbNode->setCurrentIndex(-1);
    FNoeudsModel->Refresh();
    DBGrid1->setColumnWidth(0, KLargeurNoeud);
    DBGrid1->setColumnWidth(2, KLargeurHeartbeat);
    if (!erreur.isNull()) {
        FCANMVT = false;
        MessageErreur(this, erreur);
    }
}

void TFrm_IvroMVT::BEVALClick()
{
    // Nothing to count: said plainly, not as the client's error on an empty path.
    if (teIBFile->text().isEmpty()) {
        MessageErreur(this, KBaseManquante);
        return;
    }
    IvroMvtEval(teIBFile->text(), MouvementDebutPlage(TDateTime::FromQDate(dtDEB->date())),
                MouvementFinPlage(TDateTime::FromQDate(dtFIN->date())));
}

void TFrm_IvroMVT::IvroMvtEval(const QString &ABaseDonnees, const TDateTime &aDEB, const TDateTime &aFIN)
{
    // The details are read for the direction shown.
    FEvalThread = new TEvaluation(DataMod->Mouvement, ABaseDonnees, aDEB, aFIN, FSens, this);
    connect(FEvalThread, &TEvaluation::Terminee, this, &TFrm_IvroMVT::CallBackEval);
    try {
        FContenuValide = false;
        wDetail->Efface();
        MontreDetail();
        pbEnvoi->hide();
        MontreRaisonEnvoi(QString());
        AppliqueEtat(TEtat::Evaluation);
        QApplication::processEvents();
        FEvalThread->Demarrer();
    } catch (const std::exception &e) {
        // Nothing runs: the window must not stay busy.
        Timer1->stop();
        delete FEvalThread;
        FEvalThread = nullptr;
        SetPanelText(1, QStringLiteral("Échec de l'évaluation : ") + messageOf(e));
        FEnvoiPermis = false;
        AppliqueEtat(TEtat::Repos);
        MessageErreur(this, messageOf(e));
    }
}

// What the loaded database forbids, for an evaluation made on it: before
// any load, the evaluation itself tells.
QString TFrm_IvroMVT::RaisonBaseEvaluee() const
{
    return FRaisonBase == KBaseAChoisir ? QString() : FRaisonBase;
}

// The count and the details come from one pass, shown together when it
// ends.
void TFrm_IvroMVT::CallBackEval(const TEvaluationResultat &aResultat)
{
    Timer1->stop();
    FEvaluation = aResultat;
    FNbRec = aResultat.Evaluation.NbRec;
    FEvalTime = aResultat.Evaluation.EvalTime;
    const bool echec = aResultat.Echec;
    SetPanelText(1, echec ? QStringLiteral("Échec de l'évaluation : ") + aResultat.Message : aResultat.Evaluation.Texte());
    if (!echec) {
        QString details;
        if (aResultat.ContenuLu) {
            FContenu = aResultat.Contenu;
            FContenuValide = true;
            details = DetailsContenuHtml(FContenu, aResultat.Sens);
            wDetail->Montre(FContenu, aResultat.Sens);
        } else {
            details = QStringLiteral("<p>%1</p>").arg(
                (QStringLiteral("Détail par table indisponible : ") + aResultat.MessageContenu).toHtmlEscaped());
            wDetail->MontreMessage(QStringLiteral("Détail par table indisponible : ") + aResultat.MessageContenu);
        }
        // Rows whose tables give no event: the sending would create nothing.
        if (aResultat.EvenementsPrevus() == 0 && aResultat.Evaluation.Envoyable)
            details = QStringLiteral("<p><b>%1</b></p>").arg(aResultat.Refus().toHtmlEscaped()) + details;
        FPanels[1]->SetDetails(details);
    }
    if (echec)
        wDetail->Efface();
    MontreDetail();
    // The database itself may allow no sending, whatever the range holds.
    const QString raisonBase = RaisonBaseEvaluee();
    const QString refus = !raisonBase.isEmpty() ? raisonBase : echec ? QString() : aResultat.Refus();
    FEnvoiPermis = raisonBase.isEmpty() && aResultat.Envoyable();
    AppliqueEtat(TEtat::Repos);
    MontreRaisonEnvoi(refus);
    FEvalThread->deleteLater();
    FEvalThread = nullptr;
    if (echec)
        MessageErreur(this, QStringLiteral("L'évaluation a échoué :\r\n") + aResultat.Message);
}

void TFrm_IvroMVT::BMVTClick()
{
    AppliqueEtat(TEtat::PreparationEnvoi);
    // What is sent is what was evaluated: a database, days or a direction
    // changed since then call for a new evaluation, not another sending.
    if (FSens != TSensMouvement::Aucun && !EvaluationAffichee()) {
        AppliqueEtat(TEtat::Repos);
        DemandeEvaluation();
        MessageErreur(this, KEvaluationAutre);
        return;
    }
    if (FSens != TSensMouvement::Aucun && !cbNode->currentText().isEmpty() && !NoeudAttenduConfirme(cbNode->currentText())) {
        AppliqueEtat(TEtat::Repos);
        return;
    }
    switch (FSens) {
    case TSensMouvement::LameVersMag:
        MvtLame2Mag();
        break;
    case TSensMouvement::MagVersLame:
        MvtMag2Lame();
        break;
    case TSensMouvement::Aucun:
        // No procedure fits this database: sending stays off until another
        // database is loaded and evaluated.
        FEnvoiPermis = false;
        AppliqueEtat(TEtat::Repos);
        MessageErreur(this, KSensInconnu);
        break;
    }
}

// The direction is the evaluation's, the window's own as checked by BMVTClick.
void TFrm_IvroMVT::MvtLame2Mag()
{
    MouvementEnvoi();
}

void TFrm_IvroMVT::MvtMag2Lame()
{
    MouvementEnvoi();
}

void TFrm_IvroMVT::MouvementEnvoi()
{
    const QString node = cbNode->currentText();
    if (node.isEmpty()) {
        MessageErreur(this, KNoeudManquant);
        AppliqueEtat(TEtat::Repos);
        cbNode->setFocus();
        return;
    }
    if (!ConfirmeAvertissement(this, MouvementTexteConfirmationEnvoi(FEvaluation, node))) {
        AppliqueEtat(TEtat::Repos);
        return;
    }
    FMvtThread = new TEnvoi(DataMod->Mouvement, FEvaluation, node, FProgramDir, this);
    connect(FMvtThread, &TEnvoi::Avancement, this, [this](qint64 aInseres, qint64) { ProgressionEnvoi(aInseres); });
    connect(FMvtThread, &TEnvoi::Termine, this, &TFrm_IvroMVT::CallBackMvt);
    // Checks, guard and installation here, on this thread; a sending that
    // stops there has already been shown by CallBackMvt.
    if (!FMvtThread->Preparer())
        return;
    AppliqueEtat(TEtat::Envoi);
    DemarreProgression(FMvtThread->Resultat().Prevus, FMvtThread->Progression());
    if (!FMvtThread->Resultat().Remarque.isEmpty())
        FPanels[1]->SetDetails(QStringLiteral("<p>%1</p>").arg(FMvtThread->Resultat().Remarque.toHtmlEscaped()));
    QApplication::processEvents();
    FMvtThread->Lancer();
}

// Success is told by the events the sending created, counted in its own
// transaction: rows counted and none created is a failure.
void TFrm_IvroMVT::CallBackMvt(const TEnvoiResultat &aResultat)
{
    Timer1->stop();
    FMvtThread->deleteLater();
    FMvtThread = nullptr;
    MontreFinEnvoi(aResultat);
}

void TFrm_IvroMVT::AbandonEnvoiSilencieux()
{
    Timer1->stop();
    TEnvoi *envoi = FMvtThread;
    FMvtThread = nullptr;
    bool inconnue = false;
    TEnvoiResultat r = envoi->Resultat();
    r.Message = envoi->AbandonnerSurSilence(inconnue);
    r.Issue = inconnue ? TIssueEnvoi::Inconnue : TIssueEnvoi::Echec;
    // Its thread may wait on the network for as long as the system keeps
    // the connection; the window no longer does. The sending goes once its
    // thread has ended, the window's end not waiting for it.
    disconnect(envoi, nullptr, this, nullptr);
    envoi->setParent(nullptr);
    connect(envoi, &TEnvoi::Termine, envoi, &QObject::deleteLater);
    MontreFinEnvoi(r);
}

void TFrm_IvroMVT::MontreFinEnvoi(const TEnvoiResultat &aResultat)
{
    const QString node = aResultat.Demande.Noeud;
    const QString message = QString(aResultat.Message).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    if (!aResultat.Lance) {
        // Stopped before anything was sent: back to idle, the selection
        // kept for a retry.
        FinProgression(nullptr, node);
        AppliqueEtat(TEtat::Repos);
        if (aResultat.EchecInstallation) {
            SetPanelText(1, QStringLiteral("Échec de l'installation des procédures de mouvement : rien n'a été envoyé."));
            MessageErreur(this, QStringLiteral("Échec de l'installation des procédures de mouvement, rien n'a été "
                                               "envoyé :\r\n")
                                    + message);
            return;
        }
        SetPanelText(1, (aResultat.Issue == TIssueEnvoi::Refuse ? QStringLiteral("Envoi refusé : ")
                                                                 : QStringLiteral("Échec de l'envoi : "))
                            + aResultat.Message);
        MessageErreur(this, message);
        return;
    }
    const bool echec = aResultat.Issue != TIssueEnvoi::Termine;
    // An unknown outcome is no failure: events may exist, and sending again
    // would double them.
    const bool inconnue = aResultat.Issue == TIssueEnvoi::Inconnue;
    SetPanelText(1, inconnue ? QStringLiteral("Issue inconnue de l'envoi vers le noeud %1 : vérifiez avant de le "
                                              "relancer.").arg(node)
                    : echec ? QStringLiteral("Échec de l'envoi vers le noeud %1 : %2").arg(node, aResultat.Message)
                            : MouvementTexteFin(node) + QStringLiteral(" (%1 événements créés)").arg(aResultat.Crees.Nombre));
    FinProgression(echec ? nullptr : &aResultat.Crees, node);
    cbNode->setCurrentIndex(-1);
    AppliqueEtat(TEtat::Repos);
    if (inconnue)
        MessageErreur(this, message);
    else if (echec)
        MessageErreur(this, QStringLiteral("L'envoi des données vers le noeud %1 a échoué :\r\n%2").arg(node, message));
}

// The follow-up runs beside the window, which stays usable meanwhile.
void TFrm_IvroMVT::BSUIVIClick()
{
    if (teIBFile->text().isEmpty()) {
        MessageErreur(this, KBaseManquante);
        return;
    }
    // Without a sending of this base in the journal, the panel reads
    // SYM_DATA for the chosen node, or for every target node.
    QStringList noeuds;
    if (cbNode->currentIndex() >= 0)
        noeuds << cbNode->currentText();
    else
        for (int i = 0; i < cbNode->count(); ++i)
            noeuds << cbNode->itemText(i);
    auto *panel = new TSuiviPanel(DataMod->Mouvement, teIBFile->text(), noeuds, this);
    panel->setWindowFlag(Qt::Window);
    panel->show();
}
