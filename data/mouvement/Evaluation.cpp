#include "data/mouvement/Evaluation.h"

#include "data/acces/ServerErrorText.h"
#include "data/uDataMod.h"
#include "db/DbError.h"

#include <QThread>

namespace {

// A server error reads as a failed load does: our sentence first when it is
// a common one, then the server's text.
QString MessageDe(const std::exception &e)
{
    if (const auto *db = dynamic_cast<const EDbError *>(&e))
        return TexteErreurServeur(*db);
    return QString::fromUtf8(e.what());
}

// The server's own text, when the failure is the server's.
QString ServeurDe(const std::exception &e)
{
    const auto *db = dynamic_cast<const EDbError *>(&e);
    return db && !db->Codes().isEmpty() ? db->Message() : QString();
}

} // namespace

QString MvtRefusPlage(const TDateTime &aDEB, const TDateTime &aFIN)
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
    if (Echec || !ContenuLu || Sens == TSensMvt::Aucun)
        return std::nullopt;
    return Contenu.Evenements(Sens);
}

QString TEvaluationResultat::Refus() const
{
    if (Echec)
        return Message;
    if (const QString horsLimites = MvtTexteRefus(Evaluation); !horsLimites.isEmpty())
        return horsLimites;
    // Rows that would give no event: their tables are not captured on the
    // direction's router, and the sending would only take time.
    if (const std::optional<qint64> prevus = EvenementsPrevus(); prevus && *prevus == 0)
        return QStringLiteral("Aucun événement à créer (%1) : les %2 enregistrements \"K\" de la plage ne donneraient "
                              "aucun événement. Vérifiez que leurs tables sont capturées et routées par \"%3\".")
            .arg(TexteSens(Sens))
            .arg(Evaluation.Count)
            .arg(MvtRouteur(Sens));
    return {};
}

TEvaluation::TEvaluation(const QString &aBase, const TDateTime &aDEB, const TDateTime &aFIN,
                         std::optional<TSensMvt> aSens, QObject *aParent)
    : QObject(aParent), FSensDemande(aSens)
{
    FResultat.Base = aBase;
    FResultat.Debut = aDEB;
    FResultat.Fin = aFIN;
}

TEvaluation::~TEvaluation()
{
    if (FThread) {
        FThread->wait();
        delete FThread;
    }
}

void TEvaluation::Prepare()
{
    TEvaluationResultat &r = FResultat;
    r.Echec = false;
    r.Message.clear();
    r.ContenuLu = false;
    r.MessageContenu.clear();
    r.Contenu = {};
    r.Evaluation = MvtEvalue(0);
    r.Sens = FSensDemande.value_or(TSensMvt::Aucun);
    r.Message = MvtRefusPlage(r.Debut, r.Fin);
    if (!r.Message.isEmpty()) {
        r.Echec = true;
        return;
    }
    FCnx = DataMod->getNewConnexion(SysdbaRef(r.Base));
    FComptage = DataMod->NewMvtCountQuery(FCnx.get(), r.Debut, r.Fin);
}

void TEvaluation::PrepareDetails()
{
    TEvaluationResultat &r = FResultat;
    if (r.Echec)
        return;
    // No SymmetricDS tables: the count stands alone.
    try {
        if (!FSensDemande)
            r.Sens = SensDuGroupe(DataMod->IvroMvtLocalNode(r.Base).NODE_GROUP_ID);
        FContenu = DataMod->NewMvtContenuQuery(FCnx.get(), r.Debut, r.Fin);
    } catch (const std::exception &e) {
        r.MessageContenu = MessageDe(e);
    }
}

bool TEvaluation::Compte()
{
    TEvaluationResultat &r = FResultat;
    if (r.Echec)
        return false;
    try {
        FComptage->Open();
        r.Evaluation = MvtEvalue(FComptage->IsEmpty() ? 0 : FComptage->Fields(0).AsInteger());
        FComptage->Close();
        return true;
    } catch (const std::exception &e) {
        r.Echec = true;
        r.Message = MessageDe(e);
        r.Serveur = ServeurDe(e);
        r.Evaluation = MvtEvalue(-1);
        return false;
    }
}

void TEvaluation::LitDetails()
{
    TEvaluationResultat &r = FResultat;
    if (r.Echec || !FContenu)
        return;
    // The details are read in a transaction of their own: rows written in
    // between make their sum differ from the count, which stays the figure
    // the operator was shown.
    try {
        FContenu->Open();
        r.Contenu = TDataMod::MvtContenuDe(*FContenu);
        r.ContenuLu = true;
    } catch (const std::exception &e) {
        r.MessageContenu = MessageDe(e);
    }
}

void TEvaluation::Libere()
{
    FComptage.reset();
    FContenu.reset();
    FCnx.reset();
}

const TEvaluationResultat &TEvaluation::Executer(const std::function<void(const TEvaluationResultat &)> &aCompte)
{
    try {
        Prepare();
        if (Compte()) {
            if (aCompte)
                aCompte(FResultat);
            PrepareDetails();
            LitDetails();
        }
    } catch (const std::exception &e) {
        FResultat.Echec = true;
        FResultat.Message = MessageDe(e);
        FResultat.Serveur = ServeurDe(e);
    }
    Libere();
    return FResultat;
}

void TEvaluation::Demarrer()
{
    // The direction is looked up here, before the thread: the data module
    // is the owner thread's.
    try {
        Prepare();
        PrepareDetails();
    } catch (...) {
        Libere();
        throw;
    }
    FThread = QThread::create([this] {
        if (!Compte())
            return;
        QMetaObject::invokeMethod(
            this, [this, compte = FResultat] { emit Comptee(compte); }, Qt::QueuedConnection);
        LitDetails();
    });
    connect(FThread, &QThread::finished, this, [this] {
        FThread->wait();
        delete FThread;
        FThread = nullptr;
        Libere();
        emit Terminee(FResultat);
    });
    FThread->start();
}
