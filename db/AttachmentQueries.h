#pragma once

// What a connection asks its own server, below the statements of this
// layer (which need the connection, not the reverse): one integer from one
// statement, and one statement run once, each in a transaction of its own.
// The statements are plain ASCII and hold no value from outside.

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace AttachmentQueries {

// The first column of the first row, as an integer; none for no row or NULL.
std::optional<qint64> Integer(quint64 *aAttachment, const QByteArray &aSql);
// Runs a statement that returns nothing and commits it.
void Execute(quint64 *aAttachment, const QByteArray &aSql);

} // namespace AttachmentQueries
