#pragma once

#include "common/DateTime.h"
#include "common/MemTable.h"
#include "data/mouvement/Envoi.h"
#include "data/mouvement/Evaluation.h"
#include "data/mouvement/Mouvement.h"
#include "data/mouvement/MouvementContenu.h"

#include <QString>
#include <QWidget>

#include <memory>

class QComboBox;
class TDetailEvaluation;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QTimer;
class TNoeudsTableModel;
class TStatusPanel;

// The movement tool's main window: choose a site database, evaluate a day
// range of K rows, send them again to one node. The evaluation and the
// sending are objects of the data module that run on threads of their own;
// the window shows what they report and does one action at a time: its
// state (TEtat) decides which controls are usable, whether it may close and
// what the status line says while an action runs.
class TFrm_IvroMVT : public QWidget
{
    Q_OBJECT

public:
    explicit TFrm_IvroMVT(QWidget *aParent = nullptr);
    ~TFrm_IvroMVT() override;

    // Controls, named as the operator's documentation names them.
    QGroupBox *GroupBox1, *GroupBox2, *GroupBox3, *GroupBox4;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label7;
    QLineEdit *teIBFile, *edtLOCAL_NODE_ID;
    QPushButton *BIBFile, *BEVAL, *BMVT;
    QPushButton *BSUIVI; // opens the follow-up of the database's sendings
    // Beside the evaluation: shows or hides its detail per table (wDetail).
    QPushButton *BDETAIL;
    QDateEdit *dtDEB, *dtFIN;
    QLabel *lblSens;
    QTableView *DBGrid1;
    // Under the nodes: the last evaluation's detail per table.
    TDetailEvaluation *wDetail;
    QComboBox *cbNode;
    // Beside the send button: why it stays grey after an evaluation.
    QLabel *lblRaisonEnvoi;
    QStatusBar *sb;
    // In the status bar during a sending: events inserted out of those
    // expected; afterwards the DATA_ID range created. Hidden otherwise.
    QProgressBar *pbEnvoi;
    QTimer *Timer1;
    TMemTable mdNodes;

    // The status bar's panels: 0 the elapsed time, 1 the messages.
    QString PanelText(int aPanel) const;
    void SetPanelText(int aPanel, const QString &aText);
    TStatusPanel *Panel(int aPanel) const { return FPanels[aPanel]; }

    // Folder where "ivro_mvt.sql" is written before a sending, with its
    // trailing separator; the program's own folder by default.
    void SetProgramDir(const QString &aDir) { FProgramDir = aDir; }
    const QString &ProgramDir() const { return FProgramDir; }

    bool CanClose() const { return FEtat == TEtat::Repos; }
    qint32 NbRec() const { return FNbRec; }
    // What the last evaluated range holds per table; valid only when the
    // evaluation could read it.
    const TMouvementContenu &Contenu() const { return FContenu; }
    bool ContenuValide() const { return FContenuValide; }
    const QString &EvalTime() const { return FEvalTime; }

    // Handlers and actions; public so that they can be driven as the
    // operator would.
    void FormCreate();
    void dtDEBEnter();
    void dtFINEnter();
    void Timer1Timer();
    void BIBFileClick();
    void LoadIBFile(const QString &aPath);
    void BEVALClick();
    void IvroMvtEval(const QString &ABaseDonnees, const TDateTime &aDEB, const TDateTime &aFIN);
    void CallBackEval(const TEvaluationResultat &aResultat);
    void BMVTClick();
    void CallBackMvt(const TEnvoiResultat &aResultat);
    // What a sending's end shows: status bar, progress, idle window, box.
    void MontreFinEnvoi(const TEnvoiResultat &aResultat);
    // The server silent for too long during a sending: given up, as
    // envoyer does.
    void AbandonEnvoiSilencieux();
    void BSUIVIClick();

protected:
    void closeEvent(QCloseEvent *aEvent) override;
    bool eventFilter(QObject *aWatched, QEvent *aEvent) override;

private:
    void BuildLayout();
    void MvtLame2Mag();
    void MvtMag2Lame();
    void MouvementEnvoi();

    // What the window is doing.
    enum class TEtat {
        Repos,
        Evaluation,
        PreparationEnvoi, // a sending asked: the questions, the checks and the installation, on this thread
        Envoi,            // the range procedure runs
    };
    // Enters aEtat (or applies the current one again): every action's
    // control usable or not, the close guard, and on entering a running
    // action its status line and elapsed time.
    void AppliqueEtat(TEtat aEtat);
    // The last evaluation counted what the window shows: its database, its
    // days and its direction. A sending is built from the evaluation, so
    // anything else on screen would be sent as something it is not.
    bool EvaluationAffichee() const;
    // Sending waits for a new evaluation of the range, and says so.
    void DemandeEvaluation();
    // The status bar as high as the message panel's lines.
    void HauteurBarreEtat(int aLignes);
    // The evaluation's refusal beside the send button; empty clears it.
    void MontreRaisonEnvoi(const QString &aRefus);
    // The line itself, whole: the box grows to its lines.
    void TexteRaison(const QString &aTexte);
    QString RaisonBaseEvaluee() const;
    // The detail shown when asked for and there is one; the button enabled
    // when there is one.
    void MontreDetail();
    // Asks before sending to a node that never sent a heartbeat or has been
    // silent for more than a day, whose synchronisation is disabled, or that
    // got the same range today; true when there is no reason to, or the
    // operator goes on.
    bool NoeudAttenduConfirme(const QString &aNoeud);
    void StartTimer();
    // The progress bar of a sending of about aAttendus events, shown when
    // the sending reads its progress.
    void DemarreProgression(qint64 aAttendus, bool aLue);
    void ProgressionEnvoi(qint64 aInseres);
    // Shows the events created; none (null) on failure.
    void FinProgression(const TMouvementEvenements *aCrees, const QString &aNoeud);

    // Why no sending can work with the database loaded (none loaded, no
    // direction, no node the direction reaches); empty when one can.
    QString FRaisonBase;
    bool FCANMVT = false;
    qint32 FNbRec = 0;
    QString FEvalTime;
    TEtat FEtat = TEtat::Repos;
    // Idle, a sending may be asked: the last evaluation allows it and the
    // database loaded does too.
    bool FEnvoiPermis = false;
    // The direction of the database loaded, from its local node's group.
    TSensMouvement FSens = TSensMouvement::Aucun;
    QString FIBFile;
    quint32 FStart = 0;
    // The running evaluation and sending; each frees itself once the
    // window has shown its end.
    TEvaluation *FEvalThread = nullptr;
    TEnvoi *FMvtThread = nullptr;
    TEvaluationResultat FEvaluation; // the last one, that a sending follows

    TMouvementContenu FContenu;
    bool FContenuValide = false;

    QString FProgramDir;
    TNoeudsTableModel *FNoeudsModel = nullptr;
    TStatusPanel *FPanels[2] = {nullptr, nullptr};
};

// The program's one main window.
extern TFrm_IvroMVT *Frm_IvroMVT;
