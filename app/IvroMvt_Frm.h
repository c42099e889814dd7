#pragma once

#include "common/DateTime.h"
#include "common/MemTable.h"
#include "data/Movement.h"
#include "data/MvtContenu.h"

#include <QString>
#include <QWidget>

#include <memory>

class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QTimer;
class TDbConnection;
class TDbQuery;
class TMvtProgression;
class TNodeTableModel;
class TQueryThread;
class TStatusPanel;

// The movement tool's main window: choose a site database, evaluate a day
// range of K rows, send them again to one node. Long queries run in a
// TQueryThread; the window stays idle-or-busy with one action at a time.
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
    QDateEdit *dtDEB, *dtFIN;
    QLabel *lblSens;
    QTableView *DBGrid1;
    QComboBox *cbNode;
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

    bool CanClose() const { return FCanClose; }
    qint32 NbRec() const { return FNbRec; }
    // What the last evaluated range holds per table; valid only when the
    // evaluation could read it.
    const TMvtContenu &Contenu() const { return FContenu; }
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
    void CallBackEval(TQueryThread *Sender);
    void BMVTClick();
    void CallBackMvt(TQueryThread *Sender);
    void BSUIVIClick();

protected:
    void closeEvent(QCloseEvent *aEvent) override;
    bool eventFilter(QObject *aWatched, QEvent *aEvent) override;

private:
    void BuildLayout();
    void MvtLame2Mag();
    void MvtMag2Lame();
    void MvtEnvoi(TSensMvt aSens);
    // False when a step failed: the operator was told, the window is idle.
    bool InstallMvtProcedures();
    // Back to idle: closing allowed, the action buttons and pickers usable;
    // cbNode too when aWithNode, BMVT only when aBMVT.
    void RetourAuRepos(bool aBMVT, bool aWithNode);
    void ReleaseQuery();
    void StartTimer();
    // The progress reader of a sending of about aAttendus events; the
    // sending goes on without it when it can't read.
    void DemarreProgression(qint64 aAttendus);
    void ProgressionEnvoi(qint64 aInseres);
    // Stops the reader and shows the events created; none (null) on failure.
    void FinProgression(const TMvtEvenements *aCrees, const QString &aNoeud);

    bool FCANMVT = false;
    qint32 FNbRec = 0;
    QString FEvalTime;
    bool FCanClose = true;
    QString FIBFile;
    quint32 FStart = 0;
    std::unique_ptr<TDbQuery> FQuery;
    std::unique_ptr<TDbQuery> FContenuQuery; // the evaluation's per-table counts, on FCnx
    std::unique_ptr<TDbConnection> FCnx;
    TQueryThread *FEvalThread = nullptr;
    TQueryThread *FMvtThread = nullptr;
    TSensMvt FSensEnvoi = TSensMvt::Aucun;
    qint64 FRepere = 0; // SYM_DATA's last DATA_ID before the sending

    TMvtContenu FContenu;
    bool FContenuValide = false;
    std::unique_ptr<TMvtProgression> FProgression;

    QString FProgramDir;
    TNodeTableModel *FNodesModel = nullptr;
    TStatusPanel *FPanels[2] = {nullptr, nullptr};
};

// The program's one main window.
extern TFrm_IvroMVT *Frm_IvroMVT;
