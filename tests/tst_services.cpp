// The service and shell helpers on POSIX. No systemd runs here: a stand-in
// systemctl (tests/fakes/systemctl) is put first on PATH, with its units in a
// temporary folder.
#include "platform/ServiceControler.h"
#include "FileHelpers.h"
#include "platform/SymmetricDS.Commun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

namespace {

QString Describe(const TInfoSurService &aInfo)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|%10|%11")
        .arg(aInfo.Exist ? 1 : 0)
        .arg(int(aInfo.ServiceType))
        .arg(int(aInfo.StartType))
        .arg(int(aInfo.ErrorControl))
        .arg(aInfo.BinaryPathName, aInfo.LoadOrderGroup)
        .arg(aInfo.TagId)
        .arg(aInfo.Dependencies, aInfo.ServiceStartName, aInfo.DisplayName, aInfo.ErrorMessage);
}

const QString KCleared = QStringLiteral("0|0|0|0|||0||||");

} // namespace

class TestServices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void infoSurService_data();
    void infoSurService();
    void startStop_data();
    void startStop();
    void runAsAndWait_data();
    void runAsAndWait();
    void runAsRefusedWithoutRoot();
    void shellCopyFile_data();
    void shellCopyFile();

private:
    QString Unit(const QString &aFile) const { return FUnits->filePath(aFile); }
    QStringList Journal() const
    {
        const QString journal = Unit(QStringLiteral("journal"));
        if (!QFile::exists(journal))
            return {};
        return QString::fromUtf8(ReadFile(journal)).split(u'\n', Qt::SkipEmptyParts);
    }

    QByteArray FOldPath;
    std::unique_ptr<QTemporaryDir> FUnits;
};

void TestServices::initTestCase()
{
    FOldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray(IVROMVT_FAKES_DIR) + ':' + FOldPath);
}

void TestServices::cleanupTestCase()
{
    qputenv("PATH", FOldPath);
}

void TestServices::init()
{
    FUnits = std::make_unique<QTemporaryDir>();
    QVERIFY(FUnits->isValid());
    qputenv("IVRO_SYSTEMCTL_DIR", FUnits->path().toLocal8Bit());
}

void TestServices::infoSurService_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("show"); // empty: no such unit
    QTest::addColumn<bool>("noManager");
    QTest::addColumn<QString>("expected");

    // Exist|type|start|error control|binary|group|tag|dependency|account|display|message
    QTest::newRow("own process, enabled, two dependencies")
        << "sym_shop" << QByteArray("Type=simple\nUnitFileState=enabled\nFailureAction=none\n"
                                   "ExecStart={ path=/opt/sym/bin/sym ; argv[]=/opt/sym/bin/sym --port 31415 ; "
                                   "ignore_errors=no ; start_time=[n/a] }\n"
                                   "Requires=firebird.service system.slice\nUser=symds\n"
                                   "Description=SymmetricDS magasin\n")
        << false << "1|3|1|3|/opt/sym/bin/sym --port 31415||0|firebird.service|symds|SymmetricDS magasin|";
    QTest::newRow("masked, no user: root")
        << "sym_shop" << QByteArray("LoadState=masked\nUnitFileState=masked\nType=forking\n") << false
        << "1|3|4|0|||0||root||";
    QTest::newRow("disabled, unknown type, reboot on failure")
        << "sym_shop.service" << QByteArray("Type=weird\nUnitFileState=disabled\nFailureAction=reboot\n") << false
        << "1|0|3|4|||0||root||";
    QTest::newRow("missing") << "absent" << QByteArray() << false
                             << KCleared + QString::fromUtf8("Le service \"absent\" n’existe pas.");
    QTest::newRow("unreadable unit file")
        << "sym_shop" << QByteArray("LoadState=bad-setting\nType=simple\nLoadError=org.freedesktop.systemd1."
                                   "BadUnitSetting \"Unit sym_shop.service has a bad unit file setting.\"\n")
        << false
        << QString::fromUtf8("1|0|0|0|||0||||Erreur lors de la récupération de la configuration du service "
                             "\"sym_shop\". Unit sym_shop.service has a bad unit file setting.");
    QTest::newRow("no service manager") << "sym_shop" << QByteArray("Type=simple\n") << true
                                        << KCleared + "Erreur lors de la connexion au gestionnaire de services.";
    QTest::newRow("an option is not a name") << "--host=ailleurs" << QByteArray("Type=simple\n") << false
                                             << KCleared + QString::fromUtf8("Le service \"--host=ailleurs\" "
                                                                             "n’existe pas.");
}

void TestServices::infoSurService()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, show);
    QFETCH(bool, noManager);
    QFETCH(QString, expected);
    if (!show.isEmpty())
        WriteFile(Unit(QStringLiteral("sym_shop.service.show")), show);
    if (noManager)
        WriteFile(Unit(QStringLiteral("panne")), {});

    TInfoSurService info;
    info.Exist = true;
    info.DisplayName = QStringLiteral("reste d'un appel précédent");
    info.TagId = 7;
    GetInfoSurService(name, info);
    QCOMPARE(Describe(info), expected);
    if (name.startsWith(u'-'))
        QVERIFY2(Journal().isEmpty(), qPrintable(Journal().join(" / ")));
}

void TestServices::startStop_data()
{
    QTest::addColumn<bool>("start");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QByteArray>("initial");    // state before the call; empty: no such unit
    QTest::addColumn<QByteArray>("transition"); // what start or stop leads to
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<bool>("requestSent");
    QTest::addColumn<QByteArray>("finalState");

    QTest::newRow("start waits for running") << true << "" << QByteArray("inactive")
                                             << QByteArray("activating 3 active") << 60000 << true << true
                                             << QByteArray("active");
    QTest::newRow("start after a failure") << true << "" << QByteArray("failed") << QByteArray("active") << 60000
                                           << true << true << QByteArray("active");
    QTest::newRow("start of a running service refused") << true << "" << QByteArray("active") << QByteArray()
                                                        << 60000 << false << false << QByteArray("active");
    QTest::newRow("start of a starting service refused") << true << "" << QByteArray("activating 50 active")
                                                         << QByteArray() << 60000 << false << false
                                                         << QByteArray("activating 49 active");
    QTest::newRow("start that fails ends the wait") << true << "" << QByteArray("inactive")
                                                    << QByteArray("activating 1 failed") << 60000 << false << true
                                                    << QByteArray("failed");
    QTest::newRow("start stuck pending: bounded") << true << "" << QByteArray("inactive")
                                                  << QByteArray("activating 100000 active") << 700 << false << true
                                                  << QByteArray();
    QTest::newRow("stop waits for stopped") << false << "" << QByteArray("active")
                                            << QByteArray("deactivating 2 inactive") << 60000 << true << true
                                            << QByteArray("inactive");
    QTest::newRow("stop of a stopped service refused") << false << "" << QByteArray("inactive") << QByteArray()
                                                       << 60000 << false << false << QByteArray("inactive");
    QTest::newRow("stop of a failed service refused") << false << "" << QByteArray("failed") << QByteArray()
                                                      << 60000 << false << false << QByteArray("failed");
    QTest::newRow("missing service") << true << "" << QByteArray() << QByteArray() << 60000 << false << false
                                     << QByteArray();
    QTest::newRow("other machine") << false << "serveur-central" << QByteArray("active") << QByteArray() << 60000
                                   << false << false << QByteArray("active");
}

void TestServices::startStop()
{
    QFETCH(bool, start);
    QFETCH(QString, machine);
    QFETCH(QByteArray, initial);
    QFETCH(QByteArray, transition);
    QFETCH(int, limitMs);
    QFETCH(bool, expected);
    QFETCH(bool, requestSent);
    QFETCH(QByteArray, finalState);
    const QString state = Unit(QStringLiteral("sym_shop.service.etat"));
    if (!initial.isEmpty()) {
        WriteFile(Unit(QStringLiteral("sym_shop.service.show")), "Type=simple\n");
        WriteFile(state, initial + '\n');
    }
    if (!transition.isEmpty())
        WriteFile(Unit(start ? QStringLiteral("sym_shop.service.demarrage") : QStringLiteral("sym_shop.service.arret")),
                  transition + '\n');

    QElapsedTimer elapsed;
    elapsed.start();
    const std::chrono::milliseconds limit(limitMs);
    const bool result = start ? StartServiceAndWait(machine, QStringLiteral("sym_shop"), limit)
                              : StopServiceAndWait(machine, QStringLiteral("sym_shop"), limit);
    QCOMPARE(result, expected);
    QVERIFY2(elapsed.elapsed() < 20000, "the wait must end well before its bound");

    const QStringList journal = Journal();
    const QString request = start ? QStringLiteral("start") : QStringLiteral("stop");
    const qsizetype sent = journal.indexOf(QRegularExpression(QStringLiteral(".* %1 -- .*").arg(request)));
    QCOMPARE(sent >= 0, requestSent);
    if (!finalState.isEmpty())
        QCOMPARE(ReadFile(state).trimmed(), finalState);
    // Waiting means reading the state again until it settles.
    if (expected && transition.contains(' '))
        QVERIFY(journal.size() - sent > transition.split(' ').value(1).toInt() + 1);
}

void TestServices::runAsAndWait_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("parameters");
    QTest::addColumn<bool>("inFolder"); // run in a fresh folder, or in one that does not exist
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("error");

    QTest::newRow("failure exit code is still a run")
        << "/bin/sh" << "-c \"sleep 0.3; echo fini > sortie.txt; exit 3\"" << true << true << "";
    QTest::newRow("found on PATH") << "sh" << "-c \"echo fini > sortie.txt\"" << true << true << "";
    QTest::newRow("missing program") << "/nulle/part/installeur" << "" << true << false
                                     << "Programme introuvable : /nulle/part/installeur";
    QTest::newRow("missing folder") << "/bin/sh" << "-c true" << false << false << "Impossible de lancer /bin/sh";
}

void TestServices::runAsAndWait()
{
    QFETCH(QString, file);
    QFETCH(QString, parameters);
    QFETCH(bool, inFolder);
    QFETCH(bool, expected);
    QFETCH(QString, error);
    if (::geteuid() != 0)
        QSKIP("RunAsAndWait needs root here (runAsRefusedWithoutRoot covers the refusal)");
    const QString folder = inFolder ? FUnits->path() : FUnits->filePath(QStringLiteral("absent"));

    QElapsedTimer elapsed;
    elapsed.start();
    QString message;
    QCOMPARE(RunAsAndWait(file, parameters, folder, true, message), expected);
    QVERIFY2(error.isEmpty() ? message.isEmpty() : message.startsWith(error), qPrintable(message));
    if (expected) // it has waited for the program's end
        QCOMPARE(ReadFile(FUnits->filePath(QStringLiteral("sortie.txt"))), QByteArray("fini\n"));
    else
        QVERIFY(elapsed.elapsed() < 1000);
}

void TestServices::runAsRefusedWithoutRoot()
{
    const auto attempt = [] {
        QString message;
        const bool started = RunAsAndWait(QStringLiteral("/bin/true"), QString(), QString(), true, message);
        return !started && message.contains(QLatin1String("relancez le programme en root"));
    };
    if (::geteuid() != 0) {
        QVERIFY(attempt());
        return;
    }
    // As root: the refusal is seen from a child that gave its rights up.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const bool refused = ::setgid(65534) == 0 && ::setuid(65534) == 0 && attempt();
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestServices::shellCopyFile_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");   // relative to the test folder
    QTest::addColumn<QString>("landsAt");  // where the copy is then found
    QTest::addColumn<bool>("expected");

    QTest::newRow("replaces an existing file") << "source.conf" << "existant.conf" << "existant.conf" << true;
    QTest::newRow("creates missing folders") << "source.conf" << "a/b/c/sym.conf" << "a/b/c/sym.conf" << true;
    QTest::newRow("into an existing folder") << "source.conf" << "dossier" << "dossier/source.conf" << true;
    QTest::newRow("missing source") << "absent.conf" << "existant.conf" << "existant.conf" << false;
    QTest::newRow("onto itself") << "source.conf" << "source.conf" << "source.conf" << false;
}

void TestServices::shellCopyFile()
{
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QString, landsAt);
    QFETCH(bool, expected);
    const QDir dir(FUnits->path());
    const QByteArray content("http.port=31415\r\nsync.url=http\\://central\r\n");
    WriteFile(dir.filePath(QStringLiteral("source.conf")), content);
    WriteFile(dir.filePath(QStringLiteral("existant.conf")), "ancien contenu, plus long que le nouveau ........\n");
    QVERIFY(dir.mkdir(QStringLiteral("dossier")));

    QCOMPARE(ShellCopyFile(dir.filePath(source), dir.filePath(target)), expected);
    if (expected || source == target)
        QCOMPARE(ReadFile(dir.filePath(landsAt)), content);
    else
        QVERIFY(ReadFile(dir.filePath(landsAt)).startsWith("ancien contenu"));
}

QTEST_GUILESS_MAIN(TestServices)
#include "tst_services.moc"
