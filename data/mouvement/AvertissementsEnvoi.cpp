#include "data/mouvement/AvertissementsEnvoi.h"

QStringList MouvementAvertissementsEnvoi(const QString &aNoeud, const TEtatCibleEnvoi &aEtat,
                                   const QList<TEnvoiJournal> &aDuJour, const QDate &aDu, const QDate &aAu)
{
    QStringList textes;
    if (aEtat.Connu) {
        const QString attente = QStringLiteral(" : les événements l'attendront dans la base jusqu'à ce qu'il se connecte.");
        if (aEtat.DernierHeartbeat.IsZero())
            textes << QStringLiteral("Le noeud %1 n'a jamais envoyé de heartbeat").arg(aNoeud) + attente;
        else if (aEtat.Maintenant.MSecs() - aEtat.DernierHeartbeat.MSecs() > TDateTime::MSecsPerDay)
            textes << QStringLiteral("Le noeud %1 n'a plus envoyé de heartbeat depuis le %2, il y a plus d'un jour")
                              .arg(aNoeud, aEtat.DernierHeartbeat.ToString())
                          + attente;
        if (!aEtat.SyncActive)
            textes << QStringLiteral("La synchronisation du noeud %1 est désactivée (SYM_NODE.SYNC_ENABLED = 0) : "
                                     "SymmetricDS ne lui enverra rien tant qu'elle le reste.")
                          .arg(aNoeud);
    }
    for (const TEnvoiJournal &e : aDuJour) {
        if (e.Issue != TIssueEnvoi::Termine || e.Du != aDu || e.Au != aAu)
            continue;
        textes << QStringLiteral("Les jours du %1 au %2 ont déjà été envoyés au noeud %3 aujourd'hui à %4 (%5 "
                                 "événements, d'après le journal des envois) : ils seraient envoyés une seconde fois.")
                      .arg(aDu.toString(QStringLiteral("dd/MM/yyyy")), aAu.toString(QStringLiteral("dd/MM/yyyy")),
                           aNoeud, e.Debut.toLocalTime().toString(QStringLiteral("HH:mm")))
                      .arg(e.Evenements);
        break;
    }
    return textes;
}

QString MouvementQuestionAvertissements(const QStringList &aAvertissements, const QString &aFinDeLigne)
{
    return aAvertissements.join(aFinDeLigne) + aFinDeLigne + QStringLiteral("Envoyer quand même ?");
}
