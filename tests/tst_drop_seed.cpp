#include "DataModFixture.h"
#include "data/acces/ArretDemande.h"
#include "data/replication/SeedLine.h"
#include "db/DbError.h"
#include "testdb/CatalogueFixture.h"
#include "testdb/TestDatabase.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString SymObjects = QStringLiteral(
    "SELECT COUNT(*) FROM ("
    " SELECT RDB$RELATION_NAME N FROM RDB$RELATIONS WHERE RDB$RELATION_NAME STARTING WITH 'SYM_'"
    " UNION ALL SELECT RDB$TRIGGER_NAME FROM RDB$TRIGGERS WHERE RDB$TRIGGER_NAME STARTING WITH 'SYM_'"
    "   OR RDB$TRIGGER_NAME STARTING WITH 'TRG_SYM_'"
    " UNION ALL SELECT RDB$GENERATOR_NAME FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME CONTAINING 'SYM_'"
    " UNION ALL SELECT RDB$FUNCTION_NAME FROM RDB$FUNCTIONS WHERE RDB$FUNCTION_NAME STARTING WITH 'SYM_')");

} // namespace

class TestDropSeed : public QObject
{
    Q_OBJECT

private slots:
    void dropSymds_data();
    void dropSymds();
    void dropSymdsUnreachableDatabase();
    void dropSymdsArrete();
    void ligneDeValeurs_data();
    void ligneDeValeurs();
    void dropSymdsRefusedWhenOthersDepend();
    void joueMiniSplit_data();
    void joueMiniSplit();

private:
    TDataModFixture FDataMod;
};

void TestDropSeed::dropSymds_data()
{
    QTest::addColumn<int>("schema");
    QTest::addColumn<bool>("captureInPlace");
    QTest::addColumn<bool>("afterSending"); // the movement procedures installed
    QTest::newRow("SymmetricDS in place, capturing")
        << int(TTestDatabase::TSchema::Full) << true << false;
    QTest::newRow("after a sending") << int(TTestDatabase::TSchema::Full) << true << true;
    QTest::newRow("SymmetricDS tables only") << int(TTestDatabase::TSchema::Full) << false << false;
    QTest::newRow("no SymmetricDS at all") << int(TTestDatabase::TSchema::RetailOnly) << false << false;
}

void TestDropSeed::dropSymds()
{
    QFETCH(int, schema);
    QFETCH(bool, captureInPlace);
    QFETCH(bool, afterSending);
    TTestDatabase db(static_cast<TTestDatabase::TSchema>(schema));
    if (captureInPlace) {
        AddSymmetricDSObjects(db);
        db.Exec(QStringLiteral("INSERT INTO GENPARAM (PRM_ID, PRM_TYPE) VALUES (1, 1)"));
        QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 1);
        QVERIFY(DataMod->Replication.ListeObjetsSymmetricDS(db.Path()).contains(QStringLiteral("FONCTION SYM_HEX")));
    }
    if (afterSending) {
        QTemporaryDir dir;
        QVERIFY(DataMod->Mouvement.InstallMvtProcedures(db.Path(), dir.path() + QLatin1Char('/')));
        // The lock table a sending leaves, with its node's row.
        db.Exec(QStringLiteral("CREATE TABLE %1 (NODE_ID VARCHAR(50) NOT NULL PRIMARY KEY, DEBUT TIMESTAMP)")
                    .arg(MouvementTableVerrou));
        db.Exec(QStringLiteral("INSERT INTO %1 (NODE_ID) VALUES ('mag-001')").arg(MouvementTableVerrou));
        QVERIFY(DataMod->Replication.ListeObjetsSymmetricDS(db.Path()).contains(QStringLiteral("TABLE ") + MouvementTableVerrou));
        QVERIFY(DataMod->Replication.ListeObjetsSymmetricDS(db.Path()).contains(QStringLiteral("TABLE ") + MouvementTableDefinitions));
    }

    const TOperationsReplication::TDropSymdsRapport rapport = DataMod->Replication.DROP_SYMDS(db.Path());
    QVERIFY2(rapport.Erreurs.isEmpty(), qPrintable(rapport.Erreurs.join(QLatin1Char('\n'))));
    QCOMPARE(rapport.Dependances, QStringList());
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME STARTING WITH 'IVRO_MVT_'")), 0);
    QCOMPARE(db.Count(QStringLiteral("RDB$RELATIONS WHERE RDB$RELATION_NAME STARTING WITH 'IVRO_MVT_'")), 0);
    // Every connection definition of the removal is gone.
    for (const TConnectionDef &def : DataMod->Acces.Definitions())
        QVERIFY(def.Name != SysdbaRef(db.Path()));

    QCOMPARE(db.Scalar(SymObjects).toInt(), 0);
    QCOMPARE(DataMod->Replication.ListeObjetsSymmetricDS(db.Path()), QStringList());
    // The business tables stay, and they no longer capture anything.
    db.Exec(QStringLiteral("INSERT INTO GENPARAM (PRM_ID, PRM_TYPE) VALUES (2, 1)"));
    QCOMPARE(db.Count(QStringLiteral("GENPARAM")), captureInPlace ? 2 : 1);

    // The script is left beside the program, as carried.
    QFile written(QCoreApplication::applicationDirPath() + QStringLiteral("/ drop_symds.sql"));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QFile resource(QStringLiteral(":/drop_symds"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), resource.readAll());
}

void TestDropSeed::dropSymdsUnreachableDatabase()
{
    const TOperationsReplication::TDropSymdsRapport rapport =
        DataMod->Replication.DROP_SYMDS(TTestDatabase::Folder() + QStringLiteral("absente.fdb"));
    QCOMPARE(rapport.ChunksExecutes, 0);
    // The script and both table drops could not run: each says so.
    QCOMPARE(rapport.Erreurs.size(), 3);
}

// A stop asked before the first statement: nothing is taken away, and the
// report says it stopped, not that it failed.
void TestDropSeed::dropSymdsArrete()
{
    TTestDatabase db;
    const QStringList avant = DataMod->Replication.ListeObjetsSymmetricDS(db.Path());
    QVERIFY(!avant.isEmpty());
    ArretDemande::Demander();
    const TOperationsReplication::TDropSymdsRapport rapport = DataMod->Replication.DROP_SYMDS(db.Path());
    ArretDemande::Oublier();
    QVERIFY(rapport.Interrompu);
    QCOMPARE(rapport.Erreurs, QStringList());
    QCOMPARE(DataMod->Replication.ListeObjetsSymmetricDS(db.Path()), avant);
}

void TestDropSeed::ligneDeValeurs_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("refusal"); // "" when accepted, else a piece of the reason

    QTest::newRow("numbers") << "1, -2, +3.50, .5, 6., 1e-3, 2E+10" << "";
    QTest::newRow("texts, doubled quote, blanks") << " 'l''un' ,'', 'a,b'  " << "";
    QTest::newRow("q-texts") << "q'{a}b'c}', Q'(x)', q'[y]', q'<z>', q'!it's!', q'#(#'" << "";
    QTest::newRow("NULL and typed dates")
        << "NULL, null, DATE '2024-01-31', time '12:00:00', TIMESTAMP'2024-01-31 12:00:00'" << "";
    QTest::newRow("a generator call") << "GEN_ID(GENERAL_ID,-999999),1" << "« GEN_ID(GENERAL_ID »";
    QTest::newRow("a sub-select") << "1,(SELECT MAX(K_ID) FROM K)" << "« (SELECT MAX(K_ID) FROM K) »";
    QTest::newRow("a context variable") << "CURRENT_TIMESTAMP" << "n'est pas une valeur simple";
    QTest::newRow("a second statement") << "1); DELETE FROM K WHERE (1=1" << "« ); DELETE FROM K WHERE (1=1 »";
    QTest::newRow("text glued to an expression") << "'a' || (SELECT 1 FROM K)" << "une virgule est attendue";
    QTest::newRow("a q-text does not hide what follows") << "q'{a}' || 'b'" << "une virgule est attendue";
    QTest::newRow("a comment") << "1 -- x" << "une virgule est attendue";
    QTest::newRow("arithmetic") << "1-1" << "une virgule est attendue";
    QTest::newRow("a number glued to a name") << "1E" << "n'est pas une valeur simple";
    QTest::newRow("unterminated text") << "1,'abc" << "sans apostrophe de fin";
    QTest::newRow("unterminated q-text") << "q'{abc}" << "sans fin";
    QTest::newRow("blank q delimiter") << "q' a '" << "délimiteur";
    QTest::newRow("empty line") << "  " << "ligne vide";
    QTest::newRow("missing value") << "1,,2" << "valeur manquante";
    QTest::newRow("trailing comma") << "1," << "valeur manquante";
    QTest::newRow("two values, no comma") << "1 2" << "« 2 » : une virgule";
    QTest::newRow("a date keyword alone") << "DATE" << "n'est pas une valeur simple";
    QTest::newRow("NULL as a prefix") << "NULLIF(1,1)" << "n'est pas une valeur simple";
}

void TestDropSeed::ligneDeValeurs()
{
    QFETCH(QString, line);
    QFETCH(QString, refusal);
    const QString lu = RefusLigneDeValeurs(line);
    if (refusal.isEmpty())
        QVERIFY2(lu.isEmpty(), qPrintable(lu));
    else
        QVERIFY2(lu.contains(refusal), qPrintable(lu));
}

// Objects outside SymmetricDS that depend on it would stop the removal
// half-way: they are listed, and nothing at all is removed.
void TestDropSeed::dropSymdsRefusedWhenOthersDepend()
{
    TTestDatabase db;
    AddSymmetricDSObjects(db);
    QTemporaryDir dir;
    QVERIFY(DataMod->Mouvement.InstallMvtProcedures(db.Path(), dir.path() + QLatin1Char('/')));
    db.Exec(QStringLiteral(
        "CREATE PROCEDURE P_SITE RETURNS (N INTEGER) AS BEGIN SELECT COUNT(*) FROM SYM_DATA INTO :N; SUSPEND; END\n^\n"
        "CREATE PROCEDURE P_APPEL AS BEGIN EXECUTE PROCEDURE IVRO_MVT_LAME2MAG_NODE(NULL, NULL, NULL); END\n^\n"
        "CREATE TRIGGER TRG_GENPARAM_TRACE FOR GENPARAM AFTER INSERT AS BEGIN "
        "INSERT INTO SYM_DATA (TABLE_NAME, EVENT_TYPE, TRIGGER_HIST_ID) VALUES ('GENPARAM', 'I', 1); END\n^\n"
        "CREATE TABLE MAG_NOEUD (MAG_ID INTEGER NOT NULL PRIMARY KEY, NODE_ID VARCHAR(50),"
        " CONSTRAINT FK_MAG_NOEUD FOREIGN KEY (NODE_ID) REFERENCES SYM_NODE (NODE_ID))\n^\n"));
    const QStringList avant = DataMod->Replication.ListeObjetsSymmetricDS(db.Path());

    const TOperationsReplication::TDropSymdsRapport rapport = DataMod->Replication.DROP_SYMDS(db.Path());
    QCOMPARE(rapport.Dependances,
             (QStringList{"CLE ETRANGERE FK_MAG_NOEUD (table MAG_NOEUD) (dépend de SYM_NODE)",
                          "PROCEDURE P_APPEL (dépend de IVRO_MVT_LAME2MAG_NODE)",
                          "PROCEDURE P_SITE (dépend de SYM_DATA)",
                          "TRIGGER TRG_GENPARAM_TRACE (dépend de SYM_DATA)"}));
    QCOMPARE(rapport.Erreurs, QStringList());
    QCOMPARE(rapport.ChunksExecutes, 0);
    QCOMPARE(DataMod->Replication.ListeObjetsSymmetricDS(db.Path()), avant);
    QCOMPARE(db.Count(QStringLiteral("RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME STARTING WITH 'IVRO_MVT_'")), 4);
}

void TestDropSeed::joueMiniSplit_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("rows"); // of K, or of GENPARAM for GENPARAM.csv
    QTest::addColumn<QString>("motif");    // the start of why it stopped

    const QByteArray three = "1,NULL,0,1,NULL,NULL\r\n2,NULL,0,1,NULL,NULL\r\n3,NULL,0,1,NULL,NULL\r\n";
    QTest::newRow("K.csv, three lines") << "K.csv" << three << true << QStringList{"1", "2", "3"} << "";
    QTest::newRow("k.csv is not the key file") << "k.csv" << three << false << QStringList() << "le fichier doit";
    QTest::newRow("K.CSV is not the key file") << "K.CSV" << three << false << QStringList() << "le fichier doit";
    QTest::newRow("other name") << "MAG.csv" << three << false << QStringList() << "le fichier doit";
    QTest::newRow("empty file") << "K.csv" << QByteArray() << false << QStringList() << "fichier vide";
    // Every line is checked before the first is loaded.
    QTest::newRow("empty third line: nothing loaded")
        << "K.csv" << QByteArray("1,NULL,0,1,NULL,NULL\n2,NULL,0,1,NULL,NULL\n\n4,NULL,0,1,NULL,NULL\n") << false
        << QStringList() << "ligne 3 : ligne vide";
    QTest::newRow("duplicate key stops there")
        << "K.csv" << QByteArray("1,NULL,0,1,NULL,NULL\n1,NULL,0,1,NULL,NULL\n2,NULL,0,1,NULL,NULL\n") << false
        << QStringList{"1"} << "ligne 2 : violation of PRIMARY or UNIQUE KEY";
    QTest::newRow("a second statement is not run")
        << "K.csv" << QByteArray("1,NULL,0,1,NULL,NULL\n2,NULL,0,1,NULL,NULL); DELETE FROM K WHERE (1=1\n") << false
        << QStringList() << "ligne 2 : ";
    QTest::newRow("a comment does not cut the statement")
        << "K.csv" << QByteArray("1,NULL,0,1,NULL,NULL) -- \n") << false << QStringList() << "ligne 1 : ";
    QTest::newRow("the key generator is not rewound")
        << "K.csv" << QByteArray("GEN_ID(GENERAL_ID,-999999),NULL,0,1,NULL,NULL\n") << false << QStringList()
        << "ligne 1 : « GEN_ID(GENERAL_ID »";
    QTest::newRow("no table is copied by a sub-select")
        << "GENPARAM.csv" << QByteArray("7,1,2,(SELECT LIST(RDB$RELATION_NAME) FROM RDB$RELATIONS),NULL,NULL,NULL,NULL,NULL\n")
        << false << QStringList() << "ligne 1 : « (SELECT LIST(RDB$RELATION_NAME) FROM RDB";
    QTest::newRow("GENPARAM.csv, text with colon, semicolon and quote")
        << "GENPARAM.csv"
        << QByteArray("7,1,2,'http://h:1/a;b','l''un',NULL,NULL,NULL,NULL\n8,1,3,'-- pas un commentaire',NULL,5,1.5,NULL,NULL")
        << true << QStringList{"7|http://h:1/a;b|l'un", "8|-- pas un commentaire|"} << "";
    QTest::newRow("q-texts are texts, whatever they hold")
        << "GENPARAM.csv" << QByteArray("9,1,2,q'{a'); DELETE FROM K; --}',q'!it's!',NULL,NULL,NULL,NULL\n") << true
        << QStringList{"9|a'); DELETE FROM K; --|it's"} << "";
}

void TestDropSeed::joueMiniSplit()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(bool, result);
    QFETCH(QStringList, rows);
    QFETCH(QString, motif);

    TTestDatabase db;
    QTemporaryDir dir;
    QFile f(dir.filePath(fileName));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();

    QString lu;
    int chargees = -1;
    QCOMPARE(DataMod->Replication.Joue_MiniSplit(f.fileName(), db.Path(), &lu, &chargees), result);
    QVERIFY2(motif.isEmpty() ? lu.isEmpty() : lu.startsWith(motif), qPrintable(lu));
    QCOMPARE(db.Scalar(QStringLiteral("SELECT GEN_ID(GENERAL_ID, 0) FROM RDB$DATABASE")).toLongLong(), 1000000);
    const QString query = fileName == QLatin1String("GENPARAM.csv")
                              ? QStringLiteral("SELECT PRM_ID, PRM_INFO, PRM_STRING FROM GENPARAM ORDER BY PRM_ID")
                              : QStringLiteral("SELECT K_ID FROM K ORDER BY K_ID");
    QCOMPARE(db.Rows(query), rows);
    QCOMPARE(chargees, int(rows.size())); // what stays is what it says it loaded
}

QTEST_GUILESS_MAIN(TestDropSeed)
#include "tst_drop_seed.moc"
