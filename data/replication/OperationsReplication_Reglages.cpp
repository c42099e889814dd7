// Replication settings kept in the retail database (launch and replication
// rows, registration address) and bringing a database back online.
#include "data/replication/OperationsReplication.h"

#include "data/replication/GenParamWrite.h"

#include "common/uCommun.h"
#include "db/DbError.h"
#include "db/DbServices.h"

#include <QRegularExpression>

namespace {

// The local site's replication rows: its launches with an enabled key and
// their ordered replication entries. Reading and writing the location
// take the same row, the first in this order.
void replicationJoinSql(TDbQuery &aQuery, const QString &aSelect, bool aOrdonne = false)
{
    aQuery.SQL() << aSelect
                 << QStringLiteral("FROM GENBASES")
                 << QStringLiteral("JOIN GENPARAMBASE     ON (PAR_STRING = BAS_IDENT AND PAR_NOM = 'IDGENERATEUR' )")
                 << QStringLiteral("JOIN GENLAUNCH        ON (LAU_BASID = BAS_ID)")
                 << QStringLiteral("JOIN K KLAU           ON (KLAU.K_ID = LAU_ID AND KLAU.K_ENABLED = 1)")
                 << QStringLiteral("JOIN GENREPLICATION   ON (REP_LAUID = LAU_ID AND REP_ORDRE > 0)")
                 << QStringLiteral("JOIN K KREP           ON (KREP.K_ID = LAU_ID AND KREP.K_ENABLED = 1)");
    if (aOrdonne)
        aQuery.SQL() << QStringLiteral("ORDER BY REP_ORDRE, REP_ID");
}

} // namespace

TInfosReplication TOperationsReplication::InfosReplication(const QString &ABaseDonnees)
{
    TInfosReplication result;
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    query->SQL() << QStringLiteral("SELECT DISTINCT BAS_NOM, REP_URLDISTANT")
                 << QStringLiteral("FROM   GENBASES")
                 << QStringLiteral("JOIN GENPARAMBASE     ON (PAR_STRING = BAS_IDENT AND PAR_NOM = 'IDGENERATEUR')")
                 << QStringLiteral("JOIN GENLAUNCH        ON (LAU_BASID = BAS_ID)")
                 << QStringLiteral("JOIN K KLAU           ON (KLAU.K_ID = LAU_ID AND KLAU.K_ENABLED = 1)")
                 << QStringLiteral("JOIN GENREPLICATION   ON (REP_LAUID = LAU_ID AND REP_ORDRE > 0)")
                 << QStringLiteral("JOIN K KREP           ON (KREP.K_ID = LAU_ID AND KREP.K_ENABLED = 1);");
    query->Open();
    if (!query->Eof()) {
        result.NomBase = query->FieldByName(QStringLiteral("BAS_NOM")).AsString();
        result.ServeurReplication = query->FieldByName(QStringLiteral("REP_URLDISTANT")).AsString();
        // The host of the address; anything that is not plain http is kept whole.
        static const QRegularExpression host(QStringLiteral("http://([^:|/]+)*"));
        const QRegularExpressionMatch match = host.match(result.ServeurReplication);
        if (match.hasMatch())
            result.ServeurReplication = match.captured(1);
    }
    query->Close();
    return result;
}

QString TOperationsReplication::GetCheminBaseGENREPLICATION(const QString &ABaseDonnees)
{
    QString result;
    if (ABaseDonnees.isEmpty())
        return result;
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    replicationJoinSql(*query, QStringLiteral("SELECT REP_PLACEBASE, REP_ORDRE, REP_ID"), true);
    query->Open();
    // The row UpdateREP_PLACEBASE writes: the operator reads what was changed.
    if (!query->Eof())
        result = query->Fields(0).AsString();
    query->Close();
    return result;
}

namespace {

// The first replication row of the local site: the one whose location is written.
TPlaceBaseReplication premiereLigne(TDbQuery &aQuery)
{
    TPlaceBaseReplication ligne;
    aQuery.SQL().clear();
    replicationJoinSql(aQuery, QStringLiteral("SELECT REP_ID, REP_PLACEBASE, REP_ORDRE "), true);
    aQuery.Open();
    if (!aQuery.Eof()) {
        ligne.REP_ID = aQuery.FieldByName(QStringLiteral("REP_ID")).AsInteger();
        ligne.Avant = aQuery.FieldByName(QStringLiteral("REP_PLACEBASE")).AsString();
    }
    aQuery.Close();
    return ligne;
}

} // namespace

TPlaceBaseReplication TOperationsReplication::PlaceBaseAEcrire(const QString &ABaseDonnees, const QString &aNouveau)
{
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    TPlaceBaseReplication ligne = premiereLigne(*query);
    ligne.Apres = UpperAsciiLetters(aNouveau);
    return ligne;
}

bool TOperationsReplication::UpdateREP_PLACEBASE(const QString &ABaseDonnees, const QString &ABase0, TPlaceBaseReplication *aEcrite)
{
    if (ABaseDonnees.isEmpty())
        return false;
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    auto proc = FAcces.getNewStoredProc(cnx.get(), nullptr, QStringLiteral("PR_UPDATEK"));

    TPlaceBaseReplication ligne = premiereLigne(*query);
    // Without a replication row there is nothing to update, and key row 0
    // belongs to somebody else.
    if (ligne.REP_ID == 0)
        return false;
    ligne.Apres = UpperAsciiLetters(ABase0);

    query->SQL().clear();
    query->SQL() << QStringLiteral("UPDATE GENREPLICATION SET REP_PLACEBASE=:PLACEBASE WHERE REP_ID=:REPID");
    query->ParamByName(QStringLiteral("PLACEBASE")).SetAsString(ligne.Apres);
    query->ParamByName(QStringLiteral("REPID")).SetAsInteger(ligne.REP_ID);
    query->ExecSQL();

    proc->ParamByName(QStringLiteral("K_ID")).SetAsInteger(ligne.REP_ID);
    proc->ParamByName(QStringLiteral("SUPRESSION")).SetAsInteger(0);
    proc->ExecProc();
    if (aEcrite)
        *aEcrite = ligne;
    return true;
}

bool TOperationsReplication::SetGenParamURL(const QString &aIBFile, const QString &aURL)
{
    auto cnx = FAcces.getNewConnexion(SysdbaRef(aIBFile));
    auto query = FAcces.getNewQuery(cnx.get());
    query->SQL() << QStringLiteral(
        "EXECUTE PROCEDURE SM_CREER_PARAM(80,1,'URL de synchronisation IVRO','http://',0,0,0,0);");
    query->ExecSQL();
    query->Close();

    query->SQL().clear();
    query->SQL() << QStringLiteral("SELECT * FROM GENPARAM JOIN K ON K_ID=PRM_ID AND K_ENABLED=1")
                 << QStringLiteral(" WHERE PRM_TYPE=80 AND PRM_CODE=1");
    return EcritGenParamUnique(*query, QStringLiteral("PRM_STRING"), aURL);
}

bool TOperationsReplication::DeleteGenParamURL(const QString &aIBFile, qint64 *aSupprimes)
{
    auto cnx = FAcces.getNewConnexion(SysdbaRef(aIBFile));
    auto query = FAcces.getNewQuery(cnx.get());
    try {
        query->SQL() << QStringLiteral("DELETE FROM GENPARAM")
                     << QStringLiteral(" WHERE PRM_TYPE=80 AND PRM_CODE=1");
        query->ExecSQL();
        if (aSupprimes)
            *aSupprimes = query->RowsAffected();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

bool TOperationsReplication::RestartDataBase(const QString &ABaseDonnees)
{
    // The server answers with an error for an unknown path or a database
    // already online: either way it was not brought online by us.
    try {
        TDbServiceManager services(QStringLiteral("localhost"), QStringLiteral("SYSDBA"), QStringLiteral("tidestone"));
        services.DatabaseOnline(ABaseDonnees);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}
