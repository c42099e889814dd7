#pragma once

// The data module: the program's only gateway to databases, and the one
// entry point of the window and the command line. It holds one object per
// concern, each over the one set of connection definitions:
//   Acces        connections, statements, scripts (data/acces/Acces.h)
//   Mouvement    the movement tool (data/mouvement/OperationsMouvement.h)
//   Replication  the administration of replication (data/replication/OperationsReplication.h)
//   Moteur       the engine and the nodes' configuration (data/moteur/OperationsMoteur.h),
//                handed the replication object whose steps it runs
// An operation is reached through its concern: DataMod->Replication.GetLocalNode(…).
// Nothing below data/ includes this header or reads the global.
//
// Threads. The module and its parts belong to the thread that made them
// (the window's, or the command line's main thread): their operations, the
// connection definitions and every connection or query they make are used
// there; nothing in them is locked. Work that must leave that thread runs
// on a TQueryThread (data/mouvement/QueryThread.h): its owner makes the
// connection and what runs on it here, the job uses only those and the
// static operations that take a connection (…Sur), and the owner touches
// them again in the end callback. Only ArretDemande and a connection's
// CancelOperation/Abandon are called from another thread.

#include "data/acces/Acces.h"
#include "data/moteur/OperationsMoteur.h"
#include "data/mouvement/OperationsMouvement.h"
#include "data/replication/OperationsReplication.h"

class TDataMod
{
public:
    TDataMod();
    ~TDataMod();
    TDataMod(const TDataMod &) = delete;
    TDataMod &operator=(const TDataMod &) = delete;

    // Declared in the order they are built: each part after what it uses.
    TAcces Acces;
    TOperationsMouvement Mouvement{Acces};
    TOperationsReplication Replication{Acces};
    TOperationsMoteur Moteur{Acces, Replication};
};

// The one data module of the program, created at start-up after the window.
extern TDataMod *DataMod;
