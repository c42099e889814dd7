#include "DataModFixture.h"
#include "EnregistreurMoteur.h"
#include "PlantedLink.h"

#include "common/UWMI.h"
#include "common/uCommun.h"
#include "data/acces/ArretDemande.h"
#include "db/DbError.h"
#include "testdb/IdentityFixture.h"
#include "testdb/TestDatabase.h"

#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace IdentityFixture;

namespace {

QByteArray ReadAll(const QString &aPath)
{
    QFile file(aPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

QByteArray CrLf(const QStringList &aLines)
{
    return (aLines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1();
}

// The central server's database: business tables listed in KTB (one too
// wide for replication), a CASH table, and the site rows.
void AddCentralTables(const TTestDatabase &aDb)
{
    aDb.Exec(QStringLiteral("CREATE TABLE CASHTICKET (TIC_ID INTEGER NOT NULL PRIMARY KEY, TIC_LIB VARCHAR(40))"));
    aDb.Exec(QStringLiteral("INSERT INTO KTB (KTB_ID, KTB_NAME, KTB_DATA) VALUES (1, 'GENPARAM', 'PRM_ID,PRM_TYPE')"));
    aDb.Exec(QStringLiteral("INSERT INTO KTB (KTB_ID, KTB_NAME, KTB_DATA) VALUES (3, 'ZLARG_KO', 'ID')"));
    AddSites(aDb);
}

// A central node's configuration aNom of the database aBase, the engine's
// folder aSymDir.
TDossierInfos InfosMaitre(const QString &aNom, const QString &aSymDir, const QString &aBase)
{
    TDossierInfos infos;
    infos.Init();
    infos.Nom = aNom;
    infos.SymDir = aSymDir;
    infos.HTTPPort = 30421;
    infos.DatabaseFile = aBase;
    return infos;
}

// One line per field, the sites as IDENT:SENDER:NODE:CENTRALE:GUID.
QString Decrit(const TDossierInfos &aInfos)
{
    QStringList bases;
    for (const TBase &b : aInfos.ListBases)
        bases << QStringLiteral("%1:%2:%3:%4:%5")
                     .arg(QString::number(b.BAS_IDENT), b.BAS_SENDER, b.SYM_NODE, b.BAS_CENTRALE, b.BAS_GUID);
    return QStringList{QStringLiteral("Version=") + aInfos.Version,
                       QStringLiteral("Url=") + aInfos.RegistrationUrl,
                       QStringLiteral("Ident=") + QString::number(aInfos.BAS_IDENT),
                       QStringLiteral("General=") + aInfos.GENERAL_ID,
                       QStringLiteral("Site=") + aInfos.BAS_GUID + QLatin1Char('|') + aInfos.BAS_SENDER +
                           QLatin1Char('|') + aInfos.BAS_PLAGE,
                       QStringLiteral("Nom=") + aInfos.Nom,
                       QStringLiteral("Isok=") + (aInfos.Isok ? QStringLiteral("oui") : QStringLiteral("non")),
                       QStringLiteral("Exclues=") + aInfos.TablesExclues,
                       QStringLiteral("Bases=") + bases.join(QLatin1Char(','))}
        .join(QLatin1Char('\n'));
}

QString Guid(int aId)
{
    return QStringLiteral("{00000000-0000-0000-0000-000000000%1}").arg(aId);
}

} // namespace

class TestNoeud : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void maitre_data();
    void maitre();
    void maitreVersions_data();
    void maitreVersions();
    void maitreNomRefuse();
    void scriptCentralSousIsql();
    void ouverture_data();
    void ouverture();
    void ouvertureBaseNone();
    void installationBase_data();
    void installationBase();
    void maitreValeursRefusees_data();
    void maitreValeursRefusees();
    void maitreSansEngines();
    void liensPlantes();
    void dossierMoteurOuvert_data();
    void dossierMoteurOuvert();
    void installationBaseInterrompue_data();
    void installationBaseInterrompue();

private:
    TDataModFixture FDataMod;
    std::unique_ptr<TTestDatabase> FCentrale;
};

void TestNoeud::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    FDataMod.Moteur.SetSystemeMoteur(std::make_unique<TEnregistreurMoteur>(false));
    FCentrale = std::make_unique<TTestDatabase>();
    AddCentralTables(*FCentrale);
    VGSE.IVRO_PORTS = 30000;
}

void TestNoeud::maitre_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("hote");
    QTest::addColumn<QString>("ipPublique");
    QTest::addColumn<QString>("adresse");
    QTest::addColumn<QStringList>("crons"); // synctriggers, purge outgoing, purge incoming
    QTest::newRow("port 30421") << 30421 << "srv-lame" << "" << "srv-lame"
                                << QStringList{"0 30 3 * * *", "0 42 7-20/2 * * *", "0 43 7-20/2 * * *"};
    QTest::newRow("port de base") << 30000 << "srv-lame" << "" << "srv-lame"
                                  << QStringList{"0 0 0 * * *", "0 0 7-20/2 * * *", "0 1 7-20/2 * * *"};
    QTest::newRow("écart 599, minute suivante 0") << 30599 << "srv-lame" << "" << "srv-lame"
                                                  << QStringList{"0 59 4 * * *", "0 59 7-20/2 * * *",
                                                                 "0 0 7-20/2 * * *"};
    QTest::newRow("sans nom d'hôte: adresse publique") << 30421 << "" << "203.0.113.7" << "203.0.113.7"
                                                      << QStringList{"0 30 3 * * *", "0 42 7-20/2 * * *",
                                                                     "0 43 7-20/2 * * *"};
}

void TestNoeud::maitre()
{
    QFETCH(int, port);
    QFETCH(QString, hote);
    QFETCH(QString, ipPublique);
    QFETCH(QString, adresse);
    QFETCH(QStringList, crons);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
    VGSE.HostName = hote;
    VGSE.PublicIP = ipPublique;

    TDossierInfos infos;
    infos.Init();
    infos.Nom = QStringLiteral("Lame-Paris_1");
    infos.SymDir = dir.path();
    infos.HTTPPort = port;
    infos.DatabaseFile = FCentrale->Path();
    infos.Version = QStringLiteral("18.2.0.1500");
    QVERIFY(FDataMod.Moteur.Installation_Master(infos));

    const QString script = dir.path() + QStringLiteral("/master-lame-paris_1.sql");
    QByteArray attendu;
    {
        QFile file(QStringLiteral(IVROMVT_SOURCE_DIR "/tests/expected/master-lame-paris_1.sql"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        attendu = file.readAll();
    }
    attendu.replace("@IP@", hote.toLatin1()).replace("@PORT@", QByteArray::number(port));
    attendu.replace("@SYNCTRIGGERS@", crons[0].toLatin1())
        .replace("@PURGEOUT@", crons[1].toLatin1())
        .replace("@PURGEIN@", crons[2].toLatin1());
    QCOMPARE(ReadAll(script), attendu);
    // The template and the list stay in the engine's folder.
    QFile resource(QStringLiteral(":/masterv15"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    QCOMPARE(ReadAll(dir.path() + QStringLiteral("/master-v15.sql")), resource.readAll());
    QVERIFY(QFile::exists(dir.path() + QStringLiteral("/v18.2.lcl")));

    QCOMPARE(ReadAll(dir.path() + QStringLiteral("/engines/lame-paris_1.properties")),
             CrLf({QStringLiteral("external.id=lame-paris_1-id"), QStringLiteral("engine.name=lame-paris_1"),
                   QStringLiteral("group.id=lame"),
                   QStringLiteral("sync.url=http\\://%1\\:%2/sync/lame-paris_1").arg(adresse).arg(port),
                   QStringLiteral("db.driver=interbase.interclient.Driver"),
                   QStringLiteral("db.url=jdbc\\:interbase\\://localhost\\:3050/") + FCentrale->Path(),
                   QStringLiteral("db.user=SYSDBA"), QStringLiteral("db.password=tidestone"),
                   QStringLiteral("db.validation.query=SELECT CAST(1 AS INTEGER) FROM RDB$DATABASE"),
                   QStringLiteral("auto.config.registration.svr.sql.script=") + script,
                   QStringLiteral("registration.url=")}));
    // It holds the SYSDBA password: its owner only.
    QCOMPARE(QFileInfo(dir.path() + QStringLiteral("/engines/lame-paris_1.properties")).permissions() & 0x7077,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QCOMPARE(FCentrale->Rows(QStringLiteral("SELECT PRM_STRING FROM GENPARAM JOIN K ON K_ID=PRM_ID AND K_ENABLED=1 "
                                            "WHERE PRM_TYPE=80 AND PRM_CODE=1")),
             QStringList{QStringLiteral("http://%1:%2/sync/lame-paris_1").arg(adresse).arg(port)});
}

void TestNoeud::maitreVersions_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("listeCaisses");
    QTest::newRow("18.2.0.1500") << "18.2.0.1500" << true;
    QTest::newRow("18.1.1.0") << "18.1.1.0" << true;
    QTest::newRow("18.2.0.9999, la borne") << "18.2.0.9999" << true;
    QTest::newRow("18.10.0.1, comparé comme texte") << "18.10.0.1" << true;
    QTest::newRow("18.1.0.9999") << "18.1.0.9999" << false;
    QTest::newRow("18.2.1.0") << "18.2.1.0" << false;
    QTest::newRow("19.1.0.0") << "19.1.0.0" << false;
    QTest::newRow("vide") << "" << false;
}

void TestNoeud::maitreVersions()
{
    QFETCH(QString, version);
    QFETCH(bool, listeCaisses);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
    TDossierInfos infos = InfosMaitre(QStringLiteral("lame"), dir.path(), FCentrale->Path());
    infos.Version = version;
    QVERIFY(FDataMod.Moteur.Installation_Master(infos));
    const QByteArray script = ReadAll(dir.path() + QStringLiteral("/master-lame.sql"));
    QCOMPARE(script.contains("VALUES('caisse_ticket', 'caisse_ticket','default'"), listeCaisses);
    QVERIFY(script.contains("VALUES('GENPARAM', 'GENPARAM','default','PRM_ID'"));
}

void TestNoeud::maitreNomRefuse()
{
    for (const QString &nom : {QStringLiteral("Lame Paris"), QStringLiteral("Lamé")}) {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
        TTestDatabase db;
        AddCentralTables(db);
        TDossierInfos infos = InfosMaitre(nom, dir.path(), db.Path());
        QVERIFY(!FDataMod.Moteur.Installation_Master(infos));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        QCOMPARE(db.Count(QStringLiteral("GENPARAM")), 0);
    }
}

// What the engine runs when it first starts as the registration server:
// template, trigger lines and cash-register lines, all accepted by the server.
void TestNoeud::scriptCentralSousIsql()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
    VGSE.HostName = QStringLiteral("srv-lame");
    TDossierInfos infos = InfosMaitre(QStringLiteral("lame"), dir.path(), FCentrale->Path());
    infos.Version = QStringLiteral("18.2.0.1500");
    QVERIFY(FDataMod.Moteur.Installation_Master(infos));

    TTestDatabase fresh;
    QProcess isql;
    isql.start(QStringLiteral("isql-fb"),
               {QStringLiteral("-q"), QStringLiteral("-bail"), QStringLiteral("-user"), TTestDatabase::User,
                QStringLiteral("-password"), TTestDatabase::Password, QStringLiteral("-i"),
                dir.path() + QStringLiteral("/master-lame.sql"), QStringLiteral("localhost/3050:") + fresh.Path()});
    QVERIFY(isql.waitForFinished(60000));
    const QString sortie = QString::fromLocal8Bit(isql.readAllStandardOutput() + isql.readAllStandardError());
    QVERIFY2(isql.exitStatus() == QProcess::NormalExit && isql.exitCode() == 0, qPrintable(sortie));
    QVERIFY2(sortie.trimmed().isEmpty(), qPrintable(sortie));

    QCOMPARE(fresh.Count(QStringLiteral("SYM_NODE_GROUP")), 4);
    QCOMPARE(fresh.Count(QStringLiteral("SYM_ROUTER")), 6);
    // Every router that a trigger line names exists.
    QCOMPARE(fresh.Count(QStringLiteral("SYM_TRIGGER_ROUTER TR WHERE NOT EXISTS (SELECT 1 FROM SYM_ROUTER R "
                                        "WHERE R.ROUTER_ID = TR.ROUTER_ID)")),
             0);
    QCOMPARE(fresh.Count(QStringLiteral("SYM_TRIGGER WHERE CHANNEL_ID NOT IN (SELECT CHANNEL_ID FROM SYM_CHANNEL)")), 0);
    // GENPARAM and CASHTICKET from the database, eight cash-register tables from the list.
    QCOMPARE(fresh.Count(QStringLiteral("SYM_TRIGGER")), 10);
    QCOMPARE(fresh.Rows(QStringLiteral("SELECT PARAM_KEY, CAST(PARAM_VALUE AS VARCHAR(40)) FROM SYM_PARAMETER "
                                       "WHERE EXTERNAL_ID = 'lame-id' AND NODE_GROUP_ID = 'lame' ORDER BY 1")),
             (QStringList{QStringLiteral("auto.registration|true"),
                          QStringLiteral("job.purge.incoming.cron|0 43 7-20/2 * * *"),
                          QStringLiteral("job.purge.outgoing.cron|0 42 7-20/2 * * *"),
                          QStringLiteral("job.synctriggers.cron|0 30 3 * * *")}));
}

void TestNoeud::ouverture_data()
{
    QTest::addColumn<QString>("cas");
    QTest::addColumn<QString>("attendu");
    const QString general = QStringLiteral("General=1\u202F000\u202F000");
    const QString bases = QStringLiteral("Bases=12:MAGASIN-PARIS:magasin-paris::%1,5:Portable-Sync:p-s::%2,"
                                         "8:MAGASIN-NEUF:magasin-neuf::,9:MAGASIN-SANS:magasin-sans::")
                              .arg(Guid(102), Guid(103));
    const QString site = QStringLiteral("Site=%1|MAGASIN-PARIS|1-999999").arg(Guid(102));
    const QString debut = QStringLiteral("Version=18.2.0.1500\nUrl=http://lame.example:31415/sync/lame\n");

    QTest::newRow("complète") << "complete"
                              << debut + "Ident=12\n" + general + "\n" + site +
                                     "\nNom=dossier test\nIsok=oui\nExclues=ZLARG_KO\n" + bases;
    QTest::newRow("sans IDGENERATEUR: le site -1 cherché") << "sans-idgen"
                                                            << debut + "Ident=-1\n" + general +
                                                                   "\nSite=||\nNom=dossier test\nIsok=oui\n"
                                                                   "Exclues=ZLARG_KO\n" + bases;
    QTest::newRow("IDGENERATEUR entouré de blancs") << "idgen-blancs"
                                                    << debut + "Ident=12\n" + general + "\n" + site +
                                                           "\nNom=dossier test\nIsok=oui\nExclues=ZLARG_KO\n" + bases;
    QTest::newRow("IDGENERATEUR non numérique: arrêt") << "idgen-texte"
                                                        << debut + "Ident=-1\nGeneral=\nSite=||\nNom=\nIsok=non\n"
                                                                   "Exclues=\nBases=";
    QTest::newRow("pas de site 0 actif") << "sans-site0"
                                         << debut + "Ident=12\n" + general + "\n" + site +
                                                "\nNom=\nIsok=non\nExclues=ZLARG_KO\n" + bases;
    QTest::newRow("deux sites 0: le dernier l'emporte") << "deux-sites0"
                                                         << debut + "Ident=12\n" + general + "\n" + site +
                                                                "\nNom=autre dossier\nIsok=oui\nExclues=ZLARG_KO\n" +
                                                                bases;
    QTest::newRow("site 12A listé en -1") << "site-12A"
                                          << debut + "Ident=12\n" + general + "\n" + site +
                                                 "\nNom=dossier test\nIsok=oui\nExclues=ZLARG_KO\n" + bases +
                                                 ",-1:MAGASIN-BIS:magasin-bis:CENTRALE-1:" + Guid(108);
    QTest::newRow("base injoignable") << "injoignable"
                                      << "Version=\nUrl=\nIdent=-1\nGeneral=\nSite=||\nNom=\nIsok=non\nExclues=\nBases=";
}

void TestNoeud::ouverture()
{
    QFETCH(QString, cas);
    QFETCH(QString, attendu);
    TTestDatabase db;
    AddCentralTables(db);
    db.Exec(QStringLiteral("UPDATE GENBASES SET BAS_PLAGE = '1-999999' WHERE BAS_ID = 102"));
    db.Exec(QStringLiteral("INSERT INTO GENVERSION (VER_ID, VER_VERSION, VER_DATE) VALUES (1, '18.1.1.0', "
                           "TIMESTAMP '2021-01-01 00:00:00')"));
    db.Exec(QStringLiteral("INSERT INTO GENVERSION (VER_ID, VER_VERSION, VER_DATE) VALUES (2, '18.2.0.1500', "
                           "TIMESTAMP '2023-05-01 00:00:00')"));
    db.Exec(QStringLiteral("INSERT INTO GENVERSION (VER_ID, VER_VERSION, VER_DATE) VALUES (3, '17.0.0.1', "
                           "TIMESTAMP '2019-01-01 00:00:00')"));
    AddKeyed(db, 210, QStringLiteral("INSERT INTO GENPARAM (PRM_ID, PRM_TYPE, PRM_CODE, PRM_STRING) "
                                     "VALUES (210, 80, 1, 'http://lame.example:31415/sync/lame')"));
    const QString site = QStringLiteral("INSERT INTO GENBASES (BAS_ID, BAS_IDENT, BAS_SENDER, BAS_GUID, "
                                        "BAS_NOMPOURNOUS, BAS_CENTRALE) VALUES (%1, '%2', '%3', '%4', '%5', '%6')");
    if (cas == QLatin1String("sans-idgen"))
        db.Exec(QStringLiteral("DELETE FROM GENPARAMBASE"));
    if (cas == QLatin1String("idgen-blancs"))
        db.Exec(QStringLiteral("UPDATE GENPARAMBASE SET PAR_STRING = ' 12 '"));
    if (cas == QLatin1String("idgen-texte"))
        db.Exec(QStringLiteral("UPDATE GENPARAMBASE SET PAR_STRING = 'DOUZE'"));
    if (cas == QLatin1String("sans-site0"))
        db.Exec(QStringLiteral("UPDATE K SET K_ENABLED = 0 WHERE K_ID = 101"));
    if (cas == QLatin1String("deux-sites0"))
        AddKeyed(db, 107, site.arg("107", "0", "SERVEUR-BIS", Guid(107), "Autre DOSSIER", ""));
    if (cas == QLatin1String("site-12A"))
        AddKeyed(db, 108, site.arg("108", "12A", "MAGASIN-BIS", Guid(108), "DOSSIER TEST", "CENTRALE-1"));

    TDossierInfos infos;
    infos.Init();
    infos.DatabaseFile = cas == QLatin1String("injoignable") ? QStringLiteral("/nulle/part.fdb") : db.Path();
    FDataMod.Moteur.Ouverture_IBFile(infos);
    QCOMPARE(Decrit(infos), attendu);
}

// Text in a database without a declared character set: Windows-1252 bytes.
void TestNoeud::ouvertureBaseNone()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    for (const char *ddl : {"CREATE TABLE K (K_ID INTEGER NOT NULL PRIMARY KEY, K_ENABLED SMALLINT)",
                            "CREATE TABLE GENVERSION (VER_VERSION VARCHAR(32) CHARACTER SET NONE, VER_DATE TIMESTAMP)",
                            "CREATE TABLE GENPARAM (PRM_ID INTEGER, PRM_TYPE INTEGER, PRM_CODE INTEGER, "
                            "PRM_STRING VARCHAR(255) CHARACTER SET NONE)",
                            "CREATE TABLE GENPARAMBASE (PAR_NOM VARCHAR(64) CHARACTER SET NONE, "
                            "PAR_STRING VARCHAR(255) CHARACTER SET NONE)",
                            "CREATE TABLE GENBASES (BAS_ID INTEGER, BAS_IDENT VARCHAR(32) CHARACTER SET NONE, "
                            "BAS_SENDER VARCHAR(64) CHARACTER SET NONE, BAS_GUID VARCHAR(64) CHARACTER SET NONE, "
                            "BAS_NOMPOURNOUS VARCHAR(64) CHARACTER SET NONE, BAS_CENTRALE VARCHAR(64) CHARACTER SET "
                            "NONE, BAS_PLAGE VARCHAR(64) CHARACTER SET NONE)",
                            "CREATE GENERATOR GENERAL_ID"})
        db.Exec(QString::fromLatin1(ddl));
    db.Exec(QStringLiteral("INSERT INTO K VALUES (1, 1)"));
    db.Exec(QStringLiteral("INSERT INTO K VALUES (2, 1)"));
    db.Exec(QStringLiteral("INSERT INTO GENPARAMBASE VALUES ('IDGENERATEUR', '3')"));
    // "DOSSIER ÉTÉ" and "MAGASIN-ÉVRY" as Windows-1252 bytes.
    db.Exec(QStringLiteral("INSERT INTO GENBASES (BAS_ID, BAS_IDENT, BAS_SENDER, BAS_NOMPOURNOUS) "
                           "VALUES (1, '0', 'SERVEUR', x'444F535349455220C954C9')"));
    db.Exec(QStringLiteral("INSERT INTO GENBASES (BAS_ID, BAS_IDENT, BAS_SENDER, BAS_GUID) "
                           "VALUES (2, '3', x'4D41474153494E2DC9565259', 'G3')"));

    TDossierInfos infos;
    infos.Init();
    infos.DatabaseFile = db.Path();
    FDataMod.Moteur.Ouverture_IBFile(infos);
    // No KTB here: the list of excluded tables says it failed, the rest was read.
    QCOMPARE(Decrit(infos), QStringLiteral("Version=\nUrl=\nIdent=3\nGeneral=0\nSite=G3|MAGASIN-\u00C9VRY|\n"
                                           "Nom=dossier \u00C9t\u00C9\nIsok=oui\nExclues=!!!ERREUR!!!\n"
                                           "Bases=3:MAGASIN-\u00C9VRY:magasin-\u00C9vry::G3"));
}

void TestNoeud::installationBase_data()
{
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QString>("cas");
    QTest::addColumn<int>("resultat"); // 0 false, 1 true, 2 raised
    QTest::addColumn<QString>("commandes");
    QTest::newRow("POSIX, magasin 12") << false << "" << 1
                                       << "ServiceInfo | IVRO-MAG\n"
                                          "StopService | IVRO-MAG\n"
                                          "RunAsAndWait | systemctl | enable IVRO-MAG |  | montrée\n"
                                          "StartService | IVRO-MAG";
    QTest::newRow("Windows, sans adresse d'enregistrement")
        << true << "" << 1
        << "ServiceInfo | IVRO-MAG\n"
           "StopService | IVRO-MAG\n"
           "RunAsAndWait | sc.exe | config IVRO-MAG start= delayed-auto |  | montrée\n"
           "StartService | IVRO-MAG";
    // Written, granted, then the service: its failures are said, never "redémarré".
    QTest::newRow("commande de démarrage refusée") << false << "refus" << 2
                                                   << "ServiceInfo | IVRO-MAG\n"
                                                      "StopService | IVRO-MAG\n"
                                                      "RunAsAndWait | systemctl | enable IVRO-MAG |  | montrée\n"
                                                      "StartService | IVRO-MAG";
    QTest::newRow("service qui ne démarre pas") << false << "demarrage" << 2
                                                << "ServiceInfo | IVRO-MAG\n"
                                                   "StopService | IVRO-MAG\n"
                                                   "RunAsAndWait | systemctl | enable IVRO-MAG |  | montrée\n"
                                                   "StartService | IVRO-MAG";
    QTest::newRow("nom refusé: rien n'est fait") << false << "nom" << 0 << "";
    QTest::newRow("pas de dossier engines: rien n'est touché") << false << "engines" << 2 << "";
    QTest::newRow("service absent: rien n'est écrit") << false << "absent" << 2 << "ServiceInfo | IVRO-MAG";
    // The grants fail on a base out of reach: the file goes back, the service is not touched.
    QTest::newRow("droits refusés: fichier remis, service non touché") << true << "D:" << 2 << "ServiceInfo | IVRO-MAG";
}

void TestNoeud::installationBase()
{
    QFETCH(bool, windows);
    QFETCH(QString, cas);
    QFETCH(int, resultat);
    QFETCH(QString, commandes);
    TTestDatabase db;
    QTemporaryDir dir;
    if (cas != QLatin1String("engines"))
        QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/Sym/engines")));
    auto recorder = std::make_unique<TEnregistreurMoteur>(windows);
    TEnregistreurMoteur &rec = *recorder;
    FDataMod.Moteur.SetSystemeMoteur(std::move(recorder));
    if (cas == QLatin1String("refus"))
        rec.Refused << QStringLiteral("systemctl");
    if (cas == QLatin1String("demarrage"))
        rec.ServiceResult = false;
    TInfoSurService service;
    service.Exist = true;
    if (cas != QLatin1String("absent"))
        rec.Services.insert(QStringLiteral("IVRO-MAG"), service);

    TDossierInfos infos;
    infos.Init();
    infos.Nom = cas == QLatin1String("nom") ? QStringLiteral("dossier test") : QStringLiteral("dossier-test");
    infos.ServiceName = QStringLiteral("IVRO-MAG");
    infos.SymDir = windows ? dir.path() + QStringLiteral("\\Sym\\") : dir.path() + QStringLiteral("/Sym");
    infos.HTTPPort = 31415;
    infos.ExternalID = QStringLiteral("12");
    infos.DatabaseFile = cas == QLatin1String("D:") ? QStringLiteral("D:\\Data\\SHOP.IB") : db.Path();
    if (!windows)
        infos.RegistrationUrl = QStringLiteral("http://lame.example:31415/sync/lame-paris_1");

    int obtenu = -1;
    QString message;
    try {
        obtenu = FDataMod.Moteur.Installation_BASE(infos) ? 1 : 0;
    } catch (const EDbError &e) {
        obtenu = 2;
        message = e.Message();
    }
    const QStringList log = rec.Log;
    FDataMod.Moteur.SetSystemeMoteur(std::make_unique<TEnregistreurMoteur>(false));
    QCOMPARE(obtenu, resultat);
    QCOMPARE(log, commandes.isEmpty() ? QStringList() : commandes.split(QLatin1Char('\n')));
    if (cas == QLatin1String("refus") || cas == QLatin1String("demarrage"))
        QVERIFY2(message.startsWith(QStringLiteral("Configuration écrite")) && !message.contains(QStringLiteral("redémarré")),
                 qPrintable(message));

    const QString fichier = dir.path() + QStringLiteral("/Sym/engines/mags-12.properties");
    const QByteArray proprietes = ReadAll(fichier);
    if (cas == QLatin1String("nom") || cas == QLatin1String("engines") || cas == QLatin1String("absent")
        || cas == QLatin1String("D:")) {
        QCOMPARE(proprietes, QByteArray("<absent>"));
        return;
    }
    // It holds the SYSDBA password.
    // Owner, group and others; the "user" bits only repeat them for this process.
    QCOMPARE(QFileInfo(fichier).permissions() & 0x7077, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QStringList lignes{QStringLiteral("external.id=12"), QStringLiteral("engine.name=mags-12"),
                       QStringLiteral("group.id=mags"),
                       QStringLiteral("sync.url=http\\://%1\\:31415/sync/mags-12").arg(GetNomMachine()),
                       QStringLiteral("db.driver=interbase.interclient.Driver"),
                       QStringLiteral("db.url=jdbc\\:interbase\\://localhost\\:3050/") + db.Path(),
                       QStringLiteral("db.user=SYSDBA"), QStringLiteral("db.password=tidestone"),
                       QStringLiteral("db.validation.query=SELECT CAST(1 AS INTEGER) FROM RDB$DATABASE")};
    if (!windows)
        lignes << QStringLiteral("registration.url=http\\://lame.example\\:31415/sync/lame-paris_1");
    lignes << QStringLiteral("auto.config.registration.svr.sql.script=") + dir.path() + QStringLiteral("/Sym/grants.sql");
    QCOMPARE(proprietes, CrLf(lignes));
    QCOMPARE(db.Count(QStringLiteral("RDB$USER_PRIVILEGES WHERE RDB$USER = 'KORVALA' AND "
                                         "RDB$RELATION_NAME = 'SYM_NODE' AND RDB$PRIVILEGE = 'S'")),
                 1);
}

void TestNoeud::maitreValeursRefusees_data()
{
    QTest::addColumn<QString>("hote");
    QTest::newRow("saut de ligne: une clé de plus") << "h\ndb.password=x";
    QTest::newRow("fin de commentaire SQL") << "h */ DELETE FROM K; /*";
    QTest::newRow("blanc") << "srv lame";
    QTest::newRow("guillemet") << "srv\"lame";
    QTest::newRow("&") << "srv&lame";
    QTest::newRow("%") << "srv%ip%";
    QTest::newRow(";") << "srv;lame";
    QTest::newRow("très long") << QString(300, QLatin1Char('a'));
    QTest::newRow("hors Windows-1252") << "srv-\u4E2D";
    QTest::newRow("IPv6 sans crochets") << "::1";
}

// Refused before anything is written: no file, no address in the database.
void TestNoeud::maitreValeursRefusees()
{
    QFETCH(QString, hote);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
    TTestDatabase db;
    AddCentralTables(db);
    VGSE.HostName = hote;
    TDossierInfos infos = InfosMaitre(QStringLiteral("lame"), dir.path(), db.Path());
    QVERIFY_THROWS_EXCEPTION(EDbError, FDataMod.Moteur.Installation_Master(infos));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(QDir(dir.path() + QStringLiteral("/engines")).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(db.Count(QStringLiteral("GENPARAM")), 0);
}

// Without engines/ nothing is written and the database keeps its address.
void TestNoeud::maitreSansEngines()
{
    QTemporaryDir dir;
    TTestDatabase db;
    AddCentralTables(db);
    VGSE.HostName = QStringLiteral("srv-lame");
    TDossierInfos infos = InfosMaitre(QStringLiteral("lame"), dir.path(), db.Path());
    QVERIFY_THROWS_EXCEPTION(EDbError, FDataMod.Moteur.Installation_Master(infos));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(db.Count(QStringLiteral("GENPARAM")), 0);
}

// Links that another account planted in the engine's folder are refused,
// never written through; what was written before is put back.
void TestNoeud::liensPlantes()
{
    QTemporaryDir dir;
    QTemporaryDir ailleurs;
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
    const QString victime = ailleurs.filePath(QStringLiteral("victime"));
    {
        QFile f(victime);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("intact");
    }
    TTestDatabase db;
    AddCentralTables(db);
    VGSE.HostName = QStringLiteral("srv-lame");
    TDossierInfos infos = InfosMaitre(QStringLiteral("lame"), dir.path(), db.Path());

    // The properties come last: the three files before them are put back.
    const QString why = PlantLinkAsNobody(victime, dir.path() + QStringLiteral("/engines/lame.properties"));
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    try {
        FDataMod.Moteur.Installation_Master(infos);
        QFAIL("the link was written through");
    } catch (const EDbError &e) {
        QVERIFY2(e.Message().contains(QStringLiteral("appartient à un autre compte")), qPrintable(e.Message()));
    }
    QCOMPARE(ReadAll(victime), QByteArray("intact"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(db.Count(QStringLiteral("GENPARAM")), 0);

    // The shop's properties, the same way.
    QVERIFY(QFile::remove(dir.path() + QStringLiteral("/engines/lame.properties")));
    QVERIFY(PlantLinkAsNobody(victime, dir.path() + QStringLiteral("/engines/mags-12.properties")).isEmpty());
    auto recorder = std::make_unique<TEnregistreurMoteur>(false);
    TInfoSurService service;
    service.Exist = true;
    recorder->Services.insert(QStringLiteral("IVRO-MAG"), service);
    TEnregistreurMoteur &rec = *recorder;
    FDataMod.Moteur.SetSystemeMoteur(std::move(recorder));
    infos.ServiceName = QStringLiteral("IVRO-MAG");
    infos.ExternalID = QStringLiteral("12");
    QVERIFY_THROWS_EXCEPTION(EDbError, FDataMod.Moteur.Installation_BASE(infos));
    QCOMPARE(rec.Log, QStringList{QStringLiteral("ServiceInfo | IVRO-MAG")});
    FDataMod.Moteur.SetSystemeMoteur(std::make_unique<TEnregistreurMoteur>(false));
    QCOMPARE(ReadAll(victime), QByteArray("intact"));
}

// The engine runs the registration SQL as SYSDBA and reads its password
// from the properties: an engine folder that another account may change
// gets nothing, and neither the database nor the service is touched.
void TestNoeud::dossierMoteurOuvert_data()
{
    QTest::addColumn<bool>("maitre");
    QTest::addColumn<QString>("montage");
    QTest::addColumn<QString>("refus");
    QTest::newRow("noeud central, dossier ouvert à tous") << true << "dossier-777" << "peut être modifié par tous";
    QTest::newRow("noeud central, engines d'un autre compte") << true << "engines-nobody"
                                                              << "engines\" appartient au compte « nobody »";
    QTest::newRow("magasin, dossier ouvert à tous") << false << "dossier-777" << "peut être modifié par tous";
}

void TestNoeud::dossierMoteurOuvert()
{
    QFETCH(bool, maitre);
    QFETCH(QString, montage);
    QFETCH(QString, refus);
    const passwd *nobody = ::getpwnam("nobody");
    if (montage.endsWith(QLatin1String("nobody")) && (::geteuid() != 0 || !nobody))
        QSKIP("a folder can be given to another account by root only");
    QTemporaryDir dir;
    const QString engines = dir.path() + QStringLiteral("/engines");
    QVERIFY(QDir().mkpath(engines));
    if (montage == QLatin1String("dossier-777"))
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
    else
        QVERIFY(::lchown(QFile::encodeName(engines).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
    TTestDatabase db;
    AddCentralTables(db);
    auto recorder = std::make_unique<TEnregistreurMoteur>(false);
    TEnregistreurMoteur &rec = *recorder;
    FDataMod.Moteur.SetSystemeMoteur(std::move(recorder));
    VGSE.HostName = QStringLiteral("srv-lame");
    TDossierInfos infos = InfosMaitre(QStringLiteral("lame"), dir.path(), db.Path());
    infos.ServiceName = QStringLiteral("IVRO-MAG");
    infos.ExternalID = QStringLiteral("12");
    QString message;
    try {
        if (maitre)
            FDataMod.Moteur.Installation_Master(infos);
        else
            FDataMod.Moteur.Installation_BASE(infos);
        QFAIL("accepted");
    } catch (const EDbError &e) {
        message = e.Message();
    }
    QCOMPARE(rec.Log, QStringList());
    FDataMod.Moteur.SetSystemeMoteur(std::make_unique<TEnregistreurMoteur>(false));
    QVERIFY2(message.startsWith(QStringLiteral("Dossier du moteur refusé")) && message.contains(refus),
             qPrintable(message));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("engines")});
    QCOMPARE(QDir(engines).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(db.Count(QStringLiteral("GENPARAM")), 0);
}

namespace {

// The operator's stop, asked while one of the system's calls runs.
class TArretPendant : public TEnregistreurMoteur
{
public:
    explicit TArretPendant(const QString &aAppel) : TEnregistreurMoteur(false), FAppel(aAppel) {}

    bool StopService(const QString &aService) override
    {
        const bool result = TEnregistreurMoteur::StopService(aService);
        if (FAppel == QLatin1String("arret"))
            ArretDemande::Demander();
        return result;
    }
    TProgramRun RunAndWait(const QString &aFile, const QStringList &aArguments, const QString &aDirectory,
                           bool aHidden) override
    {
        const TProgramRun run = TEnregistreurMoteur::RunAndWait(aFile, aArguments, aDirectory, aHidden);
        if (FAppel == QLatin1String("reglage"))
            ArretDemande::Demander();
        return run;
    }

private:
    QString FAppel;
};

} // namespace

// Stopped by the operator once the service is stopped: the properties are
// put back, the service runs again with them, and the message says what
// stays done.
void TestNoeud::installationBaseInterrompue_data()
{
    QTest::addColumn<QString>("appel");
    QTest::addColumn<QStringList>("commandes");
    QTest::addColumn<QString>("dejaFait");
    QTest::newRow("pendant l'arrêt du service")
        << "arret"
        << QStringList{QStringLiteral("ServiceInfo | IVRO-MAG"), QStringLiteral("StopService | IVRO-MAG"),
                       QStringLiteral("StartService | IVRO-MAG")}
        << "Déjà fait, reste en place : les droits de KORVALA sur les tables SymmetricDS.";
    QTest::newRow("pendant le réglage du démarrage")
        << "reglage"
        << QStringList{QStringLiteral("ServiceInfo | IVRO-MAG"), QStringLiteral("StopService | IVRO-MAG"),
                       QStringLiteral("RunAsAndWait | systemctl | enable IVRO-MAG |  | montrée"),
                       QStringLiteral("StartService | IVRO-MAG")}
        << "SymmetricDS, le démarrage automatique du service.";
}

void TestNoeud::installationBaseInterrompue()
{
    QFETCH(QString, appel);
    QFETCH(QStringList, commandes);
    QFETCH(QString, dejaFait);
    TTestDatabase db;
    QTemporaryDir dir;
    const QString fichier = dir.path() + QStringLiteral("/engines/mags-12.properties");
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/engines")));
    {
        QFile f(fichier);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("avant\r\n");
    }
    auto recorder = std::make_unique<TArretPendant>(appel);
    TArretPendant &rec = *recorder;
    FDataMod.Moteur.SetSystemeMoteur(std::move(recorder));
    TInfoSurService service;
    service.Exist = true;
    rec.Services.insert(QStringLiteral("IVRO-MAG"), service);
    TDossierInfos infos;
    infos.Init();
    infos.Nom = QStringLiteral("dossier-test");
    infos.ServiceName = QStringLiteral("IVRO-MAG");
    infos.SymDir = dir.path();
    infos.HTTPPort = 31415;
    infos.ExternalID = QStringLiteral("12");
    infos.DatabaseFile = db.Path();
    QString message;
    try {
        FDataMod.Moteur.Installation_BASE(infos);
    } catch (const EDbError &e) {
        message = e.Message();
    }
    ArretDemande::Oublier();
    const QStringList log = rec.Log;
    FDataMod.Moteur.SetSystemeMoteur(std::make_unique<TEnregistreurMoteur>(false));
    QCOMPARE(log, commandes);
    QVERIFY2(message.startsWith(QStringLiteral("Configuration du noeud magasin interrompue à la demande de "
                                               "l'opérateur"))
                 && message.contains(QStringLiteral("remis dans son état d'avant"))
                 && message.contains(QStringLiteral("redémarré avec son ancienne configuration"))
                 && message.endsWith(dejaFait),
             qPrintable(message));
    QCOMPARE(ReadAll(fichier), QByteArray("avant\r\n"));
}

QTEST_GUILESS_MAIN(TestNoeud)
#include "tst_noeud.moc"
