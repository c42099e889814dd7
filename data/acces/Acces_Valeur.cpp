#include "data/acces/Acces.h"

#include <functional>

namespace {

// The statement opened on a connection of its own; aLire gets its first
// column when there is a row.
void PremiereValeur(TAcces &aAcces, const QString &ABaseDonnees, const QStringList &aSql,
                    const QVariantMap &aParams, const std::function<void(TDbField)> &aLire)
{
    std::unique_ptr<TDbConnection> cnx = aAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = aAcces.getNewQuery(cnx.get());
    query->SQL() = aSql;
    for (auto p = aParams.cbegin(); p != aParams.cend(); ++p)
        query->ParamByName(p.key()).SetValue(p.value());
    query->Open();
    if (!query->Eof())
        aLire(query->Fields(0));
    query->Close();
}

} // namespace

QString TAcces::ValeurTexte(const QString &ABaseDonnees, const QStringList &aSql, const QVariantMap &aParams)
{
    QString result;
    PremiereValeur(*this, ABaseDonnees, aSql, aParams, [&result](TDbField aField) { result = aField.AsString(); });
    return result;
}

qint32 TAcces::ValeurEntiere(const QString &ABaseDonnees, const QStringList &aSql, const QVariantMap &aParams)
{
    qint32 result = 0;
    PremiereValeur(*this, ABaseDonnees, aSql, aParams, [&result](TDbField aField) { result = aField.AsInteger(); });
    return result;
}
