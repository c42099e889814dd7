#include "app/SuiviPanel.h"

#include "common/Erreur.h"
#include "common/uCommun.h"
#include "data/mouvement/OperationsMouvement.h"
#include "data/mouvement/QueryThread.h"
#include "db/DbConnection.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int KPeriodeMs = 5000;

// Whole days first: a sending followed two days later must not read as
// one of the same day.
QString TexteEcoule(qint64 aSecondes)
{
    const qint64 jours = aSecondes / 86400;
    const qint64 reste = aSecondes % 86400;
    if (jours == 0)
        return FormatDuree(double(reste));
    return QStringLiteral("%1 j %2:%3:%4")
        .arg(jours)
        .arg(reste / 3600, 2, 10, QLatin1Char('0'))
        .arg(reste % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(reste % 60, 2, 10, QLatin1Char('0'));
}

// What ended with the entry is the creation of the events, not their way
// to the node.
QString TexteCreation(const TEnvoiJournal &aEnvoi)
{
    switch (aEnvoi.Issue) {
    case TIssueEnvoi::Termine: return QStringLiteral("création des événements terminée");
    case TIssueEnvoi::Interrompu: return QStringLiteral("création des événements interrompue");
    // The commit's answer was lost: the events below say whether it went through.
    case TIssueEnvoi::Inconnue: return QStringLiteral("issue de la création des événements inconnue");
    case TIssueEnvoi::EnCours:
    case TIssueEnvoi::Refuse:
    case TIssueEnvoi::Echec: break;
    }
    return QStringLiteral("création des événements échouée");
}

QString TexteEnvoi(const TEnvoiJournal &aEnvoi)
{
    const QString jour = QStringLiteral("dd/MM/yyyy");
    QString t = QStringLiteral("%1 - %2 - jours du %3 au %4 - ")
                    .arg(aEnvoi.Debut.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")), aEnvoi.Noeud,
                         aEnvoi.Du.toString(jour), aEnvoi.Au.toString(jour));
    if (aEnvoi.AvecPlage())
        t += QStringLiteral("%1 événements (DATA_ID %2 à %3)")
                 .arg(aEnvoi.Evenements)
                 .arg(aEnvoi.PremierDataId)
                 .arg(aEnvoi.DernierDataId);
    else
        t += QStringLiteral("aucun événement");
    return t + QStringLiteral(" - ") + TexteCreation(aEnvoi);
}

QTableWidget *Tableau(QWidget *aParent, const QStringList &aEntetes)
{
    auto *t = new QTableWidget(0, int(aEntetes.size()), aParent);
    t->setHorizontalHeaderLabels(aEntetes);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->horizontalHeader()->setStretchLastSection(true);
    // Nine statuses at most: one line each, all in view.
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    return t;
}

void Ligne(QTableWidget *aTable, int aLigne, const QStringList &aValeurs)
{
    for (int c = 0; c < aValeurs.size(); ++c) {
        auto *item = new QTableWidgetItem(aValeurs[c]);
        item->setToolTip(aValeurs[c]);
        aTable->setItem(aLigne, c, item);
    }
}

} // namespace

// What the worker hands back; shared so that a panel closed meanwhile
// leaves the worker something to write to.
struct TSuiviPanel::TLecture
{
    // The reading's connection, made here; the worker closes it when it
    // has read: its detach waits for the server, which the window must not.
    std::unique_ptr<TDbConnection> Cnx;
    QString Noeud; // what was asked
    qint64 De = 0; // 0: today's range, found in SYM_DATA first
    bool Trouve = true; // SYM_DATA held events of today for the node
    TSuiviEnvoi Suivi;
    QString Erreur;
};

TSuiviPanel::TSuiviPanel(TOperationsMouvement &aMouvement, const QString &aBase, const QStringList &aNoeuds,
                         QWidget *aParent)
    : QDialog(aParent), FMouvement(aMouvement), FBase(aBase)
{
    setWindowTitle(QStringLiteral("Suivi des envois"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *root = new QVBoxLayout(this);

    auto *haut = new QHBoxLayout;
    haut->addWidget(new QLabel(QStringLiteral("Envoi :"), this));
    cbEnvoi = new QComboBox(this);
    haut->addWidget(cbEnvoi, 1);
    root->addLayout(haut);

    lblSource = new QLabel(this);
    lblSource->setTextFormat(Qt::PlainText);
    lblSource->setWordWrap(true);
    lblSource->hide();
    root->addWidget(lblSource);
    lblEtat = new QLabel(this);
    lblEtat->setTextFormat(Qt::PlainText);
    root->addWidget(lblEtat);
    tvStatuts = Tableau(this, {QStringLiteral("Statut"), QStringLiteral("État"), QStringLiteral("Événements"),
                               QStringLiteral("Lots")});
    root->addWidget(tvStatuts, 3);
    root->addWidget(new QLabel(QStringLiteral("Lots en erreur :"), this));
    // What the operator needs to act on a refused batch: the event it
    // stopped at and the server's SQL state, as suivi gives them.
    tvErreurs = Tableau(this, {QStringLiteral("Lot"), QStringLiteral("Statut"), QStringLiteral("Envois"),
                               QStringLiteral("SQL_STATE"), QStringLiteral("FAILED_DATA_ID"), QStringLiteral("Message")});
    root->addWidget(tvErreurs, 1);
    lblAvancement = new QLabel(this);
    lblAvancement->setTextFormat(Qt::PlainText);
    lblAvancement->setWordWrap(true);
    root->addWidget(lblAvancement);

    auto *bas = new QHBoxLayout;
    bas->addStretch(1);
    BARRET = new QPushButton(QStringLiteral("Arrêter le suivi"), this);
    BFERMER = new QPushButton(QStringLiteral("Fermer"), this);
    BARRET->setMinimumWidth(BARRET->fontMetrics().horizontalAdvance(QStringLiteral("Reprendre le suivi")) + 24);
    bas->addWidget(BARRET);
    bas->addWidget(BFERMER);
    root->addLayout(bas);
    resize(640, 520);

    FTimer = new QTimer(this);
    FTimer->setInterval(KPeriodeMs);
    connect(FTimer, &QTimer::timeout, this, &TSuiviPanel::Rafraichir);
    connect(BARRET, &QPushButton::clicked, this, &TSuiviPanel::BARRETClick);
    connect(BFERMER, &QPushButton::clicked, this, &QDialog::close);

    QStringList avertissements;
    FEnvois = JournalEnvois::Lire(&avertissements);
    const QString base = JournalEnvois::CleBase(aBase);
    FEnvois.removeIf([&base](const TEnvoiJournal &e) { return e.Base != base; });
    std::stable_sort(FEnvois.begin(), FEnvois.end(),
                     [](const TEnvoiJournal &a, const TEnvoiJournal &b) { return a.Debut > b.Debut; });
    for (const TEnvoiJournal &e : std::as_const(FEnvois))
        cbEnvoi->addItem(TexteEnvoi(e));
    // Made from another machine: one entry per node, its range looked for
    // in SYM_DATA at the first reading.
    if (FEnvois.isEmpty() && !aNoeuds.isEmpty()) {
        FDansSymData = true;
        for (const QString &noeud : aNoeuds) {
            TEnvoiJournal e;
            e.Base = base;
            e.Noeud = noeud;
            FEnvois << e;
            cbEnvoi->addItem(QStringLiteral("%1 - événements de rechargement du jour dans SYM_DATA").arg(noeud));
        }
        lblSource->setText(QStringLiteral("Aucun envoi de cette base dans le journal de cette machine : recherche "
                                          "des envois du jour vers %1 dans tout SYM_DATA, plus longue.")
                               .arg(aNoeuds.join(QStringLiteral(", "))));
        lblSource->show();
    }
    connect(cbEnvoi, &QComboBox::currentIndexChanged, this, &TSuiviPanel::ChoisitEnvoi);
    if (FEnvois.isEmpty()) {
        BARRET->setEnabled(false);
        lblAvancement->setText(QStringLiteral("Aucun envoi de cette base dans le journal de cette machine."));
        return;
    }
    ChoisitEnvoi(0);
}

TSuiviPanel::~TSuiviPanel()
{
    // The reading runs on our connection: cancelled, then waited for.
    FWorker.reset();
}

void TSuiviPanel::SetPeriode(int aMs)
{
    FTimer->setInterval(aMs);
}

bool TSuiviPanel::Suit() const
{
    return FTimer->isActive();
}

void TSuiviPanel::ChoisitEnvoi(int aIndex)
{
    if (aIndex < 0 || aIndex >= FEnvois.size())
        return;
    FEnvoi = FEnvois[aIndex];
    FSuivi = TSuiviEnvoi();
    FLu = false;
    FErreur.clear();
    Affiche();
    if (!FEnvoi.AvecPlage() && !FDansSymData) {
        Arrete(QStringLiteral("Cet envoi n'a créé aucun événement : rien à suivre."));
        BARRET->setEnabled(false);
        return;
    }
    BARRET->setEnabled(true);
    BARRET->setText(QStringLiteral("Arrêter le suivi"));
    FTimer->start();
    Rafraichir();
}

void TSuiviPanel::Rafraichir()
{
    if (FWorker || (!FEnvoi.AvecPlage() && !FDansSymData))
        return;
    // The connection is made here, the data module belonging to this
    // thread; the worker attaches it, reads and closes it.
    auto lecture = std::make_shared<TLecture>();
    try {
        lecture->Cnx = FMouvement.Acces().getNewConnexion(SysdbaRef(FBase));
    } catch (const std::exception &e) {
        FErreur = TexteErreur(e);
        Affiche();
        return;
    }
    lecture->Noeud = FEnvoi.Noeud;
    lecture->De = FEnvoi.PremierDataId;
    FLecture = lecture;
    const QString noeud = FEnvoi.Noeud;
    const qint64 de = FEnvoi.PremierDataId;
    const qint64 a = FEnvoi.DernierDataId;
    FWorker = std::make_unique<TQueryThread>(
        lecture->Cnx.get(),
        [lecture, noeud, de, a](TQueryThread *aSender) {
            try {
                qint64 premier = de;
                qint64 dernier = a;
                if (de == 0)
                    lecture->Trouve =
                        TOperationsMouvement::PlageEnvoisDuJourSur(lecture->Cnx.get(), noeud, premier, dernier);
                if (lecture->Trouve)
                    lecture->Suivi = TOperationsMouvement::SuiviEnvoiSur(lecture->Cnx.get(), noeud, premier, dernier);
                else
                    lecture->Suivi.Noeud = noeud;
            } catch (const std::exception &e) {
                lecture->Erreur = TexteErreur(e);
            }
            aSender->Detacher();
        },
        [this](TQueryThread *) { Recu(); }, this);
    FWorker->Start();
}

void TSuiviPanel::Recu()
{
    FWorker.reset();
    // A reading of a sending no longer chosen is no news.
    if (FLecture->De == FEnvoi.PremierDataId && FLecture->Noeud == FEnvoi.Noeud) {
        FErreur = FLecture->Erreur;
        if (FErreur.isEmpty()) {
            FSuivi = FLecture->Suivi;
            FLu = true;
            // Today's range, found once: the next readings go by the key.
            if (FDansSymData && !FEnvoi.AvecPlage() && FLecture->Trouve) {
                FEnvoi.PremierDataId = FSuivi.De;
                FEnvoi.DernierDataId = FSuivi.A;
                const int i = cbEnvoi->currentIndex();
                if (i >= 0 && i < FEnvois.size() && FEnvois[i].Noeud == FEnvoi.Noeud)
                    FEnvois[i] = FEnvoi;
            }
        }
    }
    FLecture.reset();
    Affiche();
    emit Rafraichi();
    if (FLu && FSuivi.Termine() && FTimer->isActive()) {
        Arrete(QString());
        emit Fini();
    }
}

void TSuiviPanel::Affiche()
{
    const TSuiviEnvoi &s = FSuivi;
    tvStatuts->setRowCount(int(s.Statuts.size()));
    for (int i = 0; i < s.Statuts.size(); ++i)
        Ligne(tvStatuts, i,
              {s.Statuts[i].STATUS, LibelleStatut(s.Statuts[i].STATUS), QString::number(s.Statuts[i].Evenements),
               QString::number(s.Statuts[i].Lots)});
    tvErreurs->setRowCount(int(s.LotsEnErreur.size()));
    for (int i = 0; i < s.LotsEnErreur.size(); ++i)
        Ligne(tvErreurs, i,
              {QString::number(s.LotsEnErreur[i].BATCH_ID), s.LotsEnErreur[i].STATUS,
               QString::number(s.LotsEnErreur[i].SENT_COUNT), s.LotsEnErreur[i].SQL_STATE,
               QString::number(s.LotsEnErreur[i].FAILED_DATA_ID), s.LotsEnErreur[i].SQL_MESSAGE.simplified()});
    if (!FLu) {
        lblEtat->setText(FEnvoi.AvecPlage() || FDansSymData ? QStringLiteral("Lecture en cours...") : QString());
    } else {
        lblEtat->setText(QStringLiteral("Événements encore dans SYM_DATA : %1\n"
                                        "Non routés (en attente du routage) : %2\n"
                                        "Non routés, au-delà du dernier trou (routés à son prochain) : %3\n"
                                        "Hors de tout trou (ne seront jamais routés) : %4\n"
                                        "Routés sans lot pour ce noeud (n'y arriveront pas) : %5\n"
                                        "Dans un lot du noeud : %6")
                             .arg(s.Total)
                             .arg(s.NonRoutes)
                             .arg(s.AuDelaDesTrous)
                             .arg(s.HorsTrous)
                             .arg(s.RoutesAilleurs())
                             .arg(s.AvecLot));
    }
    const QDateTime depuis = FEnvoi.Fin.isValid() ? FEnvoi.Fin : FEnvoi.Debut;
    const QString ecoule = TexteEcoule(std::max<qint64>(0, depuis.secsTo(QDateTime::currentDateTimeUtc())));
    QString avancement;
    if (!FErreur.isEmpty())
        avancement = QStringLiteral("Lecture impossible : %1").arg(FErreur);
    else if (FDansSymData && FLu && !FEnvoi.AvecPlage())
        avancement = QStringLiteral("Aucun événement de rechargement créé aujourd'hui pour le noeud %1.").arg(FEnvoi.Noeud);
    // No journal entry: neither the time of the sending nor the count it created is known.
    else if (FDansSymData && FLu && s.Termine())
        avancement = QStringLiteral("Suivi terminé. %1").arg(VerdictSuivi(s));
    else if (FDansSymData && FLu)
        avancement = QStringLiteral("Encore en route : %1 événements sur %2.").arg(s.EnCours()).arg(s.Total);
    else if (FLu && s.Termine())
        avancement = QStringLiteral("Suivi terminé, %1 après l'envoi. %2").arg(ecoule, VerdictSuivi(s, FEnvoi.Evenements));
    else if (FLu)
        avancement = QStringLiteral("Temps écoulé depuis l'envoi : %1. Encore en route : %2 événements sur %3.")
                         .arg(ecoule)
                         .arg(s.EnCours())
                         .arg(s.Total);
    if (!avancement.isEmpty())
        lblAvancement->setText(avancement);
}

void TSuiviPanel::BARRETClick()
{
    if (FTimer->isActive()) {
        Arrete(QStringLiteral("Suivi arrêté."));
        return;
    }
    BARRET->setText(QStringLiteral("Arrêter le suivi"));
    FTimer->start();
    Rafraichir();
}

void TSuiviPanel::Arrete(const QString &aTexte)
{
    FTimer->stop();
    BARRET->setText(QStringLiteral("Reprendre le suivi"));
    if (!aTexte.isEmpty())
        lblAvancement->setText(aTexte);
}
