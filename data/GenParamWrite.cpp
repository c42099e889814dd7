#include "data/GenParamWrite.h"

#include "db/DbQuery.h"

void EcritColonneGenParam(TDbQuery &aQuery, qint32 aPrmId, const QString &aColonne, const QVariant &aValeur)
{
    aQuery.Close();
    aQuery.SQL().clear();
    aQuery.SQL() << QStringLiteral("SELECT * FROM GENPARAM WHERE PRM_ID=:ID");
    aQuery.ParamByName(QStringLiteral("ID")).SetAsInteger(aPrmId);
    aQuery.Open();
    aQuery.Edit();
    aQuery.FieldByName(aColonne).SetValue(aValeur);
    aQuery.Post();
    aQuery.Close();
}
