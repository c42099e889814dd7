// Node state: read-only questions about the replication engine's node in a
// site database (enabled, alive, offline, triggers in place).
#include "data/replication/OperationsReplication.h"

#include "db/DbError.h"

TEtatNoeud TOperationsReplication::EtatNoeud(const QString &ABaseDonnees, const QString &aNode)
{
    TEtatNoeud result;
    result.NODE_ID = aNode;
    result.SYNC_ENABLED = -1;

    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    // A node is known when SYM_NODE has it: a shop has no security row for
    // the central server it lists.
    query->SQL() << QStringLiteral("SELECT C.NODE_ID,")
                 << QStringLiteral("     C.sync_enabled,")
                 << QStringLiteral("     C.sync_url,")
                 << QStringLiteral("     B.HEARTBEAT_TIME")
                 << QStringLiteral("   FROM SYM_NODE C")
                 << QStringLiteral("LEFT JOIN SYM_NODE_HOST B ON ( B.NODE_ID=C.NODE_ID)")
                 << QStringLiteral("  WHERE C.NODE_ID=:NODE");
    query->ParamByName(QStringLiteral("NODE")).SetAsString(aNode);
    query->Open();
    if (!query->Eof()) {
        // A node with several host rows: the first one delivered is enough.
        result.NODE_ID = aNode;
        result.SYNC_ENABLED = query->FieldByName(QStringLiteral("SYNC_ENABLED")).AsInteger();
        result.SYNC_URL = query->FieldByName(QStringLiteral("SYNC_URL")).AsString();
        result.HEARTBEAT_TIME = query->FieldByName(QStringLiteral("HEARTBEAT_TIME")).AsString();
    }
    query->Close();
    result.SYNC_MOD = 1;

    query->SQL().clear();
    query->SQL() << QStringLiteral("SELECT *")
                 << QStringLiteral("   FROM SYM_PARAMETER P")
                 << QStringLiteral("  WHERE EXTERNAL_ID=:NODE")
                 << QStringLiteral("  AND NODE_GROUP_ID=:GROUP")
                 << QStringLiteral("  AND PARAM_KEY=:KEY");
    query->ParamByName(QStringLiteral("NODE")).SetAsString(aNode);
    query->ParamByName(QStringLiteral("GROUP")).SetAsString(QStringLiteral("mags"));
    query->ParamByName(QStringLiteral("KEY")).SetAsString(QStringLiteral("node.offline"));
    query->Open();
    if (!query->Eof()) {
        // The engine writes exactly "true" or "false"; anything else is online.
        if (query->FieldByName(QStringLiteral("PARAM_VALUE")).AsString() == QLatin1String("true"))
            result.SYNC_MOD = 2;
        if (query->FieldByName(QStringLiteral("PARAM_VALUE")).AsString() == QLatin1String("false"))
            result.SYNC_MOD = 1;
    }
    query->Close();
    return result;
}

QString TOperationsReplication::GetLastHeartBeat(const QString &ABaseDonnees, const QString &NODEID)
{
    if (ABaseDonnees.isEmpty() || NODEID.isEmpty())
        return {};
    return FAcces.ValeurTexte(ABaseDonnees, {QStringLiteral("SELECT HEARTBEAT_TIME FROM SYM_NODE_HOST WHERE NODE_ID=:NODEID")},
                       {{QStringLiteral("NODEID"), NODEID}});
}

QString TOperationsReplication::GetLocalNode(const QString &ABaseDonnees)
{
    if (ABaseDonnees.isEmpty())
        return {};
    // The identity row is the node the database is; SYM_NODE_SECURITY holds
    // a row for every node on a central server.
    return FAcces.ValeurTexte(ABaseDonnees, {QStringLiteral("SELECT NODE_ID FROM SYM_NODE_IDENTITY")});
}

TSilenceNoeud TOperationsReplication::SilenceNoeud(const QString &ABaseDonnees, const QString &aNode)
{
    TSilenceNoeud result;
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    // The server's clock, not ours: heartbeats are written in its time.
    query->SQL() << QStringLiteral("SELECT (SELECT MAX(HEARTBEAT_TIME) FROM SYM_NODE_HOST WHERE NODE_ID=:NODE),")
                 << QStringLiteral("       CURRENT_TIMESTAMP")
                 << QStringLiteral("  FROM RDB$DATABASE");
    query->ParamByName(QStringLiteral("NODE")).SetAsString(aNode);
    query->Open();
    if (!query->Fields(0).IsNull())
        result.DernierHeartbeat = query->Fields(0).AsDateTime();
    result.Maintenant = query->Fields(1).AsDateTime();
    query->Close();
    return result;
}

qint32 TOperationsReplication::NbTriggersSymDS(const QString &ABaseDonnees)
{
    if (ABaseDonnees.isEmpty())
        return 0;
    return FAcces.ValeurEntiere(ABaseDonnees, {QStringLiteral("SELECT COUNT(*) FROM RDB$TRIGGERS"),
                                        QStringLiteral("WHERE RDB$SYSTEM_FLAG=0"),
                                        QStringLiteral("    AND RDB$RELATION_NAME NOT LIKE 'SYM_%'"),
                                        QStringLiteral("    AND RDB$TRIGGER_NAME LIKE 'SYM_%'")});
}

qint32 TOperationsReplication::NbTableTriggersSymDS(const QString &ABaseDonnees)
{
    if (ABaseDonnees.isEmpty())
        return 0;
    // A database without the engine is simply a database with no trigger.
    try {
        return FAcces.ValeurEntiere(
            ABaseDonnees,
            {QStringLiteral("SELECT SUM(SYNC_ON_UPDATE+SYNC_ON_INSERT+SYNC_ON_DELETE) FROM SYM_TRIGGER A"),
             QStringLiteral("   JOIN SYM_TRIGGER_ROUTER B ON B.TRIGGER_ID=A.TRIGGER_ID AND ROUTER_ID='lame_vers_mags'")});
    } catch (const std::exception &) {
        return 0;
    }
}
