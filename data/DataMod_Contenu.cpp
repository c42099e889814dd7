#include "data/uDataMod.h"

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

std::unique_ptr<TDbQuery> TDataMod::NewMvtContenuQuery(TDbConnection *aCnx, const TDateTime &aDEB,
                                                       const TDateTime &aFIN)
{
    const QString l2m = QStringLiteral("lame_vers_mags");
    const QString m2l = QStringLiteral("mags_vers_lame");
    std::unique_ptr<TDbQuery> query = getNewQuery(aCnx);
    query->SQL() << QStringLiteral("SELECT K.KTB_ID, T.KTB_NAME, COUNT(*) AS QTE,")
                 << QStringLiteral("  %1 AS TABLE_L2M,").arg(Captures(QStringLiteral("T.KTB_NAME"), l2m))
                 << QStringLiteral("  %1 AS TABLE_M2L,").arg(Captures(QStringLiteral("T.KTB_NAME"), m2l))
                 << QStringLiteral("  %1 AS K_L2M,").arg(Captures(QStringLiteral("'K'"), l2m))
                 << QStringLiteral("  %1 AS K_M2L").arg(Captures(QStringLiteral("'K'"), m2l))
                 << QStringLiteral(" FROM K LEFT JOIN KTB T ON T.KTB_ID = K.KTB_ID")
                 << QStringLiteral(" WHERE K.K_UPDATED >= :DEB AND K.K_UPDATED <= :FIN")
                 << QStringLiteral(" GROUP BY K.KTB_ID, T.KTB_NAME");
    query->ParamByName(QStringLiteral("DEB")).SetAsDateTime(aDEB);
    query->ParamByName(QStringLiteral("FIN")).SetAsDateTime(aFIN);
    return query;
}

TMvtContenu TDataMod::MvtContenuDe(TDbQuery &aQuery)
{
    TMvtContenu contenu;
    for (aQuery.First(); !aQuery.Eof(); aQuery.Next()) {
        TMvtTableContenu t;
        t.KTB_IDNul = aQuery.Fields(0).IsNull();
        t.KTB_ID = t.KTB_IDNul ? 0 : aQuery.Fields(0).AsInteger();
        t.KTB_NAME = aQuery.Fields(1).AsString();
        t.Quantite = aQuery.Fields(2).AsInteger();
        t.CapturesLame2Mag = aQuery.Fields(3).AsInteger();
        t.CapturesMag2Lame = aQuery.Fields(4).AsInteger();
        contenu.CapturesKLame2Mag = aQuery.Fields(5).AsInteger();
        contenu.CapturesKMag2Lame = aQuery.Fields(6).AsInteger();
        contenu.Tables << t;
    }
    std::sort(contenu.Tables.begin(), contenu.Tables.end(), [](const TMvtTableContenu &a, const TMvtTableContenu &b) {
        if (a.Quantite != b.Quantite)
            return a.Quantite > b.Quantite;
        if (a.KTB_NAME != b.KTB_NAME)
            return a.KTB_NAME < b.KTB_NAME;
        if (a.KTB_IDNul != b.KTB_IDNul)
            return b.KTB_IDNul;
        return a.KTB_ID < b.KTB_ID;
    });
    return contenu;
}

TMvtContenu TDataMod::MvtContenu(const QString &ABaseDonnees, const TDateTime &aDEB, const TDateTime &aFIN)
{
    std::unique_ptr<TDbConnection> cnx = getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = NewMvtContenuQuery(cnx.get(), aDEB, aFIN);
    query->Open();
    return MvtContenuDe(*query);
}
