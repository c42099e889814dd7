#include "data/mouvement/OperationsMouvement.h"

#include "data/mouvement/JournalEnvois.h"

namespace {

TNode nodeOf(TDbQuery &aQuery)
{
    TNode node;
    node.NODE_ID = aQuery.FieldByName(QStringLiteral("NODE_ID")).AsString();
    node.NODE_GROUP_ID = aQuery.FieldByName(QStringLiteral("NODE_GROUP_ID")).AsString();
    node.HEARTBEAT_TIME = aQuery.FieldByName(QStringLiteral("HEARTBEAT_TIME")).AsDateTime();
    return node;
}

} // namespace

// The node the database itself is: the identity joined to its host row.
TNode TOperationsMouvement::IvroMvtLocalNode(const QString &ABaseDonnees)
{
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    return IvroMvtLocalNodeSur(cnx.get());
}

TNode TOperationsMouvement::IvroMvtLocalNodeSur(TDbConnection *aCnx, TDbTransaction *aTrans)
{
    TNode result;
    auto query = std::make_unique<TDbQuery>(aCnx, aTrans);
    query->Close();
    query->SQL().clear();
    query->SQL() << QStringLiteral("SELECT N.NODE_ID, N.NODE_GROUP_ID, H.HEARTBEAT_TIME FROM SYM_NODE N")
                 << QStringLiteral(" JOIN SYM_NODE_HOST H ON H.NODE_ID=N.NODE_ID      ")
                 << QStringLiteral(" JOIN SYM_NODE_IDENTITY I ON (I.NODE_ID=N.NODE_ID)");
    query->Open();
    if (!query->IsEmpty())
        result = nodeOf(*query);
    query->Close();
    return result;
}

// The other nodes, once per host row, in the server's order.
TNodes TOperationsMouvement::IvroMvtListeRemoteNodes(const QString &ABaseDonnees)
{
    TNodes result;
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
    query->Close();
    query->SQL().clear();
    query->SQL() << QStringLiteral("SELECT N.NODE_ID, N.NODE_GROUP_ID, H.HEARTBEAT_TIME FROM SYM_NODE N ")
                 << QStringLiteral(" JOIN SYM_NODE_HOST H ON H.NODE_ID=N.NODE_ID        ")
                 << QStringLiteral(" JOIN SYM_NODE_IDENTITY I ON (I.NODE_ID<>N.NODE_ID) ");
    query->Open();
    while (!query->Eof()) {
        result.append(nodeOf(*query));
        query->Next();
    }
    query->Close();
    return result;
}

QString TOperationsMouvement::MouvementGroupeCible(const QString &ABaseDonnees, TSensMouvement aSens)
{
    if (aSens == TSensMouvement::Aucun)
        return {};
    return FAcces.ValeurTexte(ABaseDonnees, {QStringLiteral("SELECT TARGET_NODE_GROUP_ID FROM SYM_ROUTER WHERE ROUTER_ID = :ROUTER")},
                       {{QStringLiteral("ROUTER"), MouvementRouteur(aSens)}})
        .trimmed();
}

TEtatCibleEnvoi TOperationsMouvement::EtatCibleEnvoi(const QString &ABaseDonnees, const QString &aNode)
{
    TEtatCibleEnvoi etat;
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
    // The server's clock, not ours: heartbeats are written in its time.
    query->SQL() << QStringLiteral("SELECT N.SYNC_ENABLED,")
                 << QStringLiteral(" (SELECT MAX(H.HEARTBEAT_TIME) FROM SYM_NODE_HOST H WHERE H.NODE_ID = N.NODE_ID),")
                 << QStringLiteral(" CURRENT_TIMESTAMP FROM SYM_NODE N WHERE N.NODE_ID = :NODE");
    query->ParamByName(QStringLiteral("NODE")).SetAsString(aNode);
    query->Open();
    if (!query->IsEmpty()) {
        etat.Connu = true;
        etat.SyncActive = !query->Fields(0).IsNull() && query->Fields(0).AsInteger() != 0;
        if (!query->Fields(1).IsNull())
            etat.DernierHeartbeat = query->Fields(1).AsDateTime();
        etat.Maintenant = query->Fields(2).AsDateTime();
    }
    query->Close();
    return etat;
}

QStringList TOperationsMouvement::AvertissementsEnvoi(const QString &ABaseDonnees, const QString &aNode,
                                                      const QDate &aDu, const QDate &aAu)
{
    return MouvementAvertissementsEnvoi(aNode, EtatCibleEnvoi(ABaseDonnees, aNode),
                                  JournalEnvois::EnvoisDuJour(ABaseDonnees, aNode, QDate::currentDate()), aDu, aAu);
}
