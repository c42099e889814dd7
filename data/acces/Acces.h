#pragma once

// What every part of the data module shares: the connection definitions
// and the connections, statements and scripts made from them. A database is
// named by a connection reference ("SYSDBA@" + database); every operation
// works on connections of its own, released before it returns.

#include "db/DbConnection.h"
#include "db/DbQuery.h"
#include "db/DbStoredProc.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

// A named set of connection parameter lines ("Server=…", "Database=…").
struct TConnectionDef
{
    QString Name;
    QString DriverID;
    QStringList Params;

    QString Param(const QString &aKey) const; // the value of "aKey=…", or ""
};

// Where a database as the operator names it points: "path" on the local server,
// "server/path" (a path without "/"), or "server/port:path".
struct TEmplacementBase
{
    QString Serveur = QStringLiteral("localhost");
    int Port = 3050;
    QString Chemin;
};
// EDbError for a port out of range, or one written before the "/".
TEmplacementBase EmplacementBase(const QString &aBase);

// The connection definitions and what is made from them: one per data
// module, handed to each of its parts.
class TAcces
{
public:
    TAcces() = default;
    ~TAcces() = default;
    TAcces(const TAcces &) = delete;
    TAcces &operator=(const TAcces &) = delete;

    // ---- Connection definitions and factory (Acces_Connexions.cpp)
    std::unique_ptr<TDbConnection> getNewConnexion(const QString &aRef);
    void CreateInFDManager(const QString &aUser, const QString &aFile);
    void FreeInfFDManager(const QString &aRef);
    std::unique_ptr<TDbQuery> getNewQuery(TDbConnection *aConnection, TDbTransaction *aTrans = nullptr);
    std::unique_ptr<TDbStoredProc> getNewStoredProc(TDbConnection *AConnexion, TDbTransaction *ATransaction,
                                                    const QString &ANomProcedure);
    const QList<TConnectionDef> &Definitions() const { return FDefinitions; }

    // ---- Script execution (Acces_Script.cpp)
    // aErreurs, when given, gets one line per failing chunk: its step number,
    // its first line and the server's message.
    bool ExecuteScript(const QString &ABaseDonnees, const QStringList &Asql, QStringList *aErreurs = nullptr);
    // The same on a connection the caller made (its chunks autocommitted).
    bool ExecuteScriptSur(TDbConnection *aCnx, const QStringList &Asql, QStringList *aErreurs = nullptr);

    // ---- One value from one statement (Acces_Valeur.cpp)
    // aSql run on a connection of its own, its parameters bound by name: the
    // first column of its first row, as text ("" without a row or for NULL)
    // or as an integer (0 then).
    QString ValeurTexte(const QString &ABaseDonnees, const QStringList &aSql, const QVariantMap &aParams = {});
    qint32 ValeurEntiere(const QString &ABaseDonnees, const QStringList &aSql, const QVariantMap &aParams = {});

private:
    QList<TConnectionDef> FDefinitions;
};

// The connection reference of a database for the administrator account.
QString SysdbaRef(const QString &ABaseDonnees);
