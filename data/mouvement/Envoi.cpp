#include "data/mouvement/Envoi.h"

#include "data/mouvement/JournalEnvois.h"

#include "data/mouvement/MvtProgression.h"
#include "data/acces/ServerErrorText.h"
#include "data/uDataMod.h"
#include "db/DbError.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace {

// What the server says when another transaction holds the row: a lock
// conflict, a deadlock, an update conflict.
constexpr qint64 KLockConflict = 335544345;
constexpr qint64 KDeadlock = 335544336;
constexpr qint64 KUpdateConflict = 335544451;

QString MessageDe(const std::exception &e)
{
    if (const auto *db = dynamic_cast<const EDbError *>(&e))
        return db->Message();
    return QString::fromUtf8(e.what());
}

bool TableVerrouExiste(TDbConnection *aCnx)
{
    TDbQuery query(aCnx);
    query.SQL() << QStringLiteral("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '%1'").arg(MvtTableVerrou);
    query.Open();
    return query.Fields(0).AsInteger() > 0;
}

bool LigneVerrouExiste(TDbConnection *aCnx, const QString &aNoeud)
{
    TDbQuery query(aCnx);
    query.SQL() << QStringLiteral("SELECT COUNT(*) FROM %1 WHERE NODE_ID = :NODE").arg(MvtTableVerrou);
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
                                .arg(MvtTableVerrou);
            create.ExecSQL();
        } catch (const EDbError &) {
            if (!TableVerrouExiste(aCnx))
                throw;
        }
    }
    if (LigneVerrouExiste(aCnx, aNoeud))
        return;
    try {
        TDbQuery insert(aCnx);
        insert.SQL() << QStringLiteral("INSERT INTO %1 (NODE_ID) VALUES (:NODE)").arg(MvtTableVerrou);
        insert.ParamByName(QStringLiteral("NODE")).SetAsString(aNoeud);
        insert.ExecSQL();
    } catch (const EDbError &) {
        if (!LigneVerrouExiste(aCnx, aNoeud))
            throw;
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

TMvtEvenements Comptage(TDbConnection *aCnx, TDbTransaction *aTransaction, qint64 aRepere, const QString &aNoeud)
{
    TDbQuery query(aCnx, aTransaction);
    query.SQL() << QStringLiteral("SELECT COUNT(*), COALESCE(MIN(DATA_ID), 0), COALESCE(MAX(DATA_ID), 0) FROM SYM_DATA")
                << QStringLiteral(" WHERE DATA_ID > :REPERE AND EVENT_TYPE = 'R' AND NODE_LIST = :NODE");
    query.ParamByName(QStringLiteral("REPERE")).SetAsLargeInt(aRepere);
    query.ParamByName(QStringLiteral("NODE")).SetAsString(aNoeud);
    query.Open();
    TMvtEvenements e;
    e.Nombre = query.Fields(0).AsLargeInt();
    e.PremierDataId = query.Fields(1).AsLargeInt();
    e.DernierDataId = query.Fields(2).AsLargeInt();
    return e;
}

const QString KInterrompu = QStringLiteral("Envoi interrompu : aucun événement créé.");

} // namespace

QString MvtTexteEnvoiDejaEnCours(const QString &aNoeud)
{
    return QStringLiteral("Un envoi vers le noeud %1 est déjà en cours sur cette base. Attendez qu'il se termine "
                          "avant d'en lancer un autre.")
        .arg(aNoeud);
}

TEnvoi::TVerrou::TVerrou(TDbConnection *aCnx, const QString &aNoeud)
{
    PrepareVerrou(aCnx, aNoeud);
    FTransaction = std::make_unique<TDbTransaction>(aCnx, TDbTransactionOptions{false, true});
    FTransaction->StartTransaction();
    try {
        TDbQuery update(aCnx, FTransaction.get());
        update.SQL() << QStringLiteral("UPDATE %1 SET DEBUT = CURRENT_TIMESTAMP WHERE NODE_ID = :NODE").arg(MvtTableVerrou);
        update.ParamByName(QStringLiteral("NODE")).SetAsString(aNoeud);
        update.ExecSQL();
    } catch (const EDbError &e) {
        try {
            FTransaction->Rollback();
        } catch (const EDbError &) {
        }
        if (e.HasCode(KLockConflict) || e.HasCode(KDeadlock) || e.HasCode(KUpdateConflict))
            throw EEnvoiRefuse(MvtTexteEnvoiDejaEnCours(aNoeud));
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

TEnvoi::TEnvoi(TEnvoiDemande aDemande, QObject *aParent) : QObject(aParent)
{
    FResultat.Demande = std::move(aDemande);
}

TEnvoi::~TEnvoi()
{
    if (FThread) {
        Cancel();
        // A cancellation asked before the statement reached the server is
        // lost: asked again until the thread ends.
        while (!FThread->wait(200))
            Cancel();
        delete FThread;
        FThread = nullptr;
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

bool TEnvoi::Abandonner()
{
    FCancel = true;
    TDbConnection *cnx = FCnxEnvoi.load();
    const bool rienDeCommis = !cnx || (cnx->Abandon() && cnx->Commits() == FCommitsAvant.load());
    // The process ends at once: the journal hears of it now or never.
    if (rienDeCommis && FResultat.Issue == TIssueEnvoi::EnCours)
        Consigner(TIssueEnvoi::Interrompu, KInterrompu, {});
    return rienDeCommis;
}

void TEnvoi::Consigner(TIssueEnvoi aIssue, const QString &aMessage, const TMvtEvenements &aCrees)
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
    e.Evenements = aCrees.Nombre;
    e.PremierDataId = aCrees.PremierDataId;
    e.DernierDataId = aCrees.DernierDataId;
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

bool TEnvoi::Preparer(const TEvaluationResultat &aEvaluation)
{
    const TEnvoiDemande &d = FResultat.Demande;
    FResultat.Debut = QDateTime::currentDateTime();
    FResultat.Lignes = aEvaluation.Evaluation.Count;
    FResultat.Prevus = aEvaluation.EvenementsPrevus().value_or(aEvaluation.Evaluation.NbRec);

    // Nothing is written before every check has passed.
    QString refus;
    if (d.Sens == TSensMvt::Aucun)
        refus = QStringLiteral("Sens du mouvement inconnu : le noeud local de cette base n'est ni du groupe \"lame\" "
                               "ni du groupe \"mags\".");
    else if (d.Noeud.isEmpty())
        refus = QStringLiteral("Veuillez choisir un noeud.");
    else if (const QString plage = MvtRefusPlage(d.Debut, d.Fin); !plage.isEmpty())
        refus = plage;
    else
        refus = aEvaluation.Refus();
    if (!refus.isEmpty()) {
        Terminer(TIssueEnvoi::Refuse, refus);
        return false;
    }

    try {
        FCnx = DataMod->getNewConnexion(SysdbaRef(d.Base));
        FVerrou = std::make_unique<TVerrou>(FCnx.get(), d.Noeud);
    } catch (const EEnvoiRefuse &e) {
        Terminer(TIssueEnvoi::Refuse, e.Message());
        return false;
    } catch (const EDbError &e) {
        // The first attachment of the sending: the server's common errors
        // read with our sentence first.
        Terminer(TIssueEnvoi::Echec, TexteErreurServeur(e));
        return false;
    } catch (const std::exception &e) {
        Terminer(TIssueEnvoi::Echec, MessageDe(e));
        return false;
    }
    if (FCancel) {
        Terminer(TIssueEnvoi::Interrompu, KInterrompu);
        return false;
    }

    TDataMod::TMvtInstallation rapport;
    const bool installe = DataMod->InstallMvtProcedures(d.Base, d.DossierProgramme, &rapport);
    FResultat.Installation = rapport.Fichier;
    FResultat.NonEcrit = rapport.NonEcrit;
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
        FQuery = DataMod->NewMvtSendQuery(FCnx.get(), d.Sens, d.Debut, d.Fin, d.Noeud, FTransaction.get());
        FCommitsAvant = FCnx->Commits();
        FCnxEnvoi = FCnx.get();
    } catch (const std::exception &e) {
        Terminer(TIssueEnvoi::Echec, MessageDe(e));
        return false;
    }

    // The progress, on a connection of its own; the sending does not depend
    // on it.
    try {
        FProgression = std::make_unique<TMvtProgression>(DataMod->getNewConnexion(SysdbaRef(d.Base)));
        FProgression->Depart();
        connect(FProgression.get(), &TMvtProgression::Avancement, this, [this](qint64 aInseres) {
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
        if (FCancel && FExecution)
            FCnx->CancelOperation();
    });
    relance->start();
    FResultat.Lance = true;
    FThread = QThread::create([this] { Execute(); });
    connect(FThread, &QThread::finished, this, [this, relance] {
        relance->deleteLater();
        Fin();
    });
    FThread->start();
}

void TEnvoi::Execute()
{
    const TEnvoiDemande &d = FResultat.Demande;
    QElapsedTimer clock;
    clock.start();
    try {
        FTransaction->StartTransaction();
        const qint64 repere = Repere(FCnx.get(), FTransaction.get());
        FExecution = true;
        if (!FCancel)
            FQuery->ExecSQL();
        FExecution = false;
        if (!FCancel) {
            FResultat.Crees = Comptage(FCnx.get(), FTransaction.get(), repere, d.Noeud);
            // Nothing created is no success: nothing is kept either.
            if (FResultat.Crees.Nombre > 0 && !FCancel) {
                FTransaction->Commit();
                FCommis = true;
            }
        }
    } catch (const std::exception &e) {
        FExecution = false;
        FEchecExecution = true;
        FMessageExecution = MessageDe(e);
    }
    try {
        FTransaction->Rollback(); // a no-op after the commit
    } catch (const EDbError &) {
        // The server has already rolled it back with the attachment.
    }
    FMs = clock.elapsed();
}

void TEnvoi::Fin()
{
    FThread->wait();
    delete FThread;
    FThread = nullptr;
    FResultat.DureeMs = FMs;
    if (FProgression) {
        try {
            FProgression->Arreter();
        } catch (const EDbError &) {
        }
    }
    const TEnvoiDemande &d = FResultat.Demande;
    if (FCommis) {
        // Once committed, a late cancellation changes nothing.
        Terminer(TIssueEnvoi::Termine, QString());
    } else if (FCancel) {
        FResultat.Crees = {};
        Terminer(TIssueEnvoi::Interrompu, KInterrompu);
    } else if (FEchecExecution) {
        FResultat.Crees = {};
        Terminer(TIssueEnvoi::Echec, FMessageExecution);
    } else {
        Terminer(TIssueEnvoi::Echec, MvtTexteAucunEvenement(FResultat.Lignes, d.Sens, d.Noeud));
    }
}
