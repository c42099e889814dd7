#pragma once

// The data module: the program's only gateway to databases, and the one
// entry point of the window and the command line. Its operations come from
// three concerns, one folder each:
//   data/mouvement/   the movement tool (OperationsMouvement.h)
//   data/replication/ the administration of replication (OperationsReplication.h)
//   data/moteur/      the engine and the nodes' configuration (OperationsMoteur.h)
// over what they share in data/acces/ (DataModBase.h).

#include "data/acces/DataModBase.h"
#include "data/moteur/OperationsMoteur.h"
#include "data/mouvement/OperationsMouvement.h"
#include "data/replication/OperationsReplication.h"

class TDataMod : public TOperationsMouvement, public TOperationsReplication, public TOperationsMoteur
{
public:
    TDataMod();
    ~TDataMod();
};
