// Backup registration: the section name, the INI writer's bytes, and the
// operation end to end on a file.
#include "DataModFixture.h"
#include "common/IniProfile.h"
#include "FileHelpers.h"
#include "common/UWMI.h"
#include "db/DbError.h"
#include "platform/MachineInfo.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The three date-times of a registration as "<date>", once their form is checked.
QByteArray WithoutDates(const QByteArray &aContent)
{
    const QString date = QRegularExpression::escape(PlatformDateSeparator());
    const QString time = QRegularExpression::escape(PlatformTimeSeparator());
    const QRegularExpression stamp(QStringLiteral(R"(\d\d%1\d\d%1\d{4} \d\d%2\d\d%2\d\d)").arg(date, time));
    return QString::fromLatin1(aContent).replace(stamp, QStringLiteral("<date>")).toLatin1();
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sectionName_data();
    void sectionName();
    void iniSetValue_data();
    void iniSetValue();
    void registration();
    void registrationTwiceRefreshes();
    void missingFileWritesNothing();
    void unsafeNamesRefused();

private:
    std::unique_ptr<QTemporaryDir> FDir;
    TDataModFixture FDataMod;
};

void TestBackup::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
}

void TestBackup::sectionName_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("section");
    QTest::newRow("prefix") << "IVRO_SHOP01" << "SHOP01";
    QTest::newRow("lower case") << "ivro_shop01" << "shop01";
    QTest::newRow("mixed case") << "Ivro_Mag" << "Mag";
    QTest::newRow("none") << "SHOP01" << "SHOP01";
    QTest::newRow("inside") << "SITE_IVRO_A" << "SITE_A";
    QTest::newRow("first only") << "IVRO_IVRO_B" << "IVRO_B";
    QTest::newRow("without underscore") << "IVROSHOP" << "IVROSHOP";
}

void TestBackup::sectionName()
{
    QFETCH(QString, service);
    QFETCH(QString, section);
    QCOMPARE(TOperationsMoteur::SectionBackupLame(service), section);
}

void TestBackup::iniSetValue_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after"); // empty: refused, content unchanged

    const QByteArray shop = "; sauvegardes\r\n[SHOP01]\r\nIVROSERVICE=IVRO_SHOP01\r\nTIME=900\r\n\r\n[AUTRE]\r\nTIME=5\r\n";
    QTest::newRow("key replaced in place, names in any case")
        << shop << "shop01" << "time" << "1800"
        << QByteArray("; sauvegardes\r\n[SHOP01]\r\nIVROSERVICE=IVRO_SHOP01\r\nTIME=1800\r\n\r\n[AUTRE]\r\nTIME=5\r\n");
    QTest::newRow("missing key after the section's last line, blank lines kept")
        << shop << "SHOP01" << "LASTRESULT" << "0"
        << QByteArray("; sauvegardes\r\n[SHOP01]\r\nIVROSERVICE=IVRO_SHOP01\r\nTIME=900\r\nLASTRESULT=0\r\n\r\n"
                      "[AUTRE]\r\nTIME=5\r\n");
    QTest::newRow("missing section at the end") << shop << "SHOP02" << "TIME" << "1800"
                                                << shop + "[SHOP02]\r\nTIME=1800\r\n";
    QTest::newRow("LF lines and spaces around the name kept")
        << QByteArray("[S]\nK = ancien\nX=1\n") << "S" << "K" << "neuf" << QByteArray("[S]\nK =neuf\nX=1\n");
    QTest::newRow("last line without a line end, key added")
        << QByteArray("[S]\r\nA=1") << "S" << "C" << "3" << QByteArray("[S]\r\nA=1\r\nC=3\r\n");
    QTest::newRow("last line without a line end, section added")
        << QByteArray("[S]\r\nA=1") << "T" << "B" << "2" << QByteArray("[S]\r\nA=1\r\n[T]\r\nB=2\r\n");
    QTest::newRow("empty file") << QByteArray() << "T" << "B" << "2" << QByteArray("[T]\r\nB=2\r\n");
    QTest::newRow("empty section gets its first key") << QByteArray("[S]\r\n\r\n[T]\r\n") << "S" << "A" << "1"
                                                     << QByteArray("[S]\r\nA=1\r\n\r\n[T]\r\n");
    QTest::newRow("Windows-1252 value") << QByteArray("[S]\r\n") << "S" << "IBFILE"
                                        << QString::fromUtf8("D:\\Bases\\Été €.fdb")
                                        << QByteArray("[S]\r\nIBFILE=D:\\Bases\\\xC9t\xE9 \x80.fdb\r\n");
    QTest::newRow("first of two sections of one name") << QByteArray("[S]\r\nA=1\r\n[s]\r\nA=2\r\n") << "S" << "A"
                                                       << "9" << QByteArray("[S]\r\nA=9\r\n[s]\r\nA=2\r\n");
    QTest::newRow("commented key not taken") << QByteArray("[S]\r\n;A=1\r\n") << "S" << "A" << "2"
                                             << QByteArray("[S]\r\n;A=1\r\nA=2\r\n");
    QTest::newRow("same key of another section not taken") << QByteArray("[T]\r\nA=1\r\n[S]\r\n") << "S" << "A"
                                                           << "2" << QByteArray("[T]\r\nA=1\r\n[S]\r\nA=2\r\n");
    QTest::newRow("blanks inside the brackets") << QByteArray("[ S ]\r\nA=1\r\n") << "S" << "A" << "2"
                                                << QByteArray("[ S ]\r\nA=2\r\n");
    QTest::newRow("UTF-8 mark kept") << QByteArray("\xEF\xBB\xBF[S]\r\nA=1\r\n") << "S" << "A" << "2"
                                     << QByteArray("\xEF\xBB\xBF[S]\r\nA=2\r\n");
    QTest::newRow("other bytes kept as they are") << QByteArray("[S]\r\nA=\x81\x8D\r\nB=1\r\n") << "S" << "B" << "2"
                                                  << QByteArray("[S]\r\nA=\x81\x8D\r\nB=2\r\n");
    QTest::newRow("value with a line break refused") << shop << "SHOP01" << "TIME" << "1\r\n[PIEGE]" << QByteArray();
    QTest::newRow("section with a bracket refused") << shop << "SHOP]01" << "TIME" << "1" << QByteArray();
    QTest::newRow("key with = refused") << shop << "SHOP01" << "TIME=1" << "1" << QByteArray();
    QTest::newRow("empty section refused") << shop << "" << "TIME" << "1" << QByteArray();
    QTest::newRow("UTF-16 file refused") << QByteArray("\xFF\xFE[\0S\0]\0", 8) << "S" << "A" << "1" << QByteArray();
}

void TestBackup::iniSetValue()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QByteArray content = before;
    QCOMPARE(IniSetValue(content, section, key, value), !after.isEmpty());
    QCOMPARE(content, after.isEmpty() ? before : after);
}

void TestBackup::registration()
{
    const QString ini = FDir->filePath(QStringLiteral("backup.ini"));
    WriteFile(ini, "[GENERAL]\r\nDOSSIER=D:\\Sauvegardes\r\n");
    VGSE.IVRO_BackupLame_Ini = ini;
    TDossierInfos dossier;
    dossier.Init();
    dossier.ServiceName = QStringLiteral("IVRO_SHOP01");
    dossier.DatabaseFile = QStringLiteral("D:\\Bases\\SHOP01.FDB");
    QVERIFY(FDataMod.Moteur.AjouteDossierBackupLame(dossier));
    QCOMPARE(WithoutDates(ReadFile(ini)),
             QByteArray("[GENERAL]\r\nDOSSIER=D:\\Sauvegardes\r\n[SHOP01]\r\nIVROSERVICE=IVRO_SHOP01\r\n"
                        "IBFILE=D:\\Bases\\SHOP01.FDB\r\nINSTALL=<date>\r\nLAST=<date>\r\nLASTOK=<date>\r\n"
                        "TIME=1800\r\nLASTRESULT=0\r\n"));
    // The three readings of the clock are a second apart at most.
    const QDateTime now = QDateTime::currentDateTime();
    const QString stamp = QString::fromLatin1(ReadFile(ini)).section(QStringLiteral("INSTALL="), 1).left(19);
    const QString pattern = QStringLiteral("dd%1MM%1yyyy hh%2mm%2ss").arg(PlatformDateSeparator(), PlatformTimeSeparator());
    QVERIFY(qAbs(QDateTime::fromString(stamp, pattern).secsTo(now)) <= 2);
}

void TestBackup::registrationTwiceRefreshes()
{
    const QString ini = FDir->filePath(QStringLiteral("backup.ini"));
    WriteFile(ini, "[shop01]\r\nIVROSERVICE=ancien\r\nINSTALL=01/01/2000 00:00:00\r\nLASTRESULT=3\r\nAUTRE=garde\r\n"
                   "\r\n[SHOP02]\r\nTIME=900\r\n");
    VGSE.IVRO_BackupLame_Ini = ini;
    TDossierInfos dossier;
    dossier.Init();
    dossier.ServiceName = QStringLiteral("ivro_SHOP01");
    dossier.DatabaseFile = QStringLiteral("/srv/bases/shop01.fdb");
    QVERIFY(FDataMod.Moteur.AjouteDossierBackupLame(dossier));
    QVERIFY(FDataMod.Moteur.AjouteDossierBackupLame(dossier));
    QCOMPARE(WithoutDates(ReadFile(ini)),
             QByteArray("[shop01]\r\nIVROSERVICE=ivro_SHOP01\r\nINSTALL=<date>\r\nLASTRESULT=0\r\nAUTRE=garde\r\n"
                        "IBFILE=/srv/bases/shop01.fdb\r\nLAST=<date>\r\nLASTOK=<date>\r\nTIME=1800\r\n\r\n"
                        "[SHOP02]\r\nTIME=900\r\n"));
}

void TestBackup::missingFileWritesNothing()
{
    TDossierInfos dossier;
    dossier.Init();
    dossier.ServiceName = QStringLiteral("IVRO_SHOP01");
    for (const QString &ini : {QString(), FDir->filePath(QStringLiteral("absent.ini")), FDir->path()}) {
        VGSE.IVRO_BackupLame_Ini = ini;
        QVERIFY(!FDataMod.Moteur.AjouteDossierBackupLame(dossier));
    }
    QVERIFY(!QFile::exists(FDir->filePath(QStringLiteral("absent.ini"))));
}

void TestBackup::unsafeNamesRefused()
{
    const QString ini = FDir->filePath(QStringLiteral("backup.ini"));
    const QByteArray content = "[SHOP01]\r\nTIME=900\r\n";
    WriteFile(ini, content);
    VGSE.IVRO_BackupLame_Ini = ini;
    TDossierInfos dossier;
    dossier.Init();
    dossier.ServiceName = QStringLiteral("IVRO_SHOP01");
    dossier.DatabaseFile = QStringLiteral("base.fdb\r\n[AUTRE]\r\nTIME=1");
    QVERIFY_THROWS_EXCEPTION(EDbError, FDataMod.Moteur.AjouteDossierBackupLame(dossier));
    dossier.DatabaseFile = QStringLiteral("base.fdb");
    dossier.ServiceName = QStringLiteral("IVRO_]X");
    QVERIFY_THROWS_EXCEPTION(EDbError, FDataMod.Moteur.AjouteDossierBackupLame(dossier));
    // The file's code page has no such character: refused, not written as "?".
    dossier.ServiceName = QStringLiteral("IVRO_SHOP\u4E2D");
    QVERIFY_THROWS_EXCEPTION(EDbError, FDataMod.Moteur.AjouteDossierBackupLame(dossier));
    QCOMPARE(ReadFile(ini), content);
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
