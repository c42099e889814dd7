#include "CliRun.h"
#include "testdb/CatalogueFixture.h"
#include "testdb/TestDatabase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using TRun = TCliRun;

QJsonValue Json(const TRun &aRun)
{
    const QJsonDocument doc = QJsonDocument::fromJson(aRun.Out.toUtf8());
    return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
}

} // namespace

class TestCliCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void listings();
    void scripts();
    void writesNeedConfirmation();
    void gapKit();
    void dropSymdsReportsWhatWentAway();
    void joueMiniSplit();
};

void TestCliCatalogue::listings()
{
    TTestDatabase db;
    AddCatalogueFixture(db);

    TRun r = RunCli({"tables-replicantes", db.Path(), "--liste", "toutes", "--json"});
    QCOMPARE(r.Code, 0);
    const QJsonArray rows = Json(r).toArray();
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows.last().toObject().value("table_name").toString(), QStringLiteral("ZCLE2"));
    QCOMPARE(rows.last().toObject().value("cle_primaire").toString(), QStringLiteral("COL_A,COL_B"));

    r = RunCli({"tables-exclues", db.Path()});
    QCOMPARE(r.Code, 0);
    QVERIFY(r.Out.startsWith(QLatin1String("TABLE_NAME")));
    QVERIFY(r.Out.contains(QLatin1String("ZLARG_SMALL  S")));

    // Every table KTB does not list, replicated or not: said so, codes explained.
    db.Exec("CREATE GLOBAL TEMPORARY TABLE ZTEMP (N INTEGER) ON COMMIT DELETE ROWS");
    r = RunCli({"tables-exclues", db.Path(), "--liste", "toutes"});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.startsWith(QStringLiteral("Tables absentes de KTB (vues exclues), répliquées ou non")), qPrintable(r.Out));
    QVERIFY2(r.Out.contains(QRegularExpression(QStringLiteral("\nK +0 +table\n"))), qPrintable(r.Out));
    // A server without the relation type (InterBase) lists it as a table.
    QVERIFY2(r.Out.contains(QRegularExpression(InterBaseClient() ? QStringLiteral("\nZTEMP +0 +table\n")
                                                                  : QStringLiteral("\nZTEMP +5 +table temporaire \\(lignes effacées"))),
             qPrintable(r.Out));
    r = RunCli({"tables-exclues", db.Path(), "--liste", "toutes", "--json"});
    QVERIFY2(Json(r).toArray().contains(QJsonObject{{"table_name", "SYM_DATA"}, {"type_table", 0}, {"type", "table"}}),
             qPrintable(r.Out));

    r = RunCli({"liste-tables-exclues", db.Path()});
    QCOMPARE(r.Code, 0);
    QCOMPARE(r.Out.trimmed(), QStringLiteral("ZLARG_KO ZLARG_SMALL"));

    r = RunCli({"controle-longueur", db.Path(), "ZLARG_OK", "--json"});
    QCOMPARE(Json(r).toObject().value("accepte").toBool(), true);

    TTestDatabase bare(TTestDatabase::TSchema::Empty);
    r = RunCli({"liste-tables-exclues", bare.Path()});
    QCOMPARE(r.Code, 1); // the error marker is not printed as a list of names

    r = RunCli({"tables-replicantes", db.Path(), "--liste", "autres"});
    QCOMPARE(r.Code, 2);

    // A quoted name with a blank stays one name.
    db.Exec("CREATE TABLE \"ZLARGE ESPACE\" (S SMALLINT)");
    db.Exec("INSERT INTO KTB (KTB_ID, KTB_NAME, KTB_DATA) VALUES (6, 'ZLARGE ESPACE', 'S')");
    r = RunCli({"liste-tables-exclues", db.Path(), "--json"});
    QCOMPARE(r.Code, 0);
    QCOMPARE(Json(r).toObject().value("tables").toArray(),
             QJsonArray({"ZLARGE ESPACE", "ZLARG_KO", "ZLARG_SMALL"}));
    r = RunCli({"tables-exclues", db.Path(), "--json"});
    QVERIFY2(Json(r).toArray().contains(QJsonObject{{"table_name", "ZLARGE ESPACE"}, {"primary_key", "S"}}),
             qPrintable(r.Out));
}

void TestCliCatalogue::scripts()
{
    TTestDatabase db;
    AddCatalogueFixture(db);
    QTemporaryDir dir;
    const QString sortie = dir.filePath("central.sql");

    TRun r = RunCli({"script-triggers-manquants", db.Path(), "--sortie", sortie});
    QCOMPARE(r.Code, 0);
    QFile f(sortie);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    // Only what the database lacks: GENPARAM and CASHA are declared there
    // (their routers are not), so their trigger lines would fail on their keys.
    QCOMPARE(bytes.count("\r\n"), 6 + 14 + 8 - 2);
    QVERIFY(bytes.startsWith("INSERT INTO SYM_TRIGGER_ROUTER(TRIGGER_ID"));
    QVERIFY(!bytes.contains("VALUES('GENPARAM'") && !bytes.contains("VALUES('CASHA'"));
    QVERIFY(bytes.contains("VALUES('ZLARG_OK'"));

    r = RunCli({"script-triggers-manquants", db.Path()});
    QCOMPARE(r.Out.split('\n', Qt::SkipEmptyParts).size(), 26);

    QFile liste(dir.filePath("liste.txt"));
    QVERIFY(liste.open(QIODevice::WriteOnly));
    liste.write("Ticket\r\n");
    liste.close();
    r = RunCli({"script-triggers-lcl", liste.fileName(), "--json"});
    QCOMPARE(r.Code, 0);
    QCOMPARE(Json(r).toObject().value("lignes").toArray().size(), 3);

    r = RunCli({"script-triggers-lcl", dir.filePath("absente.txt")});
    QCOMPARE(r.Code, 1);

    // An empty list: said on standard error, standard output stays an empty script.
    QFile vide(dir.filePath("vide.txt"));
    QVERIFY(vide.open(QIODevice::WriteOnly));
    vide.close();
    r = RunCli({"script-triggers-lcl", vide.fileName()});
    QCOMPARE(r.Code, 0);
    QCOMPARE(r.Out, QString());
    QCOMPARE(r.Err.trimmed(), QStringLiteral("0 ligne"));
    r = RunCli({"script-triggers-lcl", vide.fileName(), "--sortie", dir.filePath("vide.sql")});
    QCOMPARE(r.Out.trimmed(), QStringLiteral("0 ligne écrite dans ") + dir.filePath("vide.sql"));
}

void TestCliCatalogue::writesNeedConfirmation()
{
    TTestDatabase db;
    const QList<QStringList> writes = {
        {"ajoute-table-replic", db.Path(), "GENPARAM", "PRM_ID"},
        {"grant-symtable", db.Path()},
        {"do-gap", db.Path()},
        {"do-push-missing", db.Path()},
        {"drop-symds", db.Path()},
    };
    for (const QStringList &args : writes) {
        const TRun r = RunCli(args);
        QVERIFY2(r.Code == 2 && r.Err.contains(QLatin1String("--oui")), qPrintable(args.first()));
    }
    QCOMPARE(db.Count("SYM_TRIGGER"), 0);
    QCOMPARE(db.Count("RDB$RELATIONS WHERE RDB$RELATION_NAME = 'SYM_DATA'"), 1);

    // A table or key column the database does not have is refused before anything is written.
    const QList<QStringList> inconnues = {{"PAS_DE_TABLE", "ID"}, {"genparam", "PRM_ID"}, {"GENPARAM", "PRM_ID,PAS_LA"}};
    for (const QStringList &t : inconnues) {
        const TRun r = RunCli({"ajoute-table-replic", db.Path(), t[0], t[1], "--oui"});
        QVERIFY2(r.Code == 1 && r.Err.contains(QStringLiteral("inconnue")), qPrintable(r.Err));
    }
    QCOMPARE(db.Count("SYM_TRIGGER"), 0);

    TRun r = RunCli({"ajoute-table-replic", db.Path(), "GENPARAM", "PRM_ID", "--oui"});
    QCOMPARE(r.Code, 0);
    QCOMPARE(db.Count("SYM_TRIGGER_ROUTER WHERE TRIGGER_ID = 'GENPARAM'"), 2);
    // Declared already: said so, nothing written.
    r = RunCli({"ajoute-table-replic", db.Path(), "GENPARAM", "PRM_ID", "--oui"});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("La table GENPARAM est déjà déclarée pour la réplication"))
                 && r.Err.contains(QStringLiteral("rien n'a été écrit")),
             qPrintable(r.Err));
    QCOMPARE(db.Count("SYM_TRIGGER_ROUTER WHERE TRIGGER_ID = 'GENPARAM'"), 2);

    // The server refuses a routing: what was written is said, and the
    // server's text stays in the JSON.
    db.Exec("CREATE EXCEPTION ROUTAGE_REFUSE 'routage refusé par le site'");
    db.Exec("CREATE TRIGGER TRG_ROUTAGE FOR SYM_TRIGGER_ROUTER BEFORE INSERT AS BEGIN EXCEPTION ROUTAGE_REFUSE; END");
    r = RunCli({"ajoute-table-replic", db.Path(), "KTB", "KTB_ID", "--oui", "--json"});
    QCOMPARE(r.Code, 1);
    QVERIFY2(Json(r).toObject().value("erreur").toString().contains(QStringLiteral("après 1 ligne(s) écrite(s)")),
             qPrintable(r.Out));
    QVERIFY2(Json(r).toObject().value("serveur").toString().contains(QStringLiteral("ROUTAGE_REFUSE")), qPrintable(r.Out));

    r = RunCli({"grant-symtable", db.Path(), "--oui", "--json"});
    QCOMPARE(r.Code, 0);
    QVERIFY(db.Count("RDB$USER_PRIVILEGES WHERE RDB$USER = 'KORVALA' AND RDB$RELATION_NAME = 'SYM_NODE'") > 0);
}

void TestCliCatalogue::gapKit()
{
    TTestDatabase db;
    TRun r = RunCli({"gap-defini", db.Path(), "--json"});
    QCOMPARE(r.Code, 0);
    QCOMPARE(Json(r).toObject().value("defini").toBool(), false);
    // The kit is optional: its absence is said as such, not as a stranger database.
    for (const QStringList &args : QList<QStringList>{{"detect-gap", db.Path()}, {"do-gap", db.Path(), "--oui"}}) {
        r = RunCli(args);
        QCOMPARE(r.Code, 1);
        QVERIFY2(r.Err.startsWith(QStringLiteral("Erreur : Kit de réparation des trous absent ou incomplet")),
                 qPrintable(r.Err));
    }

    AddGapKit(db);
    r = RunCli({"gap-defini", db.Path(), "--json"});
    QCOMPARE(Json(r).toObject().value("defini").toBool(), true);
    r = RunCli({"push-missing-defini", db.Path()});
    QCOMPARE(r.Code, 0);

    r = RunCli({"detect-gap", db.Path(), "--json"});
    QCOMPARE(r.Code, 0);
    const QJsonArray rows = Json(r).toArray();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].toObject().value("table_name").toString(), QStringLiteral("ART"));
    QVERIFY(rows[0].toObject().value("info").isNull());

    // The rows the repair procedure returns are its account: shown.
    r = RunCli({"do-gap", db.Path(), "--oui"});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.startsWith(QStringLiteral("Réparation des trous terminée : IVRO_DO_GAP a rendu 2 lignes :\nETAPE")),
             qPrintable(r.Out));
    r = RunCli({"do-gap", db.Path(), "--oui", "--json"});
    QCOMPARE(Json(r).toObject().value("lignes").toArray().at(1).toObject().value("etape").toInt(), 2);
    r = RunCli({"do-push-missing", db.Path(), "--oui"});
    QCOMPARE(r.Code, 0);
    QCOMPARE(db.Count("IVRO_GAP_TRACE"), 5);
}

void TestCliCatalogue::dropSymdsReportsWhatWentAway()
{
    TTestDatabase db;
    AddSymmetricDSObjects(db);
    db.Exec("CREATE PROCEDURE IVRO_MVT_LAME2MAG_NODE AS BEGIN END");
    TRun r = RunCli({"drop-symds", db.Path(), "--oui", "--json"});
    QCOMPARE(r.Code, 0);
    const QJsonObject o = Json(r).toObject();
    const QJsonArray retires = o.value("retires").toArray();
    QVERIFY(retires.contains(QStringLiteral("TABLE SYM_DATA")));
    QVERIFY(retires.contains(QStringLiteral("TRIGGER SYM_ON_I_FOR_GENPARAM")));
    QVERIFY(retires.contains(QStringLiteral("GENERATEUR GEN_SYM_DATA_DATA_ID")));
    QVERIFY(retires.contains(QStringLiteral("FONCTION SYM_ESCAPE")));
    QVERIFY2(retires.contains(QStringLiteral("PROCEDURE IVRO_MVT_LAME2MAG_NODE")), qPrintable(r.Out));
    QCOMPARE(o.value("restants").toArray().size(), 0);
    QCOMPARE(o.value("erreurs").toArray().size(), 0);
    QCOMPARE(db.Count("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME STARTING WITH 'IVRO_MVT_'"), 0);

    // Nothing left to remove: said so, and no failure.
    r = RunCli({"drop-symds", db.Path(), "--oui"});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(QStringLiteral("Aucun objet SymmetricDS retiré")), qPrintable(r.Out + r.Err));

    // A procedure of the site that reads SymmetricDS's tables: refused,
    // listed, nothing removed.
    TTestDatabase other;
    other.Exec("CREATE PROCEDURE P_SITE RETURNS (N INTEGER) AS BEGIN SELECT COUNT(*) FROM SYM_NODE INTO :N; END");
    r = RunCli({"drop-symds", other.Path(), "--oui"});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("Retrait refusé, rien n'a été retiré")), qPrintable(r.Err));
    QVERIFY2(r.Err.contains(QStringLiteral("  PROCEDURE P_SITE (dépend de SYM_NODE)")), qPrintable(r.Err));
    QCOMPARE(other.Count("RDB$RELATIONS WHERE RDB$RELATION_NAME = 'SYM_NODE'"), 1);
}

void TestCliCatalogue::joueMiniSplit()
{
    TTestDatabase db;
    QTemporaryDir dir;
    QFile f(dir.filePath("K.csv"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("1,NULL,0,1,NULL,NULL\r\n2,NULL,0,1,NULL,NULL\r\n");
    f.close();
    TRun r = RunCli({"joue-minisplit", f.fileName(), db.Path(), "--oui"});
    QCOMPARE(r.Code, 0);
    QCOMPARE(db.Count("K"), 2);
    r = RunCli({"joue-minisplit", f.fileName(), db.Path(), "--oui"}); // same keys again
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QLatin1String("ligne 1 : ")) && r.Err.contains(QStringLiteral("Rien n'a été chargé."))
                 && !r.Err.contains(QStringLiteral("restent")),
             qPrintable(r.Err));

    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("3,NULL,0,1,NULL,NULL\r\nGEN_ID(GENERAL_ID,-999999),NULL,0,1,NULL,NULL\r\n");
    f.close();
    r = RunCli({"joue-minisplit", f.fileName(), db.Path(), "--oui"});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("ligne 2 : « GEN_ID(GENERAL_ID » n'est pas une valeur simple")),
             qPrintable(r.Err));
    QCOMPARE(db.Count("K"), 2); // line 1 was checked, never loaded

    // A key already there at line 2: line 1 stays, and the message says so.
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("3,NULL,0,1,NULL,NULL\r\n2,NULL,0,1,NULL,NULL\r\n");
    f.close();
    r = RunCli({"joue-minisplit", f.fileName(), db.Path(), "--oui"});
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("La ligne 1, chargée avant l'erreur, le reste.")), qPrintable(r.Err));
    QCOMPARE(db.Count("K"), 3);

    QFile other(dir.filePath("k.csv"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    r = RunCli({"joue-minisplit", other.fileName(), db.Path(), "--oui"});
    QCOMPARE(r.Code, 2);
}

QTEST_GUILESS_MAIN(TestCliCatalogue)
#include "tst_cli_catalogue.moc"
