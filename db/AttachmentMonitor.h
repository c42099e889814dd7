#pragma once

// The server's view of its attachments, read and acted on from an
// attachment of our own: who holds a transaction, whether an attachment is
// still there, ending one. Each server has its own table for it; the
// statements come from the client's flavour.

#include "common/DateTime.h"

#include <QString>

#include <optional>

class TDbConnection;

struct TDbAttachmentInfo
{
    qint64 Id = 0;
    QString Address;  // the client's network address
    QString Process;  // its process number
    QString Program;  // its program (Firebird) or host (InterBase)
    TDateTime Since;  // when it attached
};

namespace AttachmentMonitor {

// The attachment that holds transaction aTransaction; none when it has gone.
std::optional<TDbAttachmentInfo> TransactionHolder(TDbConnection *aVia, qint64 aTransaction);
// Whether attachment aId is still on the server.
bool Exists(TDbConnection *aVia, qint64 aId);
// Ends attachment aId: the server stops what runs there and rolls back its
// transactions. EDbError when it refuses.
void End(TDbConnection *aVia, qint64 aId);
// The statement that ends attachment aId, for an operator to run.
QString EndStatement(qint64 aId);

} // namespace AttachmentMonitor
