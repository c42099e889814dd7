// The movement tool from a terminal: the node directory of a database, the
// evaluation of a day range and the sending of its movements to one node.
// The rules are the window's own (data/Movement.h, the data module).
#include "cli/CliCommand.h"
#include "cli/InterruptWatcher.h"

#include "common/UWMI.h"
#include "common/uCommun.h"
#include "data/JournalEnvois.h"
#include "data/MvtProgression.h"
#include "data/QueryThread.h"
#include "data/uDataMod.h"
#include "db/DbError.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <functional>

#include <unistd.h>

namespace {

QString HeartbeatText(const TDateTime &aValue)
{
    return aValue.IsZero() ? QString() : aValue.ToString();
}

QJsonObject NodeJson(const TNode &aNode)
{
    return QJsonObject{{QStringLiteral("NODE_ID"), aNode.NODE_ID},
                       {QStringLiteral("NODE_GROUP_ID"), aNode.NODE_GROUP_ID},
                       {QStringLiteral("HEARTBEAT_TIME"), HeartbeatText(aNode.HEARTBEAT_TIME)}};
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
    p.Debut = MvtDebutPlage(TDateTime::FromQDate(p.Du));
    p.Fin = MvtFinPlage(TDateTime::FromQDate(p.Au));
    return p;
}

// Counted synchronously: nobody waits on a screen, and a failure must stop
// the command with the server's message rather than read as -1 rows.
TMvtEvaluation Evaluate(const QString &aBase, const TPlage &aPlage)
{
    try {
        std::unique_ptr<TDbConnection> cnx = DataMod->getNewConnexion(SysdbaRef(aBase));
        std::unique_ptr<TDbQuery> query = DataMod->NewMvtCountQuery(cnx.get(), aPlage.Debut, aPlage.Fin);
        query->Open();
        return MvtEvalue(query->IsEmpty() ? 0 : query->Fields(0).AsInteger());
    } catch (const EDbError &e) {
        throw ECliFailure(QStringLiteral("L'évaluation a échoué : %1").arg(e.Message()));
    }
}

QString Refus(const TMvtEvaluation &aEval)
{
    if (aEval.Count <= 0)
        return QStringLiteral("Aucun enregistrement \"K\" dans cette plage : rien à envoyer.");
    return QStringLiteral("%1 enregistrements \"K\" : l'envoi est limité à moins de %2 enregistrements. "
                          "Choisissez une plage plus courte.")
        .arg(aEval.Count).arg(MvtLimiteLignes);
}

QJsonObject EvaluationJson(const TPlage &aPlage, const TMvtEvaluation &aEval)
{
    return QJsonObject{{QStringLiteral("du"), aPlage.Du.toString(QStringLiteral("dd/MM/yyyy"))},
                       {QStringLiteral("au"), aPlage.Au.toString(QStringLiteral("dd/MM/yyyy"))},
                       {QStringLiteral("debut"), aPlage.Debut.ToString()},
                       {QStringLiteral("fin"), aPlage.Fin.ToString()},
                       {QStringLiteral("quantite"), aEval.Count},
                       {QStringLiteral("evenements"), aEval.NbRec},
                       {QStringLiteral("duree_estimee"), aEval.EvalTime},
                       {QStringLiteral("envoi_possible"), aEval.Envoyable}};
}

// What the range holds per table, for the direction of the database's
// local node. The count has been made: details that can't be read (no
// SymmetricDS tables) are said, and do not fail the evaluation.
struct TDetails
{
    bool Lu = false;
    QString Erreur;
    TSensMvt Sens = TSensMvt::Aucun;
    TMvtContenu Contenu;
};

TDetails LitDetails(const QString &aBase, const TPlage &aPlage)
{
    TDetails d;
    try {
        d.Sens = SensDuGroupe(DataMod->IvroMvtLocalNode(aBase).NODE_GROUP_ID);
        d.Contenu = DataMod->MvtContenu(aBase, aPlage.Debut, aPlage.Fin);
        d.Lu = true;
    } catch (const EDbError &e) {
        d.Erreur = e.Message();
    }
    return d;
}

QString NomTable(const TMvtTableContenu &aTable)
{
    return aTable.NomValide() ? aTable.KTB_NAME : QString();
}

void AjouteDetailsJson(QJsonObject &aObjet, const TDetails &aDetails)
{
    if (!aDetails.Lu) {
        aObjet.insert(QStringLiteral("tables"), QJsonValue());
        aObjet.insert(QStringLiteral("detail_indisponible"), aDetails.Erreur);
        return;
    }
    const bool sens = aDetails.Sens != TSensMvt::Aucun;
    QJsonArray tables;
    for (const TMvtTableContenu &t : aDetails.Contenu.Tables)
        tables.append(QJsonObject{
            {QStringLiteral("table"), NomTable(t)},
            {QStringLiteral("ktb_id"), t.KTB_ID},
            {QStringLiteral("lignes"), t.Quantite},
            {QStringLiteral("capturee"), sens ? QJsonValue(aDetails.Contenu.Capturee(aDetails.Sens, t)) : QJsonValue()},
            {QStringLiteral("evenements"),
             sens ? QJsonValue(aDetails.Contenu.Evenements(aDetails.Sens, t)) : QJsonValue()}});
    aObjet.insert(QStringLiteral("sens"), TexteSens(aDetails.Sens));
    aObjet.insert(QStringLiteral("tables"), tables);
    aObjet.insert(QStringLiteral("evenements_selon_captures"),
                  sens ? QJsonValue(aDetails.Contenu.Evenements(aDetails.Sens)) : QJsonValue());
}

void PrintDetails(const TCliContext &aCtx, const TDetails &aDetails)
{
    aCtx.Print(QString());
    if (!aDetails.Lu) {
        aCtx.Print(QStringLiteral("Détail par table indisponible : %1").arg(aDetails.Erreur));
        return;
    }
    const bool sens = aDetails.Sens != TSensMvt::Aucun;
    QStringList entetes{QStringLiteral("TABLE"), QStringLiteral("KTB_ID"), QStringLiteral("LIGNES_K")};
    if (sens)
        entetes << QStringLiteral("CAPTUREE") << QStringLiteral("EVENEMENTS");
    QList<QStringList> rows;
    for (const TMvtTableContenu &t : aDetails.Contenu.Tables) {
        QStringList row{t.NomValide() ? t.KTB_NAME : QStringLiteral("(sans nom)"), QString::number(t.KTB_ID),
                        QString::number(t.Quantite)};
        if (sens)
            row << (aDetails.Contenu.Capturee(aDetails.Sens, t) ? QStringLiteral("oui") : QStringLiteral("non"))
                << QString::number(aDetails.Contenu.Evenements(aDetails.Sens, t));
        rows << row;
    }
    aCtx.PrintTable(entetes, rows);
    if (sens)
        aCtx.Print(QStringLiteral("Événements prévus (%1) : %2 ; une table non capturée n'envoie que ses lignes K.")
                       .arg(TexteSens(aDetails.Sens))
                       .arg(aDetails.Contenu.Evenements(aDetails.Sens)));
    else
        aCtx.Print(QStringLiteral("Sens du mouvement inconnu pour cette base : captures et événements non évalués."));
}

int CmdNoeuds(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const TNode local = DataMod->IvroMvtLocalNode(base);
    const TNodes remotes = DataMod->IvroMvtListeRemoteNodes(base);
    const QString sens = TexteSens(SensDuGroupe(local.NODE_GROUP_ID));

    if (aCtx.Json) {
        QJsonArray list;
        for (const TNode &n : remotes)
            list.append(NodeJson(n));
        aCtx.PrintJson(QJsonObject{
            {QStringLiteral("noeud_local"), local.NODE_ID.isEmpty() ? QJsonValue() : QJsonValue(NodeJson(local))},
            {QStringLiteral("sens"), sens},
            {QStringLiteral("noeuds_distants"), list}});
        return 0;
    }
    if (local.NODE_ID.isEmpty())
        aCtx.Print(QStringLiteral("Noeud local : aucun"));
    else
        aCtx.Print(QStringLiteral("Noeud local : %1 (groupe %2)").arg(local.NODE_ID, local.NODE_GROUP_ID));
    aCtx.Print(QStringLiteral("Sens : %1").arg(sens.isEmpty() ? QStringLiteral("aucun") : sens));
    aCtx.Print(QString());
    QList<QStringList> rows;
    for (const TNode &n : remotes)
        rows << QStringList{n.NODE_ID, n.NODE_GROUP_ID, HeartbeatText(n.HEARTBEAT_TIME)};
    aCtx.PrintTable({QStringLiteral("NOEUD"), QStringLiteral("GROUPE"), QStringLiteral("HEARTBEAT_TIME")}, rows);
    return 0;
}

int CmdEvaluer(TCliContext &aCtx)
{
    const TPlage plage = PlageOf(aCtx);
    const QString base = aCtx.Base(0);
    const TMvtEvaluation eval = Evaluate(base, plage);
    const TDetails details = LitDetails(base, plage);
    if (aCtx.Json) {
        QJsonObject o = EvaluationJson(plage, eval);
        AjouteDetailsJson(o, details);
        aCtx.PrintJson(o);
        return 0;
    }
    aCtx.Print(QStringLiteral("Plage : du %1 au %2 inclus").arg(plage.Debut.ToString(), plage.Fin.ToString()));
    aCtx.Print(eval.Texte());
    aCtx.Print(eval.Envoyable ? QStringLiteral("Envoi possible.") : QStringLiteral("Envoi impossible. ") + Refus(eval));
    PrintDetails(aCtx, details);
    return 0;
}

const QString KEnvoiInterrompu = QStringLiteral("Envoi interrompu : aucun événement créé.");

// Installs the movement procedures from the program; the copy of the script
// goes beside the program when its folder takes it, nowhere else. Returns
// the sentence that says so.
QString Install(const QString &aBase)
{
    TDataMod::TMvtInstallation rapport;
    if (!DataMod->InstallMvtProcedures(aBase, VGSE.ExePath, &rapport))
        throw ECliFailure(QStringLiteral("Échec de l'installation des procédures de mouvement, rien n'a été envoyé :\n  ")
                          + rapport.Erreurs.join(QStringLiteral("\n  ")));
    if (!rapport.Fichier.isEmpty())
        return QStringLiteral("Procédures de mouvement installées (%1).").arg(rapport.Fichier);
    return QStringLiteral("Procédures de mouvement installées ; script \"ivro_mvt.sql\" non écrit (%1).")
        .arg(rapport.NonEcrit);
}

// Leaves at once: the server rolls the running statement back when the
// attachment drops with the process. Nothing of the process is unwound, so
// no library shutdown runs under the worker.
[[noreturn]] void Abandon()
{
    const QByteArray text = (QStringLiteral("\n") + KEnvoiInterrompu + QStringLiteral("\n")).toUtf8();
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text.constData(), size_t(text.size()));
    ::_exit(130);
}

// What a signal finds: the sending's connection while its statement runs.
struct TEnvoiEnCours
{
    TDbConnection *Cnx = nullptr;
    bool Actif = false;
    int Signaux = 0;
};

// A signal while the statement runs asks the server to cancel it, and the
// worker then ends with the server's error. A client that can't cancel, a
// second signal or a cancellation that takes too long end the process.
void SurSignal(TEnvoiEnCours &aEnvoi)
{
    ++aEnvoi.Signaux;
    if (!aEnvoi.Actif)
        return;
    if (aEnvoi.Signaux > 1 || !aEnvoi.Cnx->CancelOperation())
        Abandon();
}

struct TEnvoiResultat
{
    qint32 Resultat = -1;
    QString Message;
    qint64 MSecs = 0;
};

// The range procedure in the window's worker; on a terminal the elapsed
// time, and the events inserted out of aAttendus when aProgression reads
// them, are rewritten every second meanwhile.
TEnvoiResultat RunSending(TDbConnection *aCnx, TDbQuery *aQuery, bool aShowTime, TEnvoiEnCours &aEnvoi,
                          TMvtProgression *aProgression, qint64 aAttendus)
{
    constexpr int KDelaiAnnulationMs = 10000;
    TEnvoiResultat result;
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer depuisSignal;
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(1000);
    qint64 inseres = -1;
    auto show = [&] {
        if (!aShowTime)
            return;
        QString ligne = QStringLiteral("\rEnvoi en cours... %1").arg(FormatDuree(double(clock.elapsed() / 1000)));
        if (inseres >= 0 && aAttendus > 0)
            ligne += QStringLiteral("  %1 / %2 événements (%3 %)")
                         .arg(std::min(inseres, aAttendus))
                         .arg(aAttendus)
                         .arg(std::min<qint64>(100, inseres * 100 / aAttendus));
        fprintf(stdout, "%s", qPrintable(ligne));
        fflush(stdout);
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, show);
    qint64 depart = 0;
    if (aProgression) {
        try {
            depart = aProgression->Depart();
            QObject::connect(aProgression, &TMvtProgression::Avancement, &loop, [&inseres](qint64 v) { inseres = v; });
            aProgression->Demarrer();
        } catch (const EDbError &) {
            // No generator to read: the elapsed time alone.
            aProgression = nullptr;
        }
    }
    // A cancellation asked before the statement reached the server would be
    // lost: it is asked again until the worker ends.
    QTimer relance;
    relance.setInterval(200);
    QObject::connect(&relance, &QTimer::timeout, &loop, [&] {
        if (aEnvoi.Signaux == 0)
            return;
        if (!depuisSignal.isValid())
            depuisSignal.start();
        if (depuisSignal.elapsed() > KDelaiAnnulationMs || !aCnx->CancelOperation())
            Abandon();
    });
    auto *worker = new TQueryThread(aCnx, aQuery, [&result](TQueryThread *Sender) {
        result.Resultat = Sender->FResultat;
        result.Message = Sender->FMessage;
    });
    // The worker frees itself after its callback: its end is the signal.
    QPointer<TQueryThread> guard(worker);
    QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
    show();
    timer.start();
    relance.start();
    aEnvoi.Cnx = aCnx;
    aEnvoi.Actif = true;
    worker->Start();
    if (guard)
        loop.exec();
    aEnvoi.Actif = false;
    relance.stop();
    timer.stop();
    result.MSecs = clock.elapsed();
    if (aProgression) {
        try {
            inseres = aProgression->Arreter() - depart;
        } catch (const EDbError &) {
        }
    }
    if (aShowTime) {
        show();
        fprintf(stdout, "\n");
        fflush(stdout);
    }
    return result;
}

// Runs a confirmed sending and records it in the journal however it ends:
// done (0), interrupted (130) or failed with the message the operator sees.
int ConsigneEnvoi(const TCliContext &aCtx, TEnvoiJournal &aJournal, const std::function<int()> &aEnvoi)
{
    const auto consigne = [&aCtx, &aJournal](TIssueEnvoi aIssue, const QString &aMessage) {
        aJournal.Issue = aIssue;
        aJournal.Message = aMessage;
        aJournal.Fin = QDateTime::currentDateTimeUtc();
        const QString erreur = JournalEnvois::Consigner(aJournal);
        if (!erreur.isEmpty())
            aCtx.PrintError(QStringLiteral("Envoi non consigné au journal : ") + erreur);
    };
    try {
        const int code = aEnvoi();
        consigne(code == 0 ? TIssueEnvoi::Termine : TIssueEnvoi::Interrompu,
                 code == 0 ? QString() : KEnvoiInterrompu);
        return code;
    } catch (const ECliFailure &e) {
        consigne(TIssueEnvoi::Echec, e.Message());
        throw;
    } catch (const EDbError &e) {
        consigne(TIssueEnvoi::Echec, e.Message());
        throw;
    } catch (const std::exception &e) {
        consigne(TIssueEnvoi::Echec, QString::fromLocal8Bit(e.what()));
        throw;
    }
}

int CmdEnvoyer(TCliContext &aCtx)
{
    const TPlage plage = PlageOf(aCtx);
    const QString base = aCtx.Base(0);
    const QString noeud = aCtx.Option(QStringLiteral("noeud"));
    if (noeud.isEmpty())
        throw ECliUsage(QStringLiteral("Veuillez choisir un noeud (--noeud NOEUD)."));

    const TNode local = DataMod->IvroMvtLocalNode(base);
    const TSensMvt sens = SensDuGroupe(local.NODE_GROUP_ID);
    if (sens == TSensMvt::Aucun)
        throw ECliFailure(QStringLiteral("Sens du mouvement inconnu : le noeud local de cette base (\"%1\", groupe "
                                         "\"%2\") n'est ni \"lame\" ni \"mags\".")
                              .arg(local.NODE_ID, local.NODE_GROUP_ID));
    // As in the window, only a node the database knows can be chosen: a typo
    // would queue events for nobody.
    bool known = false;
    for (const TNode &n : DataMod->IvroMvtListeRemoteNodes(base))
        known = known || n.NODE_ID == noeud;
    if (!known)
        throw ECliFailure(QStringLiteral("Noeud inconnu de cette base : \"%1\" (voir ivromvt-cli noeuds).").arg(noeud));

    const TMvtEvaluation eval = Evaluate(base, plage);
    if (!eval.Envoyable)
        throw ECliFailure(QStringLiteral("Envoi refusé. ") + Refus(eval));
    if (!aCtx.Json)
        aCtx.Print(eval.Texte());
    aCtx.Confirm(MvtTexteConfirmation(eval.NbRec, noeud, eval.EvalTime).replace(QStringLiteral("\r\n"),
                                                                                 QStringLiteral("\n")));

    TEnvoiJournal journal = JournalEnvois::Nouveau(base, noeud, sens, plage.Du, plage.Au);
    return ConsigneEnvoi(aCtx, journal, [&]() -> int {
        // From here a signal stops the sending, not the process.
        TEnvoiEnCours envoi;
        TInterruptWatcher signaux([&envoi](int) { SurSignal(envoi); });
        const QString installation = Install(base);
        if (signaux.Received()) {
            aCtx.PrintError(KEnvoiInterrompu);
            return 130;
        }
        if (!aCtx.Json)
            aCtx.Print(installation);

        const qint64 repere = DataMod->MvtRepereSymData(base);
        std::unique_ptr<TDbConnection> cnx = DataMod->getNewConnexion(SysdbaRef(base));
        std::unique_ptr<TDbQuery> query =
            DataMod->NewMvtSendQuery(cnx.get(), sens, plage.Debut, plage.Fin, noeud);
        // Attached here, so that a signal always finds a statement to cancel.
        cnx->Open();
        signaux.Install();
        if (signaux.Received()) {
            aCtx.PrintError(KEnvoiInterrompu);
            return 130;
        }
        const bool terminal = !aCtx.Json && ::isatty(STDOUT_FILENO) != 0;
        // On a terminal, the events inserted out of those the tables promise
        // (the evaluation's figure when they can't be read), read on a
        // connection of its own while the statement runs.
        std::unique_ptr<TMvtProgression> progression;
        qint64 attendus = eval.NbRec;
        if (terminal) {
            const TDetails details = LitDetails(base, plage);
            if (details.Lu)
                attendus = details.Contenu.Evenements(sens);
            progression = std::make_unique<TMvtProgression>(DataMod->getNewConnexion(SysdbaRef(base)));
        }
        const TEnvoiResultat r = RunSending(cnx.get(), query.get(), terminal, envoi, progression.get(), attendus);
        progression.reset();
        query.reset();
        cnx.reset();
        const bool interrompu = signaux.Received();
        const QString duree = FormatDuree(double(r.MSecs / 1000));
        if (r.Resultat == -1 && interrompu) {
            aCtx.PrintError(KEnvoiInterrompu);
            return 130;
        }
        if (r.Resultat == -1)
            throw ECliFailure(QStringLiteral("L'envoi a échoué après %1 : %2").arg(duree, r.Message));

        TMvtEvenements crees;
        try {
            crees = DataMod->MvtEvenementsCrees(base, repere, noeud);
        } catch (const EDbError &e) {
            throw ECliFailure(QStringLiteral("L'envoi s'est terminé après %1, mais le nombre d'événements créés n'a pu "
                                             "être lu : %2")
                                  .arg(duree, e.Message()));
        }
        journal.Evenements = crees.Nombre;
        journal.PremierDataId = crees.PremierDataId;
        journal.DernierDataId = crees.DernierDataId;
        if (crees.Nombre == 0)
            throw ECliFailure(MvtTexteAucunEvenement(eval.Count, sens, noeud));

        if (aCtx.Json) {
            QJsonObject o = EvaluationJson(plage, eval);
            o.insert(QStringLiteral("evenements_prevus"), eval.NbRec);
            o.insert(QStringLiteral("evenements"), double(crees.Nombre));
            o.insert(QStringLiteral("premier_data_id"), double(crees.PremierDataId));
            o.insert(QStringLiteral("dernier_data_id"), double(crees.DernierDataId));
            o.insert(QStringLiteral("noeud"), noeud);
            o.insert(QStringLiteral("sens"), TexteSens(sens));
            o.insert(QStringLiteral("duree"), duree);
            o.insert(QStringLiteral("duree_ms"), double(r.MSecs));
            aCtx.PrintJson(o);
            return 0;
        }
        aCtx.Print(MvtTexteFin(noeud));
        aCtx.Print(QStringLiteral("Événements créés : %1 (DATA_ID %2 à %3).")
                       .arg(crees.Nombre).arg(crees.PremierDataId).arg(crees.DernierDataId));
        aCtx.Print(QStringLiteral("Durée : %1").arg(duree));
        aCtx.Print(QStringLiteral("Suivi : ivromvt-cli suivi \"%1\" --noeud %2 --de %3 --a %4")
                       .arg(base, noeud, QString::number(crees.PremierDataId), QString::number(crees.DernierDataId)));
        return 0;
    });
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
