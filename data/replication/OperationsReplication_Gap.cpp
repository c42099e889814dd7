#include "data/replication/OperationsReplication.h"

#include "db/DbError.h"

namespace {

// The gap kit counts as installed only when every one of these answers a row.
const QStringList SqlKitGap = {
    QStringLiteral("SELECT * FROM RDB$FUNCTIONS WHERE RDB$FUNCTION_NAME='F_SUBSTR4'"),
    QStringLiteral("SELECT * FROM RDB$FUNCTIONS WHERE RDB$FUNCTION_NAME='F_LEFT4'"),
    QStringLiteral("select rdb$procedure_name from rdb$procedures where rdb$procedure_name ='IVRO_DO_GAP'"),
    QStringLiteral("select rdb$procedure_name from rdb$procedures where rdb$procedure_name ='IVRO_MVT_LAME2MAGS'"),
    QStringLiteral("select rdb$procedure_name from rdb$procedures where rdb$procedure_name ='IVRO_DETECT_GAP'"),
};

// The repair procedures do their work while their rows are read, so every
// row is fetched inside one explicit transaction. When the procedure fails,
// the gaps it repaired before the failure are kept: committed here, before
// the failure goes on to the caller.
void JoueReparation(TAcces &aAcces, const QString &ABaseDonnees, const QString &aSql,
                    TMemTable *aLignes = nullptr)
{
    if (ABaseDonnees.isEmpty())
        return;
    std::unique_ptr<TDbConnection> cnx = aAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = aAcces.getNewQuery(cnx.get());
    cnx->StartTransaction();
    query->SQL() = QStringList{aSql};
    try {
        query->Open();
    } catch (const EDbError &) {
        try {
            cnx->Commit();
        } catch (const EDbError &) {
            // The procedure's own failure is the one to report.
        }
        throw;
    }
    // What the procedure says it did, read before the commit ends the cursor.
    if (aLignes) {
        aLignes->Close();
        for (int i = aLignes->ColumnCount(); i < query->FieldCount(); ++i)
            aLignes->AddColumn(query->Fields(i).FieldName(), QMetaType::UnknownType);
        aLignes->Open();
        for (query->First(); !query->Eof(); query->Next()) {
            aLignes->Append();
            for (int i = 0; i < query->FieldCount(); ++i)
                aLignes->SetValue(i, query->Fields(i).AsVariant());
            aLignes->Post();
        }
    }
    cnx->Commit();
    query->Close();
}

} // namespace

bool TOperationsReplication::IsGAPDefined(const QString &ABaseDonnees)
{
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
    for (const QString &sql : SqlKitGap) {
        query->Close();
        query->SQL() = QStringList{sql};
        query->Open();
        if (query->IsEmpty())
            return false;
    }
    return true;
}

bool TOperationsReplication::IsPushMissingTAVENDefined(const QString &ABaseDonnees)
{
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
    query->SQL() = QStringList{QStringLiteral(
        "select rdb$procedure_name from rdb$procedures where rdb$procedure_name ='IVRO_PUSH_MISSING_TAVEN'")};
    query->Open();
    return !query->IsEmpty();
}

void TOperationsReplication::DetectGAP(const QString &ABaseDonnees, TMemTable &aDataSet)
{
    if (ABaseDonnees.isEmpty())
        return;
    aDataSet.Close();
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
    query->SQL() = QStringList{QStringLiteral("SELECT * FROM IVRO_DETECT_GAP")};
    query->Open();
    // Checked before any row is written, so a refused dataset stays closed and empty.
    if (aDataSet.ColumnCount() < query->FieldCount())
        throw EDbError(QStringLiteral("Le jeu de données reçu a %1 colonne(s) ; IVRO_DETECT_GAP en renvoie %2.")
                           .arg(aDataSet.ColumnCount())
                           .arg(query->FieldCount()));
    aDataSet.Open();
    for (query->First(); !query->Eof(); query->Next()) {
        aDataSet.Append();
        for (int i = 0; i < query->FieldCount(); ++i)
            aDataSet.SetValue(i, query->Fields(i).AsVariant());
        aDataSet.Post();
    }
    if (aDataSet.RecordCount() > 0)
        aDataSet.First();
    query->Close();
}

void TOperationsReplication::DoGAP(const QString &ABaseDonnees, TMemTable *aLignes)
{
    JoueReparation(FAcces, ABaseDonnees, QStringLiteral("SELECT * FROM IVRO_DO_GAP(1);"), aLignes);
}

void TOperationsReplication::DoPushMissingTAVEN(const QString &ABaseDonnees)
{
    JoueReparation(FAcces, ABaseDonnees, QStringLiteral("SELECT * FROM IVRO_PUSH_MISSING_TAVEN(1);"));
}

QStringList TOperationsReplication::ColonnesDetectGAP(const QString &ABaseDonnees)
{
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
    query->SQL() = QStringList{
        QStringLiteral("SELECT RDB$PARAMETER_NAME FROM RDB$PROCEDURE_PARAMETERS"),
        QStringLiteral(" WHERE RDB$PROCEDURE_NAME = 'IVRO_DETECT_GAP' AND RDB$PARAMETER_TYPE = 1"),
        QStringLiteral(" ORDER BY RDB$PARAMETER_NUMBER"),
    };
    query->Open();
    QStringList colonnes;
    for (query->First(); !query->Eof(); query->Next())
        colonnes << query->Fields(0).AsString();
    return colonnes;
}
