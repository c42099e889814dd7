#include "data/replication/GenParamWrite.h"

#include "db/DbQuery.h"

bool EcritGenParamUnique(TDbQuery &aQuery, const QString &aColonne, const QVariant &aValeur)
{
    aQuery.Open();
    const qint32 id = aQuery.RecordCount() == 1 ? aQuery.FieldByName(QStringLiteral("PRM_ID")).AsInteger() : 0;
    aQuery.Close();
    if (id == 0)
        return false;

    aQuery.SQL().clear();
    aQuery.SQL() << QStringLiteral("SELECT * FROM GENPARAM WHERE PRM_ID=:ID");
    aQuery.ParamByName(QStringLiteral("ID")).SetAsInteger(id);
    aQuery.Open();
    aQuery.Edit();
    aQuery.FieldByName(aColonne).SetValue(aValeur);
    aQuery.Post();
    aQuery.Close();
    return true;
}
