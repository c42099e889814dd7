#pragma once

// SymmetricDS's part after a sending, laid out as its router and its
// senders leave the site database: gaps still to route, outgoing batches of
// a node with their status, and the data events that put a SYM_DATA row in
// a batch.

#include <QString>
#include <QtGlobal>

class TTestDatabase;

namespace RoutingFixture {

// A SYM_DATA row as the movement procedures or a capture trigger insert it
// (DATA_ID from the generator); returns its DATA_ID. aNodeList empty: NULL.
qint64 AddEvent(const TTestDatabase &aDb, const QString &aNodeList, const QString &aEventType = QStringLiteral("R"),
                const QString &aTable = QStringLiteral("K"));

// A gap the router still reads (status GP).
void AddGap(const TTestDatabase &aDb, qint64 aStart, qint64 aEnd);

// An outgoing batch of aNode; an empty aMessage leaves the error columns
// as a batch without error has them.
void AddBatch(const TTestDatabase &aDb, qint64 aBatchId, const QString &aNode, const QString &aStatus,
              bool aErrorFlag = false, const QString &aMessage = QString());

// The data event routing aDataId into aBatchId through aRouter.
void AddDataEvent(const TTestDatabase &aDb, qint64 aDataId, qint64 aBatchId,
                  const QString &aRouter = QStringLiteral("lame_vers_mags"));

// The reload channel's way: the event in a batch of its own for aNode.
void Route(const TTestDatabase &aDb, qint64 aDataId, qint64 aBatchId, const QString &aNode, const QString &aStatus,
           bool aErrorFlag = false, const QString &aMessage = QString());

} // namespace RoutingFixture
