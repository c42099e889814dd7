// The journal of sendings: one line per sending of envoyer however it ends,
// lines appended by two programs at once, damaged lines skipped, the
// listing of ivromvt-cli journal, and suivi without a range following the
// day's sendings of the journal instead of reading all of SYM_DATA.
#include "CliRun.h"
#include "data/mouvement/JournalEnvois.h"
#include "testdb/RoutingFixture.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <tuple>

#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace RoutingFixture;

namespace {

const QString KNoeud = QStringLiteral("mag-001");
const char KAjouts[] = "IVROMVT_TEST_AJOUTS"; // child mode: append that many sendings

QJsonArray JsonArray(const TCliRun &aRun)
{
    return QJsonDocument::fromJson(aRun.Out.toUtf8()).array();
}

QStringList Envoyer(const TTestDatabase &aDb)
{
    return {QStringLiteral("envoyer"), aDb.Path(),           QStringLiteral("--du"),    QStringLiteral("10/03/2026"),
            QStringLiteral("--au"),    QStringLiteral("10/03/2026"), QStringLiteral("--noeud"), KNoeud,
            QStringLiteral("--oui")};
}

TEnvoiJournal Envoi(const QString &aBase, const QString &aNoeud, qint64 aDe, qint64 aA, const QDateTime &aDebut)
{
    TEnvoiJournal e = JournalEnvois::Nouveau(aBase, aNoeud, TSensMouvement::LameVersMag, QDate(2026, 3, 10),
                                             QDate(2026, 3, 10), aDebut);
    e.PremierDataId = aDe;
    e.DernierDataId = aA;
    e.Evenements = aDe > 0 ? aA - aDe + 1 : 0;
    e.Fin = aDebut.addSecs(4);
    e.Issue = TIssueEnvoi::Termine;
    return e;
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void oneLinePerSending_data();
    void oneLinePerSending();
    void twoProgramsAppendAtOnce();
    void damagedLinesSkipped();
    void linkNotFollowed();
    void fullDisk();
    void notAPlainFile_data();
    void notAPlainFile();
    void shownNeverObeyed();
    void listing_data();
    void listing();
    void suiviFollowsTheJournal();

private:
    std::unique_ptr<QTemporaryDir> FDonnees;
};

// Each case its own data folder, for this process and the programs it
// starts: nothing is read from another case, nor written in the user's.
void TestJournal::init()
{
    FDonnees = std::make_unique<QTemporaryDir>();
    QVERIFY(FDonnees->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(FDonnees->path()));
    QVERIFY(JournalEnvois::Chemin().startsWith(FDonnees->path()));
}

void TestJournal::cleanup()
{
    FDonnees.reset();
}

void TestJournal::oneLinePerSending_data()
{
    QTest::addColumn<int>("lignesK");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("signal"); // 0: none sent
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("issue");
    QTest::addColumn<QString>("message");
    QTest::newRow("termine") << 10 << QString() << 0 << 0 << "terminé" << QString();
    // The range procedure fails: no DATA_ID for the events.
    QTest::newRow("echec") << 3 << "ALTER TRIGGER TRG_SYM_DATA_DATA_ID INACTIVE" << 0 << 1 << "échoué" << "DATA_ID";
    QTest::newRow("interrompu") << 199999 << QString() << int(SIGINT) << 130 << "interrompu"
                                << "Envoi interrompu";
}

void TestJournal::oneLinePerSending()
{
    QFETCH(int, lignesK);
    QFETCH(QString, setup);
    QFETCH(int, signal);
    QFETCH(int, code);
    QFETCH(QString, issue);
    QFETCH(QString, message);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), lignesK, QDate(2026, 3, 10));
    if (!setup.isEmpty())
        db.Exec(setup);

    const QDateTime avant = QDateTime::currentDateTimeUtc().addSecs(-1);
    QProcess p;
    p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
    p.setArguments(Envoyer(db));
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    QVERIFY(p.waitForStarted());
    if (signal != 0) {
        QTRY_VERIFY_WITH_TIMEOUT(db.Count(QStringLiteral("MON$STATEMENTS WHERE MON$STATE = 1 AND MON$ATTACHMENT_ID "
                                                         "<> CURRENT_CONNECTION AND MON$SQL_TEXT CONTAINING "
                                                         "'IVRO_MVT_LAME2MAG_NODE'"))
                                         == 1
                                     || p.state() == QProcess::NotRunning,
                                 60000);
        ::kill(pid_t(p.processId()), signal);
    }
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitCode(), code);

    const TCliRun liste = RunCli({QStringLiteral("journal"), QStringLiteral("--json")});
    QCOMPARE(liste.Code, 0);
    const QJsonArray envois = JsonArray(liste);
    QCOMPARE(envois.size(), 1);
    const QJsonObject e = envois[0].toObject();
    QCOMPARE(e.value(QLatin1String("base")).toString(), db.Path());
    QCOMPARE(e.value(QLatin1String("noeud")).toString(), KNoeud);
    QCOMPARE(e.value(QLatin1String("sens")).toString(), QStringLiteral("Lame vers Magasin"));
    QCOMPARE(e.value(QLatin1String("du")).toString(), QStringLiteral("2026-03-10"));
    QCOMPARE(e.value(QLatin1String("issue")).toString(), issue);
    const QString lu = e.value(QLatin1String("message")).toString();
    QVERIFY2(message.isEmpty() ? lu.isEmpty() : lu.contains(message), qPrintable(lu));
    // Local time without zone, as every command's dates.
    const QDateTime debut = QDateTime::fromString(e.value(QLatin1String("debut")).toString(), Qt::ISODate);
    const QDateTime fin = QDateTime::fromString(e.value(QLatin1String("fin")).toString(), Qt::ISODate);
    QCOMPARE(debut.timeSpec(), Qt::LocalTime);
    QVERIFY(avant <= debut && debut <= fin && fin <= QDateTime::currentDateTimeUtc());
    QVERIFY(!e.value(QLatin1String("machine")).toString().isEmpty());

    // The range is that of the events created, when there are some.
    const qint64 crees = db.Count(QStringLiteral("SYM_DATA"));
    QCOMPARE(qint64(e.value(QLatin1String("evenements")).toDouble()), crees);
    if (crees > 0) {
        QCOMPARE(qint64(e.value(QLatin1String("premier_data_id")).toDouble()),
                 db.Scalar(QStringLiteral("SELECT MIN(DATA_ID) FROM SYM_DATA")).toLongLong());
        QCOMPARE(qint64(e.value(QLatin1String("dernier_data_id")).toDouble()),
                 db.Scalar(QStringLiteral("SELECT MAX(DATA_ID) FROM SYM_DATA")).toLongLong());
    }
    QFile f(JournalEnvois::Chemin());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(!f.readAll().contains(TTestDatabase::Password.toUtf8()));
}

// Two programs ending their sendings at the same moment: every line whole,
// none lost.
void TestJournal::twoProgramsAppendAtOnce()
{
    constexpr int KParProgramme = 400;
    QList<QProcess *> programmes;
    for (const QString &noeud : {QStringLiteral("mag-001"), QStringLiteral("mag-002")}) {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(KAjouts), QString::number(KParProgramme));
        p->setProcessEnvironment(env);
        p->setProgram(QCoreApplication::applicationFilePath());
        p->setArguments({noeud});
        programmes << p;
    }
    for (QProcess *p : programmes)
        p->start();
    for (QProcess *p : programmes) {
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitCode(), 0);
        delete p;
    }
    QStringList avertissements;
    const QList<TEnvoiJournal> envois = JournalEnvois::Lire(&avertissements);
    QCOMPARE(avertissements, QStringList());
    QCOMPARE(envois.size(), 2 * KParProgramme);
    QCOMPARE(std::count_if(envois.cbegin(), envois.cend(), [](const TEnvoiJournal &e) { return e.Noeud == "mag-002"; }),
             KParProgramme);
}

void TestJournal::damagedLinesSkipped()
{
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QVERIFY(JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), KNoeud, 10, 20, t.addSecs(-60))).isEmpty());
    {
        QFile f(JournalEnvois::Chemin());
        QVERIFY(f.open(QIODevice::Append));
        QByteArray coupee = JournalEnvois::VersLigne(Envoi(QStringLiteral("/a.fdb"), KNoeud, 30, 40, t));
        coupee.chop(30);
        f.write("pas du JSON\n{\"base\":\"/a.fdb\",\"noeud\":\"mag-001\"}\n" + coupee + "\n\n");
    }
    QVERIFY(JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), KNoeud, 50, 60, t)).isEmpty());

    const TCliRun r = RunCli({QStringLiteral("journal"), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    const QJsonArray envois = JsonArray(r);
    QCOMPARE(envois.size(), 2);
    QCOMPARE(envois[0].toObject().value(QLatin1String("premier_data_id")).toInt(), 50);
    QCOMPARE(envois[1].toObject().value(QLatin1String("premier_data_id")).toInt(), 10);
    for (int ligne : {2, 3, 4})
        QVERIFY2(r.Err.contains(QStringLiteral("Ligne %1 du journal des envois illisible, ignorée.").arg(ligne)),
                 qPrintable(r.Err));
    QCOMPARE(r.Err.count(QLatin1Char('\n')), 3);
}

// A link planted in the journal's place is neither written through nor
// read: the sending is told it was not recorded.
void TestJournal::linkNotFollowed()
{
    QTemporaryDir ailleurs;
    const QString cible = ailleurs.filePath(QStringLiteral("cible"));
    {
        QFile f(cible);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("intact\n");
    }
    QVERIFY(QDir().mkpath(QFileInfo(JournalEnvois::Chemin()).absolutePath()));
    QVERIFY(QFile::link(cible, JournalEnvois::Chemin()));
    const QString erreur =
        JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), KNoeud, 1, 2, QDateTime::currentDateTimeUtc()));
    QVERIFY(!erreur.isEmpty());
    QFile f(cible);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("intact\n"));
    QStringList avertissements;
    QVERIFY(JournalEnvois::Lire(&avertissements).isEmpty());
    QCOMPARE(avertissements.size(), 1);
}

// On a file system that fills up, a line that does not fit is taken back
// whole: the next sending's line, once there is room, is read, and no
// damaged line is left between them.
void TestJournal::fullDisk()
{
    QTemporaryDir point;
    const QByteArray cible = QFile::encodeName(point.path());
    if (::mount("tmpfs", cible.constData(), "tmpfs", 0, "size=16k,mode=0700") != 0)
        QSKIP("un petit tmpfs ne peut pas être monté ici (il faut être root)");
    const auto demonte = qScopeGuard([&cible] { ::umount(cible.constData()); });
    qputenv("XDG_DATA_HOME", cible);
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QVERIFY(JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), KNoeud, 1, 2, t)).isEmpty());
    {
        // Every page but the journal's first.
        QFile rempli(point.filePath(QStringLiteral("rempli")));
        QVERIFY(rempli.open(QIODevice::WriteOnly));
        rempli.write(QByteArray(3 * 4096, 'x'));
    }
    int ecrits = 1;
    QString erreur;
    for (int i = 0; i < 40 && erreur.isEmpty(); ++i) {
        erreur = JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), KNoeud, 10 + i, 11 + i, t));
        ecrits += erreur.isEmpty() ? 1 : 0;
    }
    QVERIFY2(erreur.contains(QStringLiteral("incomplète : plus de place sur le disque")), qPrintable(erreur));
    QVERIFY(QFile::remove(point.filePath(QStringLiteral("rempli"))));
    QVERIFY(JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), KNoeud, 100, 101, t)).isEmpty());

    QStringList avertissements;
    const QList<TEnvoiJournal> envois = JournalEnvois::Lire(&avertissements);
    QCOMPARE(avertissements, QStringList());
    QCOMPARE(envois.size(), ecrits + 1);
    QCOMPARE(envois.constLast().PremierDataId, 100);

    // A line left cut by another program: ours still starts a line.
    {
        QFile f(JournalEnvois::Chemin());
        QVERIFY(f.open(QIODevice::Append));
        f.write(JournalEnvois::VersLigne(Envoi(QStringLiteral("/a.fdb"), KNoeud, 200, 201, t)).left(40));
    }
    QVERIFY(JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), KNoeud, 300, 301, t)).isEmpty());
    avertissements.clear();
    QCOMPARE(JournalEnvois::Lire(&avertissements).constLast().PremierDataId, 300);
    QCOMPARE(avertissements.size(), 1);
}

void TestJournal::notAPlainFile_data()
{
    QTest::addColumn<QString>("sorte");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("lien") << "lien";
    QTest::newRow("dossier") << "dossier";
}

// Something else in the journal's place: a sending is told it was not
// recorded, at once (a FIFO without a reader must not hang it), and
// journal says why it can't read it instead of "no sending".
void TestJournal::notAPlainFile()
{
    QFETCH(QString, sorte);
    const QString chemin = JournalEnvois::Chemin();
    QVERIFY(QDir().mkpath(QFileInfo(chemin).absolutePath()));
    QTemporaryDir ailleurs;
    if (sorte == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);
    else if (sorte == QLatin1String("lien"))
        QVERIFY(QFile::link(ailleurs.path(), chemin));
    else
        QVERIFY(QDir().mkdir(chemin));

    QElapsedTimer horloge;
    horloge.start();
    QVERIFY(!JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), KNoeud, 1, 2, QDateTime::currentDateTimeUtc()))
                 .isEmpty());
    QStringList avertissements;
    bool illisible = false;
    QVERIFY(JournalEnvois::Lire(&avertissements, &illisible).isEmpty());
    QVERIFY(illisible);
    QVERIFY(horloge.elapsed() < 5000);

    const TCliRun r = RunCli({QStringLiteral("journal")}, 20000);
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.startsWith(QStringLiteral("Journal des envois illisible : ") + chemin), qPrintable(r.Err));
    QVERIFY2(!r.Out.contains(QStringLiteral("Aucun envoi")), qPrintable(r.Out));
}

// What the journal holds is any program's writing: shown, never obeyed by
// the terminal; a line of any length is not read whole; the account is
// known without USER or USERNAME.
void TestJournal::shownNeverObeyed()
{
    const QDateTime t = QDateTime::currentDateTimeUtc();
    TEnvoiJournal piege = Envoi(QStringLiteral("/a\x1b[2J.fdb"), QStringLiteral("mag\x1b]0;titre\x07"), 1, 2, t);
    piege.Issue = TIssueEnvoi::Echec;
    piege.Message = QStringLiteral("refusé\r\x1b[31mrouge\u009b") + QString(200000, QLatin1Char('m'));
    QVERIFY(JournalEnvois::Consigner(piege).isEmpty());
    {
        QFile f(JournalEnvois::Chemin());
        QVERIFY(f.open(QIODevice::Append));
        f.write(QByteArray(3 * JournalEnvois::KLigneMax, 'z') + '\n');
    }
    QVERIFY(JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), KNoeud, 5, 6, t)).isEmpty());
    QFile f(JournalEnvois::Chemin());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readLine().size() <= JournalEnvois::KLigneMax);

    const TCliRun r = RunCli({QStringLiteral("journal")});
    QCOMPARE(r.Code, 0);
    for (const QChar c : r.Out + r.Err)
        QVERIFY2(c == QLatin1Char('\n') || (c.unicode() >= 0x20 && c.unicode() != 0x7F && !(c.unicode() >= 0x80 && c.unicode() < 0xA0)),
                 qPrintable(QStringLiteral("caractère de contrôle %1").arg(int(c.unicode()))));
    QVERIFY2(r.Out.contains(QStringLiteral("mag?]0;titre?")), qPrintable(r.Out.left(2000)));
    QVERIFY2(r.Err.contains(QStringLiteral("Ligne 2 du journal des envois trop longue, ignorée.")), qPrintable(r.Err));

    const QByteArray user = qgetenv("USER");
    const QByteArray username = qgetenv("USERNAME");
    qunsetenv("USER");
    qunsetenv("USERNAME");
    const TEnvoiJournal e = JournalEnvois::Nouveau(QStringLiteral("/a.fdb"), KNoeud, TSensMouvement::LameVersMag, QDate(), QDate());
    if (!user.isNull())
        qputenv("USER", user);
    if (!username.isNull())
        qputenv("USERNAME", username);
    const passwd *pw = ::getpwuid(::geteuid());
    QVERIFY(pw);
    QCOMPARE(e.Compte, QString::fromLocal8Bit(pw->pw_name));
}

void TestJournal::listing_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<int>>("premiers"); // premier_data_id, in the order listed
    QTest::newRow("tout, le plus récent d'abord") << QStringList{} << QList<int>{50, 40, 30, 20, 10};
    QTest::newRow("une base") << QStringList{"/bases/a.fdb"} << QList<int>{50, 30, 10};
    QTest::newRow("une base et un noeud") << QStringList{"/bases/a.fdb", "--noeud", "mag-002"} << QList<int>{30};
    QTest::newRow("depuis") << QStringList{"--depuis", "05/03/2026"} << QList<int>{50, 40};
    QTest::newRow("personne") << QStringList{"/bases/c.fdb"} << QList<int>{};
}

void TestJournal::listing()
{
    QFETCH(QStringList, options);
    QFETCH(QList<int>, premiers);
    // Written in an order that is not their start's.
    const QDateTime jour1(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    for (const auto &[base, noeud, de, jours] :
         {std::tuple{"/bases/a.fdb", "mag-001", 10, 0}, std::tuple{"/bases/a.fdb", "mag-001", 50, 9},
          std::tuple{"/bases/b.fdb", "mag-001", 20, 1}, std::tuple{"/bases/a.fdb", "mag-002", 30, 2},
          std::tuple{"/bases/b.fdb", "mag-002", 40, 8}})
        QVERIFY(JournalEnvois::Consigner(Envoi(QString::fromLatin1(base), QString::fromLatin1(noeud), de, de + 5,
                                               jour1.addDays(jours)))
                    .isEmpty());
    const TCliRun r = RunCli(QStringList{QStringLiteral("journal")} + options + QStringList{QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    QList<int> lus;
    for (const QJsonValue &v : JsonArray(r))
        lus << v.toObject().value(QLatin1String("premier_data_id")).toInt();
    QCOMPARE(lus, premiers);

    const TCliRun texte = RunCli(QStringList{QStringLiteral("journal")} + options);
    QCOMPARE(texte.Code, 0);
    QVERIFY2(texte.Out.contains(premiers.isEmpty() ? QStringLiteral("Aucun envoi dans le journal")
                                                   : QStringLiteral("%1 à %2").arg(premiers[0]).arg(premiers[0] + 5)),
             qPrintable(texte.Out));
}

// Two sendings of the day in the journal: suivi reads their ranges only. A
// reload event for the node from another machine's sending is not one of
// them; without the journal, the whole of SYM_DATA is read, and it is.
void TestJournal::suiviFollowsTheJournal()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 0, QDate(2026, 3, 10));
    QList<qint64> e;
    for (int i = 0; i < 3; ++i)
        e << AddEvent(db, KNoeud);
    const qint64 ailleurs = AddEvent(db, KNoeud);
    for (int i = 0; i < 2; ++i)
        e << AddEvent(db, KNoeud);
    Route(db, e[0], 1, KNoeud, QStringLiteral("OK"));
    Route(db, e[1], 2, KNoeud, QStringLiteral("NE"));
    Route(db, e[3], 3, KNoeud, QStringLiteral("ER"), true, QStringLiteral("refusé"));
    Route(db, ailleurs, 4, KNoeud, QStringLiteral("NE"));
    AddGap(db, e[4], e[4] + 50000000);

    const QStringList suivi{QStringLiteral("suivi"), db.Path(), QStringLiteral("--noeud"), KNoeud,
                            QStringLiteral("--json")};
    const TCliRun sansJournal = RunCli(suivi);
    QCOMPARE(sansJournal.Code, 0);
    QVERIFY2(sansJournal.Err.contains(QStringLiteral("recherche dans tout SYM_DATA")), qPrintable(sansJournal.Err));
    QCOMPARE(QJsonDocument::fromJson(sansJournal.Out.toUtf8()).object().value(QLatin1String("evenements")).toInt(), 6);

    const QDateTime maintenant = QDateTime::currentDateTimeUtc();
    QVERIFY(JournalEnvois::Consigner(Envoi(db.Path(), KNoeud, e[0], e[2], maintenant.addSecs(-5))).isEmpty());
    QVERIFY(JournalEnvois::Consigner(Envoi(db.Path(), KNoeud, e[3], e[4], maintenant)).isEmpty());
    // The first sending's range again (a database made again under the same
    // name): its events are counted once.
    QVERIFY(JournalEnvois::Consigner(Envoi(db.Path(), KNoeud, e[0], e[1], maintenant)).isEmpty());
    // Not today's, another node's, another database's, nothing created.
    QVERIFY(JournalEnvois::Consigner(Envoi(db.Path(), KNoeud, 1, e[4], maintenant.addDays(-1))).isEmpty());
    QVERIFY(JournalEnvois::Consigner(Envoi(db.Path(), QStringLiteral("mag-002"), 1, e[4], maintenant)).isEmpty());
    QVERIFY(JournalEnvois::Consigner(Envoi(QStringLiteral("/autre.fdb"), KNoeud, 1, e[4], maintenant)).isEmpty());
    QVERIFY(JournalEnvois::Consigner(Envoi(db.Path(), KNoeud, 0, 0, maintenant)).isEmpty());

    const TCliRun avecJournal = RunCli(suivi);
    QCOMPARE(avecJournal.Code, 0);
    QCOMPARE(avecJournal.Err, QString());
    const QJsonObject o = QJsonDocument::fromJson(avecJournal.Out.toUtf8()).object();
    QCOMPARE(o.value(QLatin1String("evenements")).toInt(), 5);
    QCOMPARE(o.value(QLatin1String("de")).toInt(), int(e[0]));
    QCOMPARE(o.value(QLatin1String("a")).toInt(), int(e[4]));
    QCOMPARE(o.value(QLatin1String("non_routes")).toInt(), 1);
    QCOMPARE(o.value(QLatin1String("en_cours")).toInt(), 2);
    QCOMPARE(o.value(QLatin1String("lots_en_erreur")).toArray().size(), 1);

    const TCliRun texte = RunCli(suivi.mid(0, 4));
    QVERIFY2(texte.Out.contains(QStringLiteral("Envois du jour d'après le journal : 3.")), qPrintable(texte.Out));
}

// Started by twoProgramsAppendAtOnce: appends sendings to the node given.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(KAjouts)) {
        QCoreApplication app(argc, argv);
        const int n = qEnvironmentVariableIntValue(KAjouts);
        const QString noeud = app.arguments().value(1);
        for (int i = 0; i < n; ++i)
            if (!JournalEnvois::Consigner(Envoi(QStringLiteral("/a.fdb"), noeud, i + 1, i + 2,
                                                QDateTime::currentDateTimeUtc()))
                     .isEmpty())
                return 1;
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestJournal t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_journal.moc"
