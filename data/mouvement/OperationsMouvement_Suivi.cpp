#include "data/mouvement/OperationsMouvement.h"

#include <QStringList>

namespace {

// The reload events of the range addressed to the node, as the movement
// procedures write them (other events share the DATA_ID sequence).
const QString KEvenementsDuNoeud =
    QStringLiteral(" D.DATA_ID >= :DE AND D.DATA_ID <= :A AND D.EVENT_TYPE = 'R' AND D.NODE_LIST = :NODE");

// The data event of one SYM_DATA row in a batch of the node.
QString DansUnLotDuNoeud(const QString &aCondition = QString())
{
    return QStringLiteral("EXISTS (SELECT 1 FROM SYM_DATA_EVENT E"
                          " JOIN SYM_OUTGOING_BATCH B ON B.BATCH_ID = E.BATCH_ID AND B.NODE_ID = :NODE"
                          " WHERE E.DATA_ID = D.DATA_ID%1)")
        .arg(aCondition);
}

const QString KRoute = QStringLiteral("EXISTS (SELECT 1 FROM SYM_DATA_EVENT E WHERE E.DATA_ID = D.DATA_ID)");
// The router reads only the gaps whose status is GP; other rows are left
// to it as history.
const QString KDansUnTrou = QStringLiteral(
    "EXISTS (SELECT 1 FROM SYM_DATA_GAP G WHERE G.STATUS = 'GP' AND G.START_ID <= D.DATA_ID AND G.END_ID >= D.DATA_ID)");
// Below where the router will open its next gap: above the last GP gap it
// opens one from there; with none, from the last routed event on.
const QString KJamaisLu = QStringLiteral(
    "(EXISTS (SELECT 1 FROM SYM_DATA_GAP G WHERE G.STATUS = 'GP' AND G.START_ID > D.DATA_ID)"
    " OR (NOT EXISTS (SELECT 1 FROM SYM_DATA_GAP G WHERE G.STATUS = 'GP')"
    " AND EXISTS (SELECT 1 FROM SYM_DATA_EVENT E2 WHERE E2.DATA_ID > D.DATA_ID)))");

void SetPlage(TDbQuery &aQuery, const QString &aNode, qint64 aDe, qint64 aA)
{
    aQuery.ParamByName(QStringLiteral("NODE")).SetAsString(aNode);
    aQuery.ParamByName(QStringLiteral("DE")).SetAsLargeInt(aDe);
    aQuery.ParamByName(QStringLiteral("A")).SetAsLargeInt(aA);
}

} // namespace

bool TOperationsMouvement::PlageEnvoisDuJour(const QString &ABaseDonnees, const QString &aNode, qint64 &aDe, qint64 &aA)
{
    // SYM_DATA has no index on the time or the node: one pass over it, which
    // the engine's purge keeps to a day or two of events.
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    return PlageEnvoisDuJourSur(cnx.get(), aNode, aDe, aA);
}

bool TOperationsMouvement::PlageEnvoisDuJourSur(TDbConnection *aCnx, const QString &aNode, qint64 &aDe, qint64 &aA)
{
    std::unique_ptr<TDbQuery> query = std::make_unique<TDbQuery>(aCnx);
    query->SQL() << QStringLiteral("SELECT MIN(DATA_ID), MAX(DATA_ID) FROM SYM_DATA")
                 << QStringLiteral(" WHERE EVENT_TYPE = 'R' AND NODE_LIST = :NODE")
                 << QStringLiteral(" AND CREATE_TIME >= CAST(CURRENT_DATE AS TIMESTAMP)");
    query->ParamByName(QStringLiteral("NODE")).SetAsString(aNode);
    query->Open();
    if (query->IsEmpty() || query->Fields(0).IsNull())
        return false;
    aDe = query->Fields(0).AsLargeInt();
    aA = query->Fields(1).AsLargeInt();
    return true;
}

TSuiviEnvoi TOperationsMouvement::SuiviEnvoi(const QString &ABaseDonnees, const QString &aNode, qint64 aDe, qint64 aA)
{
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    return SuiviEnvoiSur(cnx.get(), aNode, aDe, aA);
}

TSuiviEnvoi TOperationsMouvement::SuiviEnvoiSur(TDbConnection *aCnx, const QString &aNode, qint64 aDe, qint64 aA)
{
    TSuiviEnvoi suivi;
    suivi.Noeud = aNode;
    suivi.De = aDe;
    suivi.A = aA;

    // Every event once, in the bucket its routing puts it in. Each probe is
    // an index lookup: SYM_DATA by its key range, SYM_DATA_EVENT by its
    // key's DATA_ID, the node's batch by its key.
    std::unique_ptr<TDbQuery> etat = std::make_unique<TDbQuery>(aCnx);
    etat->SQL() << QStringLiteral("SELECT COUNT(*),")
                << QStringLiteral(" SUM(CASE WHEN %1 THEN 1 ELSE 0 END),").arg(DansUnLotDuNoeud())
                << QStringLiteral(" SUM(CASE WHEN %1 THEN 1 ELSE 0 END),")
                       .arg(DansUnLotDuNoeud(QStringLiteral(" AND B.ERROR_FLAG = 1 AND B.STATUS <> 'ER'")))
                << QStringLiteral(" SUM(CASE WHEN NOT %1 AND %2 THEN 1 ELSE 0 END),").arg(KRoute, KDansUnTrou)
                << QStringLiteral(" SUM(CASE WHEN NOT %1 AND NOT %2 AND %3 THEN 1 ELSE 0 END),")
                       .arg(KRoute, KDansUnTrou, KJamaisLu)
                << QStringLiteral(" SUM(CASE WHEN NOT %1 AND NOT %2 AND NOT %3 THEN 1 ELSE 0 END)")
                       .arg(KRoute, KDansUnTrou, KJamaisLu)
                << QStringLiteral(" FROM SYM_DATA D WHERE") + KEvenementsDuNoeud;
    SetPlage(*etat, aNode, aDe, aA);
    etat->Open();
    suivi.Total = etat->Fields(0).AsLargeInt();
    suivi.AvecLot = etat->Fields(1).AsLargeInt();
    suivi.EnReprise = etat->Fields(2).AsLargeInt();
    suivi.NonRoutes = etat->Fields(3).AsLargeInt();
    suivi.HorsTrous = etat->Fields(4).AsLargeInt();
    suivi.AuDelaDesTrous = etat->Fields(5).AsLargeInt();

    // An event routed twice to the node (two routers) counts once per status.
    std::unique_ptr<TDbQuery> statuts = std::make_unique<TDbQuery>(aCnx);
    statuts->SQL() << QStringLiteral("SELECT B.STATUS, COUNT(DISTINCT E.DATA_ID), COUNT(DISTINCT B.BATCH_ID)")
                   << QStringLiteral(" FROM SYM_DATA D JOIN SYM_DATA_EVENT E ON E.DATA_ID = D.DATA_ID")
                   << QStringLiteral(" JOIN SYM_OUTGOING_BATCH B ON B.BATCH_ID = E.BATCH_ID AND B.NODE_ID = :NODE")
                   << QStringLiteral(" WHERE") + KEvenementsDuNoeud
                   << QStringLiteral(" GROUP BY B.STATUS");
    SetPlage(*statuts, aNode, aDe, aA);
    statuts->Open();
    QList<TSuiviStatut> lus;
    for (; !statuts->Eof(); statuts->Next())
        lus << TSuiviStatut{statuts->Fields(0).AsString().trimmed(), statuts->Fields(1).AsLargeInt(),
                            statuts->Fields(2).AsLargeInt()};
    for (const QString &s : StatutsDeLot())
        for (const TSuiviStatut &l : std::as_const(lus))
            if (l.STATUS == s)
                suivi.Statuts << l;
    for (const TSuiviStatut &l : std::as_const(lus))
        if (!StatutsDeLot().contains(l.STATUS))
            suivi.Statuts << l;

    std::unique_ptr<TDbQuery> erreurs = std::make_unique<TDbQuery>(aCnx);
    erreurs->SQL() << QStringLiteral("SELECT B.BATCH_ID, B.STATUS, B.SENT_COUNT, B.SQL_CODE, B.SQL_STATE,")
                   << QStringLiteral(" B.FAILED_DATA_ID, B.LAST_UPDATE_TIME, B.SQL_MESSAGE")
                   << QStringLiteral(" FROM SYM_OUTGOING_BATCH B")
                   << QStringLiteral(" WHERE B.NODE_ID = :NODE AND (B.STATUS = 'ER' OR B.ERROR_FLAG = 1)")
                   << QStringLiteral(" AND EXISTS (SELECT 1 FROM SYM_DATA_EVENT E JOIN SYM_DATA D ON D.DATA_ID = E.DATA_ID")
                   << QStringLiteral("  WHERE E.BATCH_ID = B.BATCH_ID AND") + KEvenementsDuNoeud + QLatin1Char(')')
                   << QStringLiteral(" ORDER BY B.BATCH_ID");
    SetPlage(*erreurs, aNode, aDe, aA);
    erreurs->Open();
    for (; !erreurs->Eof(); erreurs->Next()) {
        TSuiviLotErreur lot;
        lot.BATCH_ID = erreurs->Fields(0).AsLargeInt();
        lot.STATUS = erreurs->Fields(1).AsString().trimmed();
        lot.SENT_COUNT = erreurs->Fields(2).AsLargeInt();
        lot.SQL_CODE = erreurs->Fields(3).AsInteger();
        lot.SQL_STATE = erreurs->Fields(4).AsString().trimmed();
        lot.FAILED_DATA_ID = erreurs->Fields(5).AsLargeInt();
        lot.LAST_UPDATE_TIME = erreurs->Fields(6).AsDateTime();
        lot.SQL_MESSAGE = erreurs->Fields(7).AsString();
        suivi.LotsEnErreur << lot;
    }
    return suivi;
}
