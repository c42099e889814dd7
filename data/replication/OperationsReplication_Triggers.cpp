#include "data/replication/OperationsReplication.h"

#include "common/Erreur.h"
#include "common/TextFile.h"
#include "data/replication/CatalogueSql.h"
#include "data/acces/ScriptText.h"
#include "db/DbError.h"

#include <QRegularExpression>
#include <QSet>

#include <functional>

namespace {

const QString TriggerAvecCle = QStringLiteral(
    "INSERT INTO SYM_TRIGGER(TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, SYNC_KEY_NAMES, LAST_UPDATE_TIME, "
    "CREATE_TIME, SYNC_ON_DELETE, SYNC_ON_INCOMING_BATCH) VALUES('%1', '%2','default','%3', CURRENT_TIMESTAMP, "
    "CURRENT_TIMESTAMP, 0, 1);");

const QString TriggerSansCle = QStringLiteral(
    "INSERT INTO SYM_TRIGGER(TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, LAST_UPDATE_TIME, CREATE_TIME, "
    "SYNC_ON_DELETE, SYNC_ON_INCOMING_BATCH) VALUES('%1', '%2','default', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP, "
    "0, 1);");

// Names go into the statements as SQL text literals: a quote in a name must
// not end the literal early.
QString Litteral(const QString &aText)
{
    QString s = aText;
    return s.replace(QLatin1Char('\''), QStringLiteral("''"));
}

QString TriggerRouter(const QString &aTrigger, const QString &aRouter)
{
    return QStringLiteral("INSERT INTO SYM_TRIGGER_ROUTER(TRIGGER_ID, ROUTER_ID, ENABLED, INITIAL_LOAD_ORDER, "
                          "CREATE_TIME, LAST_UPDATE_BY, LAST_UPDATE_TIME) VALUES ('%1','%2', 1, 100, "
                          "CURRENT_TIMESTAMP, 'KORVALA', CURRENT_TIMESTAMP);")
        .arg(Litteral(aTrigger), aRouter);
}

const QStringList RoutersKTB = {QStringLiteral("lame_vers_mags"), QStringLiteral("mags_vers_lame")};

const QStringList RoutersCASH = {QStringLiteral("lame_vers_mags"),          QStringLiteral("mags_vers_lame"),
                                 QStringLiteral("lame_vers_mags_pg"),       QStringLiteral("mags_pg_vers_lame"),
                                 QStringLiteral("mags_pg_vers_caisses_pg"), QStringLiteral("caisses_pg_vers_mags_pg")};

const QStringList RoutersLCL = {QStringLiteral("caisses_pg_vers_mags_pg"), QStringLiteral("mags_pg_vers_caisses_pg")};

// Settings of the key table K, always at the end of the script.
const QStringList BlocFixe = {
    QStringLiteral("UPDATE SYM_TRIGGER SET USE_CAPTURE_OLD_DATA=0 WHERE TRIGGER_ID IN "
                   "('RECBRL','NEGBLL','CSHTICKETL','CONSODIV','COMRETOURL','NEGFACTUREL','TRANSFERTIML');"),
    QStringLiteral("UPDATE SYM_TRIGGER SET SYNC_ON_INSERT_CONDITION='$(curTriggerValue).K_ID>0' WHERE TRIGGER_ID='K';"),
    QStringLiteral("INSERT INTO SYM_TRANSFORM_TABLE (TRANSFORM_ID, SOURCE_NODE_GROUP_ID, TARGET_NODE_GROUP_ID, "
                   "TRANSFORM_POINT, SOURCE_CATALOG_NAME, SOURCE_SCHEMA_NAME, SOURCE_TABLE_NAME,"),
    QStringLiteral("  TARGET_CATALOG_NAME, TARGET_SCHEMA_NAME, TARGET_TABLE_NAME, UPDATE_FIRST, UPDATE_ACTION, "
                   "DELETE_ACTION, TRANSFORM_ORDER, COLUMN_POLICY, CREATE_TIME, LAST_UPDATE_BY, LAST_UPDATE_TIME)"),
    QStringLiteral("  VALUES ('K_PUSH', 'mags', 'lame', 'LOAD', NULL, NULL, 'K', NULL, NULL, 'K', 0, 'UPDATE_COL', "
                   "'DEL_ROW', 1, 'IMPLIED', current_timestamp, null, current_timestamp);"),
    QStringLiteral("INSERT INTO SYM_TRANSFORM_COLUMN (TRANSFORM_ID, INCLUDE_ON, TARGET_COLUMN_NAME, "
                   "SOURCE_COLUMN_NAME, PK, TRANSFORM_TYPE, TRANSFORM_EXPRESSION, TRANSFORM_ORDER, CREATE_TIME, "
                   "LAST_UPDATE_BY, LAST_UPDATE_TIME) "),
    QStringLiteral("  VALUES ('K_PUSH', '*', 'K_VERSION', 'K_VERSION', 0, 'lookup', 'SELECT GEN_ID(GENERAL_ID,1) "
                   "FROM RDB$DATABASE', 1, current_timestamp, NULL, current_timestamp);"),
    QStringLiteral("UPDATE SYM_TRIGGER_ROUTER SET PING_BACK_ENABLED=1, LAST_UPDATE_TIME=current_timestamp WHERE "
                   "TRIGGER_ID='K' AND ROUTER_ID='lame_vers_mags';"),
};

const QStringList SqlCASH = {
    QStringLiteral("SELECT RDB$RELATION_NAME"),
    QStringLiteral("  FROM RDB$RELATIONS"),
    QStringLiteral("WHERE  RDB$RELATION_NAME LIKE 'CASH%'"),
    QStringLiteral(" ORDER BY RDB$RELATION_NAME"),
};

const QStringList SqlTablesSym = {
    QStringLiteral("SELECT DISTINCT RDB$RELATION_NAME AS TABLENAME"),
    QStringLiteral(" FROM RDB$RELATION_FIELDS"),
    QStringLiteral("WHERE RDB$SYSTEM_FLAG=0 AND RDB$RELATION_NAME LIKE 'SYM_%'"),
};

// Only A to Z change: names are compared with the file's other characters as they are.
QString MinusculesAscii(QString aText)
{
    for (QChar &c : aText)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    return aText;
}

// A stored name that is not a plain upper-case identifier (lower case,
// blanks, quotes) must be quoted, or the grant would name another object.
QString IdentifiantSql(const QString &aName)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Z][A-Z0-9_$]*$"));
    if (plain.match(aName).hasMatch())
        return aName;
    QString quoted = aName;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

// A table that KTB lists and whose name begins with "CASH" is declared once,
// with its KTB key, and gets the routers of both rows, each pair once: a
// second line for the same trigger id or pair would fail the script the
// central configuration feeds to SymmetricDS on its primary key.
QStringList TOperationsReplication::ScriptTriggersManquants(const QString &ABaseDonnees, bool aSansDeclares)
{
    QStringList result;
    if (ABaseDonnees.isEmpty())
        return result;

    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
    QSet<QString> triggers;
    QSet<QString> paires;
    // What the database already declares is left out as if written before:
    // its lines would fail on their keys.
    bool transformeDeclaree = false;
    if (aSansDeclares) {
        const auto lis = [&](const QStringList &aSql, const std::function<void()> &aLigne) {
            try {
                query->Close();
                query->SQL() = aSql;
                query->Open();
                for (query->First(); !query->Eof(); query->Next())
                    aLigne();
                query->Close();
            } catch (const EDbError &) {
                // No SymmetricDS tables yet: nothing is declared.
                query->Close();
            }
        };
        lis({QStringLiteral("SELECT TRIGGER_ID FROM SYM_TRIGGER")},
            [&] { triggers.insert(TrimBlanks(query->Fields(0).AsString())); });
        lis({QStringLiteral("SELECT TRIGGER_ID, ROUTER_ID FROM SYM_TRIGGER_ROUTER")}, [&] {
            paires.insert(TrimBlanks(query->Fields(0).AsString()) + QLatin1Char('\n')
                          + TrimBlanks(query->Fields(1).AsString()));
        });
        lis({QStringLiteral("SELECT TRANSFORM_ID FROM SYM_TRANSFORM_TABLE WHERE TRANSFORM_ID = 'K_PUSH'")},
            [&] { transformeDeclaree = true; });
    }
    auto routers = [&](const QString &aTable, const QStringList &aRouters) {
        for (const QString &router : aRouters)
            if (!paires.contains(aTable + QLatin1Char('\n') + router)) {
                paires.insert(aTable + QLatin1Char('\n') + router);
                result << TriggerRouter(aTable, router);
            }
    };

    QSet<QString> ktb; // a table KTB lists twice is taken once
    query->SQL() = KtbCandidatesSql();
    query->Open();
    for (query->First(); !query->Eof(); query->Next()) {
        const QString table = TrimBlanks(query->Fields(0).AsString());
        const QString cle = TrimBlanks(query->Fields(1).AsString());
        if (ktb.contains(table) || !Controle_Longueur_Champs_Table(cnx.get(), table))
            continue;
        ktb.insert(table);
        if (!triggers.contains(table)) {
            triggers.insert(table);
            result << TriggerAvecCle.arg(Litteral(table), Litteral(table), Litteral(cle));
        }
        routers(table, RoutersKTB);
    }
    query->Close();

    query->SQL() = SqlCASH;
    query->Open();
    for (query->First(); !query->Eof(); query->Next()) {
        const QString table = TrimBlanks(query->Fields(0).AsString());
        if (!Controle_Longueur_Champs_Table(cnx.get(), table))
            continue;
        if (!triggers.contains(table)) {
            triggers.insert(table);
            result << TriggerSansCle.arg(Litteral(table), Litteral(table));
        }
        routers(table, RoutersCASH);
    }
    query->Close();

    // The transform of K, once declared, would fail on its key: its two
    // inserts are left out with it.
    if (transformeDeclaree)
        result << BlocFixe.mid(0, 2) << BlocFixe.mid(7);
    else
        result << BlocFixe;
    return result;
}

QStringList TOperationsReplication::ScriptTriggersManquantsLCL(const QString &aLCLFile)
{
    QStringList result;
    for (const QString &line : ReadTextFileLines(aLCLFile)) {
        const QString table = MinusculesAscii(TrimBlanks(line));
        result << TriggerSansCle.arg(Litteral(table), Litteral(table));
        for (const QString &router : RoutersLCL)
            result << TriggerRouter(table, router);
    }
    return result;
}

QStringList TOperationsReplication::DeclarationsTableReplic(const QString &ABaseDonnees, const QString &aTable)
{
    std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
    query->SQL() = QStringList{QStringLiteral("SELECT 'SYM_TRIGGER' FROM SYM_TRIGGER WHERE TRIGGER_ID = :T1"),
                               QStringLiteral("UNION ALL"),
                               QStringLiteral("SELECT 'SYM_TRIGGER_ROUTER ' || ROUTER_ID FROM SYM_TRIGGER_ROUTER "
                                              "WHERE TRIGGER_ID = :T2")};
    query->ParamByName(QStringLiteral("T1")).SetAsString(aTable);
    query->ParamByName(QStringLiteral("T2")).SetAsString(aTable);
    query->Open();
    QStringList lignes;
    for (query->First(); !query->Eof(); query->Next())
        lignes << TrimBlanks(query->Fields(0).AsString());
    query->Close();
    return lignes;
}

bool TOperationsReplication::MAJ_Ajoute_TABLE_REPLIC(const QString &AIBFile, const QString &aTABLENAME,
                                                     const QString &aKEYFIELD, QString *aErreur, int *aEcrites)
{
    if (aEcrites)
        *aEcrites = 0;
    try {
        std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(AIBFile));
        std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());

        query->SQL() = QStringList{QStringLiteral(
            "INSERT INTO SYM_TRIGGER(TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, SYNC_KEY_NAMES, LAST_UPDATE_TIME, "
            "CREATE_TIME, SYNC_ON_DELETE, SYNC_ON_INCOMING_BATCH) VALUES(:TABLENAME1, :TABLENAME2,'default',"
            ":KEYFIELD, CURRENT_TIMESTAMP, CURRENT_TIMESTAMP, 0, 1);")};
        query->ParamByName(QStringLiteral("TABLENAME1")).SetAsString(aTABLENAME);
        query->ParamByName(QStringLiteral("TABLENAME2")).SetAsString(aTABLENAME);
        query->ParamByName(QStringLiteral("KEYFIELD")).SetAsString(aKEYFIELD);
        query->ExecSQL();
        if (aEcrites)
            ++*aEcrites;

        for (const QString &router : RoutersKTB) {
            query->Close();
            query->SQL() = QStringList{
                QStringLiteral("INSERT INTO SYM_TRIGGER_ROUTER(TRIGGER_ID, ROUTER_ID, ENABLED, INITIAL_LOAD_ORDER, "
                               "CREATE_TIME, LAST_UPDATE_BY, LAST_UPDATE_TIME) VALUES (:TABLENAME,'%1', 1, 100, "
                               "CURRENT_TIMESTAMP, 'KORVALA', CURRENT_TIMESTAMP);")
                    .arg(router)};
            query->ParamByName(QStringLiteral("TABLENAME")).SetAsString(aTABLENAME);
            query->ExecSQL();
            if (aEcrites)
                ++*aEcrites;
        }
        return true;
    } catch (const std::exception &e) {
        if (aErreur)
            *aErreur = TexteErreur(e);
        return false;
    }
}

bool TOperationsReplication::Grant_SYMTABLE_TO_KORVALA(const QString &ABaseDonnees)
{
    try {
        std::unique_ptr<TDbConnection> cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
        std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
        QStringList tables;

        cnx->Open();
        query->SQL() = SqlTablesSym;
        query->Open();
        for (query->First(); !query->Eof(); query->Next()) {
            QString name = query->FieldByName(QStringLiteral("TABLENAME")).AsString();
            while (name.endsWith(QLatin1Char(' ')))
                name.chop(1);
            tables << name;
        }
        query->Close();

        query->SetParamCheck(false);
        for (const QString &table : std::as_const(tables)) {
            query->Close();
            query->SQL() = QStringList{QStringLiteral("GRANT ALL ON %1 TO KORVALA;").arg(IdentifiantSql(table))};
            query->ExecSQL();
        }
        return true;
    } catch (const std::exception &) {
        return false;
    }
}
