#include "data/mouvement/OperationsMouvement.h"

#include <QHash>

#include <algorithm>

namespace {

// The definitions of a source table on one router that the per-row
// procedure would use: joined to the router, with at least one history row.
QString Captures(const QString &aTable, const QString &aRouter)
{
    return QStringLiteral("(SELECT COUNT(*) FROM SYM_TRIGGER S"
                          " JOIN SYM_TRIGGER_ROUTER R ON R.TRIGGER_ID = S.TRIGGER_ID AND R.ROUTER_ID = '%2'"
                          " WHERE S.SOURCE_TABLE_NAME = %1"
                          " AND EXISTS (SELECT 1 FROM SYM_TRIGGER_HIST H WHERE H.TRIGGER_ID = S.TRIGGER_ID))")
        .arg(aTable, aRouter);
}

} // namespace

std::unique_ptr<TDbQuery> TOperationsMouvement::NewMouvementContenuQuery(TDbConnection *aCnx, const TDateTime &aDEB,
                                                                   const TDateTime &aFIN, TDbTransaction *aTrans)
{
    // The range's rows are read once, grouped by their table's number
    // alone: the names and the definitions are looked up afterwards for the
    // few numbers found, not joined to each of the range's rows.
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(aCnx, aTrans);
    query->SQL() << QStringLiteral("SELECT K.KTB_ID, COUNT(*) AS QTE FROM K")
                 << QStringLiteral(" WHERE K.K_UPDATED >= :DEB AND K.K_UPDATED <= :FIN")
                 << QStringLiteral(" GROUP BY K.KTB_ID");
    query->ParamByName(QStringLiteral("DEB")).SetAsDateTime(aDEB);
    query->ParamByName(QStringLiteral("FIN")).SetAsDateTime(aFIN);
    return query;
}

TMouvementContenu TOperationsMouvement::MouvementContenuDe(TDbQuery &aQuery)
{
    TMouvementContenu contenu = MouvementGroupesDe(aQuery);
    MouvementCompleteContenu(aQuery.Connection(), aQuery.Transaction(), contenu);
    return contenu;
}

TMouvementContenu TOperationsMouvement::MouvementGroupesDe(TDbQuery &aQuery)
{
    TMouvementContenu contenu;
    for (aQuery.First(); !aQuery.Eof(); aQuery.Next()) {
        TMouvementTableContenu t;
        t.KTB_IDNul = aQuery.Fields(0).IsNull();
        t.KTB_ID = t.KTB_IDNul ? 0 : aQuery.Fields(0).AsInteger();
        t.Quantite = aQuery.Fields(1).AsInteger();
        contenu.Tables << t;
    }
    return contenu;
}

void TOperationsMouvement::MouvementCompleteContenu(TDbConnection *aCnx, TDbTransaction *aTrans, TMouvementContenu &aContenu)
{
    const QString l2m = QStringLiteral("lame_vers_mags");
    const QString m2l = QStringLiteral("mags_vers_lame");
    TMouvementContenu &contenu = aContenu;
    if (contenu.Tables.isEmpty())
        return;
    QList<qint32> numeros;
    for (const TMouvementTableContenu &t : std::as_const(contenu.Tables))
        if (!t.KTB_IDNul)
            numeros << t.KTB_ID;

    TDbConnection *cnx = aCnx;
    {
        TDbQuery k(cnx, aTrans);
        k.SQL() << QStringLiteral("SELECT %1 AS K_L2M,").arg(Captures(QStringLiteral("'K'"), l2m))
                << QStringLiteral("  %1 AS K_M2L FROM RDB$DATABASE").arg(Captures(QStringLiteral("'K'"), m2l));
        k.Open();
        contenu.CapturesKLame2Mag = k.Fields(0).AsInteger();
        contenu.CapturesKMag2Lame = k.Fields(1).AsInteger();
    }
    // Names and definitions of the tables found, a bounded list of bound
    // numbers at a time.
    QHash<qint32, TMouvementTableContenu> tables;
    const int parLot = 100;
    for (qsizetype debut = 0; debut < numeros.size(); debut += parLot) {
        const QList<qint32> lot = numeros.mid(debut, parLot);
        QStringList marques;
        for (qsizetype i = 0; i < lot.size(); ++i)
            marques << QStringLiteral(":N%1").arg(i);
        TDbQuery t(cnx, aTrans);
        t.SQL() << QStringLiteral("SELECT T.KTB_ID, T.KTB_NAME,")
                << QStringLiteral("  %1 AS TABLE_L2M,").arg(Captures(QStringLiteral("T.KTB_NAME"), l2m))
                << QStringLiteral("  %1 AS TABLE_M2L").arg(Captures(QStringLiteral("T.KTB_NAME"), m2l))
                << QStringLiteral(" FROM KTB T WHERE T.KTB_ID IN (%1)").arg(marques.join(QStringLiteral(", ")));
        for (qsizetype i = 0; i < lot.size(); ++i)
            t.ParamByName(QStringLiteral("N%1").arg(i)).SetAsInteger(lot[i]);
        for (t.Open(); !t.Eof(); t.Next()) {
            TMouvementTableContenu lu;
            lu.KTB_NAME = t.Fields(1).AsString();
            lu.CapturesLame2Mag = t.Fields(2).AsInteger();
            lu.CapturesMag2Lame = t.Fields(3).AsInteger();
            tables.insert(t.Fields(0).AsInteger(), lu);
        }
    }
    for (TMouvementTableContenu &t : contenu.Tables) {
        const auto lu = t.KTB_IDNul ? tables.cend() : tables.constFind(t.KTB_ID);
        if (lu == tables.cend())
            continue; // no KTB row: no name, no definition
        t.KTB_NAME = lu->KTB_NAME;
        t.CapturesLame2Mag = lu->CapturesLame2Mag;
        t.CapturesMag2Lame = lu->CapturesMag2Lame;
    }
    std::sort(contenu.Tables.begin(), contenu.Tables.end(), [](const TMouvementTableContenu &a, const TMouvementTableContenu &b) {
        if (a.Quantite != b.Quantite)
            return a.Quantite > b.Quantite;
        if (a.KTB_NAME != b.KTB_NAME)
            return a.KTB_NAME < b.KTB_NAME;
        if (a.KTB_IDNul != b.KTB_IDNul)
            return b.KTB_IDNul;
        return a.KTB_ID < b.KTB_ID;
    });
}

TMouvementContenu TOperationsMouvement::MouvementContenu(const QString &ABaseDonnees, const TDateTime &aDEB, const TDateTime &aFIN)
{
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = NewMouvementContenuQuery(cnx.get(), aDEB, aFIN);
    query->Open();
    return MouvementContenuDe(*query);
}
