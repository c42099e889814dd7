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
    qint64 n = NonRoutes;
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
