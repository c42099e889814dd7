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
    ExecuteScript(aIBFile, ReadTextFileLines(path));
    return true;
}
