#include "data/mouvement/MouvementDefinitions.h"

#include "db/DbConnection.h"
#include "db/DbError.h"
#include "db/DbQuery.h"
#include "db/DbScript.h"

#include <functional>

namespace {

const QString KIndex = QStringLiteral("IVRO_MVT_DEFINITIONS_ORDRE");
// Its columns, as the procedures use them.
const QStringList KColonnes = {QStringLiteral("KTB_ID"),          QStringLiteral("PARTIE"),
                               QStringLiteral("ORDRE"),           QStringLiteral("TABLE_NAME"),
                               QStringLiteral("SYNC_KEY_NAMES"),  QStringLiteral("TRIGGER_HIST_ID"),
                               QStringLiteral("CHANNEL_ID")};

// One of the per-row procedure's two SELECTs, its select list aside,
// filling the part aPartie of the table's definitions in their order. The
// key names are read as VARCHAR(4096): the text the per-row procedure
// concatenates where the column is a BLOB, the column itself where it is
// that VARCHAR.
QStringList Resolution(const QString &aRouteur, const QString &aSource, int aPartie)
{
    return {
        QStringLiteral("                    ORDRE = 0;"),
        QStringLiteral("                    FOR SELECT t.source_table_name, CAST(SYNC_KEY_NAMES AS VARCHAR(4096)),"),
        QStringLiteral("                        h.trigger_hist_id, t.channel_id"),
        QStringLiteral("                     FROM sym_trigger t"),
        QStringLiteral("                        join sym_trigger_router tr on t.trigger_id=tr.trigger_id AND "
                       "tr.ROUTER_ID='%1'")
            .arg(aRouteur),
        QStringLiteral("                        join sym_trigger_hist h on  h.trigger_hist_id=(select "
                       "max(trigger_hist_id) from sym_trigger_hist  where trigger_id=t.trigger_id)"),
        QStringLiteral("                    where t.source_table_name =%1").arg(aSource),
        QStringLiteral("                    INTO :NOMTABLE, :CLES, :HISTID, :CANAL DO"),
        QStringLiteral("                    BEGIN"),
        QStringLiteral("                        INSERT INTO %1 (KTB_ID, PARTIE, ORDRE, TABLE_NAME, SYNC_KEY_NAMES, "
                       "TRIGGER_HIST_ID, CHANNEL_ID)")
            .arg(MouvementTableDefinitions),
        QStringLiteral("                            VALUES (:KTBID, %1, :ORDRE, :NOMTABLE, :CLES, :HISTID, :CANAL);")
            .arg(aPartie),
        QStringLiteral("                        ORDRE = ORDRE + 1;"),
        QStringLiteral("                    END"),
    };
}

// The events of the K row :KID from its table's resolved definitions, K's
// first, each part in its SELECT's order; aCompte runs for each of them
// besides its insert.
QStringList Evenements(const QString &aCompte, const QString &aMarge)
{
    QStringList l{
        aMarge + QStringLiteral("FOR SELECT TABLE_NAME, SYNC_KEY_NAMES, TRIGGER_HIST_ID, CHANNEL_ID FROM %1")
                     .arg(MouvementTableDefinitions),
        aMarge + QStringLiteral("    WHERE KTB_ID=:KTBID AND PARTIE>0 ORDER BY KTB_ID, PARTIE, ORDRE"),
        aMarge + QStringLiteral("    INTO :NOMTABLE, :CLES, :HISTID, :CANAL DO"),
        aMarge + QStringLiteral("BEGIN"),
    };
    if (!aCompte.isEmpty())
        l << aMarge + QStringLiteral("    ") + aCompte;
    l << aMarge + QStringLiteral("    INSERT INTO SYM_DATA (node_list, table_name, event_type, row_data, "
                                 "trigger_hist_id, channel_id, create_time)")
      << aMarge + QStringLiteral("    VALUES (:TONODE, :NOMTABLE, 'R', :CLES || '=''' || CAST(:KID AS VARCHAR(10)) || "
                                 "'''', :HISTID, :CANAL, current_timestamp);")
      << aMarge + QStringLiteral("END");
    return l;
}

// The range procedure aNom, its name and parameters as shipped. Per K row:
// its table number, read by the cursor itself (K_ID is K's key: the
// per-row procedure's second read of the row found the same value in the
// same snapshot, at the cost of an index lookup per row), then the events from that table's rows of the
// temporary table (part 1: K's definitions, part 2: the table's). The first
// row of a table (no part 0 yet) resolves it: part 0 marks it done, then
// the per-row procedure's name test and, for a name that passes, its two
// SELECTs. Whatever the per-row procedure raises for a table (a name too
// long for its variable, key names too long for their text) is raised here
// at the same row.
QStringList ProcedurePlage(const QString &aNom, const QString &aRouteur)
{
    QStringList l{
        QStringLiteral("CREATE PROCEDURE %1 (").arg(aNom),
        QStringLiteral("  ADEB TIMESTAMP,"),
        QStringLiteral("  AFIN TIMESTAMP,"),
        QStringLiteral("  TONODE VARCHAR(50)"),
        QStringLiteral(")"),
        QStringLiteral("AS"),
        QStringLiteral("declare variable KID integer;"),
        QStringLiteral("declare variable KTBID integer;"),
        QStringLiteral("declare variable ATABLE varchar(50);"),
        QStringLiteral("declare variable TROUVE integer;"),
        QStringLiteral("declare variable ORDRE integer;"),
        QStringLiteral("declare variable NOMTABLE varchar(255);"),
        QStringLiteral("declare variable CLES varchar(4096);"),
        QStringLiteral("declare variable HISTID integer;"),
        QStringLiteral("declare variable CANAL varchar(128);"),
        QStringLiteral("BEGIN"),
        // Rows of an earlier call in the same transaction.
        QStringLiteral("     DELETE FROM %1;").arg(MouvementTableDefinitions),
        QStringLiteral("     FOR SELECT K_ID, KTB_ID FROM K WHERE K_UPDATED>=:ADEB AND K_UPDATED<=:AFIN"),
        QStringLiteral("        ORDER BY K_INSERTED INTO :KID, :KTBID"),
        QStringLiteral("        DO"),
        QStringLiteral("          BEGIN"),
        QStringLiteral("            IF (KTBID IS NOT NULL) THEN"),
        QStringLiteral("            BEGIN"),
        QStringLiteral("                TROUVE = 0;"),
    };
    l << Evenements(QStringLiteral("TROUVE = 1;"), QStringLiteral("                "));
    l << QStringLiteral("                IF (TROUVE = 0) THEN")
      << QStringLiteral("                IF (NOT EXISTS(SELECT 1 FROM %1 WHERE KTB_ID=:KTBID AND PARTIE=0)) THEN")
             .arg(MouvementTableDefinitions)
      << QStringLiteral("                BEGIN")
      << QStringLiteral("                    INSERT INTO %1 (KTB_ID, PARTIE, ORDRE) VALUES (:KTBID, 0, 0);")
             .arg(MouvementTableDefinitions)
      << QStringLiteral("                    ATABLE = '';")
      << QStringLiteral("                    SELECT KTB_NAME FROM KTB WHERE KTB_ID=:KTBID INTO :ATABLE;")
      << QStringLiteral("                    IF (:ATABLE<>'') THEN")
      << QStringLiteral("                    BEGIN");
    l << Resolution(aRouteur, QStringLiteral("'K'"), 1) << Resolution(aRouteur, QStringLiteral(":ATABLE"), 2);
    l << Evenements(QString(), QStringLiteral("                    "))
      << QStringLiteral("                    END")
      << QStringLiteral("                END")
      << QStringLiteral("            END")
      << QStringLiteral("          END")
      << QStringLiteral("END");
    return l;
}

qint32 Entier(TDbConnection *aCnx, const QString &aSql)
{
    TDbQuery query(aCnx);
    query.SQL() << aSql;
    query.Open();
    return query.Fields(0).AsInteger();
}

// Run as a statement of its own; a failure is no failure when the object is
// there afterwards (two sendings may make it at once).
void Cree(TDbConnection *aCnx, const QString &aInstruction, const std::function<bool()> &aExiste)
{
    try {
        TDbScript script(aCnx);
        script.ExecuteChunk(aInstruction);
    } catch (const EDbError &) {
        if (!aExiste())
            throw;
    }
}

} // namespace

QStringList MouvementAvecDefinitionsResolues(const QStringList &aLignes)
{
    QStringList lignes = aLignes;
    const QList<QPair<QString, QString>> plages = {
        {QStringLiteral("IVRO_MVT_LAME2MAG_NODE"), MouvementRouteur(TSensMouvement::LameVersMag)},
        {QStringLiteral("IVRO_MVT_MAG2LAME_NODE"), MouvementRouteur(TSensMouvement::MagVersLame)}};
    for (const auto &[nom, routeur] : plages) {
        const QString entete = QStringLiteral("CREATE PROCEDURE %1 (").arg(nom);
        qsizetype debut = -1;
        for (qsizetype i = 0; i < lignes.size() && debut < 0; ++i)
            if (lignes[i].trimmed().compare(entete, Qt::CaseInsensitive) == 0)
                debut = i;
        qsizetype fin = debut;
        while (fin >= 0 && fin < lignes.size() && !lignes[fin].startsWith(QLatin1Char('^')))
            ++fin;
        if (debut < 0 || fin >= lignes.size())
            throw EDbError(QStringLiteral("Script de mouvement inattendu : la procédure %1 est introuvable.").arg(nom));
        lignes = lignes.mid(0, debut) + ProcedurePlage(nom, routeur) + lignes.mid(fin);
    }
    return lignes;
}

QString MouvementPrepareDefinitions(TDbConnection *aCnx)
{
    const auto tableExiste = [aCnx] {
        return Entier(aCnx, QStringLiteral("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '%1'")
                                .arg(MouvementTableDefinitions))
               > 0;
    };
    const auto indexExiste = [aCnx] {
        return Entier(aCnx, QStringLiteral("SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME = '%1'").arg(KIndex)) > 0;
    };
    try {
        if (!tableExiste())
            Cree(aCnx,
                 QStringLiteral("CREATE GLOBAL TEMPORARY TABLE %1 (KTB_ID INTEGER NOT NULL, PARTIE SMALLINT NOT NULL, "
                                "ORDRE INTEGER NOT NULL, TABLE_NAME VARCHAR(255), SYNC_KEY_NAMES VARCHAR(4096), "
                                "TRIGGER_HIST_ID INTEGER, CHANNEL_ID VARCHAR(128)) ON COMMIT DELETE ROWS")
                     .arg(MouvementTableDefinitions),
                 tableExiste);
        const qint32 colonnes = Entier(
            aCnx, QStringLiteral("SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = '%1' "
                                 "AND RDB$FIELD_NAME IN ('%2')")
                      .arg(MouvementTableDefinitions, KColonnes.join(QStringLiteral("', '"))));
        if (colonnes != KColonnes.size())
            return QStringLiteral("la table %1 de cette base n'est pas celle de l'outil").arg(MouvementTableDefinitions);
        if (!indexExiste())
            Cree(aCnx,
                 QStringLiteral("CREATE INDEX %1 ON %2 (KTB_ID, PARTIE, ORDRE)").arg(KIndex, MouvementTableDefinitions),
                 indexExiste);
    } catch (const EDbError &e) {
        return e.Message();
    }
    return {};
}

QString MouvementTexteSansDefinitions(const QString &aRaison)
{
    return QStringLiteral("Table temporaire %1 indisponible (%2) : l'envoi passe par les procédures de mouvement "
                          "d'origine, plus lentes quand la base capture beaucoup de tables.")
        .arg(MouvementTableDefinitions, aRaison);
}
