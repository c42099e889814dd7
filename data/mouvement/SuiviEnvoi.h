#pragma once

// Where the reload events of a DATA_ID range addressed to one node stand
// on their way to it, as SymmetricDS records it in the site database: not
// routed yet, in a batch of the node (by the batch's status), routed
// without a batch for the node, or stranded outside every gap (the router
// will never read them). Events that are no longer in SYM_DATA have been
// purged, normally once loaded.

#include "common/DateTime.h"

#include <QList>
#include <QString>

// One status of the node's batches holding events of the range.
struct TSuiviStatut
{
    QString STATUS;        // RT, NE, QY, SE, LD, OK, ER, IG, RQ
    qint64 Evenements = 0; // distinct events
    qint64 Lots = 0;       // distinct batches
};

// A batch of the node, holding events of the range, in error or sent again
// after an error.
struct TSuiviLotErreur
{
    qint64 BATCH_ID = 0;
    QString STATUS;
    qint64 SENT_COUNT = 0;
    qint32 SQL_CODE = 0;
    QString SQL_STATE;
    qint64 FAILED_DATA_ID = 0;
    TDateTime LAST_UPDATE_TIME;
    QString SQL_MESSAGE;
};

struct TSuiviEnvoi
{
    QString Noeud;
    qint64 De = 0; // the DATA_ID range looked at, both ends included
    qint64 A = 0;
    qint64 Total = 0;     // events of the range for the node still in SYM_DATA
    qint64 NonRoutes = 0; // inside a GP gap: the router has yet to read them
    // Not routed, outside every GP gap and below where the router opens its
    // next one: never routed.
    qint64 HorsTrous = 0;
    // Not routed, above every GP gap: read once the router opens its next.
    qint64 AuDelaDesTrous = 0;
    qint64 AvecLot = 0;   // in at least one batch of the node
    qint64 EnReprise = 0; // in a batch sent again after an error
    QList<TSuiviStatut> Statuts; // in the order of a batch's life
    QList<TSuiviLotErreur> LotsEnErreur;

    // Routed, but into no batch of this node (the node did not qualify for
    // the router, or the batch was purged).
    qint64 RoutesAilleurs() const { return Total - AvecLot - NonRoutes - HorsTrous - AuDelaDesTrous; }
    // Events that will never reach the node: never routed, or routed into
    // no batch of it.
    qint64 NArriverontPas() const { return HorsTrous + RoutesAilleurs(); }
    qint64 Statut(const QString &aStatus) const; // events in batches of that status
    // Events still on their way: not routed yet but routable, or in a batch
    // that is neither loaded nor in error.
    qint64 EnCours() const;
    // Nothing can change any more: the follow-up ends. Not that every event
    // arrived: Verdict says how it ended.
    bool Termine() const { return EnCours() == 0; }
    // Adds another range of the same node (another sending of the day); the
    // range shown becomes the span of both.
    void Ajoute(const TSuiviEnvoi &aAutre);
};

// What a reading means, the same sentence on every face: events on their
// way, or how it ended (loaded, in error, never reaching the node), or that
// nothing is left in SYM_DATA. aCrees: the events the sending created, as
// its journal says; negative when not known.
QString VerdictSuivi(const TSuiviEnvoi &aSuivi, qint64 aCrees = -1);

// The statuses of a batch's life, in order, and their French names.
const QStringList &StatutsDeLot();
QString LibelleStatut(const QString &aStatus);
