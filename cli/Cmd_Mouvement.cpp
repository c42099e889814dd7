// The movement tool from a terminal: the node directory of a database, the
// evaluation of a day range and the sending of its movements to one node.
// The evaluation and the sending are the window's own (data/mouvement/Evaluation.h,
// data/mouvement/Envoi.h): this face only prints, asks and gives the exit code.
#include "cli/CliCommand.h"
#include "cli/InterruptWatcher.h"

#include "common/UWMI.h"
#include "common/uCommun.h"
#include "data/mouvement/Envoi.h"
#include "data/mouvement/Evaluation.h"
#include "data/uDataMod.h"
#include "db/DbError.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <functional>

#include <unistd.h>

namespace {

QString HeartbeatText(const TDateTime &aValue)
{
    return aValue.IsZero() ? QString() : aValue.ToString();
}

QJsonObject NoeudJson(const TNode &aNode)
{
    return QJsonObject{{QStringLiteral("NODE_ID"), aNode.NODE_ID},
                       {QStringLiteral("NODE_GROUP_ID"), aNode.NODE_GROUP_ID},
                       {QStringLiteral("HEARTBEAT_TIME"), JsonDateHeure(aNode.HEARTBEAT_TIME)}};
}

struct TPlage
{
    QDate Du;
    QDate Au;
    TDateTime Debut;
    TDateTime Fin;
};

TPlage PlageOf(const TCliContext &aCtx)
{
    TPlage p;
    p.Du = aCtx.DateOption(QStringLiteral("du"));
    p.Au = aCtx.DateOption(QStringLiteral("au"));
    p.Debut = MouvementDebutPlage(TDateTime::FromQDate(p.Du));
    p.Fin = MouvementFinPlage(TDateTime::FromQDate(p.Au));
    return p;
}

// Made on this thread: nobody waits on a screen, and a failed count must
// stop the command with its message rather than read as -1 rows.
TEvaluationResultat Evaluate(const QString &aBase, const TPlage &aPlage,
                             const std::function<void(const TEvaluationResultat &)> &aCompte = {})
{
    TEvaluation evaluation(DataMod->Mouvement, aBase, aPlage.Debut, aPlage.Fin);
    const TEvaluationResultat r = evaluation.Executer(aCompte);
    if (r.Echec && r.Serveur.isEmpty())
        throw ECliFailure(QStringLiteral("L'évaluation a échoué : %1").arg(r.Message));
    // The server's text apart, after our sentence, as for any server error.
    if (r.Echec) {
        const QString phrase = r.Message.chopped(r.Serveur.size()).trimmed();
        throw ECliFailure(QStringLiteral("L'évaluation a échoué : %1")
                              .arg(phrase.isEmpty() ? QStringLiteral("le serveur a refusé le comptage des lignes \"K\".")
                                                    : phrase),
                          r.Serveur);
    }
    return r;
}

QJsonObject EvaluationJson(const TPlage &aPlage, const TEvaluationResultat &aEval)
{
    return QJsonObject{{QStringLiteral("du"), JsonDate(aPlage.Du)},
                       {QStringLiteral("au"), JsonDate(aPlage.Au)},
                       {QStringLiteral("debut"), JsonDateHeure(aPlage.Debut)},
                       {QStringLiteral("fin"), JsonDateHeure(aPlage.Fin)},
                       {QStringLiteral("quantite"), aEval.Evaluation.Count},
                       {QStringLiteral("evenements"), aEval.Evaluation.NbRec},
                       {QStringLiteral("duree_estimee"), aEval.Evaluation.EvalTime},
                       {QStringLiteral("envoi_possible"), aEval.Envoyable()}};
}

QString NomTable(const TMouvementTableContenu &aTable)
{
    return aTable.NomValide() ? aTable.KTB_NAME : QString();
}

// A K row without KTB_ID is not one of table 0: said as missing.
QJsonValue KtbIdJson(const TMouvementTableContenu &aTable)
{
    return aTable.KTB_IDNul ? QJsonValue() : QJsonValue(aTable.KTB_ID);
}

QString KtbIdTexte(const TMouvementTableContenu &aTable)
{
    return aTable.KTB_IDNul ? QString() : QString::number(aTable.KTB_ID);
}

void AjouteDetailsJson(QJsonObject &aObjet, const TEvaluationResultat &aDetails)
{
    if (!aDetails.ContenuLu) {
        aObjet.insert(QStringLiteral("tables"), QJsonValue());
        aObjet.insert(QStringLiteral("detail_indisponible"), aDetails.MessageContenu);
        return;
    }
    const bool sens = aDetails.Sens != TSensMouvement::Aucun;
    QJsonArray tables;
    for (const TMouvementTableContenu &t : aDetails.Contenu.Tables)
        tables.append(QJsonObject{
            {QStringLiteral("table"), NomTable(t)},
            {QStringLiteral("ktb_id"), KtbIdJson(t)},
            {QStringLiteral("lignes"), t.Quantite},
            {QStringLiteral("capturee"), sens ? QJsonValue(aDetails.Contenu.Capturee(aDetails.Sens, t)) : QJsonValue()},
            {QStringLiteral("evenements"),
             sens ? QJsonValue(aDetails.Contenu.Evenements(aDetails.Sens, t)) : QJsonValue()}});
    aObjet.insert(QStringLiteral("sens"), TexteSens(aDetails.Sens));
    aObjet.insert(QStringLiteral("tables"), tables);
    aObjet.insert(QStringLiteral("evenements_selon_captures"),
                  sens ? QJsonValue(aDetails.Contenu.Evenements(aDetails.Sens)) : QJsonValue());
}

void AjouteDetails(TCliResultat &aResultat, const TEvaluationResultat &aDetails)
{
    aResultat.Ligne(QString());
    if (!aDetails.ContenuLu) {
        aResultat.Ligne(QStringLiteral("Détail par table indisponible : %1").arg(aDetails.MessageContenu));
        return;
    }
    const bool sens = aDetails.Sens != TSensMouvement::Aucun;
    QStringList entetes{QStringLiteral("TABLE"), QStringLiteral("KTB_ID"), QStringLiteral("LIGNES_K")};
    if (sens)
        entetes << QStringLiteral("CAPTUREE") << QStringLiteral("EVENEMENTS");
    QList<QStringList> rows;
    for (const TMouvementTableContenu &t : aDetails.Contenu.Tables) {
        QStringList row{t.NomValide() ? t.KTB_NAME : QStringLiteral("(sans nom)"), KtbIdTexte(t),
                        QString::number(t.Quantite)};
        if (sens)
            row << (aDetails.Contenu.Capturee(aDetails.Sens, t) ? QStringLiteral("oui") : QStringLiteral("non"))
                << QString::number(aDetails.Contenu.Evenements(aDetails.Sens, t));
        rows << row;
    }
    aResultat.Table(entetes, rows);
    if (sens)
        aResultat.Ligne(QStringLiteral("Événements prévus (%1) : %2 ; une table non capturée n'envoie que ses lignes K.")
                            .arg(TexteSens(aDetails.Sens))
                            .arg(aDetails.Contenu.Evenements(aDetails.Sens)));
    else
        aResultat.Ligne(QStringLiteral("Sens du mouvement inconnu pour cette base : captures et événements non évalués."));
}

TCliResultat CmdNoeuds(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const TNode local = DataMod->Mouvement.IvroMvtLocalNode(base);
    const TNodes remotes = DataMod->Mouvement.IvroMvtListeRemoteNodes(base);
    const QString sens = TexteSens(SensDuGroupe(local.NODE_GROUP_ID));

    QJsonArray list;
    QList<QStringList> rows;
    for (const TNode &n : remotes) {
        list.append(NoeudJson(n));
        rows << QStringList{n.NODE_ID, n.NODE_GROUP_ID, HeartbeatText(n.HEARTBEAT_TIME)};
    }
    return TCliResultat()
        .Json(QJsonObject{
            {QStringLiteral("noeud_local"), local.NODE_ID.isEmpty() ? QJsonValue() : QJsonValue(NoeudJson(local))},
            {QStringLiteral("sens"), sens},
            {QStringLiteral("noeuds_distants"), list}})
        .Ligne(local.NODE_ID.isEmpty()
                   ? QStringLiteral("Noeud local : aucun")
                   : QStringLiteral("Noeud local : %1 (groupe %2)").arg(local.NODE_ID, local.NODE_GROUP_ID))
        .Ligne(QStringLiteral("Sens : %1").arg(sens.isEmpty() ? QStringLiteral("aucun") : sens))
        .Ligne(QString())
        .Table({QStringLiteral("NOEUD"), QStringLiteral("GROUPE"), QStringLiteral("HEARTBEAT_TIME")}, rows);
}

TCliResultat CmdEvaluer(TCliContext &aCtx)
{
    const TPlage plage = PlageOf(aCtx);
    // In text, the count is printed as soon as it is known: the details take longer.
    std::function<void(const TEvaluationResultat &)> compte;
    if (!aCtx.Json)
        compte = [&aCtx, &plage](const TEvaluationResultat &aCompte) {
            aCtx.Print(QStringLiteral("Plage : %1").arg(MouvementTextePlage(plage.Debut, plage.Fin)));
            aCtx.Print(aCompte.Evaluation.Texte());
        };
    const TEvaluationResultat eval = Evaluate(aCtx.Base(0), plage, compte);
    QJsonObject o = EvaluationJson(plage, eval);
    AjouteDetailsJson(o, eval);
    TCliResultat r;
    r.Json(o).Ligne(eval.Envoyable() ? QStringLiteral("Envoi possible.")
                                     : QStringLiteral("Envoi impossible. ") + eval.Refus());
    AjouteDetails(r, eval);
    return r;
}

const QString KEnvoiInterrompu = QStringLiteral("Envoi interrompu : aucun événement créé.");

// A sending's end as one JSON object: its range, its outcome, the events it
// created or may have created, and how to follow them.
QJsonObject EnvoiJson(const TPlage &aPlage, const TEvaluationResultat &aEval, const TEnvoiResultat &aResultat,
                      const QString &aIssue, const QString &aMessage = QString())
{
    QJsonObject o = EvaluationJson(aPlage, aEval);
    const TEnvoiDemande &d = aResultat.Demande;
    const bool plage = aIssue == QLatin1String("termine") || aIssue == QLatin1String("inconnue");
    o.insert(QStringLiteral("issue"), aIssue);
    o.insert(QStringLiteral("evenements_prevus"), aEval.Evaluation.NbRec);
    o.insert(QStringLiteral("evenements_prevus_detail"),
             aEval.EvenementsPrevus() ? QJsonValue(double(*aEval.EvenementsPrevus())) : QJsonValue());
    o.insert(QStringLiteral("evenements"), aIssue == QLatin1String("termine") ? double(aResultat.Crees.Nombre) : 0.0);
    o.insert(QStringLiteral("premier_data_id"), plage ? QJsonValue(double(aResultat.Crees.PremierDataId)) : QJsonValue());
    o.insert(QStringLiteral("dernier_data_id"), plage ? QJsonValue(double(aResultat.Crees.DernierDataId)) : QJsonValue());
    o.insert(QStringLiteral("noeud"), d.Noeud);
    o.insert(QStringLiteral("sens"), TexteSens(d.Sens));
    // One measure, from the sending's start to its end, as the text and the journal.
    const qint64 dureeMs = aResultat.Debut.isValid() && aResultat.Fin.isValid()
                               ? std::max<qint64>(0, aResultat.Debut.msecsTo(aResultat.Fin))
                               : aResultat.DureeMs;
    o.insert(QStringLiteral("duree"), FormatDuree(double(dureeMs / 1000)));
    o.insert(QStringLiteral("duree_ms"), double(dureeMs));
    if (plage)
        o.insert(QStringLiteral("suivi"), MouvementCommandeSuivi(d.Base, d.Noeud, aResultat.Crees.PremierDataId,
                                                           aResultat.Crees.DernierDataId));
    if (aIssue == QLatin1String("inconnue"))
        o.insert(QStringLiteral("evenements_possibles"), double(aResultat.Crees.Nombre));
    if (aResultat.CommitVerifie)
        o.insert(QStringLiteral("validation_verifiee"), true);
    if (!aMessage.isEmpty())
        o.insert(QStringLiteral("message"), aMessage);
    return o;
}

// An unknown outcome is neither a success nor a failure: a script must not
// send again before checking.
constexpr int KCodeIssueInconnue = 3;

// On a terminal, the elapsed time and the events inserted out of those
// expected, rewritten every second while the sending runs.
class TAffichageEnvoi
{
public:
    explicit TAffichageEnvoi(bool aActif) : FActif(aActif) {}

    // Counted from the sending's own start, as its result and the journal are.
    void Depart(const QDateTime &aDebut) { FDebut = aDebut; }

    void Avancement(qint64 aInseres, qint64 aPrevus)
    {
        FInseres = aInseres;
        FPrevus = aPrevus;
    }
    void Montre() const
    {
        if (!FActif)
            return;
        const QDateTime maintenant = FFin.isValid() ? FFin : QDateTime::currentDateTime();
        const qint64 ms = FDebut.isValid() ? std::max<qint64>(0, FDebut.msecsTo(maintenant)) : 0;
        QString ligne = QStringLiteral("\rEnvoi en cours... %1").arg(FormatDuree(double(ms / 1000)));
        if (FInseres >= 0 && FPrevus > 0)
            ligne += QStringLiteral("  %1 / %2 événements (%3 %)")
                         .arg(std::min(FInseres, FPrevus))
                         .arg(FPrevus)
                         .arg(std::min<qint64>(100, FInseres * 100 / FPrevus));
        fprintf(stdout, "%s", qPrintable(ligne));
        fflush(stdout);
    }
    void Fin(const TEnvoiResultat &aResultat)
    {
        if (!FActif)
            return;
        if (aResultat.Issue == TIssueEnvoi::Termine)
            FInseres = aResultat.Crees.Nombre;
        FDebut = aResultat.Debut;
        FFin = aResultat.Fin;
        Montre();
        fprintf(stdout, "\n");
        fflush(stdout);
    }

private:
    bool FActif;
    QDateTime FDebut;
    QDateTime FFin;
    qint64 FInseres = -1;
    qint64 FPrevus = 0;
};

TCliResultat CmdEnvoyer(TCliContext &aCtx)
{
    const TPlage plage = PlageOf(aCtx);
    const QString base = aCtx.Base(0);
    const QString noeud = aCtx.Option(QStringLiteral("noeud"));
    if (noeud.isEmpty())
        throw ECliUsage(QStringLiteral("Veuillez choisir un noeud (--noeud NOEUD)."));

    const TNode local = DataMod->Mouvement.IvroMvtLocalNode(base);
    const TSensMouvement sens = SensDuGroupe(local.NODE_GROUP_ID);
    if (sens == TSensMouvement::Aucun)
        throw ECliFailure(QStringLiteral("Sens du mouvement inconnu : le noeud local de cette base (\"%1\", groupe "
                                         "\"%2\") n'est ni \"lame\" ni \"mags\".")
                              .arg(local.NODE_ID, local.NODE_GROUP_ID));
    // As in the window, only a node the database knows can be chosen: a typo
    // would queue events for nobody.
    const TNodes remotes = DataMod->Mouvement.IvroMvtListeRemoteNodes(base);
    const auto cible = std::find_if(remotes.cbegin(), remotes.cend(), [&noeud](const TNode &n) { return n.NODE_ID == noeud; });
    if (cible == remotes.cend())
        throw ECliFailure(QStringLiteral("Noeud inconnu de cette base : \"%1\" (voir ivromvt-cli noeuds).").arg(noeud));
    // Nor a node outside the group the direction's router sends to: the
    // events would wait for it for ever.
    if (const QString refus = MouvementRefusCible(sens, DataMod->Mouvement.MouvementGroupeCible(base, sens), noeud, cible->NODE_GROUP_ID);
        !refus.isEmpty())
        throw ECliUsage(QStringLiteral("Envoi refusé. ") + refus);

    const TEvaluationResultat eval = Evaluate(base, plage);
    if (!eval.Envoyable())
        throw ECliFailure(QStringLiteral("Envoi refusé. ") + eval.Refus());
    if (!aCtx.Json) {
        aCtx.Print(QStringLiteral("Plage : %1").arg(MouvementTextePlage(plage.Debut, plage.Fin)));
        aCtx.Print(eval.Evaluation.Texte());
        if (const QString prevision = MouvementTextePrevision(eval); !prevision.isEmpty())
            aCtx.Print(prevision);
    }
    // As the window: what may keep the events from arriving is said, and
    // asked about, first.
    if (const QStringList avertissements = DataMod->Mouvement.AvertissementsEnvoi(base, noeud, plage.Du, plage.Au);
        !avertissements.isEmpty()) {
        for (const QString &a : avertissements)
            aCtx.PrintError(QStringLiteral("Avertissement : ") + a);
        aCtx.Confirm(QStringLiteral("Envoyer quand même ?"));
    }
    aCtx.Confirm(MouvementTexteConfirmationEnvoi(eval, noeud).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    TEnvoi envoi(DataMod->Mouvement, eval, noeud, VGSE.ExePath);
    // One JSON object whoever ends the command: the interruption's handler
    // and the sending's own end may both get there.
    std::atomic<bool> jsonEcrit{false};
    const auto ecritJson = [&](const QJsonObject &aObjet) {
        if (!jsonEcrit.exchange(true))
            aCtx.PrintJson(aObjet);
    };
    // From here an interruption stops the sending: the process ends at once
    // with the line when nothing of the sending can be committed any more
    // (the server rolls back what the attachment leaves), and waits for the
    // commit's answer to report it when its commit was already under way; a
    // second interruption then ends it without the answer.
    const TInterruptScope interruption(
        KEnvoiInterrompu,
        [&] {
            if (!envoi.Abandonner()) {
                aCtx.PrintError(QStringLiteral("Validation de l'envoi en cours : attente de la réponse du serveur "
                                               "(Ctrl-C de nouveau pour quitter sans l'attendre)."));
                return false;
            }
            TDbConnection::AbandonAll();
            if (aCtx.Json)
                ecritJson(EnvoiJson(plage, eval, envoi.Resultat(), QStringLiteral("interrompu"), KEnvoiInterrompu));
            return true;
        },
        [&] {
            const QString texte = envoi.Forcer();
            if (aCtx.Json)
                ecritJson(EnvoiJson(plage, eval, envoi.Resultat(), QStringLiteral("inconnue"), texte));
            return texte;
        });
    const bool terminal = !aCtx.Json && ::isatty(STDOUT_FILENO) != 0;
    TAffichageEnvoi affichage(terminal);
    QObject::connect(&envoi, &TEnvoi::Avancement, &envoi,
                     [&affichage](qint64 aInseres, qint64 aPrevus) { affichage.Avancement(aInseres, aPrevus); });
    QEventLoop loop;
    QObject::connect(&envoi, &TEnvoi::Termine, &loop, &QEventLoop::quit);
    if (envoi.Demarrer()) {
        if (!aCtx.Json)
            aCtx.Print(envoi.Resultat().Installation.isEmpty()
                           ? QStringLiteral("Procédures de mouvement installées ; script \"ivro_mvt.sql\" non écrit (%1).")
                                 .arg(envoi.Resultat().NonEcrit)
                           : QStringLiteral("Procédures de mouvement installées (%1).").arg(envoi.Resultat().Installation));
        if (!envoi.Resultat().Remarque.isEmpty())
            aCtx.PrintError(envoi.Resultat().Remarque);
        affichage.Depart(envoi.Resultat().Debut);
        // Known from the start: the end line shows the count even when the
        // sending ends before the first reading has been delivered.
        if (envoi.Progression())
            affichage.Avancement(0, envoi.Resultat().Prevus);
        QTimer horloge;
        horloge.setInterval(1000);
        QObject::connect(&horloge, &QTimer::timeout, &loop, [&] {
            affichage.Montre();
            // Once connected, no answer is waited for without end.
            if (envoi.SilenceServeur() < KSilenceServeurMaxMs)
                return;
            affichage.Fin(envoi.Resultat());
            bool inconnue = false;
            const QString texte = envoi.AbandonnerSurSilence(inconnue);
            if (!inconnue) {
                if (aCtx.Json)
                    ecritJson(EnvoiJson(plage, eval, envoi.Resultat(), QStringLiteral("echec"), texte));
                aCtx.PrintError(QStringLiteral("Erreur : ") + texte);
                Interruption::Quit(1);
            }
            if (aCtx.Json)
                ecritJson(EnvoiJson(plage, eval, envoi.Resultat(), QStringLiteral("inconnue"), texte));
            aCtx.PrintError(texte);
            Interruption::Quit(KCodeIssueInconnue);
        });
        affichage.Montre();
        horloge.start();
        loop.exec();
    }
    const TEnvoiResultat &r = envoi.Resultat();
    // Known and journaled: a late Ctrl-C must not turn it into another.
    if (r.Issue != TIssueEnvoi::Interrompu)
        Interruption::Settle();
    affichage.Fin(r);
    // One measure, from the sending's start to its end: the progress line,
    // this result and the journal all read it.
    const qint64 dureeMs = r.Debut.isValid() && r.Fin.isValid() ? std::max<qint64>(0, r.Debut.msecsTo(r.Fin)) : r.DureeMs;
    const QString duree = FormatDuree(double(dureeMs / 1000));
    // The outcome's JSON object is written once, whoever gets there first:
    // the interruption's handler may have written it already.
    TCliResultat resultat;
    switch (r.Issue) {
    case TIssueEnvoi::Termine:
        break;
    case TIssueEnvoi::Interrompu:
        if (aCtx.Json)
            ecritJson(EnvoiJson(plage, eval, r, QStringLiteral("interrompu"), KEnvoiInterrompu));
        if (Interruption::Requested())
            return TCliResultat().Code(Interruption::Interrupted());
        aCtx.PrintError(KEnvoiInterrompu);
        return TCliResultat().Code(130);
    case TIssueEnvoi::Inconnue:
        resultat.Erreur(r.Message);
        if (!jsonEcrit.exchange(true))
            resultat.Json(EnvoiJson(plage, eval, r, QStringLiteral("inconnue"), r.Message));
        return resultat.Code(KCodeIssueInconnue);
    case TIssueEnvoi::Refuse:
        throw ECliFailure(QStringLiteral("Envoi refusé. ") + r.Message);
    case TIssueEnvoi::EnCours:
    case TIssueEnvoi::Echec:
        if (r.EchecInstallation)
            throw ECliFailure(QStringLiteral("Échec de l'installation des procédures de mouvement, rien n'a été envoyé :\n  ")
                              + QString(r.Message).replace(QLatin1Char('\n'), QStringLiteral("\n  ")));
        if (r.Crees.Nombre == 0 && r.Message.startsWith(QLatin1String("Aucun événement créé")))
            throw ECliFailure(r.Message);
        throw ECliFailure(QStringLiteral("L'envoi a échoué après %1 : %2").arg(duree, r.Message));
    }

    if (!jsonEcrit.exchange(true))
        resultat.Json(EnvoiJson(plage, eval, r, QStringLiteral("termine")));
    if (r.CommitVerifie)
        resultat.Ligne(QStringLiteral("La réponse du serveur à la validation a été perdue ; vérifié sur une nouvelle "
                                      "connexion : l'envoi est bien validé."));
    return resultat.Ligne(MouvementTexteFin(noeud))
        .Ligne(QStringLiteral("Événements créés : %1 (DATA_ID %2 à %3).")
                   .arg(r.Crees.Nombre)
                   .arg(r.Crees.PremierDataId)
                   .arg(r.Crees.DernierDataId))
        .Ligne(QStringLiteral("Durée : %1").arg(duree))
        .Ligne(QStringLiteral("Suivi : ") + MouvementCommandeSuivi(base, noeud, r.Crees.PremierDataId, r.Crees.DernierDataId));
}

const TCliRegistrar RegNoeuds({QStringLiteral("noeuds"), QStringLiteral("BASE [--json]"),
                               QStringLiteral("noeud local, sens du mouvement et noeuds distants avec leur "
                                              "dernier heartbeat"),
                               CmdNoeuds});
const TCliRegistrar RegEvaluer({QStringLiteral("evaluer"), QStringLiteral("BASE --du JJ/MM/AAAA --au JJ/MM/AAAA [--json]"),
                                QStringLiteral("compte les enregistrements \"K\" modifiés dans la plage, les "
                                               "événements et la durée estimée de l'envoi"),
                                CmdEvaluer});
const TCliRegistrar RegEnvoyer({QStringLiteral("envoyer"),
                                QStringLiteral("BASE --du JJ/MM/AAAA --au JJ/MM/AAAA --noeud NOEUD [--oui] [--json]"),
                                QStringLiteral("écrit : envoie au noeud les mouvements de la plage (installe les "
                                               "procédures de mouvement, puis les exécute)"),
                                CmdEnvoyer});

} // namespace
