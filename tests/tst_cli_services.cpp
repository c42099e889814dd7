// The service and backup subcommands through the real ivromvt-cli, with the
// stand-in systemctl first on PATH.
#include "CliRun.h"
#include "FileHelpers.h"
#include "PlantedLink.h"
#include "testdb/IdentityFixture.h"
#include "testdb/TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestCliServices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void infoService();
    void startAndStop();
    void ajouteDossierBackup();
    void ajouteDossierBackupRefusedWrite();
    void ajouteDossierBackupHorsWindows1252();
    void liensPlantes();
    void installeBaseServiceAbsent();

private:
    std::unique_ptr<QTemporaryDir> FDir;
};

void TestCliServices::initTestCase()
{
    qputenv("PATH", QByteArray(IVROMVT_FAKES_DIR) + ':' + qgetenv("PATH"));
}

void TestCliServices::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    qputenv("IVRO_SYSTEMCTL_DIR", FDir->path().toLocal8Bit());
    WriteFile(FDir->filePath(QStringLiteral("sym_shop.service.show")),
              "Type=simple\nUnitFileState=enabled\nFailureAction=none\n"
              "ExecStart={ path=/opt/sym/bin/sym ; argv[]=/opt/sym/bin/sym --port 31415 ; ignore_errors=no }\n"
              "Requires=firebird.service system.slice\nUser=symds\nDescription=SymmetricDS magasin\n");
    WriteFile(FDir->filePath(QStringLiteral("sym_shop.service.etat")), "inactive\n");
}

void TestCliServices::infoService()
{
    TCliRun run = RunCli({QStringLiteral("info-service"), QStringLiteral("sym_shop")});
    QCOMPARE(run.Code, 0);
    QVERIFY2(run.Out.contains(QRegularExpression(QStringLiteral("StartType +AutoStart"))), qPrintable(run.Out));
    QVERIFY(run.Out.contains(QRegularExpression(QStringLiteral("BinaryPathName +/opt/sym/bin/sym --port 31415"))));

    run = RunCli({QStringLiteral("info-service"), QStringLiteral("sym_shop"), QStringLiteral("--json")});
    QCOMPARE(run.Code, 0);
    const QJsonObject json = QJsonDocument::fromJson(run.Out.toUtf8()).object();
    QCOMPARE(json.value(QStringLiteral("exist")).toBool(), true);
    QCOMPARE(json.value(QStringLiteral("service_type")).toString(), QStringLiteral("Win32OwnProcess"));
    QCOMPARE(json.value(QStringLiteral("dependencies")).toString(), QStringLiteral("firebird.service"));
    QCOMPARE(json.value(QStringLiteral("service_start_name")).toString(), QStringLiteral("symds"));
    QCOMPARE(json.value(QStringLiteral("tag_id")).toInt(-1), 0);

    run = RunCli({QStringLiteral("info-service"), QStringLiteral("absent")});
    QCOMPARE(run.Code, 1);
    QVERIFY2(run.Err.contains(QString::fromUtf8("Le service \"absent\" n’existe pas.")), qPrintable(run.Err));
}

void TestCliServices::startAndStop()
{
    const QString state = FDir->filePath(QStringLiteral("sym_shop.service.etat"));
    WriteFile(FDir->filePath(QStringLiteral("sym_shop.service.demarrage")), "activating 2 active\n");

    // As serious as a write: nobody to confirm, nothing done.
    for (const QString &commande : {QStringLiteral("demarre-service"), QStringLiteral("arrete-service")}) {
        const TCliRun refus = RunCli({commande, QStringLiteral("sym_shop")});
        QCOMPARE(refus.Code, 2);
        QVERIFY2(refus.Err.contains(QStringLiteral("ajoutez --oui")), qPrintable(refus.Err));
        QCOMPARE(ReadFile(state), QByteArray("inactive\n"));
    }

    TCliRun run = RunCli({QStringLiteral("demarre-service"), QStringLiteral("sym_shop"), QStringLiteral("--oui")});
    QCOMPARE(run.Code, 0);
    QVERIFY(run.Out.contains(QString::fromUtf8("Service \"sym_shop\" démarré.")));
    QCOMPARE(ReadFile(state), QByteArray("active\n"));

    run = RunCli({QStringLiteral("demarre-service"), QStringLiteral("sym_shop"), QStringLiteral("--oui")});
    QCOMPARE(run.Code, 1);
    QVERIFY2(run.Err.contains(QString::fromUtf8("n'a pas démarré")), qPrintable(run.Err));

    run = RunCli({QStringLiteral("arrete-service"), QStringLiteral("sym_shop"), QStringLiteral("--oui"),
                  QStringLiteral("--json")});
    QCOMPARE(run.Code, 0);
    QCOMPARE(QJsonDocument::fromJson(run.Out.toUtf8()).object().value(QStringLiteral("arrete")).toBool(), true);
    QCOMPARE(ReadFile(state), QByteArray("inactive\n"));

    run = RunCli({QStringLiteral("arrete-service"), QStringLiteral("absent"), QStringLiteral("--oui")});
    QCOMPARE(run.Code, 1);
    QVERIFY(run.Err.contains(QString::fromUtf8("n’existe pas")));
}

void TestCliServices::ajouteDossierBackup()
{
    const QString ini = FDir->filePath(QStringLiteral("backup.ini"));
    const QByteArray before = "[GENERAL]\r\nDOSSIER=D:\\Sauvegardes\r\n";
    WriteFile(ini, before);
    const QStringList args = {QStringLiteral("ajoute-dossier-backup"), ini, QStringLiteral("IVRO_SHOP01"),
                              QStringLiteral("D:\\Bases\\SHOP01.FDB")};

    TCliRun run = RunCli(args); // no terminal to answer the question: a misuse
    QCOMPARE(run.Code, 2);
    QVERIFY(run.Err.contains(QStringLiteral("--oui")));
    QCOMPARE(ReadFile(ini), before);

    run = RunCli(args + QStringList{QStringLiteral("--oui")});
    QCOMPARE(run.Code, 0);
    QVERIFY2(run.Out.contains(QStringLiteral("Section [SHOP01]")), qPrintable(run.Out));
    const QByteArray after = ReadFile(ini);
    QVERIFY(after.startsWith(before + "[SHOP01]\r\nIVROSERVICE=IVRO_SHOP01\r\nIBFILE=D:\\Bases\\SHOP01.FDB\r\n"));
    QVERIFY(after.endsWith("TIME=1800\r\nLASTRESULT=0\r\n"));

    run = RunCli({QStringLiteral("ajoute-dossier-backup"), FDir->filePath(QStringLiteral("absent.ini")),
                  QStringLiteral("IVRO_SHOP01"), QStringLiteral("base.fdb"), QStringLiteral("--oui")});
    QCOMPARE(run.Code, 1);
    QVERIFY(run.Err.contains(QStringLiteral("n'existe pas")));
    QVERIFY(!QFile::exists(FDir->filePath(QStringLiteral("absent.ini"))));
}

void TestCliServices::ajouteDossierBackupRefusedWrite()
{
    // A read-only file in a folder closed to the writer; root ignores both,
    // so as root the program runs as "nobody".
    const QString folder = FDir->filePath(QStringLiteral("ferme"));
    QVERIFY(QDir().mkdir(folder));
    const QString ini = folder + QStringLiteral("/backup.ini");
    const QByteArray before = "[GENERAL]\r\nDOSSIER=D:\\Sauvegardes\r\n";
    WriteFile(ini, before);
    // Opened again at the end, so that the temporary folder can be removed.
    const auto reopen = qScopeGuard([&] {
        QFile::setPermissions(FDir->path(), QFile::permissions(FDir->path()) | QFileDevice::WriteOwner);
        QFile::setPermissions(folder, QFile::permissions(folder) | QFileDevice::WriteOwner);
    });
    QVERIFY(QFile::setPermissions(ini, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                              | QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup));
    QVERIFY(QFile::setPermissions(FDir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                    | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                    | QFileDevice::ExeOther));

    QStringList args = {QStringLiteral("ajoute-dossier-backup"), ini, QStringLiteral("IVRO_SHOP01"),
                        QStringLiteral("base.fdb"), QStringLiteral("--oui")};
    QProcess process;
    if (::geteuid() == 0) {
        process.setProgram(QStringLiteral("runuser"));
        process.setArguments(QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                                         QStringLiteral(IVROMVT_CLI_PATH)}
                             + args);
    } else {
        process.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
        process.setArguments(args);
    }
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    QVERIFY(process.waitForFinished(60000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    if (::geteuid() == 0 && err.contains(QStringLiteral("runuser")))
        QSKIP("runuser cannot run the program as nobody here");
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(err.contains(QStringLiteral("Impossible d'écrire dans %1").arg(ini)), qPrintable(err));
    QCOMPARE(ReadFile(ini), before);
}

// A "?" in its place would name another service or database.
void TestCliServices::ajouteDossierBackupHorsWindows1252()
{
    const QString ini = FDir->filePath(QStringLiteral("backup.ini"));
    const QByteArray before = "[GENERAL]\r\nDOSSIER=D:\\Sauvegardes\r\n";
    WriteFile(ini, before);
    for (const QStringList &values : {QStringList{QStringLiteral("IVRO_\u4E2D"), QStringLiteral("base.fdb")},
                                      QStringList{QStringLiteral("IVRO_SHOP01"), QStringLiteral("D:\\\u0141\u00F3d\u017A.fdb")}}) {
        const TCliRun run = RunCli({QStringLiteral("ajoute-dossier-backup"), ini, values[0], values[1],
                                    QStringLiteral("--oui")});
        QCOMPARE(run.Code, 1);
        QVERIFY2(run.Err.contains(QStringLiteral("Windows-1252")), qPrintable(run.Err));
        QCOMPARE(ReadFile(ini), before);
    }
    // What Windows-1252 holds goes through: accents, the euro sign, the oe ligature.
    const TCliRun run = RunCli({QStringLiteral("ajoute-dossier-backup"), ini, QStringLiteral("IVRO_ÉTÉ"),
                                QStringLiteral("D:\\Bases\\C\u0153ur\u20AC.fdb"), QStringLiteral("--oui")});
    QCOMPARE(run.Code, 0);
    QVERIFY(ReadFile(ini).contains("IBFILE=D:\\Bases\\C\x9C" "ur\x80.fdb\r\n"));
}

// Links that another account planted are refused, never written through.
void TestCliServices::liensPlantes()
{
    QTemporaryDir ailleurs;
    const QString victime = ailleurs.filePath(QStringLiteral("victime"));
    WriteFile(victime, "[SHOP01]\r\nTIME=900\r\n");
    const QString ini = FDir->filePath(QStringLiteral("backup.ini"));
    const QString why = PlantLinkAsNobody(victime, ini);
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    TCliRun run = RunCli({QStringLiteral("ajoute-dossier-backup"), ini, QStringLiteral("IVRO_SHOP01"),
                          QStringLiteral("base.fdb"), QStringLiteral("--oui")});
    QCOMPARE(run.Code, 1);
    QVERIFY2(run.Err.contains(QStringLiteral("appartient à un autre compte")), qPrintable(run.Err));
    QCOMPARE(ReadFile(victime), QByteArray("[SHOP01]\r\nTIME=900\r\n"));

    TTestDatabase db;
    const QString sortie = FDir->filePath(QStringLiteral("x.sql"));
    QVERIFY(PlantLinkAsNobody(victime, sortie).isEmpty());
    run = RunCli({QStringLiteral("script-triggers-manquants"), db.Path(), QStringLiteral("--sortie"), sortie});
    QCOMPARE(run.Code, 1);
    QVERIFY2(run.Err.contains(QStringLiteral("appartient à un autre compte")), qPrintable(run.Err));
    QCOMPARE(ReadFile(victime), QByteArray("[SHOP01]\r\nTIME=900\r\n"));
    QVERIFY(QFileInfo(sortie).isSymLink());
}

// systemctl's answer is read: no "redémarré" for a service that is not there,
// and nothing written.
void TestCliServices::installeBaseServiceAbsent()
{
    TTestDatabase db;
    IdentityFixture::AddSites(db);
    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("engines"))));
    const TCliRun run = RunCli({QStringLiteral("installe-base"), db.Path(), QStringLiteral("--service"),
                                QStringLiteral("absent"), QStringLiteral("--repertoire"), FDir->path(),
                                QStringLiteral("--port-http"), QStringLiteral("31415"), QStringLiteral("--id-externe"),
                                QStringLiteral("12"), QStringLiteral("--nom"), QStringLiteral("dossier-test"),
                                QStringLiteral("--oui")});
    QCOMPARE(run.Code, 1);
    QVERIFY2(run.Err.contains(QStringLiteral("le service \"absent\" est introuvable")), qPrintable(run.Err));
    QVERIFY(!run.Out.contains(QStringLiteral("redémarré")));
    QCOMPARE(QDir(FDir->filePath(QStringLiteral("engines"))).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(TestCliServices)
#include "tst_cli_services.moc"
