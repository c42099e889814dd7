#include "data/replication/OperationsReplication.h"

#include "data/replication/CatalogueSql.h"
#include "data/acces/ObjetsMouvement.h"
#include "db/DbError.h"

namespace {

const QStringList SqlTablesReplicantes = {
    QStringLiteral("SELECT RDB$RELATION_NAME AS TABLE_NAME, F_LEFT(KTB_DATA, F_SUBSTR('_ID',KTB_DATA)+3) AS PRIMARY_KEY"),
    QStringLiteral(" FROM RDB$RELATIONS"),
    QStringLiteral(" JOIN sym_trigger ON SOURCE_TABLE_NAME=RDB$RELATION_NAME"),
    QStringLiteral(" JOIN KTB ON KTB_NAME=RDB$RELATION_NAME"),
    QStringLiteral(" WHERE ((RDB$SYSTEM_FLAG = 0) OR"),
    QStringLiteral("  (RDB$SYSTEM_FLAG IS NULL)) AND"),
    QStringLiteral("(RDB$VIEW_SOURCE IS NULL)"),
    QStringLiteral(" ORDER BY RDB$RELATION_NAME"),
};

const QStringList SqlTablesExclues = {
    QStringLiteral("SELECT RDB$RELATION_NAME AS TABLE_NAME, F_LEFT(KTB_DATA, F_SUBSTR('_ID',KTB_DATA)+3) AS PRIMARY_KEY"),
    QStringLiteral(" FROM RDB$RELATIONS"),
    QStringLiteral("LEFT JOIN sym_trigger ON SOURCE_TABLE_NAME=RDB$RELATION_NAME"),
    QStringLiteral("JOIN KTB ON KTB_NAME=RDB$RELATION_NAME"),
    QStringLiteral(" WHERE ((RDB$SYSTEM_FLAG = 0) OR"),
    QStringLiteral("  (RDB$SYSTEM_FLAG IS NULL)) AND"),
    QStringLiteral("  (RDB$VIEW_SOURCE IS NULL)"),
    QStringLiteral("AND TRIGGER_ID IS NULL"),
    QStringLiteral("ORDER BY RDB$RELATION_NAME"),
};

const QStringList SqlAllTablesExclues = {
    QStringLiteral("SELECT RDB$RELATION_NAME  AS TABLE_NAME, RDB$RELATION_TYPE AS TYPE_TABLE"),
    QStringLiteral("FROM RDB$RELATIONS"),
    QStringLiteral("LEFT JOIN KTB ON KTB_NAME=RDB$RELATION_NAME"),
    QStringLiteral(" WHERE ((RDB$SYSTEM_FLAG = 0) OR"),
    QStringLiteral("  (RDB$SYSTEM_FLAG IS NULL)) AND"),
    QStringLiteral("  (RDB$VIEW_SOURCE IS NULL)"),
    QStringLiteral(" AND KTB_NAME IS NULL"),
    // The movement's lock table is ours, not the site's.
    QStringLiteral(" AND RDB$RELATION_NAME <> '%1'").arg(MouvementTableVerrou),
    QStringLiteral("ORDER BY RDB$RELATION_NAME"),
};

const QStringList SqlAllTablesReplicantes = {
    QStringLiteral("SELECT RDB$RELATION_NAME AS TABLE_NAME , SYNC_KEY_NAMES"),
    QStringLiteral("FROM RDB$RELATIONS"),
    QStringLiteral("JOIN sym_trigger ON SOURCE_TABLE_NAME=RDB$RELATION_NAME"),
    QStringLiteral("WHERE ((RDB$SYSTEM_FLAG = 0) OR"),
    QStringLiteral("      (RDB$SYSTEM_FLAG IS NULL)) AND (RDB$VIEW_SOURCE IS NULL)"),
    QStringLiteral("ORDER BY RDB$RELATION_NAME"),
};

const QStringList SqlCASHTablesReplicantes = {
    QStringLiteral("SELECT RDB$RELATION_NAME AS TABLE_NAME , SYNC_KEY_NAMES"),
    QStringLiteral("FROM RDB$RELATIONS"),
    QStringLiteral("JOIN sym_trigger ON SOURCE_TABLE_NAME=RDB$RELATION_NAME"),
    QStringLiteral("WHERE ((RDB$SYSTEM_FLAG = 0) OR(RDB$SYSTEM_FLAG IS NULL))"),
    QStringLiteral(" AND (RDB$RELATION_NAME LIKE 'CASH%')"),
    QStringLiteral(" AND (RDB$VIEW_SOURCE IS NULL)"),
    QStringLiteral("ORDER BY RDB$RELATION_NAME"),
};

// Starts from the trigger table, so a trigger row whose table is gone shows.
const QStringList SqlIVROTablesSuppReplicantes = {
    QStringLiteral("SELECT SOURCE_TABLE_NAME, SYNC_KEY_NAMES"),
    QStringLiteral("  FROM sym_trigger"),
    QStringLiteral("LEFT JOIN RDB$RELATIONS ON RDB$RELATION_NAME=SOURCE_TABLE_NAME"),
    QStringLiteral("LEFT JOIN KTB ON KTB_NAME=RDB$RELATION_NAME"),
    QStringLiteral("WHERE KTB_NAME IS NULL"),
    QStringLiteral("AND NOT(SOURCE_TABLE_NAME LIKE 'CASH%')"),
    QStringLiteral("ORDER BY SOURCE_TABLE_NAME"),
};

const QStringList SqlClePrimaire = {
    QStringLiteral("SELECT i.RDB$RELATION_NAME,"),
    QStringLiteral("       rc.RDB$CONSTRAINT_NAME,"),
    QStringLiteral("       s.RDB$FIELD_NAME AS field_name,"),
    QStringLiteral("       (s.RDB$FIELD_POSITION + 1) AS field_position"),
    QStringLiteral("     FROM RDB$INDEX_SEGMENTS s"),
    QStringLiteral("LEFT JOIN RDB$INDICES i ON i.RDB$INDEX_NAME = s.RDB$INDEX_NAME"),
    QStringLiteral("LEFT JOIN RDB$RELATION_CONSTRAINTS rc ON rc.RDB$INDEX_NAME = s.RDB$INDEX_NAME"),
    QStringLiteral("    WHERE i.RDB$RELATION_NAME=:TABLE_NAME"),
    QStringLiteral("      AND rc.RDB$CONSTRAINT_TYPE='PRIMARY KEY'"),
    QStringLiteral("      AND rc.RDB$CONSTRAINT_TYPE IS NOT NULL"),
    QStringLiteral(" ORDER BY s.RDB$FIELD_POSITION"),
};

const QStringList SqlLongueurTable = {
    QStringLiteral("SELECT r.RDB$RELATION_NAME,"),
    QStringLiteral("    SUM("),
    QStringLiteral("        CASE f.RDB$FIELD_TYPE"),
    QStringLiteral("          WHEN 27 THEN 27"),
    QStringLiteral("          WHEN 10 THEN 27"),
    QStringLiteral("          WHEN 8 THEN 14"),
    QStringLiteral("          WHEN 12 THEN 15"),
    QStringLiteral("          WHEN 16 THEN 22"),
    QStringLiteral("          WHEN 13 THEN 15"),
    QStringLiteral("          WHEN 35 THEN 25"),
    QStringLiteral("          WHEN 37 THEN f.RDB$FIELD_LENGTH+3"),
    QStringLiteral("          ELSE 5000"),
    QStringLiteral("        END) AS NBCHAR"),
    QStringLiteral("   FROM RDB$RELATION_FIELDS r"),
    QStringLiteral("   LEFT JOIN RDB$FIELDS f ON r.RDB$FIELD_SOURCE = f.RDB$FIELD_NAME"),
    QStringLiteral("WHERE r.RDB$RELATION_NAME=:ATABLE"),
    QStringLiteral("GROUP BY r.RDB$RELATION_NAME"),
};

// Rows wider than this many characters are kept out of the replication.
constexpr qint64 LargeurMaxi = 4070;

// Names and keys come from fixed-width system columns.
QString TexteSansBlancsFinaux(const TDbField &aField)
{
    QString s = aField.AsString();
    while (!s.isEmpty() && s.back() == QLatin1Char(' '))
        s.chop(1);
    return s;
}

void RemplitListe(TAcces &aAcces, const QString &ABaseDonnees, TMemTable &aDataSet, const QStringList &aSql,
                  bool aCompleteCles, bool aTypeDeTable = false)
{
    if (ABaseDonnees.isEmpty())
        return;
    const int colonnes = aCompleteCles ? 3 : 2;
    if (aDataSet.ColumnCount() < colonnes)
        throw EDbError(QStringLiteral("Le jeu de données reçu a %1 colonne(s) ; cette liste en remplit %2.")
                           .arg(aDataSet.ColumnCount())
                           .arg(colonnes));
    aDataSet.Close();

    std::unique_ptr<TDbConnection> cnx = aAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = aAcces.getNewQuery(cnx.get());
    std::unique_ptr<TDbQuery> cles;
    if (aCompleteCles) {
        cles = aAcces.getNewQuery(cnx.get());
        cles->SQL() = SqlClePrimaire;
        cles->Prepare();
    }

    // InterBase's catalogue has no relation type: there the code of a table
    // (0) or of an external one (2) is told from its external file. Whether
    // the column exists is asked of the server's parser, as InterBase would
    // answer a statement that names it: "Column unknown".
    bool typeConnu = true;
    if (aTypeDeTable) {
        std::unique_ptr<TDbQuery> colonne = aAcces.getNewQuery(cnx.get());
        colonne->SQL() = QStringList{QStringLiteral("SELECT RDB$RELATION_TYPE FROM RDB$RELATIONS")};
        try {
            colonne->Prepare();
        } catch (const EDbError &e) {
            constexpr qint64 isc_dsql_field_err = 335544578;
            if (!e.HasCode(isc_dsql_field_err))
                throw;
            typeConnu = false;
        }
    }
    query->SQL() = aSql;
    if (!typeConnu)
        query->SQL()[0].replace(QStringLiteral("RDB$RELATION_TYPE"), QStringLiteral("RDB$EXTERNAL_FILE"));
    query->Open();
    aDataSet.Open();
    for (query->First(); !query->Eof(); query->Next()) {
        const QString table = TexteSansBlancsFinaux(query->Fields(0));
        aDataSet.Append();
        aDataSet.SetValue(0, table);
        if (aTypeDeTable && !typeConnu) // InterBase leaves the file blank for an ordinary table
            aDataSet.SetValue(1, query->Fields(1).AsString().trimmed().isEmpty() ? QStringLiteral("0") : QStringLiteral("2"));
        else
            aDataSet.SetValue(1, TexteSansBlancsFinaux(query->Fields(1)));
        if (aCompleteCles) {
            // SymmetricDS keys a table without sync keys by its primary key.
            QStringList colonnesCle;
            if (query->Fields(1).IsNull()) {
                cles->Close();
                cles->ParamByName(QStringLiteral("TABLE_NAME")).SetAsString(table);
                cles->Open();
                for (cles->First(); !cles->Eof(); cles->Next())
                    colonnesCle << TexteSansBlancsFinaux(cles->Fields(2));
                cles->Close();
            }
            aDataSet.SetValue(2, colonnesCle.join(QLatin1Char(',')));
        }
        aDataSet.Post();
    }
    if (aDataSet.RecordCount() > 0)
        aDataSet.First();
    query->Close();
}

} // namespace

void TOperationsReplication::GetTablesReplicantes(const QString &ABaseDonnees, TMemTable &aDataSet)
{
    RemplitListe(FAcces, ABaseDonnees, aDataSet, SqlTablesReplicantes, false);
}

void TOperationsReplication::GetTablesExclues(const QString &ABaseDonnees, TMemTable &aDataSet)
{
    RemplitListe(FAcces, ABaseDonnees, aDataSet, SqlTablesExclues, false);
}

void TOperationsReplication::GetAllTablesExclues(const QString &ABaseDonnees, TMemTable &aDataSet)
{
    RemplitListe(FAcces, ABaseDonnees, aDataSet, SqlAllTablesExclues, false, true);
}

void TOperationsReplication::GetAllTablesReplicantes(const QString &ABaseDonnees, TMemTable &aDataSet)
{
    RemplitListe(FAcces, ABaseDonnees, aDataSet, SqlAllTablesReplicantes, true);
}

void TOperationsReplication::GetCASHTablesReplicantes(const QString &ABaseDonnees, TMemTable &aDataSet)
{
    RemplitListe(FAcces, ABaseDonnees, aDataSet, SqlCASHTablesReplicantes, true);
}

void TOperationsReplication::GetIVROTablesSuppReplicantes(const QString &ABaseDonnees, TMemTable &aDataSet)
{
    RemplitListe(FAcces, ABaseDonnees, aDataSet, SqlIVROTablesSuppReplicantes, true);
}

QStringList TOperationsReplication::ListeTablesTropLarges(TDbConnection *aCnx)
{
    QStringList tables;
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(aCnx);
    query->SQL() = KtbCandidatesSql();
    query->Open();
    for (query->First(); !query->Eof(); query->Next()) {
        const QString table = TexteSansBlancsFinaux(query->FieldByName(QStringLiteral("RDB$RELATION_NAME")));
        if (!Controle_Longueur_Champs_Table(aCnx, table))
            tables << table;
    }
    query->Close();
    return tables;
}

QString TOperationsReplication::Liste_Tables_Exclues(TDbConnection *aCnx)
{
    try {
        return ListeTablesTropLarges(aCnx).join(QLatin1Char(' '));
    } catch (const std::exception &) {
        // Callers store the text as is; a partial list would pass for a complete one.
        return QStringLiteral("!!!ERREUR!!!");
    }
}

QStringList TOperationsReplication::ColonnesTable(const QString &ABaseDonnees, const QString &aTable)
{
    QStringList colonnes;
    auto cnx = FAcces.getNewConnexion(SysdbaRef(ABaseDonnees));
    std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(cnx.get());
    query->SQL() << QStringLiteral("SELECT RDB$FIELD_NAME FROM RDB$RELATION_FIELDS")
                 << QStringLiteral(" WHERE RDB$RELATION_NAME=:ATABLE ORDER BY RDB$FIELD_POSITION");
    query->ParamByName(QStringLiteral("ATABLE")).SetAsString(aTable);
    query->Open();
    for (query->First(); !query->Eof(); query->Next())
        colonnes << TexteSansBlancsFinaux(query->Fields(0));
    query->Close();
    return colonnes;
}

bool TOperationsReplication::Controle_Longueur_Champs_Table(TDbConnection *aCnx, const QString &aTABLE)
{
    try {
        std::unique_ptr<TDbQuery> query = FAcces.getNewQuery(aCnx);
        query->SQL() = SqlLongueurTable;
        query->ParamByName(QStringLiteral("ATABLE")).SetAsString(aTABLE);
        query->Open();
        if (query->IsEmpty())
            return false;
        return query->FieldByName(QStringLiteral("NBCHAR")).AsLargeInt() <= LargeurMaxi;
    } catch (const std::exception &) {
        // A table that can't be measured is treated as too wide.
        return false;
    }
}
