#include "data/mouvement/OperationsMouvement.h"

#include "common/AtomicFile.h"
#include "common/Erreur.h"
#include "common/TextFile.h"
#include "data/acces/ScriptText.h"
#include "data/mouvement/Mouvement.h"
#include "data/mouvement/MouvementDefinitions.h"
#include "db/DbError.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>

#include <stdexcept>

namespace {

// A procedure's text as the server keeps it, compared line by line without
// the line ends and the blanks that end a line, and without the final ";"
// the server leaves out.
QString TexteCompare(const QString &aTexte)
{
    QStringList lignes = QString(aTexte).replace(QLatin1String("\r\n"), QLatin1String("\n")).split(QLatin1Char('\n'));
    for (QString &ligne : lignes) {
        while (!ligne.isEmpty() && ligne.back().isSpace())
            ligne.chop(1);
    }
    QString texte = lignes.join(QLatin1Char('\n')).trimmed();
    if (texte.endsWith(QLatin1Char(';')))
        texte = texte.chopped(1).trimmed();
    return texte;
}

// True when the script only drops and creates procedures, and every one it
// creates is already in the database with the very text it gives it:
// installing again would only drop and create them, and a sending that has
// already prepared its call on another attachment would then fail.
bool ProceduresDejaInstallees(TDbConnection *aCnx, const QStringList &aLignes)
{
    static const QRegularExpression creation(
        QStringLiteral("^\\s*CREATE\\s+PROCEDURE\\s+(\\w+)[^\\n]*\\n.*?^\\s*AS\\s*$(.*)\\z"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption
            | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression suppression(QStringLiteral("^\\s*DROP\\s+PROCEDURE\\s+\\w+\\s*;?\\s*\\z"),
                                                QRegularExpression::CaseInsensitiveOption);
    QMap<QString, QString> attendues;
    bool autre = false; // a statement that is neither: the script is run
    ForEachScriptChunk(aLignes, [&](const QString &aChunk) {
        const QString chunk = QString(aChunk).replace(QLatin1String("\r\n"), QLatin1String("\n"));
        if (const QRegularExpressionMatch m = creation.match(chunk); m.hasMatch())
            attendues.insert(m.captured(1).toUpper(), TexteCompare(m.captured(2)));
        else if (!suppression.match(chunk).hasMatch() && !chunk.trimmed().isEmpty())
            autre = true;
        return !autre;
    });
    if (autre || attendues.isEmpty())
        return false;
    TDbQuery query(aCnx);
    query.SQL() << QStringLiteral("SELECT RDB$PROCEDURE_SOURCE FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = :NOM");
    for (auto it = attendues.cbegin(); it != attendues.cend(); ++it) {
        query.Close();
        query.ParamByName(QStringLiteral("NOM")).SetAsString(it.key());
        query.Open();
        if (query.IsEmpty() || TexteCompare(query.Fields(0).AsString()) != it.value())
            return false;
    }
    return true;
}

} // namespace

std::unique_ptr<TDbQuery> TOperationsMouvement::NewMouvementCountQuery(TDbConnection *aCnx, const TDateTime &aDEB, const TDateTime &aFIN)
{
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(aCnx);
    query->Close();
    query->SQL().clear();
    query->SQL() << MouvementInstructionComptage;
    query->ParamByName(QStringLiteral("DEB")).SetAsDateTime(aDEB);
    query->ParamByName(QStringLiteral("FIN")).SetAsDateTime(aFIN);
    return query;
}

std::unique_ptr<TDbQuery> TOperationsMouvement::NewMouvementSendQuery(TDbConnection *aCnx, TSensMouvement aSens, const TDateTime &aDEB,
                                                    const TDateTime &aFIN, const QString &aNode,
                                                    TDbTransaction *aTrans)
{
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(aCnx, aTrans);
    query->Close();
    query->SQL().clear();
    query->SQL() << InstructionEnvoi(aSens);
    query->ParamByName(QStringLiteral("DEB")).SetAsDateTime(aDEB);
    query->ParamByName(QStringLiteral("FIN")).SetAsDateTime(aFIN);
    query->ParamByName(QStringLiteral("NODE")).SetAsString(aNode);
    return query;
}

QByteArray TOperationsMouvement::MouvementScriptResource()
{
    QFile resource(QStringLiteral(":/ivro_mvt"));
    if (!resource.open(QIODevice::ReadOnly))
        throw EDbError(QStringLiteral("Ressource ivro_mvt introuvable"));
    return resource.readAll();
}

// Installs from the script held in memory: the copy written beside the
// program is for the operator to read, never read back, since a file that
// another user could replace would be run as SYSDBA. The copy replaces the
// old one in one rename; a folder that refuses it (a read-only program
// folder) gets nothing, and no other folder is used instead.
bool TOperationsMouvement::InstallMvtProcedures(const QString &aIBFile, const QString &aProgramDir, TMouvementInstallation *aRapport)
{
    std::unique_ptr<TDbConnection> cnx;
    try {
        // No database: the copy alone, as the script runner does nothing then.
        if (!aIBFile.isEmpty())
            cnx = FAcces.getNewConnexion(SysdbaRef(aIBFile));
    } catch (const EDbError &e) {
        if (aRapport) {
            *aRapport = {};
            aRapport->Erreurs << e.Message();
        }
        return false;
    }
    return InstallMvtProceduresSur(cnx.get(), aProgramDir, aRapport);
}

bool TOperationsMouvement::InstallMvtProceduresSur(TDbConnection *aCnx, const QString &aProgramDir,
                                                   TMouvementInstallation *aRapport)
{
    TMouvementInstallation rapport;
    bool installe = false;
    try {
        const QByteArray script = MouvementScriptResource();
        if (aProgramDir.isEmpty()) {
            rapport.NonEcrit = QStringLiteral("dossier du programme inconnu");
        } else {
            const QString path = aProgramDir + QStringLiteral("ivro_mvt.sql");
            try {
                WriteFileAtomically(path, script);
                rapport.Fichier = path;
            } catch (const std::runtime_error &e) {
                rapport.NonEcrit = TexteErreur(e);
            }
        }
        if (!aCnx) {
            if (aRapport)
                *aRapport = rapport;
            return true;
        }
        QStringList lignes = MouvementScriptPourBaseSur(aCnx, SplitTextLines(DecodeWindowsText(script)));
        // Without the temporary table the range procedures stay as shipped.
        const QString sansDefinitions = MouvementPrepareDefinitions(aCnx);
        if (sansDefinitions.isEmpty())
            lignes = MouvementAvecDefinitionsResolues(lignes);
        else
            rapport.Remarque = MouvementTexteSansDefinitions(sansDefinitions);
        installe = ProceduresDejaInstallees(aCnx, lignes) || FAcces.ExecuteScriptSur(aCnx, lignes, &rapport.Erreurs);
        if (!installe)
            rapport.Remarque.clear();
    } catch (const EDbError &e) {
        installe = false;
        rapport.Erreurs << e.Message();
    }
    if (aRapport)
        *aRapport = rapport;
    return installe;
}

bool TOperationsMouvement::SyncKeyNamesEstBlob(const QString &ABaseDonnees)
{
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    return SyncKeyNamesEstBlobSur(cnx.get());
}

bool TOperationsMouvement::SyncKeyNamesEstBlobSur(TDbConnection *aCnx)
{
    constexpr int blobFieldType = 261;
    TDbQuery query(aCnx);
    query.SQL() << QStringLiteral("SELECT F.RDB$FIELD_TYPE FROM RDB$RELATION_FIELDS RF")
                << QStringLiteral(" JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE")
                << QStringLiteral(" WHERE RF.RDB$RELATION_NAME = 'SYM_TRIGGER' AND RF.RDB$FIELD_NAME = 'SYNC_KEY_NAMES'");
    query.Open();
    return !query.IsEmpty() && query.Fields(0).AsInteger() == blobFieldType;
}

// SymmetricDS makes SYM_TRIGGER.SYNC_KEY_NAMES a BLOB on Firebird (VARCHAR on
// InterBase). Concatenated as a BLOB, every row leaves temporary blobs that
// pile up in the range procedure's one transaction, and the sending slows
// with the square of the rows: minutes at the limit, long enough for
// SymmetricDS to give up routing the events. Read as VARCHAR(4096) the text
// is the same and the cost linear; a longer key list fails the procedure
// instead of being cut. The file written beside the program stays as
// shipped: only the lines handed to the database change.
QStringList TOperationsMouvement::MouvementScriptPourBase(const QString &ABaseDonnees, const QStringList &aLignes)
{
    std::unique_ptr<TDbConnection> cnx;
    try {
        cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    } catch (const EDbError &) {
        return MouvementNettoyageExact(aLignes);
    }
    return MouvementScriptPourBaseSur(cnx.get(), aLignes);
}

QStringList TOperationsMouvement::MouvementScriptPourBaseSur(TDbConnection *aCnx, const QStringList &aLignes)
{
    QStringList lignes = MouvementNettoyageExact(aLignes);
    bool blob = false;
    try {
        blob = SyncKeyNamesEstBlobSur(aCnx);
    } catch (const EDbError &) {
        // A database that can't be read fails every chunk anyway; the
        // installation reports it.
        return lignes;
    }
    if (!blob)
        return lignes;
    for (QString &ligne : lignes)
        ligne.replace(QStringLiteral("SYNC_KEY_NAMES ||"), QStringLiteral("CAST(SYNC_KEY_NAMES AS VARCHAR(4096)) ||"));
    return lignes;
}
