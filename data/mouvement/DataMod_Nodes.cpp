#include "data/mouvement/OperationsMouvement.h"

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
    std::unique_ptr<TDbConnection> cnx = getNewConnexion(SysdbaRef(ABaseDonnees));
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
    std::unique_ptr<TDbConnection> cnx = getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = getNewQuery(cnx.get());
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
