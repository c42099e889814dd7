#pragma once

// The operator's request to stop an administration operation (installing a
// node's configuration, renaming the sites, taking SymmetricDS out),
// made from another thread (the command line's Ctrl-C). The operation
// looks at it between its steps, stops there like at a failure, undoes what
// it can, and says what stays done and what remains.

#include "db/DbError.h"

namespace ArretDemande {

// From any thread.
void Demander();
bool Demande();
// Forgets an earlier request: a new operation starts.
void Oublier();

// Raises EDbError "<aOperation> interrompue à la demande de l'opérateur"
// when a stop was asked.
void Verifier(const QString &aOperation);

} // namespace ArretDemande
