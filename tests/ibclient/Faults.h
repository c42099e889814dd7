#pragma once

// Faults the stand-in can inject, for the suites that test what the program
// does when the network or the server lets it down at the worst moment.
// Driven by the environment, read once:
//   IVROMVT_STANDIN_CIBLE   the start of the statement whose transaction's
//                           commit is targeted (e.g. "EXECUTE PROCEDURE X");
//   IVROMVT_STANDIN_COMMIT  what happens to that commit:
//     retard:MS       forwarded after MS milliseconds;
//     reponse-perdue  forwarded, then reported as a cut connection;
//     coupure         not forwarded, reported as a cut connection;
//     coupure-totale  as coupure, and every later attachment is refused;
//     gel             never answered, nor any later call (a frozen network);
//   IVROMVT_STANDIN_TEMOIN  a file created when that commit begins.
// After a cut, every call on that attachment or its transactions fails as
// on a dead connection, and is not forwarded: the server keeps the
// attachment, and what it holds, until it is ended from elsewhere.

#include <cstdint>

namespace Faults {

using Status = intptr_t;
using Handle = uint64_t;

// A statement prepared; a statement executed in a transaction.
void Prepared(const Handle *aStatement, const char *aText, unsigned long aLength);
void Executed(const Handle *aTransaction, const Handle *aStatement);
void Started(const Handle *aTransaction, const Handle *aDatabase);
void RolledBack(const Handle *aTransaction);
// Before a commit is forwarded: true when the fault answered it (aStatus
// filled, aResult the call's result); aForward commits for real.
bool Commit(Status *aStatus, Handle *aTransaction, Status (*aForward)(Status *, Handle *), Status &aResult);
// Calls on a cut attachment or transaction, and attaching after a total
// cut: true when the call must fail (aStatus filled).
bool CutDatabase(Status *aStatus, const Handle *aDatabase);
bool CutTransaction(Status *aStatus, const Handle *aTransaction);
bool RefuseAttach(Status *aStatus);
// Never returns once the network is frozen.
void WaitIfFrozen();

} // namespace Faults
