#pragma once

// The data module: the program's only gateway to databases. Every operation
// names its database by a connection reference ("SYSDBA@" + database) and
// works on connections of its own, released before it returns. Its methods
// are split over the data/DataMod_*.cpp files, one concern each.

#include "db/DbConnection.h"
#include "db/DbQuery.h"
#include "db/DbStoredProc.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// A named set of connection parameter lines ("Server=…", "Database=…").
struct TConnectionDef
{
    QString Name;
    QString DriverID;
    QStringList Params;

    QString Param(const QString &aKey) const; // the value of "aKey=…", or ""
};

class TDataMod
{
public:
    TDataMod();
    ~TDataMod();
    TDataMod(const TDataMod &) = delete;
    TDataMod &operator=(const TDataMod &) = delete;

    // ---- Connection definitions and factory (DataMod_Factory.cpp)
    std::unique_ptr<TDbConnection> getNewConnexion(const QString &aRef);
    void CreateInFDManager(const QString &aUser, const QString &aFile);
    void FreeInfFDManager(const QString &aRef);
    std::unique_ptr<TDbQuery> getNewQuery(TDbConnection *aConnection, TDbTransaction *aTrans = nullptr);
    std::unique_ptr<TDbStoredProc> getNewStoredProc(TDbConnection *AConnexion, TDbTransaction *ATransaction,
                                                    const QString &ANomProcedure);
    const QList<TConnectionDef> &Definitions() const { return FDefinitions; }

    // ---- Script execution (DataMod_Script.cpp)
    bool ExecuteScript(const QString &ABaseDonnees, const QStringList &Asql);

    // ---- Node directory and movement procedures (DataMod_Nodes.cpp, DataMod_Movement.cpp)

    // ---- Node state (DataMod_EtatNoeud.cpp)

    // ---- Site identity and naming (DataMod_Identite.cpp)

    // ---- Replication settings and server restart (DataMod_Replication.cpp)

    // ---- Table catalogue (DataMod_Catalogue.cpp)

    // ---- Trigger scripts (DataMod_Triggers.cpp)

    // ---- Gap detection and repair (DataMod_Gap.cpp)

    // ---- Replication removal and seed loading (DataMod_Drop.cpp)

private:
    QList<TConnectionDef> FDefinitions;
};

// The one data module of the program, created at start-up after the window.
extern TDataMod *DataMod;

// The connection reference of a database for the administrator account.
QString SysdbaRef(const QString &ABaseDonnees);
