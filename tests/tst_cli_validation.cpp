// The commit of a sending when the network, the server or the operator cuts
// in: a lost answer is checked on a new attachment and reported as what it
// is (done with its count, not done, or unknown with how to check, never a
// failure that a retry would double); Ctrl-C during the commit waits for its
// answer and a second one leaves saying events may exist; a guard left by a
// process that no longer answers is named, with how to free it. The faults
// come from the stand-in client (tests/ibclient), put in front of envoyer.
#include "data/mouvement/JournalEnvois.h"
#include "testdb/FreinSymData.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const QString KNoeud = QStringLiteral("mag-001");
const QDate KDay(2026, 3, 10);

struct TOutcome
{
    int Code = -1; // -1: crashed or had to be killed
    QString Out;
    QString Err;
};

QStringList Envoyer(const TTestDatabase &aDb, const QString &aNoeud = KNoeud)
{
    return {QStringLiteral("envoyer"), aDb.Path(), QStringLiteral("--du"), QStringLiteral("10/03/2026"),
            QStringLiteral("--au"), QStringLiteral("10/03/2026"), QStringLiteral("--noeud"), aNoeud,
            QStringLiteral("--oui")};
}

// The stand-in in front of the program, its faults on the range procedure's
// commit.
QProcessEnvironment Faute(const QString &aMode, const QString &aTemoin = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), QFileInfo(QStringLiteral(IVROMVT_IBCLIENT_PATH)).absolutePath());
    env.insert(QStringLiteral("IVROMVT_STANDIN_CIBLE"), QStringLiteral("EXECUTE PROCEDURE IVRO_MVT_"));
    env.insert(QStringLiteral("IVROMVT_STANDIN_COMMIT"), aMode);
    if (!aTemoin.isEmpty())
        env.insert(QStringLiteral("IVROMVT_STANDIN_TEMOIN"), aTemoin);
    return env;
}

// Runs the program; once aPret says so, sends it the signals, aEcartMs apart.
TOutcome Lance(const QStringList &aArgs, const QProcessEnvironment &aEnv, const std::function<bool()> &aPret = {},
               int aSignaux = 0, int aEcartMs = 300)
{
    QProcess p;
    p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
    p.setArguments(aArgs);
    p.setProcessEnvironment(aEnv);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    TOutcome o;
    if (!p.waitForStarted())
        return o;
    if (aSignaux > 0) {
        QElapsedTimer horloge;
        horloge.start();
        while (p.state() == QProcess::Running && !aPret() && horloge.elapsed() < 60000)
            QTest::qWait(5);
        for (int i = 0; i < aSignaux && p.state() == QProcess::Running; ++i) {
            if (i > 0)
                QTest::qWait(aEcartMs);
            ::kill(pid_t(p.processId()), SIGINT);
        }
    }
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return o;
    }
    o.Code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.Out = QString::fromUtf8(p.readAllStandardOutput());
    o.Err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

TEnvoiJournal DernierEnvoi()
{
    const QList<TEnvoiJournal> envois = JournalEnvois::Lire();
    return envois.isEmpty() ? TEnvoiJournal() : envois.constLast();
}

} // namespace

class TestCliValidation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void commitAnswerLost_data();
    void commitAnswerLost();
    void interruptedDuringCommit_data();
    void interruptedDuringCommit();
    void interruptedWithJson();
    void guardOfAFrozenProcess();
    void frozenNetwork();

private:
    std::unique_ptr<QTemporaryDir> FDonnees;
};

// Each case its own journal, for this process and the programs it starts.
void TestCliValidation::init()
{
    FDonnees = std::make_unique<QTemporaryDir>();
    QVERIFY(FDonnees->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(FDonnees->path()));
}

void TestCliValidation::commitAnswerLost_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("evenements"); // in SYM_DATA once the program has ended
    QTest::addColumn<int>("issue");      // journaled
    QTest::addColumn<QString>("texte");  // said on its output or its error
    QTest::newRow("validée, réponse perdue") << "reponse-perdue" << 0 << 6 << int(TIssueEnvoi::Termine)
                                             << "vérifié sur une nouvelle connexion : l'envoi est bien validé";
    QTest::newRow("coupée avant la validation") << "coupure" << 1 << 0 << int(TIssueEnvoi::Echec)
                                                << "rien n'a été validé, aucun événement n'a été créé";
    QTest::newRow("serveur injoignable ensuite") << "coupure-totale" << 3 << 0 << int(TIssueEnvoi::Inconnue)
                                                 << "La connexion au serveur a été perdue pendant la validation de l'envoi, et le résultat n'a pas pu être vérifié.\nIssue inconnue de l'envoi vers le noeud mag-001 : 6 événements ont peut-être été créés";
}

// The connection fails during the commit, the server keeping the attachment
// (and its locks) alive: the program ends it from a new attachment, then
// counts the events of its range. A sending said done has its events, one
// said failed has none, and one that can't be checked says how to.
void TestCliValidation::commitAnswerLost()
{
    QFETCH(QString, mode);
    QFETCH(int, code);
    QFETCH(int, evenements);
    QFETCH(int, issue);
    QFETCH(QString, texte);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    const TOutcome o = Lance(Envoyer(db), Faute(mode));
    const QString quoi = QStringLiteral("code %1\n%2\n%3").arg(o.Code).arg(o.Out, o.Err);
    QVERIFY2(o.Code == code, qPrintable(quoi));
    QVERIFY2((o.Out + o.Err).contains(texte), qPrintable(quoi));
    QVERIFY2(!o.Err.contains(QStringLiteral("0 événement")), qPrintable(quoi));
    // The dead attachment's work is rolled back once the process has gone.
    QTRY_COMPARE_WITH_TIMEOUT(db.Count(QStringLiteral("SYM_DATA")), evenements, 20000);
    const TEnvoiJournal e = DernierEnvoi();
    QCOMPARE(int(e.Issue), issue);
    QCOMPARE(e.Evenements, qint64(evenements));
    QVERIFY(e.Repere >= 0);
    if (issue == int(TIssueEnvoi::Inconnue)) {
        // The range to check is kept, and the command that checks it given.
        QVERIFY(e.AvecPlage());
        QVERIFY2(o.Err.contains(QStringLiteral("ivromvt-cli suivi \"%1\" --noeud %2 --de %3 --a %4")
                                    .arg(db.Path(), KNoeud)
                                    .arg(e.PremierDataId)
                                    .arg(e.DernierDataId)),
                 qPrintable(o.Err));
    }
}

void TestCliValidation::interruptedDuringCommit_data()
{
    QTest::addColumn<int>("signaux");
    QTest::addColumn<bool>("json");
    QTest::newRow("Ctrl-C") << 1 << false;
    QTest::newRow("Ctrl-C deux fois") << 2 << false;
    QTest::newRow("Ctrl-C deux fois, JSON") << 2 << true;
}

// Ctrl-C once the commit is under way waits for its answer and reports the
// sending; a second one leaves at once, journals the outcome as unknown
// with the sending's marker, and says events may have been created.
void TestCliValidation::interruptedDuringCommit()
{
    QFETCH(int, signaux);
    QFETCH(bool, json);
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    const QString temoin = FDonnees->filePath(QStringLiteral("validation"));
    QStringList args = Envoyer(db);
    if (json)
        args << QStringLiteral("--json");
    const TOutcome o = Lance(args, Faute(QStringLiteral("retard:3000"), temoin),
                             [&temoin] { return QFile::exists(temoin); }, signaux);
    const QString quoi = QStringLiteral("code %1\n%2\n%3").arg(o.Code).arg(o.Out, o.Err);
    QVERIFY2(o.Err.contains(QStringLiteral("Validation de l'envoi en cours : attente de la réponse du serveur")),
             qPrintable(quoi));
    const TEnvoiJournal e = DernierEnvoi();
    if (signaux == 1) {
        QVERIFY2(o.Code == 0, qPrintable(quoi));
        QVERIFY2(o.Out.contains(QStringLiteral("Événements créés : 6")), qPrintable(quoi));
        QCOMPARE(db.Count(QStringLiteral("SYM_DATA")), 6);
        QCOMPARE(e.Issue, TIssueEnvoi::Termine);
        return;
    }
    QVERIFY2(o.Code == 130, qPrintable(quoi));
    QVERIFY2(o.Err.contains(QStringLiteral("Sortie forcée pendant la validation de l'envoi : des événements ont "
                                           "peut-être été créés.")),
             qPrintable(quoi));
    QCOMPARE(e.Issue, TIssueEnvoi::Inconnue);
    QVERIFY(e.Repere >= 0 && e.AvecPlage() && e.PremierDataId > e.Repere);
    QVERIFY2(o.Err.contains(QStringLiteral("--de %1 --a %2").arg(e.PremierDataId).arg(e.DernierDataId)),
             qPrintable(quoi));
    if (json) {
        const QJsonObject r = QJsonDocument::fromJson(o.Out.toUtf8()).object();
        QCOMPARE(r.value(QLatin1String("issue")).toString(), QStringLiteral("inconnue"));
        QCOMPARE(r.value(QLatin1String("premier_data_id")).toInteger(), e.PremierDataId);
        QCOMPARE(r.value(QLatin1String("evenements_possibles")).toInt(), 6);
    }
}

// envoyer --json interrupted in its range procedure: its JSON object says
// so, nothing is created.
void TestCliValidation::interruptedWithJson()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    TFreinSymData frein(db);
    frein.Hold();
    const TOutcome o = Lance(Envoyer(db) << QStringLiteral("--json"), QProcessEnvironment::systemEnvironment(),
                             [&frein] { return frein.Held(); }, 1);
    frein.Release();
    QVERIFY2(o.Code == 130, qPrintable(o.Err));
    const QJsonObject r = QJsonDocument::fromJson(o.Out.toUtf8()).object();
    QVERIFY2(r.value(QLatin1String("issue")).toString() == QLatin1String("interrompu"), qPrintable(o.Out + o.Err));
    QCOMPARE(r.value(QLatin1String("evenements")).toInt(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(db.Count(QStringLiteral("SYM_DATA")), 0, 10000);
}

// A sending whose process stopped answering (as behind a dead network)
// keeps its node: the refusal names who holds it, and the statement it
// gives frees it.
void TestCliValidation::guardOfAFrozenProcess()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    TFreinSymData frein(db);
    frein.Hold();
    QProcess premier;
    premier.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
    premier.setArguments(Envoyer(db));
    premier.setStandardInputFile(QProcess::nullDevice());
    premier.start();
    QVERIFY(premier.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(frein.Held(), 20000);
    ::kill(pid_t(premier.processId()), SIGSTOP);
    frein.Release();
    const auto fin = qScopeGuard([&premier] {
        ::kill(pid_t(premier.processId()), SIGKILL);
        ::kill(pid_t(premier.processId()), SIGCONT);
        premier.waitForFinished();
    });

    const TOutcome refus = Lance(Envoyer(db), QProcessEnvironment::systemEnvironment());
    QCOMPARE(refus.Code, 1);
    QVERIFY2(refus.Err.contains(QStringLiteral("Un envoi vers le noeud mag-001 est déjà en cours sur cette base.")),
             qPrintable(refus.Err));
    QVERIFY2(refus.Err.contains(QStringLiteral("Tenu par la connexion ")), qPrintable(refus.Err));
    QVERIFY2(refus.Err.contains(QStringLiteral("processus %1").arg(premier.processId())), qPrintable(refus.Err));
    QVERIFY2(refus.Err.contains(QStringLiteral("depuis le ")), qPrintable(refus.Err));
    const QString marque = QStringLiteral("en SYSDBA sur cette base : ");
    const qsizetype debut = refus.Err.indexOf(marque);
    QVERIFY2(debut > 0, qPrintable(refus.Err));
    const QString liberation = refus.Err.mid(debut + marque.size()).section(QLatin1Char('\n'), 0, 0).trimmed();
    db.Exec(liberation);

    const TOutcome apres = Lance(Envoyer(db), QProcessEnvironment::systemEnvironment());
    QVERIFY2(apres.Code == 0, qPrintable(apres.Err));
    QVERIFY2(apres.Out.contains(QStringLiteral("Événements créés : 6")), qPrintable(apres.Out));
}

// The network freezes during the commit: no answer, no error. The sending
// is not waited for without end: given up once the server has been silent
// for a minute, its outcome said unknown.
void TestCliValidation::frozenNetwork()
{
    TTestDatabase db;
    SiteFixture::MakeSite(db, QStringLiteral("lame"), 3, KDay);
    QElapsedTimer horloge;
    horloge.start();
    const TOutcome o = Lance(Envoyer(db), Faute(QStringLiteral("gel")));
    QVERIFY2(o.Code == 3, qPrintable(o.Err));
    QVERIFY(horloge.elapsed() < 120000);
    QVERIFY2(o.Err.contains(QStringLiteral("Le serveur ne répond plus depuis 60 s (réseau coupé ou serveur bloqué) : "
                                           "des événements ont peut-être été créés.")),
             qPrintable(o.Err));
    QCOMPARE(DernierEnvoi().Issue, TIssueEnvoi::Inconnue);
}

QTEST_GUILESS_MAIN(TestCliValidation)
#include "tst_cli_validation.moc"
