#include "common/UWMI.h"
#include "common/uCommun.h"
#include "platform/CimDateTime.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimeZone>

namespace {

const QRegularExpression KCimDateTime(QStringLiteral(R"(^\d{14}\.\d{6}[+-]\d{3}$)"));
const QRegularExpression KDecimal(QStringLiteral(R"(^\d+$)"));

// Back from CIM text to a point in time, offset included.
QDateTime FromCim(const QString &aText)
{
    const QDateTime local = QDateTime::fromString(aText.left(14), QStringLiteral("yyyyMMddHHmmss"));
    const int offsetMinutes = aText.right(4).toInt();
    return QDateTime(local.date(), local.time().addMSecs(aText.mid(15, 3).toInt()),
                     QTimeZone(offsetMinutes * 60));
}

TSYMDSInfos Service(const QString &aName, const QString &aDirectory, qint32 aHttp)
{
    TSYMDSInfos info;
    info.ServiceName = aName;
    info.Directory = aDirectory;
    info.http = aHttp;
    return info;
}

} // namespace

class TestEnvironnement : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SYMDSInfos.clear(); }

    void formatDuree_data();
    void formatDuree();
    void calculeSymNode_data();
    void calculeSymNode();
    void setSymDir_data();
    void setSymDir();
    void dossierInfosInit();
    void newGuid();
    void vgseFilledAtStartup();
    void vgseInitKeepsWhatItDoesNotOwn();
    void osInfosForms_data();
    void osInfosForms();
    void osInfosTimes();
    void osInfosFromTable_data();
    void osInfosFromTable();
    void cimDateTime_data();
    void cimDateTime();
    void wmiQueryWithoutWmi();
};

void TestEnvironnement::formatDuree_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << "00:00";
    QTest::newRow("fraction dropped") << 59.9 << "00:59";
    QTest::newRow("minute") << 61.0 << "01:01";
    QTest::newRow("last of the first hour") << 3599.0 << "59:59";
    QTest::newRow("one hour") << 3600.0 << "01:00:00";
    QTest::newRow("last of the day") << 86399.0 << "23:59:59";
    QTest::newRow("whole day dropped") << 86400.0 << "00:00";
    QTest::newRow("day and more") << 90061.0 << "01:01:01";
    QTest::newRow("longest tick span") << 4294967.295 << "17:02:47";
}

void TestEnvironnement::formatDuree()
{
    QFETCH(double, seconds);
    QFETCH(QString, expected);
    QCOMPARE(FormatDuree(seconds), expected);
}

void TestEnvironnement::calculeSymNode_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("expected");
    QTest::newRow("serveur") << "SERVEUR-MAGASIN" << "s-magasin";
    QTest::newRow("portable and sync") << "Portable-Sync" << "p-s";
    QTest::newRow("all three") << "SERVEUR-PORTABLE-SYNC" << "s-p-s";
    QTest::newRow("first serveur only") << "serveur serveur" << "s serveur";
    QTest::newRow("first portable and sync only") << "PORTABLE-SYNC-SYNC" << "p-s-sync";
    QTest::newRow("sec drops serveur") << "PARIS-SERVEUR-SEC" << "secparis--sec";
    QTest::newRow("sec") << "MAGASIN-SEC" << "secmagasin-sec";
    QTest::newRow("sec only at the end") << "MAG-SECOURS" << "mag-secours";
    QTest::newRow("cut after the prefix")
        << "MAGASIN-DE-LA-GRANDE-RUE-NORD-SEC" << "secmagasin-de-la-grande-rue-no";
    QTest::newRow("40 characters")
        << "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCD" << "abcdefghijklmnopqrstuvwxyz0123";
    QTest::newRow("exactly 30") << "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123" << "abcdefghijklmnopqrstuvwxyz0123";
    QTest::newRow("accented capitals kept") << "ÉCOLE-ÀVIGNON" << "École-Àvignon";
    QTest::newRow("empty") << "" << "";
}

void TestEnvironnement::calculeSymNode()
{
    QFETCH(QString, sender);
    QFETCH(QString, expected);
    QCOMPARE(CalculeSymNode(sender), expected);
}

void TestEnvironnement::setSymDir_data()
{
    QTest::addColumn<QString>("serviceName");
    QTest::addColumn<QString>("expectedDir");
    QTest::addColumn<qint32>("expectedPort");
    // SYMDSInfos holds, in this order: an entry without a name, "SymDS1",
    // "SymDS2" twice. The record starts with "avant" and 7.
    QTest::newRow("empty name matches nothing") << "" << "avant" << 7;
    QTest::newRow("no match") << "SymDS9" << "avant" << 7;
    QTest::newRow("case counts") << "symds1" << "avant" << 7;
    QTest::newRow("one match") << "SymDS1" << "C:/SymDS1/" << 31415;
    QTest::newRow("last match wins") << "SymDS2" << "C:/SymDS2-b/" << 31417;
}

void TestEnvironnement::setSymDir()
{
    QFETCH(QString, serviceName);
    QFETCH(QString, expectedDir);
    QFETCH(qint32, expectedPort);
    SYMDSInfos = {Service(QString(), QStringLiteral("C:/sans-nom/"), 1),
                  Service(QStringLiteral("SymDS1"), QStringLiteral("C:/SymDS1/"), 31415),
                  Service(QStringLiteral("SymDS2"), QStringLiteral("C:/SymDS2-a/"), 31416),
                  Service(QStringLiteral("SymDS2"), QStringLiteral("C:/SymDS2-b/"), 31417)};
    TDossierInfos dossier;
    dossier.ServiceName = serviceName;
    dossier.SymDir = QStringLiteral("avant");
    dossier.HTTPPort = 7;

    dossier.SetSymDir();

    QCOMPARE(dossier.SymDir, expectedDir);
    QCOMPARE(dossier.HTTPPort, expectedPort);
    QCOMPARE(dossier.ServiceName, serviceName);
}

void TestEnvironnement::dossierInfosInit()
{
    TDossierInfos dossier;
    dossier.ServiceName = QStringLiteral("SymDS1");
    dossier.HTTPPort = 31415;
    dossier.SymDir = QStringLiteral("C:/SymDS1/");
    dossier.PropertiesFile = QStringLiteral("paris.properties");
    dossier.DatabaseFile = QStringLiteral("C:/Bases/PARIS.IB");
    dossier.BAS_SENDER = QStringLiteral("PARIS");
    dossier.BAS_IDENT = 12;
    dossier.BAS_GUID = QStringLiteral("{00020404-0000-0000-C000-000000000046}");
    dossier.BAS_PLAGE = QStringLiteral("[12_13]");
    dossier.GENERAL_ID = QStringLiteral("1 200 000");
    dossier.ExternalID = QStringLiteral("paris");
    dossier.Version = QStringLiteral("17.2");
    dossier.Nom = QStringLiteral("paris");
    dossier.Isok = true;
    dossier.TablesExclues = QStringLiteral("TMPSTAT TMPLOG");
    dossier.RegistrationUrl = QStringLiteral("http://lame:31415/sync/lame");
    dossier.ListBases = {TBase{QStringLiteral("LYON"), QStringLiteral("lyon"), QString(), 3, QString()}};

    dossier.Init();

    QCOMPARE(dossier.BAS_IDENT, -1);
    QCOMPARE(dossier.HTTPPort, 0);
    QCOMPARE(dossier.Isok, false);
    QVERIFY(dossier.ListBases.isEmpty());
    for (const QString *field : {&dossier.ServiceName, &dossier.SymDir, &dossier.PropertiesFile,
                                 &dossier.DatabaseFile, &dossier.BAS_SENDER, &dossier.BAS_GUID,
                                 &dossier.ExternalID, &dossier.Version, &dossier.Nom,
                                 &dossier.TablesExclues, &dossier.RegistrationUrl})
        QVERIFY2(field->isEmpty(), qPrintable(*field));
    QCOMPARE(dossier.BAS_PLAGE, QStringLiteral("[12_13]"));
    QCOMPARE(dossier.GENERAL_ID, QStringLiteral("1 200 000"));
}

void TestEnvironnement::newGuid()
{
    const QRegularExpression shape(
        QStringLiteral(R"(^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$)"));
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        const QString guid = GetNewGUID();
        QVERIFY2(shape.match(guid).hasMatch(), qPrintable(guid));
        seen.insert(guid);
    }
    QCOMPARE(seen.size(), 1000);
}

void TestEnvironnement::vgseFilledAtStartup()
{
    // Filled before main() ran: nothing in this test calls Init on VGSE.
    const QString exeDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
                           + QDir::separator();
    QCOMPARE(VGSE.ExePath, exeDir);
    QCOMPARE(VGSE.IVRO_PATHDIR, exeDir);
    QCOMPARE(VGSE.IVRO_PATHBASES, exeDir);
    QCOMPARE(VGSE.IVRO_PORTS, 30000);
    QCOMPARE(VGSE.Lock, false);
    QVERIFY(VGSE.HostName.isEmpty());
    QVERIFY(VGSE.JavaPath.isEmpty());
    QVERIFY(VGSE.PublicIP.isEmpty());
    QVERIFY(VGSE.IVRO_BackupLame_Ini.isEmpty());
    QVERIFY(KCimDateTime.match(VGSE.OSInfos.LocalDateTime).hasMatch());
    QCOMPARE(VGSE.OSInfos.CSName, GetNomMachine());
}

void TestEnvironnement::vgseInitKeepsWhatItDoesNotOwn()
{
    TVGSE env;
    env.PublicIP = QStringLiteral("203.0.113.7");
    env.IVRO_BackupLame_Ini = QStringLiteral("C:/Sauvegardes/lame.ini");
    env.HostName = QStringLiteral("ancien-hote");
    env.Javaversion = QStringLiteral("1.8");
    env.JavaPath = QStringLiteral("C:/Java");
    env.Lock = true;
    env.IVRO_PORTS = 12;

    env.Init();

    QCOMPARE(env.PublicIP, QStringLiteral("203.0.113.7"));
    QCOMPARE(env.IVRO_BackupLame_Ini, QStringLiteral("C:/Sauvegardes/lame.ini"));
    QVERIFY(env.HostName.isEmpty());
    QVERIFY(env.Javaversion.isEmpty());
    QVERIFY(env.JavaPath.isEmpty());
    QCOMPARE(env.Lock, false);
    QCOMPARE(env.IVRO_PORTS, 30000);
    QCOMPARE(env.ExePath, VGSE.ExePath);
    QVERIFY(!env.OSInfos.Version.isEmpty());
}

void TestEnvironnement::osInfosForms_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("pattern");
    TOSInfos infos;
    GetOSInfos(infos);
    const QString some = QStringLiteral(R"(^\S.*$)");
    QTest::newRow("BuildNumber") << infos.BuildNumber << some;
    QTest::newRow("Caption") << infos.Caption << some;
#ifdef Q_OS_WIN
    QTest::newRow("CSDVersion") << infos.CSDVersion << some;
#else
    QTest::newRow("CSDVersion") << infos.CSDVersion << "^NULL$";
#endif
    QTest::newRow("CSName") << infos.CSName << some;
    QTest::newRow("FreePhysicalMemory") << infos.FreePhysicalMemory << KDecimal.pattern();
    QTest::newRow("FreeSpaceInPagingFiles") << infos.FreeSpaceInPagingFiles << KDecimal.pattern();
    QTest::newRow("FreeVirtualMemory") << infos.FreeVirtualMemory << KDecimal.pattern();
    QTest::newRow("LastBootUptime") << infos.LastBootUptime << KCimDateTime.pattern();
    QTest::newRow("LocalDateTime") << infos.LocalDateTime << KCimDateTime.pattern();
    QTest::newRow("OSArchitecture") << infos.OSArchitecture << "^$";
    QTest::newRow("Version") << infos.Version << some;
}

void TestEnvironnement::osInfosForms()
{
    QFETCH(QString, value);
    QFETCH(QString, pattern);
    QVERIFY2(QRegularExpression(pattern).match(value).hasMatch(), qPrintable(value));
}

void TestEnvironnement::osInfosFromTable_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("expected"); // the eleven fields joined by "|"

    const QStringList windows = {QStringLiteral("BuildNumber"),        QStringLiteral("Caption"),
                                 QStringLiteral("CSDVersion"),         QStringLiteral("CSName"),
                                 QStringLiteral("FreePhysicalMemory"), QStringLiteral("FreeSpaceInPagingFiles"),
                                 QStringLiteral("FreeVirtualMemory"),  QStringLiteral("LastBootUpTime"),
                                 QStringLiteral("LocalDateTime"),      QStringLiteral("Version")};
    QTest::newRow("all ten, as Windows gives them")
        << windows << "v:BuildNumber|v:Caption|v:CSDVersion|v:CSName|v:FreePhysicalMemory|v:FreeSpaceInPagingFiles|"
                      "v:FreeVirtualMemory|v:LastBootUpTime|v:LocalDateTime||v:Version";
    QStringList wine = windows;
    wine.removeAll(QStringLiteral("FreeSpaceInPagingFiles"));
    QTest::newRow("one left out, as Wine gives them")
        << wine << "v:BuildNumber|v:Caption|v:CSDVersion|v:CSName|v:FreePhysicalMemory||v:FreeVirtualMemory|"
                   "v:LastBootUpTime|v:LocalDateTime||v:Version";
}

void TestEnvironnement::osInfosFromTable()
{
    QFETCH(QStringList, names);
    QFETCH(QString, expected);
    QStringList values;
    for (const QString &name : names)
        values << QStringLiteral("v:") + name;
    TOSInfos infos;
    OSInfosFromTable({QStringList{QStringLiteral("Instance")} + names, QStringList{QStringLiteral("1")} + values},
                     infos);
    const QStringList fields = {infos.BuildNumber,        infos.Caption,           infos.CSDVersion,
                                infos.CSName,             infos.FreePhysicalMemory, infos.FreeSpaceInPagingFiles,
                                infos.FreeVirtualMemory,  infos.LastBootUptime,    infos.LocalDateTime,
                                infos.OSArchitecture,     infos.Version};
    QCOMPARE(fields.join(u'|'), expected);
}

void TestEnvironnement::osInfosTimes()
{
    // The offset and its sign must make the texts name the right instants.
    const QDateTime before = QDateTime::currentDateTime();
    TOSInfos infos;
    GetOSInfos(infos);
    const QDateTime now = FromCim(infos.LocalDateTime);
    const QDateTime boot = FromCim(infos.LastBootUptime);
    QVERIFY(now.isValid());
    QVERIFY(boot.isValid());
    QVERIFY2(qAbs(now.msecsTo(before)) < 60 * 1000, qPrintable(infos.LocalDateTime));
    QVERIFY2(boot < now, qPrintable(infos.LastBootUptime));
}

void TestEnvironnement::cimDateTime_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");
    const QDate date(2024, 1, 5);
    QTest::newRow("east of UTC") << QDateTime(date, QTime(9, 3, 2, 500), QTimeZone(3600))
                                 << "20240105090302.500000+060";
    QTest::newRow("west of UTC") << QDateTime(date, QTime(23, 59, 59, 7), QTimeZone(-5 * 3600))
                                 << "20240105235959.007000-300";
    QTest::newRow("UTC") << QDateTime(date, QTime(0, 0), QTimeZone(0))
                         << "20240105000000.000000+000";
    QTest::newRow("half hour") << QDateTime(date, QTime(12, 0), QTimeZone(5 * 3600 + 1800))
                               << "20240105120000.000000+330";
}

void TestEnvironnement::cimDateTime()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);
    QCOMPARE(CimDateTime(when), expected);
}

void TestEnvironnement::wmiQueryWithoutWmi()
{
#ifdef Q_OS_WIN
    QSKIP("WMI existe sous Windows.");
#else
    T2DimStrArray table = {{QStringLiteral("ancien")}};
    int instances = 5;
    QString errorText;
    const int result = WmiQuery(QStringLiteral("."), QStringLiteral("root\\CIMV2"), QString(),
                                QString(), QStringLiteral("SELECT Caption FROM Win32_OperatingSystem"),
                                table, instances, errorText);
    QCOMPARE(result, -1);
    QVERIFY(!errorText.isEmpty());
    QCOMPARE(instances, 0);
    QVERIFY(table.isEmpty());
#endif
}

QTEST_GUILESS_MAIN(TestEnvironnement)
#include "tst_environnement.moc"
