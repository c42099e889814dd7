#pragma once

// The database objects the movement tool makes. Shared: the removal of
// replication takes them away too, and the catalogue leaves them out.

#include <QString>
#include <QStringList>

// The four movement procedures, callers before the procedures they call.
inline const QStringList MouvementProcedures = {QStringLiteral("IVRO_MVT_LAME2MAG_NODE"),
                                          QStringLiteral("IVRO_MVT_MAG2LAME_NODE"), QStringLiteral("IVRO_MVT_LAME2MAG"),
                                          QStringLiteral("IVRO_MVT_MAG2LAME")};
// The table whose rows keep two sendings to one node apart (made by the
// first sending, removed with the procedures): one row per node ever sent
// to, kept; a sending holds its node's row by an update it never commits.
// The server drops that lock with the transaction, whatever ends it:
// release, the end of the attachment, the death of the process.
inline const QString MouvementTableVerrou = QStringLiteral("IVRO_MVT_VERROU");
// The global temporary table where the range procedures keep the capture
// definitions of one sending (made by the installation when missing, never
// dropped by it, removed with the procedures).
inline const QString MouvementTableDefinitions = QStringLiteral("IVRO_MVT_DEFINITIONS");
