#include "data/SuiviEnvoi.h"

#include <QStringList>

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
