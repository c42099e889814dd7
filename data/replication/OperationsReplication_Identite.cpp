// Site identity and naming: the sites of the network, the dossier's name,
// the passage parameter, the schema version and the shop codes.
#include "data/replication/OperationsReplication.h"

#include "data/acces/ArretDemande.h"
#include "data/replication/GenParamWrite.h"

#include "common/uCommun.h"
#include "db/DbError.h"

namespace {

// The active sites that have a GUID, by identifier.
void listeBasesSql(TDbQuery &aQuery)
{
    aQuery.SQL() << QStringLiteral("SELECT BAS_SENDER, CAST(BAS_IDENT AS INTEGER) AS BAS_IDENT, BAS_GUID")
                 << QStringLiteral("  FROM   GENBASES")
                 << QStringLiteral("  JOIN K ON (K_ID = BAS_ID AND K_ENABLED = 1)")
                 << QStringLiteral(" WHERE  BAS_GUID != '' ORDER BY 2 ASC ;");
}

// The passage parameter of the site aBasId, enabled.
void passageSql(TDbQuery &aQuery)
{
    aQuery.SQL() << QStringLiteral("SELECT * FROM GENPARAM")
                 << QStringLiteral(" JOIN K ON K_ID=PRM_ID AND K_ENABLED=1")
                 << QStringLiteral(" WHERE PRM_TYPE=80 AND PRM_CODE=2 AND PRM_POS=:BASID");
}

} // namespace

TBases TOperationsReplication::ListeBases(const QString &ABaseDonnees)
{
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    listeBasesSql(*query);
    query->Open();
    TBases result;
    for (query->First(); !query->Eof(); query->Next()) {
        TBase base;
        base.BAS_SENDER = query->FieldByName(QStringLiteral("BAS_SENDER")).AsString();
        base.SYM_NODE = CalculeSymNode(base.BAS_SENDER);
        base.BAS_IDENT = query->FieldByName(QStringLiteral("BAS_IDENT")).AsInteger();
        base.BAS_GUID = query->FieldByName(QStringLiteral("BAS_GUID")).AsString();
        result.append(base);
    }
    query->Close();
    return result;
}

TIvroBases TOperationsReplication::IvroMvtListeBases(const QString &ABaseDonnees)
{
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    listeBasesSql(*query);
    query->Open();
    TIvroBases result;
    for (query->First(); !query->Eof(); query->Next()) {
        TIvroBase base;
        base.BAS_SENDER = query->FieldByName(QStringLiteral("BAS_SENDER")).AsString();
        base.CAL_SYMNODE = CalculeSymNode(base.BAS_SENDER);
        base.BAS_IDENT = query->FieldByName(QStringLiteral("BAS_IDENT")).AsInteger();
        base.BAS_GUID = query->FieldByName(QStringLiteral("BAS_GUID")).AsString();
        result.append(base);
    }
    query->Close();

    query->SQL().clear();
    query->SQL() << QStringLiteral("select MAX(HEV_DATE) AS LAST_REPLIC")
                 << QStringLiteral(" from genhistoevt")
                 << QStringLiteral(" join k on (k_id=hev_id and k_enabled=1)")
                 << QStringLiteral(" join genbases on (bas_id=hev_basid)")
                 << QStringLiteral(" WHERE HEV_TYPE = 2998  and  HEV_RESULT = 1")
                 << QStringLiteral(" AND BAS_SENDER=:BASSENDER");
    query->Prepare();
    for (TIvroBase &base : result) {
        base.LAST_REPLIC = TDateTime();
        query->Close();
        query->ParamByName(QStringLiteral("BASSENDER")).SetAsString(base.BAS_SENDER);
        query->Open();
        if (!query->Eof())
            base.LAST_REPLIC = query->FieldByName(QStringLiteral("LAST_REPLIC")).AsDateTime();
    }

    // Without the engine's tables the site is not set up for replication.
    try {
        query->Close();
        query->SQL().clear();
        query->SQL() << QStringLiteral("select * FROM SYM_NODE_HOST")
                     << QStringLiteral(" WHERE NODE_ID=:CALNODE");
        query->Prepare();
        for (TIvroBase &base : result) {
            base.NODE_ID.clear();
            query->Close();
            query->ParamByName(QStringLiteral("CALNODE")).SetAsString(base.CAL_SYMNODE);
            query->Open();
            if (!query->Eof())
                base.NODE_ID = query->FieldByName(QStringLiteral("NODE_ID")).AsString();
            query->Close();
        }
    } catch (const std::exception &) {
        throw EDbError(QStringLiteral("Ivro n'est pas installé sur cette base"));
    }
    return result;
}

QString TOperationsReplication::GetNomPourNous(const QString &ABaseDonnees)
{
    return LowerAsciiLetters(FAcces.ValeurTexte(ABaseDonnees, {QStringLiteral("SELECT BAS_NOMPOURNOUS"),
                                                        QStringLiteral(" FROM   GENBASES"),
                                                        QStringLiteral("  JOIN K ON (K_ID = BAS_ID AND K_ENABLED = 1)"),
                                                        QStringLiteral("  WHERE BAS_IDENT='0'")}));
}

QString TOperationsReplication::NomPourNousStocke(const QString &aNomPourNous)
{
    return UpperAsciiLetters(aNomPourNous);
}

qint32 TOperationsReplication::SetNomPourNous(const QString &ABaseDonnees, const QString &aNomPourNous)
{
    qint32 renommes = 0;
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    // Every site or none: one transaction, so that a failure or a stop
    // half-way leaves no dossier with two names.
    try {
        cnx->StartTransaction();
        query->SQL() << QStringLiteral("SELECT *")
                     << QStringLiteral(" FROM GENBASES")
                     << QStringLiteral("  JOIN K ON (K_ID = BAS_ID AND K_ENABLED = 1) WHERE BAS_ID<>0");
        query->Open();
        const QString nom = NomPourNousStocke(aNomPourNous);
        // A renamed dossier is a new identity: every site gets a fresh GUID.
        for (query->First(); !query->Eof(); query->Next()) {
            ArretDemande::Verifier(QStringLiteral("Renommage des sites"));
            query->Edit();
            query->FieldByName(QStringLiteral("BAS_NOMPOURNOUS")).SetAsString(nom);
            query->FieldByName(QStringLiteral("BAS_GUID")).SetAsString(GetNewGUID());
            query->Post();
            ++renommes;
        }
        query->Close();
        ArretDemande::Verifier(QStringLiteral("Renommage des sites"));
        cnx->Commit();
    } catch (const EDbError &) {
        // Rolled back with the connection.
        if (ArretDemande::Demande())
            throw EDbError(QStringLiteral("Renommage des sites interrompu à la demande de l'opérateur : aucun site n'a "
                                          "été renommé, rien n'a été validé."));
        throw;
    }
    return renommes;
}

TInfosTavenIVRO TOperationsReplication::Get_Infos_Passage_TAVEN2IVRO(const QString &ABaseDonnees)
{
    TInfosTavenIVRO result;
    result.Init();
    if (ABaseDonnees.isEmpty())
        return result;
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    query->SQL() << QStringLiteral("SELECT * FROM GENBASES")
                 << QStringLiteral(" JOIN GENPARAMBASE  ON (PAR_STRING = BAS_IDENT AND PAR_NOM = 'IDGENERATEUR')");
    query->Open();
    // No identity, or an ambiguous one: nothing can be said about the site.
    if (query->RecordCount() != 1)
        return result;
    result.BAS_ID = query->FieldByName(QStringLiteral("BAS_ID")).AsInteger();
    result.GUID = query->FieldByName(QStringLiteral("BAS_GUID")).AsString();
    result.SENDER = query->FieldByName(QStringLiteral("BAS_SENDER")).AsString();
    result.BAS_MAGID = query->FieldByName(QStringLiteral("BAS_MAGID")).AsInteger();
    result.Dossier = query->FieldByName(QStringLiteral("BAS_NOMPOURNOUS")).AsString();
    query->Close();

    query->SQL().clear();
    passageSql(*query);
    query->ParamByName(QStringLiteral("BASID")).SetAsInteger(result.BAS_ID);
    query->Open();
    if (query->RecordCount() == 1) {
        result.DatePassage = TDateTime::FromDays(query->FieldByName(QStringLiteral("PRM_FLOAT")).AsFloat());
        result.Etat = query->FieldByName(QStringLiteral("PRM_INTEGER")).AsInteger();
    }
    query->Close();
    return result;
}

bool TOperationsReplication::MAJ_GENPARAM_Monitor(const QString &aIBFile, qint32 avalue)
{
    const TInfosTavenIVRO infos = Get_Infos_Passage_TAVEN2IVRO(aIBFile);

    auto cnx = FAcces.getNewConnexion(SysdbaRef(aIBFile));
    auto query = FAcces.getNewQuery(cnx.get());
    // An unknown local site must not fall back on the parameter of site 0,
    // which is not ours. The database is still reached, so that a wrong
    // path is reported as such and not as a missing parameter.
    if (infos.BAS_ID == 0) {
        cnx->Open();
        return false;
    }
    passageSql(*query);
    query->ParamByName(QStringLiteral("BASID")).SetAsInteger(infos.BAS_ID);
    return EcritGenParamUnique(*query, QStringLiteral("PRM_INTEGER"), avalue);
}

QString TOperationsReplication::GetKorvalaVersion(const QString &ABaseDonnees)
{
    if (ABaseDonnees.isEmpty())
        return {};
    return FAcces.ValeurTexte(ABaseDonnees, {QStringLiteral("SELECT VER_VERSION FROM GENVERSION ORDER BY VER_DATE DESC ROWS 1")});
}

qint32 TOperationsReplication::CLEAN_MAGCODE(const QString &ABaseDonnees)
{
    qint32 vides = 0;
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    auto query = FAcces.getNewQuery(cnx.get());
    auto proc = FAcces.getNewStoredProc(cnx.get(), nullptr, QStringLiteral("PR_UPDATEK"));
    cnx->Open();
    if (!cnx->Connected())
        return vides;
    query->SQL() << QStringLiteral("SELECT * FROM GENMAGASIN");
    query->Open();
    // Each shop is marked as changed before its code goes, so that the
    // emptied code travels to the other sites.
    for (query->First(); !query->Eof(); query->Next()) {
        proc->ParamByName(QStringLiteral("K_ID")).SetAsInteger(query->FieldByName(QStringLiteral("MAG_ID")).AsInteger());
        proc->ParamByName(QStringLiteral("SUPRESSION")).SetAsInteger(0);
        proc->ExecProc();
        query->Edit();
        query->FieldByName(QStringLiteral("MAG_CODE")).SetAsString(QString());
        query->Post();
        ++vides;
    }
    query->Close();
    return vides;
}
