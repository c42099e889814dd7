#pragma once

// One sending of a day range's movements to one node, from start to end,
// the same for the window and the command line: the checks, the guard that
// keeps a second sending off the node, the installation of the movement
// procedures, the range procedure in a transaction of its own, the progress
// read on a second connection, cancellation, the count of the events
// created and the outcome. It knows no widget and no terminal: it reports
// through its signals and its result.

#include "common/DateTime.h"
#include "common/Erreur.h"
#include "data/mouvement/Evaluation.h"
#include "data/mouvement/Mouvement.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class TDbConnection;
class TDbQuery;
class TDbTransaction;
class TMouvementProgression;
class TOperationsMouvement;
class TQueryThread;

// What a sending does: the database, the range and the direction of the
// evaluation it is built from, the node and the folder its caller adds.
struct TEnvoiDemande
{
    QString Base;
    TSensMouvement Sens = TSensMouvement::Aucun;
    TDateTime Debut; // both bounds inclusive, as the evaluation's
    TDateTime Fin;
    QString Noeud;
    QString DossierProgramme; // where "ivro_mvt.sql" is written; ends with a separator
};

enum class TIssueEnvoi {
    EnCours,
    Termine,    // the events were created and committed
    Refuse,     // stopped before anything was installed
    Interrompu, // cancelled: nothing remains of it
    Echec,      // installation, procedure, count or commit failed: nothing remains of it
    Inconnue    // the commit's answer was lost and could not be checked: its events may exist
};

// The sending's whole story, complete once it has ended.
struct TEnvoiResultat
{
    TEnvoiDemande Demande;
    TIssueEnvoi Issue = TIssueEnvoi::EnCours;
    // Failure or refusal in the server's or our words; empty otherwise.
    QString Message;
    // The range procedure was started: what follows is the sending's end,
    // not a refusal.
    bool Lance = false;
    // The installation failed: Message lists the steps that did.
    bool EchecInstallation = false;
    QString Installation;  // "ivro_mvt.sql" as written, empty when not written
    QString NonEcrit;      // why it was not written
    QString Remarque;      // said once: the range procedures stay as shipped, and why
    TMouvementEvenements Crees;  // the events this sending created (0 unless Termine; those it
                           // would have created when Inconnue)
    qint64 Repere = 0;     // the last DATA_ID before the sending's own
    // The connection failed during the commit: the outcome was checked
    // again on a new attachment (Termine, Echec) or could not be (Inconnue).
    bool CommitVerifie = false;
    qint32 Lignes = 0;     // K rows the evaluation counted
    qint64 Prevus = 0;     // events expected, for the progress
    QDateTime Debut;       // when it started and ended: the sending's duration, on every
    QDateTime Fin;         // face and in the journal
    qint64 DureeMs = 0;    // of the range procedure and its count
};

// How long the server may leave the progress readings unanswered before a
// sending is given up: it works on its own attachment meanwhile, and a
// second of silence is already long.
constexpr qint64 KSilenceServeurMaxMs = 60000;

class TEnvoi : public QObject
{
    Q_OBJECT

public:
    // The sending of what aEvaluation counted: its database, its range, its
    // direction, its count and its forecast; the caller adds only the node
    // and the folder where "ivro_mvt.sql" is written (ending with a
    // separator). Nothing else can be sent than what was evaluated.
    TEnvoi(TOperationsMouvement &aMouvement, const TEvaluationResultat &aEvaluation, const QString &aNoeud,
           const QString &aDossierProgramme, QObject *aParent = nullptr);
    ~TEnvoi() override; // cancels and waits for a sending still running

    // Checks the evaluation (direction, node, range, 0 < n < 200000, events
    // forecast), takes the guard of the node, installs the procedures; on
    // the caller's thread. Returns false when it stops here (Refuse, Echec
    // or Interrompu, Termine already emitted).
    bool Preparer();
    // After Preparer: the range procedure runs on a thread of its own,
    // Termine following on this object's thread.
    void Lancer();
    // Both.
    bool Demarrer()
    {
        if (!Preparer())
            return false;
        Lancer();
        return true;
    }

    // Callable from any thread: the running statement is cancelled (asked
    // again until it is), and the sending ends Interrompu with nothing
    // created. False when the client can't be asked to cancel.
    bool Cancel();
    bool Cancelled() const { return FCancel.load(); }
    // For an interruption that ends the process at once (thread-safe): stops
    // the sending and answers true when nothing of it is or will be
    // committed, false when its commit was already under way or done.
    bool Abandonner(TIssueEnvoi aIssue = TIssueEnvoi::Interrompu, const QString &aMessage = QString());
    // After Abandonner answered false, for a process that ends without the
    // commit's answer (thread-safe): the journal hears of an unknown outcome,
    // and the text to print says so and how to check.
    QString Forcer(const QString &aCause = QString());
    // The server silent for KSilenceServeurMaxMs: the sending is given up
    // (Abandonner, else Forcer) and the text to tell is returned; aInconnue
    // says that its commit was under way, its outcome unknown.
    QString AbandonnerSurSilence(bool &aInconnue);

    bool EnCours() const { return FResultat.Issue == TIssueEnvoi::EnCours && FThread; }
    // The progress is read: Avancement will tell.
    bool Progression() const { return FProgression != nullptr; }
    // Milliseconds since the server last answered the progress readings,
    // while they go on; -1 when nothing tells (thread-safe). A server that
    // answers nothing for long is out of reach: the caller gives up.
    qint64 SilenceServeur() const;
    // Whether the sending's commit is under way or past (thread-safe).
    bool CommitEngage() const { return FPhase == KCommitEngage; }
    const TEnvoiResultat &Resultat() const { return FResultat; }

    // The guard of a node on a database, held by a transaction of its own
    // until released or until its connection ends (the process with it).
    // Raises EEnvoiRefuse when another sending holds it, EDbError when it
    // can't be taken.
    class TVerrou
    {
    public:
        TVerrou(TDbConnection *aCnx, const QString &aNoeud);
        ~TVerrou(); // releases
        TVerrou(const TVerrou &) = delete;
        TVerrou &operator=(const TVerrou &) = delete;

    private:
        std::unique_ptr<TDbTransaction> FTransaction;
    };

signals:
    // Events inserted so far (from the SYM_DATA generator) out of Prevus.
    void Avancement(qint64 aInseres, qint64 aPrevus);
    // The one place where a sending's outcome is known, whatever it is.
    void Termine(const TEnvoiResultat &aResultat);

private:
    TOperationsMouvement &FMouvement;
    const TEvaluationResultat FEvaluation; // what is sent

    void Terminer(TIssueEnvoi aIssue, const QString &aMessage);
    // The sending in the journal of sendings, once.
    void Consigner(TIssueEnvoi aIssue, const QString &aMessage, const TMouvementEvenements &aCrees);
    void Execute(); // on the sending's thread
    // The commit failed on the way: whether it went through, asked on a new
    // attachment once the server has let the old one go.
    void Verifier(const QString &aErreur);
    void Fin();     // back on this object's thread

    TEnvoiResultat FResultat;
    std::unique_ptr<TDbConnection> FCnx;
    std::unique_ptr<TVerrou> FVerrou;
    std::unique_ptr<TDbTransaction> FTransaction;
    std::unique_ptr<TDbQuery> FQuery;
    std::unique_ptr<TMouvementProgression> FProgression;
    std::unique_ptr<TQueryThread> FThread; // runs Execute on FCnx
    std::atomic<bool> FCancel{false};
    std::atomic<bool> FAbandon{false}; // Abandonner was called: no more cancel asked
    std::atomic<bool> FConsigne{false};
    // The range procedure's connection once it is set to run.
    std::atomic<TDbConnection *> FCnxEnvoi{nullptr};
    std::atomic<bool> FExecution{false}; // the range procedure may be running
    // Before the commit, the commit under way or past, abandoned: decided
    // once between the sending's thread and an interruption.
    enum : int { KAvantCommit, KCommitEngage, KAbandonne };
    std::atomic<int> FPhase{KAvantCommit};
    qint64 FIdAttachement = 0; // the server's number for the sending's attachment
    bool FInconnue = false;
    QString FMessageExecution;            // set on the sending's thread
    bool FEchecExecution = false;
    bool FCommis = false;
    qint64 FMs = 0;
};

// A second sending to a node that one is already sending to.
class EEnvoiRefuse : public EIvroErreur
{
public:
    using EIvroErreur::EIvroErreur;
};

// The text a guard refusal carries, then who holds the guard and how to
// free it, as the server tells from aConflit.
QString MouvementTexteEnvoiDejaEnCours(const QString &aNoeud);
QString MouvementTexteDetenteur(TDbConnection *aCnx, const class EDbError &aConflit);

// The command that follows a sending's events.
QString MouvementCommandeSuivi(const QString &aBase, const QString &aNoeud, qint64 aDe, qint64 aA);
// What an unknown outcome means and how to check it.
QString MouvementTexteIssueInconnue(const TEnvoiResultat &aResultat);
