#pragma once

// Ctrl-C during an administration operation that writes in several steps
// (a node's configuration, the sites' renaming, the removal of
// SymmetricDS): instead of ending the process between two steps, it asks
// the operation to stop (ArretDemande) and cancels the statement in flight;
// the operation then stops like at a failure, undoes what it can, and its
// report (what stays done, what remains) is the command's result, printed
// before the interruption's line. Exit code 130.

#include "cli/CliCommand.h"

#include <functional>

TCliResultat AvecArretRapporte(const std::function<TCliResultat()> &aWork);

// The report of an operation that stopped at the operator's request, said
// like a failure (and as JSON with --json); exit code 130.
TCliResultat RapporteArret(const QString &aMessage);
