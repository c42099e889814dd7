#include "data/uDataMod.h"

#include "common/TextFile.h"
#include "data/Movement.h"
#include "db/DbError.h"

#include <QFile>
#include <QSaveFile>

std::unique_ptr<TDbQuery> TDataMod::NewMvtCountQuery(TDbConnection *aCnx, const TDateTime &aDEB, const TDateTime &aFIN)
{
    std::unique_ptr<TDbQuery> query = getNewQuery(aCnx);
    query->Close();
    query->SQL().clear();
    query->SQL() << MvtInstructionComptage;
    query->ParamByName(QStringLiteral("DEB")).SetAsDateTime(aDEB);
    query->ParamByName(QStringLiteral("FIN")).SetAsDateTime(aFIN);
    return query;
}

std::unique_ptr<TDbQuery> TDataMod::NewMvtSendQuery(TDbConnection *aCnx, TSensMvt aSens, const TDateTime &aDEB,
                                                    const TDateTime &aFIN, const QString &aNode)
{
    std::unique_ptr<TDbQuery> query = getNewQuery(aCnx);
    query->Close();
    query->SQL().clear();
    query->SQL() << InstructionEnvoi(aSens);
    query->ParamByName(QStringLiteral("DEB")).SetAsDateTime(aDEB);
    query->ParamByName(QStringLiteral("FIN")).SetAsDateTime(aFIN);
    query->ParamByName(QStringLiteral("NODE")).SetAsString(aNode);
    return query;
}

QByteArray TDataMod::MvtScriptResource()
{
    QFile resource(QStringLiteral(":/ivro_mvt"));
    if (!resource.open(QIODevice::ReadOnly))
        throw EDbError(QStringLiteral("Ressource ivro_mvt introuvable"));
    return resource.readAll();
}

// Writes the movement script beside the program and runs it from there. A
// folder that can't be written means no installation, silently: the sending
// then calls whatever procedures the database holds.
bool TDataMod::InstallMvtProcedures(const QString &aIBFile, const QString &aProgramDir)
{
    const QString path = aProgramDir + QStringLiteral("ivro_mvt.sql");
    try {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const QByteArray script = MvtScriptResource();
        if (file.write(script) != script.size())
            return false;
    } catch (const EDbError &) {
        return false;
    }
    if (!QFile::exists(path))
        return false;
    ExecuteScript(aIBFile, MvtScriptPourBase(aIBFile, ReadTextFileLines(path)));
    return true;
}

bool TDataMod::SyncKeyNamesEstBlob(const QString &ABaseDonnees)
{
    constexpr int blobFieldType = 261;
    std::unique_ptr<TDbConnection> cnx = getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = getNewQuery(cnx.get());
    query->SQL() << QStringLiteral("SELECT F.RDB$FIELD_TYPE FROM RDB$RELATION_FIELDS RF")
                 << QStringLiteral(" JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE")
                 << QStringLiteral(" WHERE RF.RDB$RELATION_NAME = 'SYM_TRIGGER' AND RF.RDB$FIELD_NAME = 'SYNC_KEY_NAMES'");
    query->Open();
    return !query->IsEmpty() && query->Fields(0).AsInteger() == blobFieldType;
}

// SymmetricDS makes SYM_TRIGGER.SYNC_KEY_NAMES a BLOB on Firebird (VARCHAR on
// InterBase). Concatenated as a BLOB, every row leaves temporary blobs that
// pile up in the range procedure's one transaction, and the sending slows
// with the square of the rows: minutes at the limit, long enough for
// SymmetricDS to give up routing the events. Read as VARCHAR(4096) the text
// is the same and the cost linear; a longer key list fails the procedure
// instead of being cut. The file written beside the program stays as
// shipped: only the lines handed to the database change.
QStringList TDataMod::MvtScriptPourBase(const QString &ABaseDonnees, const QStringList &aLignes)
{
    bool blob = false;
    try {
        blob = SyncKeyNamesEstBlob(ABaseDonnees);
    } catch (const EDbError &) {
        // A database that can't be read fails every chunk anyway; the
        // sending's call of the procedures then reports it.
        return aLignes;
    }
    if (!blob)
        return aLignes;
    QStringList lignes = aLignes;
    for (QString &ligne : lignes)
        ligne.replace(QStringLiteral("SYNC_KEY_NAMES ||"), QStringLiteral("CAST(SYNC_KEY_NAMES AS VARCHAR(4096)) ||"));
    return lignes;
}
