#pragma once

// The journal of sendings: one JSON line per sending made on this machine,
// from the window or the command line, appended to a file of the user's
// application data folder. It lets the operator follow a sending later
// without its DATA_ID range, and lets suivi find that range by key instead
// of reading the whole of SYM_DATA. It never holds a password.

#include "data/mouvement/Envoi.h"
#include "data/mouvement/Mouvement.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>


struct TEnvoiJournal
{
    QString Base; // as JournalEnvois::CleBase gives it
    QString Noeud;
    TSensMouvement Sens = TSensMouvement::Aucun;
    QDate Du; // the day range, both days included
    QDate Au;
    qint64 PremierDataId = 0; // 0 when no event was created
    qint64 DernierDataId = 0;
    qint64 Evenements = 0;
    qint64 Repere = 0; // the last DATA_ID before the sending's own; 0 when unknown
    QDateTime Debut; // UTC
    QDateTime Fin;
    QString Machine;
    QString Compte;
    TIssueEnvoi Issue = TIssueEnvoi::Echec;
    QString Message; // why it failed or stopped

    bool AvecPlage() const { return PremierDataId > 0 && DernierDataId >= PremierDataId; }
    // "terminé", "interrompu", "échoué", "issue inconnue".
    QString TexteIssue() const;
};

namespace JournalEnvois {

// The journal's file: "envois.jsonl" in the folder "IvroMVT" of the user's
// data folder, shared by the window and the command line.
QString Chemin();

// One name for one database whatever the way it was typed: a file of this
// machine by its absolute path, anything else (a server's path) as given.
QString CleBase(const QString &aBase);

// A sending that starts now: database, node, direction, day range, machine
// and account filled; the outcome is the caller's.
TEnvoiJournal Nouveau(const QString &aBase, const QString &aNoeud, TSensMouvement aSens, const QDate &aDu,
                      const QDate &aAu, const QDateTime &aDebut = QDateTime::currentDateTimeUtc());

// Appends the sending as one line, in one write, so that two programs
// writing at once never mix their lines. Returns empty text, or the French
// reason why the journal could not take it: a journal that fails must not
// turn a sending into a failure, so nothing is raised.
QString Consigner(const TEnvoiJournal &aEnvoi);

// Every sending of the journal, oldest first. A damaged or overlong line is
// skipped and said in aAvertissements; no journal yet is no sending. A
// journal that is there and can't be read (a link, not a file, refused) is
// said there too, and aIllisible set.
QList<TEnvoiJournal> Lire(QStringList *aAvertissements = nullptr, bool *aIllisible = nullptr);

// The longest line the journal holds: a longer one is not read, and the
// message of a sending is cut so that its line stays below it.
constexpr qsizetype KLigneMax = 64 * 1024;

// The sendings of aJour to aNoeud of aBase that created events, oldest first.
QList<TEnvoiJournal> EnvoisDuJour(const QString &aBase, const QString &aNoeud, const QDate &aJour,
                                  QStringList *aAvertissements = nullptr);

// The DATA_ID ranges of aEnvois in order, those that overlap or touch made
// one: events are counted once even when two entries hold them (the same
// sending journaled again, a database made again under the same name).
QList<QPair<qint64, qint64>> PlagesDisjointes(const QList<TEnvoiJournal> &aEnvois);

// The line and back; a line that is not a sending gives false.
QByteArray VersLigne(const TEnvoiJournal &aEnvoi);
bool DepuisLigne(const QByteArray &aLigne, TEnvoiJournal &aEnvoi);

} // namespace JournalEnvois
