#include "data/mouvement/Envoi.h"

#include "data/mouvement/JournalEnvois.h"

#include "data/mouvement/MouvementProgression.h"
#include "data/acces/ServerErrorText.h"
#include "data/mouvement/OperationsMouvement.h"
#include "data/mouvement/QueryThread.h"
#include "db/AttachmentMonitor.h"
#include "db/DbError.h"
#include "db/LockRetry.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace {

// The end of a bounded wait for a row another transaction holds.
constexpr qint64 KLockTimeout = 335544510;
// Given with them by Firebird: the number of the transaction that holds it.
constexpr qint64 KConcurrentTransaction = 335544878;
// A key another transaction has inserted and not committed, met without
// waiting.
constexpr qint64 KUniqueKey = 335544665;

bool TableVerrouExiste(TDbConnection *aCnx)
{
    TDbQuery query(aCnx);
    query.SQL() << QStringLiteral("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '%1'").arg(MouvementTableVerrou);
    query.Open();
    return query.Fields(0).AsInteger() > 0;
}

bool LigneVerrouExiste(TDbConnection *aCnx, const QString &aNoeud)
{
    TDbQuery query(aCnx);
    query.SQL() << QStringLiteral("SELECT COUNT(*) FROM %1 WHERE NODE_ID = :NODE").arg(MouvementTableVerrou);
    query.ParamByName(QStringLiteral("NODE")).SetAsString(aNoeud);
    query.Open();
    return query.Fields(0).AsInteger() > 0;
}

// The table and the node's row, each committed at once. Two sendings that
// start together may both try: the loser's failure is no failure when the
// object is there afterwards.
void PrepareVerrou(TDbConnection *aCnx, const QString &aNoeud)
{
    if (!TableVerrouExiste(aCnx)) {
        try {
            TDbQuery create(aCnx);
            create.SQL() << QStringLiteral("CREATE TABLE %1 (NODE_ID VARCHAR(50) NOT NULL PRIMARY KEY, "
                                           "DEBUT TIMESTAMP)")
                                .arg(MouvementTableVerrou);
            create.ExecSQL();
        } catch (const EDbError &) {
            if (!TableVerrouExiste(aCnx))
                throw;
        }
    }
    if (LigneVerrouExiste(aCnx, aNoeud))
        return;
    // Without waiting: a row another sending has inserted and not yet
    // committed would hold this insert for the whole lock wait.
    TDbTransaction insertion(aCnx, TDbTransactionOptions{false, true});
    try {
        insertion.StartTransaction();
        TDbQuery insert(aCnx, &insertion);
        insert.SQL() << QStringLiteral("INSERT INTO %1 (NODE_ID) VALUES (:NODE)").arg(MouvementTableVerrou);
        insert.ParamByName(QStringLiteral("NODE")).SetAsString(aNoeud);
        insert.ExecSQL();
        insertion.Commit();
    } catch (const EDbError &e) {
        try {
            insertion.Rollback();
        } catch (const EDbError &) {
        }
        if (LigneVerrouExiste(aCnx, aNoeud))
            return;
        // The key is taken by a row not committed yet: another sending's.
        if (DbRowHeld(e) || e.HasCode(KUniqueKey))
            throw EEnvoiRefuse(MouvementTexteEnvoiDejaEnCours(aNoeud));
        throw;
    }
}

// The guard table's row that keeps installations apart: no node is named so.
const QString KLigneInstallation = QStringLiteral("*INSTALLATION*");
// How long a sending waits for another one's installation.
constexpr qint64 KAttenteInstallationMs = 300000;

// Two sendings to different nodes that start together install the same
// procedures: the second waits until the first has installed them, held by
// an update of the installation row that the holder never commits.
std::unique_ptr<TDbTransaction> PrendInstallation(TDbConnection *aCnx, const std::atomic<bool> &aCancel)
{
    QElapsedTimer attente;
    attente.start();
    // The installation row may be in the middle of its insertion by the
    // other sending: that one only has to commit it.
    for (;;) {
        try {
            PrepareVerrou(aCnx, KLigneInstallation);
            break;
        } catch (const EEnvoiRefuse &) {
            if (aCancel || attente.elapsed() > KAttenteInstallationMs)
                throw;
            QThread::msleep(50);
        }
    }
    for (;;) {
        auto transaction = std::make_unique<TDbTransaction>(aCnx);
        transaction->StartTransaction();
        try {
            TDbQuery update(aCnx, transaction.get());
            update.SQL() << QStringLiteral("UPDATE %1 SET DEBUT = CURRENT_TIMESTAMP WHERE NODE_ID = :NODE").arg(MouvementTableVerrou);
            update.ParamByName(QStringLiteral("NODE")).SetAsString(KLigneInstallation);
            update.ExecSQL();
            return transaction;
        } catch (const EDbError &e) {
            try {
                transaction->Rollback();
            } catch (const EDbError &) {
            }
            const bool occupe = DbRowHeld(e) || e.HasCode(KLockTimeout);
            if (!occupe || aCancel || attente.elapsed() > KAttenteInstallationMs)
                throw;
        }
    }
}

// The last DATA_ID handed out, read inside the sending's own snapshot: rows
// it sees above it can only be its own.
qint64 Repere(TDbConnection *aCnx, TDbTransaction *aTransaction)
{
    try {
        TDbQuery query(aCnx, aTransaction);
        query.SQL() << QStringLiteral("SELECT GEN_ID(%1, 0) FROM RDB$DATABASE").arg(KGenerateurSymData);
        query.Open();
        return query.Fields(0).AsLargeInt();
    } catch (const EDbError &) {
        TDbQuery query(aCnx, aTransaction);
        query.SQL() << QStringLiteral("SELECT COALESCE(MAX(DATA_ID), 0) FROM SYM_DATA");
        query.Open();
        return query.Fields(0).AsLargeInt();
    }
}

TMouvementEvenements Comptage(TDbConnection *aCnx, TDbTransaction *aTransaction, qint64 aRepere, const QString &aNoeud)
{
    TDbQuery query(aCnx, aTransaction);
    query.SQL() << QStringLiteral("SELECT COUNT(*), COALESCE(MIN(DATA_ID), 0), COALESCE(MAX(DATA_ID), 0) FROM SYM_DATA")
                << QStringLiteral(" WHERE DATA_ID > :REPERE AND EVENT_TYPE = 'R' AND NODE_LIST = :NODE");
    query.ParamByName(QStringLiteral("REPERE")).SetAsLargeInt(aRepere);
    query.ParamByName(QStringLiteral("NODE")).SetAsString(aNoeud);
    query.Open();
    TMouvementEvenements e;
    e.Nombre = query.Fields(0).AsLargeInt();
    e.PremierDataId = query.Fields(1).AsLargeInt();
    e.DernierDataId = query.Fields(2).AsLargeInt();
    return e;
}

// The events of a node within a DATA_ID range, as any attachment sees them.
qint64 ComptagePlage(TDbConnection *aCnx, const TMouvementEvenements &aPlage, const QString &aNoeud)
{
    TDbQuery query(aCnx);
    query.SQL() << QStringLiteral("SELECT COUNT(*) FROM SYM_DATA WHERE DATA_ID >= :DE AND DATA_ID <= :A")
                << QStringLiteral(" AND EVENT_TYPE = 'R' AND NODE_LIST = :NODE");
    query.ParamByName(QStringLiteral("DE")).SetAsLargeInt(aPlage.PremierDataId);
    query.ParamByName(QStringLiteral("A")).SetAsLargeInt(aPlage.DernierDataId);
    query.ParamByName(QStringLiteral("NODE")).SetAsString(aNoeud);
    query.Open();
    return query.Fields(0).AsLargeInt();
}

const QString KInterrompu = QStringLiteral("Envoi interrompu : aucun événement créé.");

// How long a lost commit answer is checked for before the outcome is said
// unknown: the server may need a moment to let the old attachment go.
constexpr qint64 KDelaiVerificationMs = 20000;

} // namespace

QString MouvementCommandeSuivi(const QString &aBase, const QString &aNoeud, qint64 aDe, qint64 aA)
{
    return QStringLiteral("ivromvt-cli suivi \"%1\" --noeud %2 --de %3 --a %4")
        .arg(aBase, aNoeud, QString::number(aDe), QString::number(aA));
}

QString MouvementTexteIssueInconnue(const TEnvoiResultat &aResultat)
{
    const TMouvementEvenements &e = aResultat.Crees;
    return QStringLiteral("Issue inconnue de l'envoi vers le noeud %1 : %2 événements ont peut-être été créés "
                          "(DATA_ID %3 à %4). Ne relancez pas l'envoi avant d'avoir vérifié avec :\n  %5\n"
                          "(%2 événements trouvés : l'envoi est fait ; aucun : il ne l'est pas et peut être relancé.)")
        .arg(aResultat.Demande.Noeud)
        .arg(e.Nombre)
        .arg(e.PremierDataId)
        .arg(e.DernierDataId)
        .arg(MouvementCommandeSuivi(aResultat.Demande.Base, aResultat.Demande.Noeud, e.PremierDataId, e.DernierDataId));
}

QString MouvementTexteEnvoiDejaEnCours(const QString &aNoeud)
{
    return QStringLiteral("Un envoi vers le noeud %1 est déjà en cours sur cette base. Attendez qu'il se termine "
                          "avant d'en lancer un autre.")
        .arg(aNoeud);
}

// Who holds the guard, from the server's table of attachments, and how to
// free it; what the server does not say is not guessed.
QString MouvementTexteDetenteur(TDbConnection *aCnx, const EDbError &aConflit)
{
    std::optional<TDbAttachmentInfo> detenteur;
    if (aConflit.HasCode(KConcurrentTransaction) && !aConflit.Numbers().isEmpty()) {
        try {
            detenteur = AttachmentMonitor::TransactionHolder(aCnx, aConflit.Numbers().constLast());
        } catch (const EDbError &) {
        }
    }
    if (!detenteur)
        return QStringLiteral("Le serveur ne dit pas quelle connexion le tient. Si aucun envoi ne tourne plus "
                              "(programme arrêté, réseau coupé), le serveur libère la place quand il constate la fin "
                              "de la connexion.");
    const TDbAttachmentInfo &d = *detenteur;
    QString qui = QStringLiteral("Tenu par la connexion %1 au serveur").arg(d.Id);
    QStringList details;
    if (!d.Address.isEmpty())
        details << QStringLiteral("adresse %1").arg(d.Address);
    if (!d.Process.isEmpty())
        details << (d.Program.isEmpty() ? QStringLiteral("processus %1").arg(d.Process)
                                        : QStringLiteral("processus %1 (%2)").arg(d.Process, d.Program));
    if (!d.Since.IsZero())
        details << QStringLiteral("depuis le %1").arg(d.Since.ToString());
    if (!details.isEmpty())
        qui += QStringLiteral(" : ") + details.join(QStringLiteral(", "));
    return qui + QStringLiteral(".\nPour libérer la place : laissez cet envoi finir, ou arrêtez ce programme. S'il ne "
                                "tourne plus (programme arrêté, réseau coupé), le serveur libère la place quand il "
                                "constate la fin de la connexion ; pour la libérer tout de suite, en SYSDBA sur cette "
                                "base : %1")
                     .arg(AttachmentMonitor::EndStatement(d.Id));
}

TEnvoi::TVerrou::TVerrou(TDbConnection *aCnx, const QString &aNoeud)
{
    PrepareVerrou(aCnx, aNoeud);
    FTransaction = std::make_unique<TDbTransaction>(aCnx, TDbTransactionOptions{false, true});
    FTransaction->StartTransaction();
    try {
        TDbQuery update(aCnx, FTransaction.get());
        update.SQL() << QStringLiteral("UPDATE %1 SET DEBUT = CURRENT_TIMESTAMP WHERE NODE_ID = :NODE").arg(MouvementTableVerrou);
        update.ParamByName(QStringLiteral("NODE")).SetAsString(aNoeud);
        update.ExecSQL();
    } catch (const EDbError &e) {
        try {
            FTransaction->Rollback();
        } catch (const EDbError &) {
        }
        if (DbRowHeld(e))
            throw EEnvoiRefuse(MouvementTexteEnvoiDejaEnCours(aNoeud) + QLatin1Char('\n') + MouvementTexteDetenteur(aCnx, e));
        throw;
    }
}

TEnvoi::TVerrou::~TVerrou()
{
    // Nothing to keep: the update only marks the row as held.
    try {
        FTransaction->Rollback();
    } catch (const EDbError &) {
        // The attachment is gone, and the lock with it.
    }
}

TEnvoi::TEnvoi(TOperationsMouvement &aMouvement, const TEvaluationResultat &aEvaluation, const QString &aNoeud,
               const QString &aDossierProgramme, QObject *aParent)
    : QObject(aParent), FMouvement(aMouvement), FEvaluation(aEvaluation)
{
    FResultat.Demande = {aEvaluation.Base, aEvaluation.Sens, aEvaluation.Debut, aEvaluation.Fin, aNoeud, aDossierProgramme};
    FResultat.Lignes = aEvaluation.Evaluation.Count;
    FResultat.Prevus = aEvaluation.EvenementsPrevus().value_or(aEvaluation.Evaluation.NbRec);
}

TEnvoi::~TEnvoi()
{
    if (FThread) {
        Cancel();
        // A cancellation asked before the statement reached the server is
        // lost: asked again until the thread ends. Ours, not the worker's:
        // a commit under way is never cancelled.
        while (!FThread->wait(200))
            Cancel();
        FThread.reset();
    }
    FProgression.reset();
    FQuery.reset();
    FTransaction.reset();
    FVerrou.reset();
    FCnx.reset();
}

bool TEnvoi::Cancel()
{
    FCancel = true;
    if (!FExecution)
        return true;
    return FCnx->CancelOperation();
}

qint64 TEnvoi::SilenceServeur() const
{
    // Set before the thread starts, reset only after it has ended.
    return FThread && FProgression ? FProgression->Silence() : -1;
}

bool TEnvoi::Abandonner(TIssueEnvoi aIssue, const QString &aMessage)
{
    FAbandon = true;
    FCancel = true;
    // Decided once: either the sending's thread has engaged its commit, or
    // it never will.
    int phase = KAvantCommit;
    if (!FPhase.compare_exchange_strong(phase, KAbandonne) && phase == KCommitEngage)
        return false;
    if (TDbConnection *cnx = FCnxEnvoi.load())
        cnx->Abandon();
    // The process ends at once: the journal hears of it now or never.
    if (FResultat.Issue == TIssueEnvoi::EnCours)
        Consigner(aIssue, aMessage.isEmpty() ? KInterrompu : aMessage, {});
    return true;
}

QString TEnvoi::Forcer(const QString &aCause)
{
    // The commit is engaged: the range and the marker were set before.
    TEnvoiResultat r = FResultat;
    r.Issue = TIssueEnvoi::Inconnue;
    const QString texte = MouvementTexteIssueInconnue(r);
    Consigner(TIssueEnvoi::Inconnue, texte, r.Crees);
    return (aCause.isEmpty() ? QStringLiteral("Sortie forcée pendant la validation de l'envoi") : aCause)
           + QStringLiteral(" : des événements ont peut-être été créés.\n") + texte;
}

QString TEnvoi::AbandonnerSurSilence(bool &aInconnue)
{
    const QString silence = QStringLiteral("Le serveur ne répond plus depuis %1 s (réseau coupé ou serveur bloqué)")
                                .arg(KSilenceServeurMaxMs / 1000);
    aInconnue = !Abandonner(TIssueEnvoi::Echec, silence + QStringLiteral(" : envoi abandonné, rien n'a été validé."));
    if (aInconnue)
        return Forcer(silence);
    return silence + QStringLiteral(" : envoi abandonné, rien n'a été validé ; le serveur annulera le travail en "
                                    "cours quand il constatera la coupure.");
}

void TEnvoi::Consigner(TIssueEnvoi aIssue, const QString &aMessage, const TMouvementEvenements &aCrees)
{
    // A refusal is no sending: nothing was written.
    if (aIssue == TIssueEnvoi::Refuse || FConsigne.exchange(true))
        return;
    const TEnvoiDemande &d = FResultat.Demande;
    // The range ends at 00:00 of the day after its last day.
    TEnvoiJournal e = JournalEnvois::Nouveau(d.Base, d.Noeud, d.Sens, d.Debut.ToQDate(), d.Fin.ToQDate().addDays(-1),
                                             FResultat.Debut.toUTC());
    // The end the sending reports, so that its duration reads the same everywhere.
    e.Fin = FResultat.Fin.isValid() ? FResultat.Fin.toUTC() : QDateTime::currentDateTimeUtc();
    // An unknown outcome keeps the range to check, but counts nothing.
    e.Evenements = aIssue == TIssueEnvoi::Inconnue ? 0 : aCrees.Nombre;
    e.PremierDataId = aCrees.PremierDataId;
    e.DernierDataId = aCrees.DernierDataId;
    e.Repere = FResultat.Repere;
    e.Issue = aIssue;
    e.Message = aIssue == TIssueEnvoi::Termine ? QString() : aMessage;
    const QString erreur = JournalEnvois::Consigner(e);
    if (!erreur.isEmpty())
        qWarning("Envoi non consigné au journal : %s", qUtf8Printable(erreur));
}

void TEnvoi::Terminer(TIssueEnvoi aIssue, const QString &aMessage)
{
    FResultat.Issue = aIssue;
    FResultat.Message = aMessage;
    FResultat.Fin = QDateTime::currentDateTime();
    Consigner(aIssue, aMessage, FResultat.Crees);
    FProgression.reset();
    FQuery.reset();
    FTransaction.reset();
    FVerrou.reset();
    emit Termine(FResultat);
}

bool TEnvoi::Preparer()
{
    const TEnvoiDemande &d = FResultat.Demande;
    FResultat.Debut = QDateTime::currentDateTime();

    // Nothing is written before every check has passed.
    QString refus;
    if (d.Sens == TSensMouvement::Aucun)
        refus = QStringLiteral("Sens du mouvement inconnu : le noeud local de cette base n'est ni du groupe \"lame\" "
                               "ni du groupe \"mags\".");
    else if (d.Noeud.isEmpty())
        refus = QStringLiteral("Veuillez choisir un noeud.");
    else if (const QString plage = MouvementRefusPlage(d.Debut, d.Fin); !plage.isEmpty())
        refus = plage;
    else
        refus = FEvaluation.Refus();
    if (!refus.isEmpty()) {
        Terminer(TIssueEnvoi::Refuse, refus);
        return false;
    }

    try {
        FCnx = FMouvement.Acces().getNewConnexion(SysdbaRef(d.Base));
        FVerrou = std::make_unique<TVerrou>(FCnx.get(), d.Noeud);
        // Kept to end it from another attachment if its commit's answer is
        // lost.
        FIdAttachement = FCnx->AttachmentId();
    } catch (const EEnvoiRefuse &e) {
        Terminer(TIssueEnvoi::Refuse, e.Message());
        return false;
    } catch (const EDbError &e) {
        // The first attachment of the sending: the server's common errors
        // read with our sentence first.
        Terminer(TIssueEnvoi::Echec, TexteErreurServeur(e));
        return false;
    } catch (const std::exception &e) {
        Terminer(TIssueEnvoi::Echec, TexteErreurServeur(e));
        return false;
    }
    if (FCancel) {
        Terminer(TIssueEnvoi::Interrompu, KInterrompu);
        return false;
    }
    // Sent before the evaluation's details were known: the forecast is
    // read here, and a range that would create nothing is refused.
    if (!FEvaluation.EvenementsPrevus()) {
        TEvaluationResultat verifiee = FEvaluation;
        try {
            std::unique_ptr<TDbQuery> contenu = FMouvement.NewMouvementContenuQuery(FCnx.get(), d.Debut, d.Fin);
            contenu->Open();
            verifiee.Contenu = TOperationsMouvement::MouvementContenuDe(*contenu);
            verifiee.ContenuLu = true;
            verifiee.Sens = d.Sens;
        } catch (const EDbError &) {
            // Unreadable details stop nothing: the count alone allowed it.
        }
        if (const std::optional<qint64> prevus = verifiee.EvenementsPrevus()) {
            if (const QString refusPrevision = verifiee.Refus(); !refusPrevision.isEmpty()) {
                Terminer(TIssueEnvoi::Refuse, refusPrevision);
                return false;
            }
            FResultat.Prevus = *prevus;
        }
    }

    // On the sending's own attachment: each one more costs the server's
    // authentication round trips.
    TOperationsMouvement::TMouvementInstallation rapport;
    bool installe = false;
    try {
        const std::unique_ptr<TDbTransaction> installation = PrendInstallation(FCnx.get(), FCancel);
        installe = FMouvement.InstallMvtProceduresSur(FCnx.get(), d.DossierProgramme, &rapport);
    } catch (const EDbError &e) {
        rapport.Erreurs << TexteErreurServeur(e);
    }
    FResultat.Installation = rapport.Fichier;
    FResultat.NonEcrit = rapport.NonEcrit;
    FResultat.Remarque = rapport.Remarque;
    if (!installe) {
        FResultat.EchecInstallation = true;
        Terminer(TIssueEnvoi::Echec, rapport.Erreurs.join(QLatin1Char('\n')));
        return false;
    }
    if (FCancel) {
        Terminer(TIssueEnvoi::Interrompu, KInterrompu);
        return false;
    }

    try {
        // A snapshot: the count made in it at the end sees the rows of this
        // sending and none that others commit meanwhile.
        FTransaction = std::make_unique<TDbTransaction>(FCnx.get(), TDbTransactionOptions{true, false});
        FQuery = FMouvement.NewMouvementSendQuery(FCnx.get(), d.Sens, d.Debut, d.Fin, d.Noeud, FTransaction.get());
        FCnxEnvoi = FCnx.get();
    } catch (const std::exception &e) {
        Terminer(TIssueEnvoi::Echec, TexteErreurServeur(e));
        return false;
    }

    // The progress, on a connection of its own; the sending does not depend
    // on it.
    try {
        FProgression = std::make_unique<TMouvementProgression>(FMouvement.Acces().getNewConnexion(SysdbaRef(d.Base)));
        FProgression->Depart();
        connect(FProgression.get(), &TMouvementProgression::Avancement, this, [this](qint64 aInseres) {
            if (FProgression)
                emit Avancement(aInseres, FResultat.Prevus);
        });
    } catch (const EDbError &) {
        FProgression.reset();
    }
    return true;
}

void TEnvoi::Lancer()
{
    if (FProgression)
        FProgression->Demarrer();
    auto *relance = new QTimer(this);
    relance->setInterval(200);
    connect(relance, &QTimer::timeout, this, [this] {
        // Once abandoned, the one cancel asked is enough: on a network gone
        // silent, asking again would hold this thread.
        if (FCancel && FExecution && !FAbandon)
            FCnx->CancelOperation();
    });
    relance->start();
    FResultat.Lance = true;
    FThread = std::make_unique<TQueryThread>(
        FCnx.get(), [this](TQueryThread *) { Execute(); },
        [this, relance](TQueryThread *) {
            relance->deleteLater();
            Fin();
        },
        this);
    FThread->Start();
}

void TEnvoi::Execute()
{
    const TEnvoiDemande &d = FResultat.Demande;
    QElapsedTimer clock;
    clock.start();
    try {
        FTransaction->StartTransaction();
        FResultat.Repere = Repere(FCnx.get(), FTransaction.get());
        FExecution = true;
        if (!FCancel)
            FQuery->ExecSQL();
        FExecution = false;
        if (!FCancel) {
            FResultat.Crees = Comptage(FCnx.get(), FTransaction.get(), FResultat.Repere, d.Noeud);
            // Nothing created is no success: nothing is kept either.
            int phase = KAvantCommit;
            if (FResultat.Crees.Nombre > 0 && !FCancel && FPhase.compare_exchange_strong(phase, KCommitEngage)) {
                try {
                    FTransaction->Commit();
                    FCommis = true;
                } catch (const EDbError &e) {
                    // Sent or not, applied or not: only the server knows.
                    Verifier(TexteErreurServeur(e));
                }
            }
        }
    } catch (const std::exception &e) {
        FExecution = false;
        FEchecExecution = true;
        FMessageExecution = TexteErreurServeur(e);
    }
    try {
        FTransaction->Rollback(); // a no-op after the commit
    } catch (const EDbError &) {
        // The server has already rolled it back with the attachment.
    }
    FMs = clock.elapsed();
}

void TEnvoi::Verifier(const QString &aErreur)
{
    FResultat.CommitVerifie = true;
    const QString noeud = FResultat.Demande.Noeud;
    const TMouvementEvenements attendus = FResultat.Crees;
    const TDbConnectionParams params = FCnx->Params();
    // Given up: on the server, its transactions end with it, the commit
    // with them if it had not been applied.
    try {
        FCnx->Close();
    } catch (const EDbError &) {
    }
    QString derniere = aErreur;
    QElapsedTimer horloge;
    horloge.start();
    for (;;) {
        try {
            TDbConnection cnx(params);
            // Until the server has let the old attachment go, its commit may
            // still be on its way.
            bool partie = false;
            if (FIdAttachement > 0) {
                if (AttachmentMonitor::Exists(&cnx, FIdAttachement))
                    AttachmentMonitor::End(&cnx, FIdAttachement);
                partie = !AttachmentMonitor::Exists(&cnx, FIdAttachement);
            }
            const qint64 trouves = ComptagePlage(&cnx, attendus, noeud);
            if (trouves == attendus.Nombre) {
                FCommis = true;
                return;
            }
            if (trouves == 0 && partie) {
                FResultat.Crees = {};
                FEchecExecution = true;
                FMessageExecution = QStringLiteral("La connexion au serveur a été perdue pendant la validation de "
                                                   "l'envoi. Vérifié sur une nouvelle connexion : rien n'a été "
                                                   "validé, aucun événement n'a été créé ; l'envoi peut être "
                                                   "relancé.\n")
                                    + aErreur;
                return;
            }
            if (trouves != 0)
                break; // a part of one commit: nothing this check can explain
        } catch (const std::exception &e) {
            derniere = TexteErreurServeur(e);
        }
        if (horloge.elapsed() >= KDelaiVerificationMs)
            break;
        QThread::msleep(1000);
    }
    FInconnue = true;
    FMessageExecution = derniere;
}

void TEnvoi::Fin()
{
    FThread.reset();
    FResultat.DureeMs = FMs;
    if (FProgression) {
        try {
            FProgression->Arreter();
        } catch (const EDbError &) {
        }
    }
    const TEnvoiDemande &d = FResultat.Demande;
    if (FCommis) {
        // The last word of the progress: a sending shorter than the first
        // reading would otherwise have given none.
        if (FProgression)
            emit Avancement(FResultat.Crees.Nombre, FResultat.Prevus);
        // Once committed, a late cancellation changes nothing.
        Terminer(TIssueEnvoi::Termine, QString());
    } else if (FInconnue) {
        Terminer(TIssueEnvoi::Inconnue,
                 QStringLiteral("La connexion au serveur a été perdue pendant la validation de l'envoi, et le "
                                "résultat n'a pas pu être vérifié.\n")
                     + MouvementTexteIssueInconnue(FResultat) + QLatin1Char('\n') + FMessageExecution);
    } else if (FResultat.CommitVerifie) {
        Terminer(TIssueEnvoi::Echec, FMessageExecution);
    } else if (FCancel) {
        FResultat.Crees = {};
        Terminer(TIssueEnvoi::Interrompu, KInterrompu);
    } else if (FEchecExecution) {
        FResultat.Crees = {};
        Terminer(TIssueEnvoi::Echec, FMessageExecution);
    } else {
        Terminer(TIssueEnvoi::Echec, MouvementTexteAucunEvenement(FResultat.Lignes, d.Sens, d.Noeud));
    }
}
