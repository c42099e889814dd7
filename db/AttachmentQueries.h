#pragma once

// What a connection asks its own server, below the statements of this
// layer (which need the connection, not the reverse): one integer from one
// statement, and one statement run once, in the transaction the connection
// gives. The statements are plain ASCII and hold no value from outside.

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace AttachmentQueries {

// The first column of the first row, as an integer; none for no row or NULL.
std::optional<qint64> Integer(quint64 *aAttachment, quint64 *aTransaction, const QByteArray &aSql);
// Runs a statement that returns nothing.
void Execute(quint64 *aAttachment, quint64 *aTransaction, const QByteArray &aSql);

} // namespace AttachmentQueries
