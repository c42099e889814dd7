#include "data/mouvement/SuiviEnvoi.h"

#include <QStringList>

#include <algorithm>

const QStringList &StatutsDeLot()
{
    static const QStringList statuts{QStringLiteral("RT"), QStringLiteral("RQ"), QStringLiteral("NE"),
                                     QStringLiteral("QY"), QStringLiteral("SE"), QStringLiteral("LD"),
                                     QStringLiteral("OK"), QStringLiteral("ER"), QStringLiteral("IG")};
    return statuts;
}

QString LibelleStatut(const QString &aStatus)
{
    static const QStringList libelles{QStringLiteral("en routage"),    QStringLiteral("demandés"),
                                      QStringLiteral("nouveaux"),      QStringLiteral("en extraction"),
                                      QStringLiteral("en envoi"),      QStringLiteral("envoyés, accusé attendu"),
                                      QStringLiteral("chargés"),       QStringLiteral("en erreur"),
                                      QStringLiteral("ignorés")};
    const qsizetype i = StatutsDeLot().indexOf(aStatus);
    return i < 0 ? QStringLiteral("statut inconnu « %1 »").arg(aStatus) : libelles.at(i);
}

qint64 TSuiviEnvoi::Statut(const QString &aStatus) const
{
    for (const TSuiviStatut &s : Statuts)
        if (s.STATUS == aStatus)
            return s.Evenements;
    return 0;
}

qint64 TSuiviEnvoi::EnCours() const
{
    // An ignored batch turns OK at the next synchronisation; a status this
    // program does not know is not waited for.
    static const QStringList enRoute{QStringLiteral("RT"), QStringLiteral("RQ"), QStringLiteral("NE"),
                                     QStringLiteral("QY"), QStringLiteral("SE"), QStringLiteral("LD"),
                                     QStringLiteral("IG")};
    qint64 n = NonRoutes + AuDelaDesTrous;
    for (const TSuiviStatut &s : Statuts)
        if (enRoute.contains(s.STATUS))
            n += s.Evenements;
    return n;
}

void TSuiviEnvoi::Ajoute(const TSuiviEnvoi &aAutre)
{
    De = std::min(De, aAutre.De);
    A = std::max(A, aAutre.A);
    Total += aAutre.Total;
    NonRoutes += aAutre.NonRoutes;
    HorsTrous += aAutre.HorsTrous;
    AuDelaDesTrous += aAutre.AuDelaDesTrous;
    AvecLot += aAutre.AvecLot;
    EnReprise += aAutre.EnReprise;
    for (const TSuiviStatut &s : aAutre.Statuts) {
        auto it = std::find_if(Statuts.begin(), Statuts.end(),
                               [&s](const TSuiviStatut &t) { return t.STATUS == s.STATUS; });
        if (it == Statuts.end()) {
            Statuts << s;
            continue;
        }
        it->Evenements += s.Evenements;
        it->Lots += s.Lots;
    }
    // Back in the order of a batch's life, unknown statuses last.
    std::stable_sort(Statuts.begin(), Statuts.end(), [](const TSuiviStatut &a, const TSuiviStatut &b) {
        const auto rang = [](const QString &s) {
            const qsizetype i = StatutsDeLot().indexOf(s);
            return i < 0 ? StatutsDeLot().size() : i;
        };
        return rang(a.STATUS) < rang(b.STATUS);
    });
    for (const TSuiviLotErreur &l : aAutre.LotsEnErreur) {
        const bool deja = std::any_of(LotsEnErreur.cbegin(), LotsEnErreur.cend(),
                                      [&l](const TSuiviLotErreur &m) { return m.BATCH_ID == l.BATCH_ID; });
        if (!deja)
            LotsEnErreur << l;
    }
}

QString VerdictSuivi(const TSuiviEnvoi &aSuivi, qint64 aCrees)
{
    if (aSuivi.Total == 0) {
        if (aCrees > 0)
            return QStringLiteral("Les %1 événements de cet envoi ne sont plus dans SYM_DATA : SymmetricDS les a purgés "
                                  "(il purge les événements une fois leur lot chargé, et ceux qu'il ne routera jamais). "
                                  "Leur arrivée ne se vérifie plus ici : voyez les données sur le noeud %2.")
                .arg(aCrees)
                .arg(aSuivi.Noeud);
        return QStringLiteral("Aucun événement dans SYM_DATA pour cette plage : jamais créés, ou déjà purgés par "
                              "SymmetricDS. Leur arrivée ne se vérifie plus ici : voyez les données sur le noeud %1.")
            .arg(aSuivi.Noeud);
    }
    QString t;
    if (!aSuivi.Termine()) {
        t = QStringLiteral("%1 événements encore en route.").arg(aSuivi.EnCours());
    } else {
        const qint64 charges = aSuivi.Statut(QStringLiteral("OK"));
        const qint64 erreurs = aSuivi.Statut(QStringLiteral("ER"));
        if (charges == aSuivi.Total)
            t = QStringLiteral("Plus rien en route : les %1 événements sont chargés.").arg(charges);
        else
            t = QStringLiteral("Plus rien ne changera : %1 chargés, %2 en erreur").arg(charges).arg(erreurs);
        if (aSuivi.NArriverontPas() > 0)
            t += QStringLiteral(", %1 n'arriveront jamais au noeud (%2 jamais routés, %3 routés sans lot pour lui)")
                     .arg(aSuivi.NArriverontPas())
                     .arg(aSuivi.HorsTrous)
                     .arg(aSuivi.RoutesAilleurs());
        if (charges != aSuivi.Total)
            t += QLatin1Char('.');
    }
    if (aCrees > aSuivi.Total)
        t += QStringLiteral(" %1 des %2 événements créés ne sont plus dans SYM_DATA (purgés par SymmetricDS).")
                 .arg(aCrees - aSuivi.Total)
                 .arg(aCrees);
    return t;
}
