#include "data/mouvement/Evaluation.h"

#include "data/acces/ServerErrorText.h"
#include "data/mouvement/OperationsMouvement.h"
#include "data/mouvement/QueryThread.h"
#include "db/DbError.h"

namespace {

// The server's own text, when the failure is the server's.
QString ServeurDe(const std::exception &e)
{
    const auto *db = dynamic_cast<const EDbError *>(&e);
    return db && !db->Codes().isEmpty() ? db->Message() : QString();
}

} // namespace

QString MouvementRefusPlage(const TDateTime &aDEB, const TDateTime &aFIN)
{
    // The server refuses to store these, but compares with them: a count
    // would pass and the sending fail after installing its procedures.
    static const TDateTime premier = TDateTime::FromDate(1, 1, 1);
    static const TDateTime dernier = TDateTime::FromDate(9999, 12, 31, 23, 59, 59, 999);
    if (aDEB < premier || aFIN > dernier || aDEB > dernier || aFIN < premier)
        return QStringLiteral("Plage de dates hors de ce que le serveur accepte : les jours vont du 01/01/0001 au "
                              "30/12/9999 (la plage s'arrête à 00:00:00 du lendemain de son dernier jour).");
    return {};
}

std::optional<qint64> TEvaluationResultat::EvenementsPrevus() const
{
    if (Echec || !ContenuLu || Sens == TSensMouvement::Aucun)
        return std::nullopt;
    return Contenu.Evenements(Sens);
}

QString TEvaluationResultat::Refus() const
{
    if (Echec)
        return Message;
    // Without a direction there is no procedure to run, whatever the count.
    if (Sens == TSensMouvement::Aucun)
        return MessageSens.isEmpty() ? MouvementTexteSansSens() : MessageSens;
    if (MouvementPlageInversee(Debut, Fin))
        return QStringLiteral("Plage inversée : le dernier jour (%1) est avant le premier (%2). Choisissez un "
                              "premier jour au plus tard égal au dernier.")
            .arg(Fin.ToQDate().addDays(-1).toString(QStringLiteral("dd/MM/yyyy")),
                 Debut.ToQDate().toString(QStringLiteral("dd/MM/yyyy")));
    if (const QString horsLimites = MouvementTexteRefus(Evaluation); !horsLimites.isEmpty())
        return horsLimites;
    // Rows that would give no event: their tables are not captured on the
    // direction's router, and the sending would only take time.
    if (const std::optional<qint64> prevus = EvenementsPrevus(); prevus && *prevus == 0)
        return QStringLiteral("Aucun événement à créer (%1) : les %2 enregistrements \"K\" de la plage ne donneraient "
                              "aucun événement. Vérifiez que leurs tables sont capturées et routées par \"%3\".")
            .arg(TexteSens(Sens))
            .arg(Evaluation.Count)
            .arg(MouvementRouteur(Sens));
    return {};
}

QString MouvementTextePrevision(const TEvaluationResultat &aEval)
{
    const std::optional<qint64> prevus = aEval.EvenementsPrevus();
    if (!prevus)
        return {};
    QString t = QStringLiteral("D'après le détail par table, %1 événements seront créés").arg(*prevus);
    if (*prevus != aEval.Evaluation.NbRec)
        t += QStringLiteral(" (et non %1 : une ligne \"K\" dont la table n'est pas dans KTB n'en donne aucun, "
                            "une table non capturée n'envoie que sa ligne \"K\")")
                 .arg(aEval.Evaluation.NbRec);
    return t + QLatin1Char('.');
}

QString MouvementTexteConfirmationEnvoi(const TEvaluationResultat &aEval, const QString &aNoeud)
{
    QString t = MouvementTexteConfirmationDetaille(aEval.Evaluation.NbRec, aNoeud, aEval.Evaluation.EvalTime, aEval.Base,
                                             aEval.Debut.ToQDate(), aEval.Fin.ToQDate().addDays(-1), aEval.Sens)
                + QStringLiteral("\r\n\r\n")
                + QStringLiteral("Plage : %1.").arg(MouvementTextePlage(aEval.Debut, aEval.Fin));
    if (const QString prevision = MouvementTextePrevision(aEval); !prevision.isEmpty())
        t += QStringLiteral("\r\n") + prevision;
    return t;
}

TEvaluation::TEvaluation(TOperationsMouvement &aMouvement, const QString &aBase, const TDateTime &aDEB, const TDateTime &aFIN,
                         std::optional<TSensMouvement> aSens, QObject *aParent)
    : QObject(aParent), FMouvement(aMouvement), FSensDemande(aSens)
{
    FResultat.Base = aBase;
    FResultat.Debut = aDEB;
    FResultat.Fin = aFIN;
}

TEvaluation::~TEvaluation()
{
    // Before the connection and the query it reads: cancels and waits.
    FThread.reset();
}

void TEvaluation::Prepare()
{
    TEvaluationResultat &r = FResultat;
    r.Echec = false;
    r.Message.clear();
    r.ContenuLu = false;
    r.MessageContenu.clear();
    r.Contenu = {};
    r.Evaluation = MouvementEvalue(0);
    r.Sens = FSensDemande.value_or(TSensMouvement::Aucun);
    r.Message = MouvementRefusPlage(r.Debut, r.Fin);
    if (!r.Message.isEmpty()) {
        r.Echec = true;
        return;
    }
    FCnx = FMouvement.Acces().getNewConnexion(SysdbaRef(r.Base));
    // A snapshot: the groups and what is looked up for them see one state
    // of the database.
    FTransaction = std::make_unique<TDbTransaction>(FCnx.get(), TDbTransactionOptions{true, false});
    FContenu = FMouvement.NewMouvementContenuQuery(FCnx.get(), r.Debut, r.Fin, FTransaction.get());
}

bool TEvaluation::Passe()
{
    TEvaluationResultat &r = FResultat;
    if (r.Echec)
        return false;
    try {
        FTransaction->StartTransaction();
        FContenu->Open();
        r.Contenu = TOperationsMouvement::MouvementGroupesDe(*FContenu);
        FContenu->Close();
        r.Evaluation = MouvementEvalue(r.Contenu.Quantite());
    } catch (const std::exception &e) {
        r.Echec = true;
        r.Message = TexteErreurServeur(e);
        r.Serveur = ServeurDe(e);
        r.Evaluation = MouvementEvalue(-1);
        r.Contenu = {};
        return false;
    }
    // Without SymmetricDS's tables the count stands alone, and says why
    // nothing can be sent.
    try {
        if (!FSensDemande) {
            const TNode local = TOperationsMouvement::IvroMvtLocalNodeSur(FCnx.get(), FTransaction.get());
            r.Sens = SensDuGroupe(local.NODE_GROUP_ID);
            r.MessageSens = MouvementTexteSansSens(local.NODE_ID, local.NODE_GROUP_ID);
        }
    } catch (const std::exception &e) {
        // Our sentence for the server's error, its first line alone.
        const QString raison = TexteErreurServeur(e).section(QLatin1Char('\n'), 0, 0).trimmed();
        r.MessageSens = QStringLiteral("Aucun sens de mouvement : le noeud local de cette base est illisible (%1).")
                            .arg(raison);
        r.MessageContenu = TexteErreurServeur(e);
    }
    if (r.MessageContenu.isEmpty()) {
        try {
            TOperationsMouvement::MouvementCompleteContenu(FCnx.get(), FTransaction.get(), r.Contenu);
            r.ContenuLu = true;
        } catch (const std::exception &e) {
            r.MessageContenu = TexteErreurServeur(e);
        }
    }
    try {
        FTransaction->Commit();
    } catch (const EDbError &) {
        // It only read.
    }
    return true;
}

void TEvaluation::Libere()
{
    FContenu.reset();
    FTransaction.reset();
    FCnx.reset();
}

const TEvaluationResultat &TEvaluation::Executer(const std::function<void(const TEvaluationResultat &)> &aCompte)
{
    try {
        Prepare();
        if (Passe() && aCompte)
            aCompte(FResultat);
    } catch (const std::exception &e) {
        FResultat.Echec = true;
        FResultat.Message = TexteErreurServeur(e);
        FResultat.Serveur = ServeurDe(e);
    }
    Libere();
    return FResultat;
}

void TEvaluation::Demarrer()
{
    try {
        Prepare();
    } catch (...) {
        Libere();
        throw;
    }
    FThread = std::make_unique<TQueryThread>(
        FCnx.get(), [this](TQueryThread *) { Passe(); },
        [this](TQueryThread *) {
            FThread.reset();
            Libere();
            emit Terminee(FResultat);
        },
        this);
    FThread->Start();
}
