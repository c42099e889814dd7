#pragma once

// Ctrl-C during an administration operation that writes in several steps
// (a node's configuration, the sites' renaming, the removal of
// SymmetricDS): instead of ending the process between two steps, it asks
// the operation to stop (ArretDemande) and cancels the statement in flight;
// the operation then stops like at a failure, undoes what it can, and its
// report (what stays done, what remains) is printed before the
// interruption's line. Exit code 130.

#include "cli/CliCommand.h"

#include <functional>

int AvecArretRapporte(TCliContext &aCtx, const std::function<int()> &aWork);

// The report of an operation that stopped at the operator's request,
// printed like a failure (and as JSON with --json); gives 130.
int RapporteArret(TCliContext &aCtx, const QString &aMessage);
