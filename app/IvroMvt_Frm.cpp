#include "app/IvroMvt_Frm.h"

#include "app/MessageBoxes.h"
#include "app/MvtDetails.h"
#include "app/NodeTableModel.h"
#include "app/StatusPanel.h"
#include "app/SuiviPanel.h"
#include "app/TickCount.h"
#include "common/UWMI.h"
#include "common/uCommun.h"
#include "data/JournalEnvois.h"
#include "data/MvtProgression.h"
#include "data/QueryThread.h"
#include "data/ServerErrorText.h"
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
const QString KFermetureRefusee = QStringLiteral("Traitement en cours !\r\nImpossible de fermer le programme.");

// The sending in the journal of sendings, so that it can be followed later.
void ConsigneEnvoi(const QString &aBase, const QString &aNoeud, TSensMvt aSens, const QDate &aDu, const QDate &aAu,
                   quint32 aDureeMs, const TMvtEvenements &aCrees, bool aEchec, const QString &aMessage)
{
    const QDateTime fin = QDateTime::currentDateTimeUtc();
    TEnvoiJournal e = JournalEnvois::Nouveau(aBase, aNoeud, aSens, aDu, aAu, fin.addMSecs(-qint64(aDureeMs)));
    e.Fin = fin;
    e.Evenements = aCrees.Nombre;
    e.PremierDataId = aCrees.PremierDataId;
    e.DernierDataId = aCrees.DernierDataId;
    e.Issue = aEchec ? TIssueEnvoi::Echec : TIssueEnvoi::Termine;
    e.Message = aEchec ? aMessage : QString();
    const QString erreur = JournalEnvois::Consigner(e);
    if (!erreur.isEmpty())
        qWarning("Envoi non consigné au journal : %s", qUtf8Printable(erreur));
}

constexpr int KLargeurNoeud = 197;
constexpr int KLargeurHeartbeat = 141;

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
    if (const auto *db = dynamic_cast<const EDbError *>(&e))
        return TexteErreurServeur(*db).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return QString::fromLocal8Bit(e.what());
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
    dtDEB = datePicker(GroupBox1, QStringLiteral("à 00:00:00"), QRect(170, 95, 105, 21));
    Label2 = label(GroupBox1, QStringLiteral("au"), 286, 99);
    dtFIN = datePicker(GroupBox1, QStringLiteral("à 23:59:59"), QRect(314, 95, 105, 21));
    BEVAL = new QPushButton(QStringLiteral("Evaluer la Quantité"), GroupBox1);
    BEVAL->setGeometry(433, 94, 120, 25);

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
    FNodesModel = new TNodeTableModel(&mdNodes, this);
    DBGrid1->setModel(FNodesModel);
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
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &aCurrent) { FNodesModel->SetCurrentRow(aCurrent.row()); });
    gridLayout->addWidget(DBGrid1);

    GroupBox3 = new QGroupBox(QStringLiteral(" Destination des données à envoyer "), this);
    GroupBox3->setFixedHeight(105);
    Label3 = label(GroupBox3, QStringLiteral("Vers le noeud  :"), 91, 39);
    cbNode = new QComboBox(GroupBox3);
    cbNode->setEditable(false);
    cbNode->setGeometry(234, 36, 216, 22);
    BMVT = new QPushButton(QStringLiteral("Envoyer les données "), GroupBox3);
    BMVT->setGeometry(456, 34, 141, 25);
    BMVT->setEnabled(false);
    BSUIVI = new QPushButton(QStringLiteral("Suivre les envois"), GroupBox3);
    BSUIVI->setGeometry(456, 66, 141, 25);

    sb = new QStatusBar(this);
    sb->setFixedHeight(19);
    for (TStatusPanel *&panel : FPanels)
        panel = new TStatusPanel(sb);
    FPanels[0]->setFixedWidth(50);
    sb->addWidget(FPanels[0]);
    sb->addWidget(FPanels[1], 1);
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
    QWidget *order[] = {teIBFile, BIBFile, dtDEB, dtFIN, BEVAL, edtLOCAL_NODE_ID, DBGrid1, cbNode, BMVT, BSUIVI};
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
    dtDEB->installEventFilter(this);
    dtFIN->installEventFilter(this);

    resize(646, 490);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFrm_IvroMVT::FormCreate()
{
    FCanClose = true;
    FCANMVT = false;
    const QDate today = QDate::currentDate();
    dtDEB->setDate(today.addDays(-5));
    dtFIN->setDate(today);
    Timer1->stop();
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

// Touching the range calls for a new evaluation before any sending.
void TFrm_IvroMVT::dtDEBEnter()
{
    BMVT->setEnabled(false);
}

void TFrm_IvroMVT::dtFINEnter()
{
    BMVT->setEnabled(false);
}

void TFrm_IvroMVT::closeEvent(QCloseEvent *aEvent)
{
    if (!FCanClose) {
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
}

void TFrm_IvroMVT::RetourAuRepos(bool aBMVT, bool aWithNode)
{
    BMVT->setEnabled(aBMVT);
    if (aWithNode)
        cbNode->setEnabled(true);
    dtDEB->setEnabled(true);
    dtFIN->setEnabled(true);
    BIBFile->setEnabled(true);
    BEVAL->setEnabled(true);
    FCanClose = true;
}

void TFrm_IvroMVT::ReleaseQuery()
{
    FQuery.reset();
    FContenuQuery.reset();
    FCnx.reset();
}

void TFrm_IvroMVT::DemarreProgression(qint64 aAttendus)
{
    pbEnvoi->setToolTip(QString());
    pbEnvoi->setRange(0, int(std::min<qint64>(aAttendus, std::numeric_limits<int>::max())));
    pbEnvoi->setValue(0);
    pbEnvoi->setFormat(QStringLiteral("%v / %m événements"));
    try {
        FProgression = std::make_unique<TMvtProgression>(DataMod->getNewConnexion(SysdbaRef(teIBFile->text())));
        FProgression->Depart();
        connect(FProgression.get(), &TMvtProgression::Avancement, this, &TFrm_IvroMVT::ProgressionEnvoi);
        FProgression->Demarrer();
        pbEnvoi->show();
    } catch (const EDbError &) {
        // No generator to read (or no second connection): the sending does
        // not depend on it.
        FProgression.reset();
        pbEnvoi->hide();
    }
}

void TFrm_IvroMVT::ProgressionEnvoi(qint64 aInseres)
{
    // A reading queued before the sending ended is no news.
    if (!FProgression)
        return;
    pbEnvoi->setValue(int(std::clamp<qint64>(aInseres, 0, pbEnvoi->maximum())));
}

void TFrm_IvroMVT::FinProgression(const TMvtEvenements *aCrees, const QString &aNoeud)
{
    if (FProgression) {
        try {
            FProgression->Arreter();
        } catch (const EDbError &) {
        }
        FProgression.reset();
    }
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
    teIBFile->setText(aPath);
    pbEnvoi->hide();
    // The last evaluation counted another database: evaluate again first.
    BMVT->setEnabled(false);
    QString erreur;
    try {
        lblSens->clear();
        const TNode local = DataMod->IvroMvtLocalNode(aPath);
        const TNodes remotes = DataMod->IvroMvtListeRemoteNodes(aPath);
        edtLOCAL_NODE_ID->setText(local.NODE_ID + QStringLiteral(" / ") + local.NODE_GROUP_ID);
        lblSens->setText(TexteSens(SensDuGroupe(local.NODE_GROUP_ID)));
        cbNode->clear();
        mdNodes.Close();
        mdNodes.Open();
        for (const TNode &node : remotes) {
            mdNodes.Append();
            mdNodes.SetValue(0, node.NODE_ID);
            mdNodes.SetValue(1, node.NODE_GROUP_ID);
            mdNodes.SetValue(2, QVariant::fromValue(node.HEARTBEAT_TIME));
            cbNode->addItem(node.NODE_ID);
            mdNodes.Post();
        }
    } catch (const std::exception &e) {
        erreur = messageOf(e);
    }
    // A list that gets items selects the first: the target must be chosen.
    cbNode->setCurrentIndex(-1);
    FNodesModel->Refresh();
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
    FCanClose = false;
    BMVT->setEnabled(false);
    BIBFile->setEnabled(false);
    BEVAL->setEnabled(false);
    dtDEB->setEnabled(false);
    dtFIN->setEnabled(false);
    IvroMvtEval(teIBFile->text(), MvtDebutPlage(TDateTime::FromQDate(dtDEB->date())),
                MvtFinPlage(TDateTime::FromQDate(dtFIN->date())));
}

void TFrm_IvroMVT::IvroMvtEval(const QString &ABaseDonnees, const TDateTime &aDEB, const TDateTime &aFIN)
{
    try {
        FCnx = DataMod->getNewConnexion(SysdbaRef(ABaseDonnees));
        FQuery = DataMod->NewMvtCountQuery(FCnx.get(), aDEB, aFIN);
        FContenuQuery = DataMod->NewMvtContenuQuery(FCnx.get(), aDEB, aFIN);
        FContenuValide = false;
        pbEnvoi->hide();
        SetPanelText(1, QStringLiteral("Evaluation en cours...."));
        SetPanelText(0, QStringLiteral("00:00"));
        StartTimer();
        QApplication::processEvents();
        FEvalThread = new TQueryThread(FCnx.get(), FQuery.get(), [this](TQueryThread *aSender) { CallBackEval(aSender); });
        // The same range per table, in the worker too, for the details.
        FEvalThread->AddSuite(FContenuQuery.get());
        FEvalThread->Start();
    } catch (const std::exception &e) {
        // Nothing runs: the window must not stay busy.
        Timer1->stop();
        delete FEvalThread;
        FEvalThread = nullptr;
        ReleaseQuery();
        SetPanelText(1, QStringLiteral("Échec de l'évaluation : ") + messageOf(e));
        RetourAuRepos(false, false);
        MessageErreur(this, messageOf(e));
    }
}

void TFrm_IvroMVT::CallBackEval(TQueryThread *Sender)
{
    Timer1->stop();
    const qint32 count = Sender->FResultat;
    const QString message = Sender->FMessage;
    const TMvtEvaluation evaluation = MvtEvalue(count);
    FNbRec = evaluation.NbRec;
    FEvalTime = evaluation.EvalTime;
    const bool echec = count < 0;
    SetPanelText(1, echec ? QStringLiteral("Échec de l'évaluation : ") + message : evaluation.Texte());
    if (!echec) {
        if (Sender->FMessageSuite.isEmpty()) {
            FContenu = TDataMod::MvtContenuDe(*FContenuQuery);
            FContenuValide = true;
            FPanels[1]->SetDetails(DetailsContenuHtml(FContenu, SensDuTexte(lblSens->text())));
        } else {
            FPanels[1]->SetDetails(QStringLiteral("<p>%1</p>").arg(
                (QStringLiteral("Détail par table indisponible : ") + Sender->FMessageSuite).toHtmlEscaped()));
        }
    }
    RetourAuRepos(!echec && evaluation.Envoyable, false);
    FEvalThread = nullptr;
    ReleaseQuery();
    if (echec)
        MessageErreur(this, QStringLiteral("L'évaluation a échoué :\r\n") + message);
}

void TFrm_IvroMVT::BMVTClick()
{
    BMVT->setEnabled(false);
    FCanClose = false;
    cbNode->setEnabled(false);
    dtDEB->setEnabled(false);
    dtFIN->setEnabled(false);
    BIBFile->setEnabled(false);
    BEVAL->setEnabled(false);
    switch (SensDuTexte(lblSens->text())) {
    case TSensMvt::LameVersMag:
        MvtLame2Mag();
        break;
    case TSensMvt::MagVersLame:
        MvtMag2Lame();
        break;
    case TSensMvt::Aucun:
        // No procedure fits this database: sending stays off until another
        // database is loaded and evaluated.
        RetourAuRepos(false, true);
        MessageErreur(this, KSensInconnu);
        break;
    }
}

void TFrm_IvroMVT::MvtLame2Mag()
{
    MvtEnvoi(TSensMvt::LameVersMag);
}

void TFrm_IvroMVT::MvtMag2Lame()
{
    MvtEnvoi(TSensMvt::MagVersLame);
}

void TFrm_IvroMVT::MvtEnvoi(TSensMvt aSens)
{
    const QString node = cbNode->currentText();
    if (node.isEmpty()) {
        MessageErreur(this, KNoeudManquant);
        RetourAuRepos(true, true);
        cbNode->setFocus();
        return;
    }
    if (!ConfirmeAvertissement(this, MvtTexteConfirmation(FNbRec, node, FEvalTime))) {
        RetourAuRepos(true, true);
        return;
    }
    try {
        if (!InstallMvtProcedures())
            return;
        FSensEnvoi = aSens;
        FRepere = DataMod->MvtRepereSymData(teIBFile->text());
        FCnx = DataMod->getNewConnexion(SysdbaRef(teIBFile->text()));
        FQuery = DataMod->NewMvtSendQuery(FCnx.get(), aSens, MvtDebutPlage(TDateTime::FromQDate(dtDEB->date())),
                                          MvtFinPlage(TDateTime::FromQDate(dtFIN->date())), node);
        SetPanelText(1, QStringLiteral("Traitement en cours...."));
        SetPanelText(0, QStringLiteral("00:00"));
        // The evaluation's own forecast when it could read the tables.
        DemarreProgression(FContenuValide ? FContenu.Evenements(aSens) : qint64(FNbRec));
        StartTimer();
        QApplication::processEvents();
        FMvtThread = new TQueryThread(FCnx.get(), FQuery.get(), [this](TQueryThread *aSender) { CallBackMvt(aSender); });
        FMvtThread->Start();
    } catch (const std::exception &e) {
        // Nothing was sent: back to idle, the selection kept for a retry.
        Timer1->stop();
        delete FMvtThread;
        FMvtThread = nullptr;
        FinProgression(nullptr, node);
        ReleaseQuery();
        SetPanelText(1, QStringLiteral("Échec de l'envoi : ") + messageOf(e));
        RetourAuRepos(true, true);
        MessageErreur(this, messageOf(e));
    }
}

// The procedures come from the program itself; the copy of the script is
// written beside it when its folder takes it. A step that fails stops the
// sending before anything is sent: the procedures in the database may be
// old ones.
bool TFrm_IvroMVT::InstallMvtProcedures()
{
    TDataMod::TMvtInstallation rapport;
    if (DataMod->InstallMvtProcedures(teIBFile->text(), FProgramDir, &rapport))
        return true;
    SetPanelText(1, QStringLiteral("Échec de l'installation des procédures de mouvement : rien n'a été envoyé."));
    RetourAuRepos(true, true);
    MessageErreur(this, QStringLiteral("Échec de l'installation des procédures de mouvement, rien n'a été envoyé :\r\n")
                            + rapport.Erreurs.join(QStringLiteral("\r\n")));
    return false;
}

// Success is told by the events the call created in SYM_DATA, counted from
// the mark taken before it: rows counted and none created is a failure.
void TFrm_IvroMVT::CallBackMvt(TQueryThread *Sender)
{
    Timer1->stop();
    bool echec = Sender->FResultat == -1;
    QString message = Sender->FMessage;
    const QString node = cbNode->currentText();
    FMvtThread = nullptr;
    ReleaseQuery();
    QString fin;
    TMvtEvenements crees;
    if (!echec) {
        try {
            crees = DataMod->MvtEvenementsCrees(teIBFile->text(), FRepere, node);
            if (crees.Nombre == 0) {
                echec = true;
                message = MvtTexteAucunEvenement(FNbRec / MvtEvenementsParLigne, FSensEnvoi, node);
            } else {
                fin = MvtTexteFin(node) + QStringLiteral(" (%1 événements créés)").arg(crees.Nombre);
            }
        } catch (const std::exception &e) {
            echec = true;
            message = QStringLiteral("le nombre d'événements créés n'a pu être lu : ") + messageOf(e);
        }
    }
    ConsigneEnvoi(teIBFile->text(), node, FSensEnvoi, dtDEB->date(), dtFIN->date(), GetTickCount() - FStart, crees,
                  echec, message);
    SetPanelText(1, echec ? QStringLiteral("Échec de l'envoi vers le noeud %1 : %2").arg(node, message) : fin);
    FinProgression(echec ? nullptr : &crees, node);
    cbNode->setCurrentIndex(-1);
    RetourAuRepos(true, true);
    if (echec)
        MessageErreur(this, QStringLiteral("L'envoi des données vers le noeud %1 a échoué :\r\n%2").arg(node, message));
}

// The follow-up runs beside the window, which stays usable meanwhile.
void TFrm_IvroMVT::BSUIVIClick()
{
    if (teIBFile->text().isEmpty()) {
        MessageErreur(this, KBaseManquante);
        return;
    }
    auto *panel = new TSuiviPanel(teIBFile->text(), this);
    panel->setWindowFlag(Qt::Window);
    panel->show();
}
