#pragma once

#include "common/DateTime.h"

#include <QList>
#include <QString>

// One SymmetricDS node as the node directory gives it.
struct TNode
{
    QString NODE_ID;
    QString NODE_GROUP_ID;
    TDateTime HEARTBEAT_TIME;
};

using TNodes = QList<TNode>;

// One active site of the network with its replication node, as the
// movement tool lists them.
struct TIvroBase
{
    QString BAS_SENDER;
    QString CAL_SYMNODE;  // CalculeSymNode(BAS_SENDER)
    QString NODE_ID;      // the node host row of CAL_SYMNODE; empty when none
    QString BAS_CENTRALE; // not filled
    qint32 BAS_IDENT = 0;
    QString BAS_GUID;
    TDateTime LAST_REPLIC; // last successful replication; day 0 when none
};

using TIvroBases = QList<TIvroBase>;
