#pragma once

// The follow-up of a sending in the window: where the events of a sending
// of the journal stand (not routed, per batch status, in error), refreshed
// every few seconds on a worker thread so that the window never waits for
// the database, until every event is loaded or in error or the operator
// stops it. A sending made from another machine is not in this one's
// journal: then the day's reload events of the target nodes are looked for
// in the whole of SYM_DATA, as suivi does.

#include "data/mouvement/JournalEnvois.h"
#include "data/mouvement/SuiviEnvoi.h"

#include <QDialog>
#include <QList>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class TOperationsMouvement;
class QTimer;
class TDbConnection;
class TQueryThread;

class TSuiviPanel : public QDialog
{
    Q_OBJECT

public:
    // The sendings of aBase in the journal, the newest chosen; with none,
    // today's events in SYM_DATA for each of aNoeuds, the first chosen.
    TSuiviPanel(TOperationsMouvement &aMouvement, const QString &aBase, const QStringList &aNoeuds = {}, QWidget *aParent = nullptr);
    ~TSuiviPanel() override;

    QComboBox *cbEnvoi;
    QLabel *lblSource;      // where the sendings come from, when not the journal
    QLabel *lblEtat;        // counts outside the node's batches
    QTableWidget *tvStatuts; // events and batches per status
    QTableWidget *tvErreurs; // batches in error, with their message
    QLabel *lblAvancement;  // elapsed time and what is left
    QPushButton *BARRET;    // stops or resumes the follow-up
    QPushButton *BFERMER;

    void SetPeriode(int aMs);
    bool Suit() const; // the follow-up refreshes on its own
    // Reads again now, unless a reading is already on its way.
    void Rafraichir();
    const TSuiviEnvoi &Dernier() const { return FSuivi; }
    const QList<TEnvoiJournal> &Envois() const { return FEnvois; }
    // No sending in the journal: the entries are the nodes, read in SYM_DATA.
    bool DansSymData() const { return FDansSymData; }

signals:
    void Rafraichi(); // a reading has been shown
    void Fini();      // nothing is on its way any more

private:
    void ChoisitEnvoi(int aIndex);
    void Recu();
    void Affiche();
    void BARRETClick();
    void Arrete(const QString &aTexte);

    TOperationsMouvement &FMouvement;
    QString FBase;
    QList<TEnvoiJournal> FEnvois;
    TEnvoiJournal FEnvoi;
    TSuiviEnvoi FSuivi;
    bool FLu = false;
    bool FDansSymData = false;
    QString FErreur;
    QTimer *FTimer = nullptr;
    std::unique_ptr<TQueryThread> FWorker;
    struct TLecture;
    std::shared_ptr<TLecture> FLecture;
};
