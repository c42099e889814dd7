// Whether a node received the movements sent to it: where the reload events
// of a DATA_ID range stand in SymmetricDS's routing and batches, once or
// until nothing is on its way any more.
#include "cli/CliCommand.h"
#include "cli/InterruptWatcher.h"

#include "data/mouvement/JournalEnvois.h"
#include "data/uDataMod.h"
#include "db/DbConnection.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QThread>

#include <algorithm>

namespace {

constexpr int KMessageMax = 200; // characters of a batch's error shown in a table

qint64 DataIdOption(const TCliContext &aCtx, const QString &aName)
{
    bool ok = false;
    const qint64 v = aCtx.Option(aName).toLongLong(&ok);
    if (!ok || v < 0)
        throw ECliUsage(QStringLiteral("--%1 attend un DATA_ID (nombre entier positif), pas \"%2\"")
                            .arg(aName, aCtx.Option(aName)));
    return v;
}

int SecondesOption(const TCliContext &aCtx)
{
    bool ok = false;
    const int v = aCtx.Option(QStringLiteral("suivre")).toInt(&ok);
    if (!ok || v < 1 || v > 3600)
        throw ECliUsage(QStringLiteral("--suivre attend un nombre de secondes entre 1 et 3600, pas \"%1\"")
                            .arg(aCtx.Option(QStringLiteral("suivre"))));
    return v;
}

QString UneLigne(const QString &aText, int aMax)
{
    QString t = aText.simplified();
    if (t.size() > aMax)
        t = t.left(aMax - 1) + QChar(0x2026);
    return t;
}

QJsonObject SuiviJson(const TSuiviEnvoi &aSuivi, qint64 aCrees)
{
    QJsonArray statuts;
    for (const TSuiviStatut &s : aSuivi.Statuts)
        statuts.append(QJsonObject{{QStringLiteral("statut"), s.STATUS},
                                   {QStringLiteral("libelle"), LibelleStatut(s.STATUS)},
                                   {QStringLiteral("evenements"), s.Evenements},
                                   {QStringLiteral("lots"), s.Lots}});
    QJsonArray lots;
    for (const TSuiviLotErreur &l : aSuivi.LotsEnErreur)
        lots.append(QJsonObject{{QStringLiteral("batch_id"), l.BATCH_ID},
                                {QStringLiteral("statut"), l.STATUS},
                                {QStringLiteral("envois"), l.SENT_COUNT},
                                {QStringLiteral("sql_code"), l.SQL_CODE},
                                {QStringLiteral("sql_state"), l.SQL_STATE},
                                {QStringLiteral("failed_data_id"), l.FAILED_DATA_ID},
                                {QStringLiteral("derniere_maj"), JsonDateHeure(l.LAST_UPDATE_TIME)},
                                {QStringLiteral("message"), l.SQL_MESSAGE}});
    return QJsonObject{{QStringLiteral("noeud"), aSuivi.Noeud},
                       {QStringLiteral("de"), aSuivi.De},
                       {QStringLiteral("a"), aSuivi.A},
                       {QStringLiteral("evenements"), aSuivi.Total},
                       {QStringLiteral("non_routes"), aSuivi.NonRoutes},
                       {QStringLiteral("hors_trous"), aSuivi.HorsTrous},
                       {QStringLiteral("au_dela_des_trous"), aSuivi.AuDelaDesTrous},
                       {QStringLiteral("n_arriveront_pas"), aSuivi.NArriverontPas()},
                       {QStringLiteral("crees"), aCrees < 0 ? QJsonValue() : QJsonValue(aCrees)},
                       {QStringLiteral("verdict"), VerdictSuivi(aSuivi, aCrees)},
                       {QStringLiteral("routes_sans_lot"), aSuivi.RoutesAilleurs()},
                       {QStringLiteral("en_reprise"), aSuivi.EnReprise},
                       {QStringLiteral("en_cours"), aSuivi.EnCours()},
                       {QStringLiteral("termine"), aSuivi.Termine()},
                       {QStringLiteral("statuts"), statuts},
                       {QStringLiteral("lots_en_erreur"), lots}};
}

// One line per refresh while following.
QString Resume(const TSuiviEnvoi &aSuivi)
{
    return QStringLiteral("%1  non routés %2, en route %3, chargés %4, en erreur %5")
        .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")))
        .arg(aSuivi.NonRoutes)
        .arg(aSuivi.EnCours() - aSuivi.NonRoutes)
        .arg(aSuivi.Statut(QStringLiteral("OK")))
        .arg(aSuivi.Statut(QStringLiteral("ER")));
}

void AjouteSuivi(TCliResultat &aResultat, const TSuiviEnvoi &aSuivi, qint64 aCrees)
{
    aResultat.Ligne(QStringLiteral("Événements de rechargement pour le noeud %1, DATA_ID %2 à %3 : %4")
                        .arg(aSuivi.Noeud).arg(aSuivi.De).arg(aSuivi.A).arg(aSuivi.Total));
    if (aSuivi.Total == 0) {
        aResultat.Ligne(VerdictSuivi(aSuivi, aCrees));
        return;
    }
    aResultat.Ligne(QStringLiteral("  non routés (en attente du routage)          : %1").arg(aSuivi.NonRoutes));
    if (aSuivi.AuDelaDesTrous > 0)
        aResultat.Ligne(QStringLiteral("  non routés, au-delà du dernier trou         : %1").arg(aSuivi.AuDelaDesTrous));
    aResultat.Ligne(QStringLiteral("  hors de tout trou (ne seront jamais routés) : %1").arg(aSuivi.HorsTrous));
    aResultat.Ligne(QStringLiteral("  routés sans lot pour ce noeud               : %1").arg(aSuivi.RoutesAilleurs()));
    aResultat.Ligne(QStringLiteral("  dans un lot du noeud                        : %1").arg(aSuivi.AvecLot));
    if (aSuivi.EnReprise > 0)
        aResultat.Ligne(QStringLiteral("    dont renvoyés après une erreur            : %1").arg(aSuivi.EnReprise));
    aResultat.Ligne(QString());
    QList<QStringList> rows;
    for (const TSuiviStatut &s : aSuivi.Statuts)
        rows << QStringList{s.STATUS, LibelleStatut(s.STATUS), QString::number(s.Evenements), QString::number(s.Lots)};
    if (rows.isEmpty())
        aResultat.Ligne(QStringLiteral("Aucun lot du noeud ne contient ces événements."));
    else
        aResultat.Table({QStringLiteral("STATUT"), QStringLiteral("ETAT"), QStringLiteral("EVENEMENTS"),
                         QStringLiteral("LOTS")},
                        rows);
    if (!aSuivi.LotsEnErreur.isEmpty()) {
        aResultat.Ligne(QString());
        aResultat.Ligne(QStringLiteral("Lots en erreur :"));
        QList<QStringList> lots;
        for (const TSuiviLotErreur &l : aSuivi.LotsEnErreur)
            lots << QStringList{QString::number(l.BATCH_ID), l.STATUS, QString::number(l.SENT_COUNT),
                                QString::number(l.SQL_CODE), l.SQL_STATE, QString::number(l.FAILED_DATA_ID),
                                l.LAST_UPDATE_TIME.IsZero() ? QString() : l.LAST_UPDATE_TIME.ToString(),
                                UneLigne(l.SQL_MESSAGE, KMessageMax)};
        aResultat.Table({QStringLiteral("LOT"), QStringLiteral("STATUT"), QStringLiteral("ENVOIS"),
                         QStringLiteral("SQL_CODE"), QStringLiteral("SQL_STATE"), QStringLiteral("FAILED_DATA_ID"),
                         QStringLiteral("DERNIERE_MAJ"), QStringLiteral("MESSAGE")},
                        lots);
    }
    aResultat.Ligne(QString());
    aResultat.Ligne(VerdictSuivi(aSuivi, aCrees));
}

TCliResultat CmdSuivi(TCliContext &aCtx)
{
    const QString noeud = aCtx.Option(QStringLiteral("noeud"));
    if (noeud.isEmpty())
        throw ECliUsage(QStringLiteral("Veuillez choisir un noeud (--noeud NOEUD)."));
    const bool plageDonnee = aCtx.HasOption(QStringLiteral("de")) || aCtx.HasOption(QStringLiteral("a"));
    if (plageDonnee && !(aCtx.HasOption(QStringLiteral("de")) && aCtx.HasOption(QStringLiteral("a"))))
        throw ECliUsage(QStringLiteral("--de et --a vont ensemble : la plage de DATA_ID affichée par envoyer."));
    qint64 de = 0;
    qint64 a = 0;
    if (plageDonnee) {
        de = DataIdOption(aCtx, QStringLiteral("de"));
        a = DataIdOption(aCtx, QStringLiteral("a"));
        if (de > a)
            throw ECliUsage(QStringLiteral("Plage de DATA_ID vide : --de %1 est après --a %2.").arg(de).arg(a));
    }
    const int secondes = aCtx.HasOption(QStringLiteral("suivre")) ? SecondesOption(aCtx) : 0;
    const QString base = aCtx.Base(0);

    bool known = false;
    for (const TNode &n : DataMod->Mouvement.IvroMvtListeRemoteNodes(base))
        known = known || n.NODE_ID == noeud;
    if (!known)
        throw ECliFailure(QStringLiteral("Noeud inconnu de cette base : \"%1\" (voir ivromvt-cli noeuds).").arg(noeud));

    // Without a range: the day's sendings that this machine's journal holds,
    // each read by its key range; SYM_DATA is read whole only when the
    // sending was made elsewhere.
    QList<TEnvoiJournal> envois;
    if (!plageDonnee) {
        QStringList avertissements;
        envois = JournalEnvois::EnvoisDuJour(base, noeud, QDate::currentDate(), &avertissements);
        for (const QString &w : std::as_const(avertissements))
            aCtx.PrintError(w);
        if (envois.isEmpty()) {
            aCtx.PrintError(QStringLiteral("Aucun envoi du jour vers %1 dans le journal de cette machine : recherche "
                                           "dans tout SYM_DATA, plus longue.")
                                .arg(noeud));
            if (!DataMod->Mouvement.PlageEnvoisDuJour(base, noeud, de, a))
                return TCliResultat()
                    .Json(QJsonObject{{QStringLiteral("noeud"), noeud},
                                      {QStringLiteral("de"), QJsonValue()},
                                      {QStringLiteral("a"), QJsonValue()},
                                      {QStringLiteral("evenements"), 0},
                                      {QStringLiteral("en_cours"), 0},
                                      {QStringLiteral("termine"), true}})
                    .Ligne(QStringLiteral("Aucun événement de rechargement créé aujourd'hui pour le noeud %1.")
                               .arg(noeud));
        } else if (!aCtx.Json) {
            aCtx.Print(QStringLiteral("Envois du jour d'après le journal : %1.").arg(envois.size()));
        }
    }
    // The journal's ranges do not change between two readings.
    const QList<QPair<qint64, qint64>> plages = JournalEnvois::PlagesDisjointes(envois);
    // How many events the journal says were created, to tell purged events
    // from events never made; unknown for a range no journal entry has.
    qint64 crees = -1;
    {
        QList<TEnvoiJournal> connus = envois;
        if (plageDonnee) {
            const QString cle = JournalEnvois::CleBase(base);
            for (const TEnvoiJournal &e : JournalEnvois::Lire())
                if (e.Base == cle && e.Noeud == noeud && e.AvecPlage() && e.PremierDataId == de && e.DernierDataId == a)
                    connus << e;
        }
        QSet<QPair<qint64, qint64>> vus;
        for (const TEnvoiJournal &e : std::as_const(connus)) {
            if (!e.AvecPlage() || vus.contains({e.PremierDataId, e.DernierDataId}))
                continue;
            vus.insert({e.PremierDataId, e.DernierDataId});
            crees = std::max<qint64>(crees, 0) + e.Evenements;
        }
    }
    const auto lis = [&]() {
        if (plages.isEmpty())
            return DataMod->Mouvement.SuiviEnvoi(base, noeud, de, a);
        TSuiviEnvoi total;
        total.Noeud = noeud;
        total.De = plages.constFirst().first;
        for (const auto &[premier, dernier] : plages)
            total.Ajoute(DataMod->Mouvement.SuiviEnvoi(base, noeud, premier, dernier));
        return total;
    };

    // Following is ended by an interruption: an ordinary end, said as such.
    const TInterruptScope interruption(QStringLiteral("Suivi interrompu."), [] {
        TDbConnection::AbandonAll();
        return true;
    });
    TSuiviEnvoi suivi = lis();
    while (secondes > 0 && !suivi.Termine()) {
        if (!aCtx.Json)
            aCtx.Print(Resume(suivi));
        QThread::sleep(static_cast<unsigned long>(secondes));
        suivi = lis();
    }
    TCliResultat r;
    r.Json(SuiviJson(suivi, crees));
    AjouteSuivi(r, suivi, crees);
    return r;
}

const TCliRegistrar RegSuivi({QStringLiteral("suivi"),
                              QStringLiteral("BASE --noeud NOEUD [--de DATA_ID] [--a DATA_ID] [--suivre SECONDES] "
                                             "[--json]"),
                              QStringLiteral("où en sont les événements envoyés au noeud (plage de DATA_ID donnée "
                                             "par envoyer, ou ceux du jour) : non routés, par statut de lot, en "
                                             "erreur, hors de tout trou"),
                              CmdSuivi});

} // namespace
