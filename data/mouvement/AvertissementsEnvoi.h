#pragma once

// What the operator is told, and asked about, before a sending that can
// go but may not arrive as hoped: a target silent for more than a day or
// never heard from, a target whose synchronisation is disabled, a range
// already sent to that target today. The same sentences for the window
// and the command line.

#include "common/DateTime.h"
#include "data/mouvement/JournalEnvois.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// The target's row in SYM_NODE and its latest heartbeat, by the server's clock.
struct TEtatCibleEnvoi
{
    bool Connu = false;         // SYM_NODE has it
    bool SyncActive = true;     // SYNC_ENABLED
    TDateTime DernierHeartbeat; // zero: never
    TDateTime Maintenant;       // the server's time of the reading
};

// The warnings, one sentence each, in the order above; none when there is
// nothing to say. aDuJour: the journal's sendings of the day to that node
// of that database (JournalEnvois::EnvoisDuJour).
QStringList MouvementAvertissementsEnvoi(const QString &aNoeud, const TEtatCibleEnvoi &aEtat,
                                   const QList<TEnvoiJournal> &aDuJour, const QDate &aDu, const QDate &aAu);

// The question that follows them.
QString MouvementQuestionAvertissements(const QStringList &aAvertissements, const QString &aFinDeLigne);
