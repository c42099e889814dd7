// Where the program writes and what it runs: the folder is reached without
// following a link and refused when another account could swap what is in
// it; nothing of a failed or stopped write is left behind.
#include "FileHelpers.h"

#include "common/AtomicFile.h"
#include "common/TextFile.h"
#include "platform/SafeFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Every entry under aDir, hidden ones included, as relative paths.
QStringList Everything(const QString &aDir)
{
    QStringList found;
    const QDir root(aDir);
    QStringList pending{aDir};
    while (!pending.isEmpty()) {
        const QDir dir(pending.takeFirst());
        for (const QFileInfo &info :
             dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            found << root.relativeFilePath(info.filePath());
            if (info.isDir() && !info.isSymLink())
                pending << info.filePath();
        }
    }
    found.sort();
    return found;
}

bool Chown(const QString &aPath, uid_t aUid)
{
    return ::lchown(QFile::encodeName(aPath).constData(), aUid, aUid) == 0;
}

bool Chmod(const QString &aPath, mode_t aMode)
{
    return ::chmod(QFile::encodeName(aPath).constData(), aMode) == 0;
}

} // namespace

class TestEcriture : public QObject
{
    Q_OBJECT

private slots:
    void dossiers_data();
    void dossiers();
    void programmes_data();
    void programmes();
    void dossierEchangePendantEcriture();
    void aucunTemporaireApresEchec();
    void lectureRefusee_data();
    void lectureRefusee();
};

// Each row lays out dir/p/d (p the parent, d the folder written into or
// whose files run) in some way, then writes dir/p/d/f, or asks whether
// files of dir/p/d may be run as root.
void TestEcriture::dossiers_data()
{
    QTest::addColumn<QString>("montage");
    QTest::addColumn<bool>("prive");   // the rule for files run as root
    QTest::addColumn<QString>("refus"); // empty: accepted
    QTest::newRow("dossier ordinaire") << "" << false << "";
    QTest::newRow("dossier ordinaire, fichiers lancés") << "" << true << "";
    QTest::newRow("lien au-dessus du dossier") << "lien-parent" << false << "est un lien";
    QTest::newRow("lien à la place du dossier") << "lien-dossier" << false << "est un lien";
    QTest::newRow("parent à un autre compte") << "parent-nobody" << false << "appartient au compte « nobody »";
    QTest::newRow("dossier à un autre compte") << "dossier-nobody" << false << "appartient au compte « nobody »";
    QTest::newRow("dossier absent") << "absent" << false << "n'existe pas";
    QTest::newRow("parent ouvert à tous, écriture") << "parent-777" << false << "";
    QTest::newRow("parent ouvert à tous, fichiers lancés") << "parent-777" << true << "peut être modifié par tous";
    QTest::newRow("parent ouvert à tous avec sticky, fichiers lancés") << "parent-1777" << true << "";
    QTest::newRow("dossier ouvert au groupe, fichiers lancés") << "dossier-770" << true << "peut être modifié par le groupe";
    QTest::newRow("dossier ouvert à tous avec sticky, fichiers lancés") << "dossier-1777" << true << "peut être modifié";
}

void TestEcriture::dossiers()
{
    QFETCH(QString, montage);
    QFETCH(bool, prive);
    QFETCH(QString, refus);
    const passwd *nobody = ::getpwnam("nobody");
    if ((montage.endsWith(QLatin1String("nobody")) || montage == QLatin1String("dossier-770"))
        && (::geteuid() != 0 || !nobody))
        QSKIP("a folder can be given to another account by root only");

    QTemporaryDir dir;
    const QString p = dir.filePath(QStringLiteral("p"));
    const QString d = p + QStringLiteral("/d");
    const QString ailleurs = dir.filePath(QStringLiteral("ailleurs"));
    QVERIFY(QDir().mkpath(ailleurs + QStringLiteral("/d")));
    if (montage == QLatin1String("lien-parent")) {
        QVERIFY(QFile::link(ailleurs, p));
    } else if (montage != QLatin1String("absent")) {
        QVERIFY(QDir().mkpath(p));
        if (montage == QLatin1String("lien-dossier"))
            QVERIFY(QFile::link(ailleurs + QStringLiteral("/d"), d));
        else
            QVERIFY(QDir().mkpath(d));
    }
    if (montage == QLatin1String("parent-nobody"))
        QVERIFY(Chown(p, nobody->pw_uid));
    if (montage == QLatin1String("dossier-nobody"))
        QVERIFY(Chown(d, nobody->pw_uid));
    if (montage.startsWith(QLatin1String("parent-")) && !montage.endsWith(QLatin1String("nobody")))
        QVERIFY(Chmod(p, mode_t(montage.mid(7).toUInt(nullptr, 8))));
    if (montage.startsWith(QLatin1String("dossier-")) && !montage.endsWith(QLatin1String("nobody")))
        QVERIFY(Chmod(d, mode_t(montage.mid(8).toUInt(nullptr, 8))));
    // A group of other accounts.
    if (montage == QLatin1String("dossier-770"))
        QVERIFY(::lchown(QFile::encodeName(d).constData(), uid_t(-1), nobody->pw_gid) == 0);

    if (prive) {
        const QString why = FolderRefusal(d, TFolderTrust::Private);
        QVERIFY2(refus.isEmpty() ? why.isEmpty() : why.contains(refus), qPrintable(why));
        return;
    }
    const QStringList before = Everything(dir.path());
    QString why;
    try {
        WriteFileAtomically(d + QStringLiteral("/f"), "db.password=secret\n", TFileAccess::OwnerOnly);
    } catch (const std::runtime_error &e) {
        why = QString::fromUtf8(e.what());
    }
    if (refus.isEmpty()) {
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(ReadFile(d + QStringLiteral("/f")), QByteArray("db.password=secret\n"));
        return;
    }
    QVERIFY2(why.contains(refus), qPrintable(why));
    // Nothing written anywhere, through the link or beside it.
    QCOMPARE(Everything(dir.path()), before);
}

// A file run as root: a plain file of ours in a folder nobody else changes.
void TestEcriture::programmes_data()
{
    QTest::addColumn<QString>("montage");
    QTest::addColumn<QString>("refus");
    QTest::newRow("fichier de root") << "" << "";
    QTest::newRow("fichier d'un autre compte") << "nobody" << "appartient au compte « nobody »";
    QTest::newRow("fichier modifiable par tous") << "666" << "peut être modifié par un autre compte";
    QTest::newRow("lien") << "lien" << "est un lien";
    QTest::newRow("absent") << "absent" << "n'existe pas";
    QTest::newRow("dossier ouvert à tous") << "dossier-777" << "peut être modifié par tous";
}

void TestEcriture::programmes()
{
    QFETCH(QString, montage);
    QFETCH(QString, refus);
    const passwd *nobody = ::getpwnam("nobody");
    if (montage == QLatin1String("nobody") && (::geteuid() != 0 || !nobody))
        QSKIP("a file can be given to another account by root only");
    QTemporaryDir dir;
    const QString bin = dir.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    const QString script = bin + QStringLiteral("/sym_service");
    if (montage == QLatin1String("lien")) {
        WriteFile(dir.filePath(QStringLiteral("vrai")), "#!/bin/sh\n");
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("vrai")), script));
    } else if (montage != QLatin1String("absent")) {
        WriteFile(script, "#!/bin/sh\n");
    }
    if (montage == QLatin1String("nobody"))
        QVERIFY(Chown(script, nobody->pw_uid));
    if (montage == QLatin1String("666"))
        QVERIFY(Chmod(script, 0666));
    if (montage == QLatin1String("dossier-777"))
        QVERIFY(Chmod(bin, 0777));
    const QString why = ProgramRefusal(script);
    QVERIFY2(refus.isEmpty() ? why.isEmpty() : why.contains(refus), qPrintable(why));
}

// The folder is held open while the file is written: swapped for another
// one before the rename, it still gets the file, and the one put in its
// place gets nothing.
void TestEcriture::dossierEchangePendantEcriture()
{
    QTemporaryDir dir;
    const QString d = dir.filePath(QStringLiteral("d"));
    const QString deplace = dir.filePath(QStringLiteral("deplace"));
    QVERIFY(QDir().mkpath(d));
    {
        TNewFile file(d + QStringLiteral("/f.properties"), TFileAccess::OwnerOnly);
        file.Write("db.password=secret\n");
        QVERIFY(QDir().rename(d, deplace));
        QVERIFY(QDir().mkpath(d));
        file.Commit();
    }
    QCOMPARE(Everything(d), QStringList());
    QCOMPARE(Everything(deplace), QStringList{QStringLiteral("f.properties")});
    QCOMPARE(ReadFile(deplace + QStringLiteral("/f.properties")), QByteArray("db.password=secret\n"));
}

// A write that fails half-way (the file size limit here, a full disk
// elsewhere), and a process that ends before the rename, leave the target
// as it was and no other file beside it.
void TestEcriture::aucunTemporaireApresEchec()
{
    QTemporaryDir dir;
    const QString cible = dir.filePath(QStringLiteral("lame.properties"));
    WriteFile(cible, "ancien\n");

    // Child processes: the limit and the abrupt end stay theirs.
    for (const bool arret : {false, true}) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            try {
                TNewFile file(cible, TFileAccess::OwnerOnly);
                file.Write("db.password=secret\n");
                if (arret)
                    ::_exit(3); // stopped: no destructor runs
                const rlimit limit{4096, 4096};
                ::setrlimit(RLIMIT_FSIZE, &limit);
                file.Write(QByteArray(1 << 16, 'x'));
                file.Commit();
            } catch (const std::runtime_error &) {
                ::_exit(2);
            }
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), arret ? 3 : 2);
        QCOMPARE(Everything(dir.path()), QStringList{QStringLiteral("lame.properties")});
        QCOMPARE(ReadFile(cible), QByteArray("ancien\n"));
    }
}

// A file that cannot be read is told in French, whichever way it is read.
void TestEcriture::lectureRefusee_data()
{
    QTest::addColumn<QString>("chemin"); // under the test's folder
    QTest::addColumn<QString>("cause");
    QTest::newRow("fichier absent") << "absent.txt" << "fichier ou dossier introuvable";
    QTest::newRow("un dossier") << "sous-dossier" << "c'est un dossier";
}

void TestEcriture::lectureRefusee()
{
    QFETCH(QString, chemin);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sous-dossier")));
    const QString source = dir.filePath(chemin);
    const QString attendu = QStringLiteral("Impossible de lire le fichier \"%1\" : %2").arg(source, cause);
    const auto message = [](const std::function<void()> &aLecture) {
        try {
            aLecture();
        } catch (const std::exception &e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    };
    QCOMPARE(message([&] { ReadTextFileLines(source); }), attendu);
    QCOMPARE(message([&] { CopyFileAtomically(source, dir.filePath(QStringLiteral("copie.txt"))); }), attendu);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("copie.txt"))));
}

QTEST_GUILESS_MAIN(TestEcriture)
#include "tst_ecriture.moc"
