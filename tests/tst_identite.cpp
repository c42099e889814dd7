#include "DataModFixture.h"

#include "data/acces/ArretDemande.h"
#include "db/DbError.h"
#include "testdb/IdentityFixture.h"
#include "testdb/TestDatabase.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace IdentityFixture;

namespace {

void addEvent(const TTestDatabase &aDb, int aId, int aBasId, int aType, int aResult, const QString &aDate,
              bool aEnabled = true)
{
    AddKeyed(aDb, aId,
             QStringLiteral("INSERT INTO GENHISTOEVT (HEV_ID, HEV_BASID, HEV_TYPE, HEV_RESULT, HEV_DATE) "
                            "VALUES (%1, %2, %3, %4, TIMESTAMP '%5')").arg(aId).arg(aBasId).arg(aType).arg(aResult).arg(aDate),
             aEnabled);
}

void addPassageParam(const TTestDatabase &aDb, int aId, int aPos)
{
    AddKeyed(aDb, aId, QStringLiteral("INSERT INTO GENPARAM (PRM_ID, PRM_TYPE, PRM_CODE, PRM_INTEGER, PRM_FLOAT, "
                                      "PRM_POS) VALUES (%1, 80, 2, 9, 1.0, %2)").arg(aId).arg(aPos));
}

} // namespace

class TestIdentite : public QObject
{
    Q_OBJECT

private slots:
    void listeBases();
    void ivroMvtListeBases();
    void ivroMvtListeBasesWithoutEngine();
    void nomPourNous();
    void nomPourNousBytes_data();
    void nomPourNousBytes();
    void nomPourNousToutOuRien_data();
    void nomPourNousToutOuRien();
    void infosPassage_data();
    void infosPassage();
    void majGenparamMonitor_data();
    void majGenparamMonitor();
    void korvalaVersion();
    void cleanMagcode();

private:
    TDataModFixture FDataMod;
};

void TestIdentite::listeBases()
{
    TTestDatabase db;
    AddSites(db);
    const TBases bases = DataMod->Replication.ListeBases(db.Path());
    // Disabled key, empty and NULL GUID left out; ordered by identifier as a number.
    QStringList got;
    for (const TBase &b : bases)
        got << QStringLiteral("%1|%2|%3|%4").arg(b.BAS_IDENT).arg(b.BAS_SENDER, b.SYM_NODE, b.BAS_CENTRALE);
    QCOMPARE(got, QStringList({QStringLiteral("0|SERVEUR-CENTRAL|s-central|"), QStringLiteral("5|Portable-Sync|p-s|"),
                               QStringLiteral("12|MAGASIN-PARIS|magasin-paris|")}));
    QCOMPARE(bases[2].BAS_GUID, QStringLiteral("{00000000-0000-0000-0000-000000000102}"));
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.ListeBases(QString()));
}

void TestIdentite::ivroMvtListeBases()
{
    TTestDatabase db;
    AddSites(db);
    addEvent(db, 601, 102, 2998, 1, QStringLiteral("2026-12-01 10:00:00"));
    addEvent(db, 602, 102, 2998, 1, QStringLiteral("2026-12-03 11:00:00"));
    addEvent(db, 603, 102, 2998, 0, QStringLiteral("2026-12-05 12:00:00"));  // failed
    addEvent(db, 604, 102, 2997, 1, QStringLiteral("2026-12-06 12:00:00"));  // another kind
    addEvent(db, 605, 102, 2998, 1, QStringLiteral("2026-12-07 12:00:00"), false); // disabled
    addEvent(db, 606, 103, 2998, 1, QStringLiteral("2026-11-30 09:15:00"));
    db.Exec(QStringLiteral("INSERT INTO SYM_NODE_HOST (NODE_ID, HOST_NAME, LAST_RESTART_TIME, CREATE_TIME) "
                           "VALUES ('magasin-paris', 'h', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)"));

    const TIvroBases bases = DataMod->Replication.IvroMvtListeBases(db.Path());
    QCOMPARE(bases.size(), 3);
    QCOMPARE(bases[0].BAS_SENDER, QStringLiteral("SERVEUR-CENTRAL"));
    QVERIFY(bases[0].LAST_REPLIC.IsZero());
    QCOMPARE(bases[0].NODE_ID, QString());
    QCOMPARE(bases[1].CAL_SYMNODE, QStringLiteral("p-s"));
    QCOMPARE(bases[1].LAST_REPLIC, TDateTime::FromDate(2026, 11, 30, 9, 15));
    QCOMPARE(bases[2].BAS_IDENT, 12);
    QCOMPARE(bases[2].CAL_SYMNODE, QStringLiteral("magasin-paris"));
    QCOMPARE(bases[2].NODE_ID, QStringLiteral("magasin-paris"));
    QCOMPARE(bases[2].LAST_REPLIC, TDateTime::FromDate(2026, 12, 3, 11));
    QCOMPARE(bases[2].BAS_CENTRALE, QString());
}

void TestIdentite::ivroMvtListeBasesWithoutEngine()
{
    TTestDatabase db(TTestDatabase::TSchema::RetailOnly);
    AddSites(db);
    QCOMPARE(DataMod->Replication.ListeBases(db.Path()).size(), 3);
    try {
        DataMod->Replication.IvroMvtListeBases(db.Path());
        QFAIL("a database without the engine must be refused");
    } catch (const EDbError &e) {
        QCOMPARE(e.Message(), QStringLiteral("Ivro n'est pas installé sur cette base"));
    }
    // Before the engine phase, the server's own error comes through.
    TTestDatabase empty(TTestDatabase::TSchema::Empty);
    try {
        DataMod->Replication.IvroMvtListeBases(empty.Path());
        QFAIL("a database without GENBASES must fail");
    } catch (const EDbError &e) {
        QVERIFY2(e.Message().contains(QLatin1String("GENBASES")), qPrintable(e.Message()));
    }
}

void TestIdentite::nomPourNous()
{
    TTestDatabase db;
    AddSites(db);
    QCOMPARE(DataMod->Replication.GetNomPourNous(db.Path()), QStringLiteral("dossier test"));

    const QString active = QStringLiteral("GENBASES JOIN K ON K_ID = BAS_ID AND K_ENABLED = 1 WHERE BAS_ID <> 0");
    const QString guids = QStringLiteral("SELECT BAS_GUID FROM ") + active + QStringLiteral(" ORDER BY BAS_ID");
    const QStringList before = db.Rows(guids);

    DataMod->Replication.SetNomPourNous(db.Path(), QStringLiteral("Paris Nord é"));
    QCOMPARE(DataMod->Replication.GetNomPourNous(db.Path()), QStringLiteral("paris nord é"));
    // What a question shows before the write is what is stored.
    QCOMPARE(TOperationsReplication::NomPourNousStocke(QStringLiteral("Paris Nord é")), QStringLiteral("PARIS NORD é"));
    // Active rows but row 0 get the name (upper-cased A to Z only) and a fresh GUID each.
    QCOMPARE(db.Count(active + QStringLiteral(" AND BAS_NOMPOURNOUS = 'PARIS NORD é'")), 5);
    QCOMPARE(db.Scalar(QStringLiteral("SELECT BAS_NOMPOURNOUS FROM GENBASES WHERE BAS_ID = 104")).toString(),
             QStringLiteral("DOSSIER TEST"));
    QVERIFY(db.Scalar(QStringLiteral("SELECT BAS_NOMPOURNOUS FROM GENBASES WHERE BAS_ID = 0")).isNull());

    const QRegularExpression guid(QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    const QStringList first = db.Rows(guids);
    DataMod->Replication.SetNomPourNous(db.Path(), QStringLiteral("Paris Nord"));
    const QStringList second = db.Rows(guids);
    QCOMPARE(first.size(), 5);
    QCOMPARE(QSet<QString>(first.begin(), first.end()).size(), 5);
    for (int i = 0; i < first.size(); ++i) {
        QVERIFY2(guid.match(first[i]).hasMatch(), qPrintable(first[i]));
        QVERIFY(first[i] != before[i]);
        QVERIFY(second[i] != first[i]);
    }
}

void TestIdentite::nomPourNousBytes_data()
{
    QTest::addColumn<QString>("charSet");
    QTest::addColumn<QByteArray>("stored");
    // "Créteil Sud €" upper-cased A to Z only, in each database's own bytes.
    QTest::newRow("NONE") << "NONE" << QByteArray("43 52 E9 54 45 49 4C 20 53 55 44 20 80");
    QTest::newRow("WIN1252") << "WIN1252" << QByteArray("43 52 E9 54 45 49 4C 20 53 55 44 20 80");
    QTest::newRow("UTF8") << "UTF8" << QByteArray("43 52 C3 A9 54 45 49 4C 20 53 55 44 20 E2 82 AC");
}

void TestIdentite::nomPourNousBytes()
{
    QFETCH(QString, charSet);
    QFETCH(QByteArray, stored);
    TTestDatabase db(TTestDatabase::TSchema::Full, charSet);
    AddSites(db);
    DataMod->Replication.SetNomPourNous(db.Path(), QStringLiteral("Créteil Sud €"));
    QCOMPARE(db.StoredHex(QStringLiteral("BAS_NOMPOURNOUS"), QStringLiteral("GENBASES WHERE BAS_ID = 101")), stored);
    // Read back as the other programs of the site read it.
    QCOMPARE(DataMod->Replication.GetNomPourNous(db.Path()), QStringLiteral("créteil sud €"));
}

// Every site renamed or none: a failure at the third site, or the
// operator's stop, leaves no site renamed.
void TestIdentite::nomPourNousToutOuRien_data()
{
    QTest::addColumn<bool>("arret");
    QTest::addColumn<QString>("message");
    QTest::newRow("échec au troisième site") << false << "refus de test";
    QTest::newRow("arrêt demandé") << true << "aucun site n'a été renommé";
}

void TestIdentite::nomPourNousToutOuRien()
{
    QFETCH(bool, arret);
    QFETCH(QString, message);
    TTestDatabase db;
    AddSites(db);
    if (!arret)
        db.Exec(QStringLiteral("CREATE EXCEPTION E_REFUS 'refus de test'\n^\n"
                               "CREATE GENERATOR G_REFUS\n^\n"
                               "CREATE TRIGGER T_REFUS FOR GENBASES BEFORE UPDATE AS BEGIN "
                               "IF (GEN_ID(G_REFUS, 1) = 3) THEN EXCEPTION E_REFUS; END\n^\n"));
    const QString noms = QStringLiteral("SELECT BAS_ID, BAS_NOMPOURNOUS, BAS_GUID FROM GENBASES ORDER BY BAS_ID");
    const QStringList avant = db.Rows(noms);
    if (arret)
        ArretDemande::Demander();
    QString erreur;
    try {
        DataMod->Replication.SetNomPourNous(db.Path(), QStringLiteral("Paris Nord"));
    } catch (const EDbError &e) {
        erreur = e.Message();
    }
    ArretDemande::Oublier();
    QVERIFY2(erreur.contains(message), qPrintable(erreur));
    QCOMPARE(db.Rows(noms), avant);
}

void TestIdentite::infosPassage_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<int>("basId");
    QTest::addColumn<int>("etat");
    QTest::newRow("identity and passage") << "" << 102 << 3;
    QTest::newRow("two passage parameters")
        << "INSERT INTO K (K_ID, K_ENABLED) VALUES (202, 1)\n^\n"
           "INSERT INTO GENPARAM (PRM_ID, PRM_TYPE, PRM_CODE, PRM_INTEGER, PRM_POS) VALUES (202, 80, 2, 4, 102)"
        << 102 << 0;
    QTest::newRow("passage parameter disabled") << "UPDATE K SET K_ENABLED = 0 WHERE K_ID = 201" << 102 << 0;
    QTest::newRow("two sites match the generator")
        << "INSERT INTO GENBASES (BAS_ID, BAS_IDENT, BAS_SENDER) VALUES (107, '12', 'DOUBLE')" << 0 << 0;
    QTest::newRow("no site matches the generator") << "UPDATE GENPARAMBASE SET PAR_STRING = '99'" << 0 << 0;
}

void TestIdentite::infosPassage()
{
    QFETCH(QString, extra);
    QFETCH(int, basId);
    QFETCH(int, etat);
    TTestDatabase db;
    AddSites(db);
    AddPassage(db);
    if (!extra.isEmpty())
        db.Exec(extra);

    const TInfosTavenIVRO infos = DataMod->Replication.Get_Infos_Passage_TAVEN2IVRO(db.Path());
    QCOMPARE(infos.BAS_ID, basId);
    QCOMPARE(infos.Etat, etat);
    if (basId) {
        QCOMPARE(infos.SENDER, QStringLiteral("MAGASIN-PARIS"));
        QCOMPARE(infos.GUID, QStringLiteral("{00000000-0000-0000-0000-000000000102}"));
        QCOMPARE(infos.BAS_MAGID, 501);
        QCOMPARE(infos.Dossier, QStringLiteral("DOSSIER TEST"));
        QCOMPARE(infos.DatePassage, etat ? TDateTime::FromDays(46000.5) : TDateTime());
    } else {
        QCOMPARE(infos.SENDER, QString());
        QCOMPARE(infos.GUID, QString());
        QCOMPARE(infos.BAS_MAGID, 0);
        QCOMPARE(infos.Dossier, QString());
        QVERIFY(infos.DatePassage.IsZero());
    }
    QCOMPARE(DataMod->Replication.Get_Infos_Passage_TAVEN2IVRO(QString()).BAS_ID, 0);
}

void TestIdentite::majGenparamMonitor_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("after"); // PRM_ID|PRM_INTEGER of every parameter
    QTest::newRow("one passage parameter") << "" << true << "201|7 203|9";
    QTest::newRow("none") << "DELETE FROM GENPARAM WHERE PRM_ID = 201" << false << "203|9";
    QTest::newRow("two") << "INSERT INTO K (K_ID, K_ENABLED) VALUES (202, 1)\n^\n"
                            "INSERT INTO GENPARAM (PRM_ID, PRM_TYPE, PRM_CODE, PRM_INTEGER, PRM_POS) "
                            "VALUES (202, 80, 2, 3, 102)" << false << "201|3 202|3 203|9";
    // Site 0's parameter is not ours to change when the local site is unknown.
    QTest::newRow("local site unknown") << "UPDATE GENPARAMBASE SET PAR_STRING = '99'" << false << "201|3 203|9";
}

void TestIdentite::majGenparamMonitor()
{
    QFETCH(QString, extra);
    QFETCH(bool, written);
    QFETCH(QString, after);
    TTestDatabase db;
    AddSites(db);
    AddPassage(db);
    addPassageParam(db, 203, 0);
    if (!extra.isEmpty())
        db.Exec(extra);

    QCOMPARE(DataMod->Replication.MAJ_GENPARAM_Monitor(db.Path(), 7), written);
    QCOMPARE(db.Rows(QStringLiteral("SELECT PRM_ID, PRM_INTEGER FROM GENPARAM ORDER BY PRM_ID")).join(' '), after);
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.MAJ_GENPARAM_Monitor(QString(), 7));
}

void TestIdentite::korvalaVersion()
{
    TTestDatabase db;
    QCOMPARE(DataMod->Replication.GetKorvalaVersion(db.Path()), QString());
    db.Exec(QStringLiteral("INSERT INTO GENVERSION (VER_ID, VER_VERSION, VER_DATE) VALUES (1, '15.2.0.4', '2025-01-10')"));
    db.Exec(QStringLiteral("INSERT INTO GENVERSION (VER_ID, VER_VERSION, VER_DATE) VALUES (2, '16.0.1.2', '2026-06-01')"));
    db.Exec(QStringLiteral("INSERT INTO GENVERSION (VER_ID, VER_VERSION, VER_DATE) VALUES (3, '15.9.9.9', '2025-12-31')"));
    QCOMPARE(DataMod->Replication.GetKorvalaVersion(db.Path()), QStringLiteral("16.0.1.2"));
    QCOMPARE(DataMod->Replication.GetKorvalaVersion(QString()), QString());
}

void TestIdentite::cleanMagcode()
{
    TTestDatabase db;
    DataMod->Replication.CLEAN_MAGCODE(db.Path()); // no shop: nothing to do
    AddKeyed(db, 501, QStringLiteral("INSERT INTO GENMAGASIN (MAG_ID, MAG_CODE, MAG_NOM) VALUES (501, 'M01', 'Paris')"));
    AddKeyed(db, 502, QStringLiteral("INSERT INTO GENMAGASIN (MAG_ID, MAG_CODE, MAG_NOM) VALUES (502, 'M02', 'Lyon')"),
             false);
    db.Exec(QStringLiteral("INSERT INTO K (K_ID, K_VERSION, K_ENABLED) VALUES (503, 1, 1)")); // an unrelated key row

    DataMod->Replication.CLEAN_MAGCODE(db.Path());
    QCOMPARE(db.Rows(QStringLiteral("SELECT MAG_ID, MAG_CODE, MAG_NOM FROM GENMAGASIN ORDER BY MAG_ID")),
             QStringList({QStringLiteral("501||Paris"), QStringLiteral("502||Lyon")}));
    // Every shop marked as changed, whatever its key row's state; other rows untouched.
    QVERIFY(KVersion(db, 501) > 1);
    QVERIFY(KVersion(db, 502) > 1);
    QCOMPARE(KVersion(db, 503), 1);
    QCOMPARE(db.Scalar(QStringLiteral("SELECT K_ENABLED FROM K WHERE K_ID = 502")).toInt(), 0);
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.CLEAN_MAGCODE(QString()));
}

QTEST_GUILESS_MAIN(TestIdentite)
#include "tst_identite.moc"
