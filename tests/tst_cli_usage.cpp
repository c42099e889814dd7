// How ivromvt-cli answers a command line it can't take, and a database it
// can't reach: misuse is exit 2 with the usage and nothing done, a failure
// exit 1 with a French sentence, both as one JSON object with --json.
#include "CliRun.h"
#include "testdb/IdentityFixture.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

QJsonObject Json(const TCliRun &aRun)
{
    QJsonParseError erreur;
    const QJsonDocument doc = QJsonDocument::fromJson(aRun.Out.toUtf8(), &erreur);
    return erreur.error == QJsonParseError::NoError ? doc.object() : QJsonObject();
}

const QString Introuvable = QStringLiteral("Base introuvable");

} // namespace

class TestCliUsage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { FDb.reset(); }

    void mauvaisUsage_data();
    void mauvaisUsage();
    void echecs_data();
    void echecs();
    void chaqueCommande();
    void questions_data();
    void questions();

private:
    // What the misuse rows could have changed.
    QStringList Empreinte() const;

    std::unique_ptr<TTestDatabase> FDb;
};

void TestCliUsage::initTestCase()
{
    FDb = std::make_unique<TTestDatabase>();
    IdentityFixture::AddSites(*FDb);
    IdentityFixture::AddReplication(*FDb);
}

QStringList TestCliUsage::Empreinte() const
{
    return FDb->Rows(QStringLiteral("SELECT BAS_ID, BAS_NOMPOURNOUS, BAS_GUID FROM GENBASES ORDER BY BAS_ID"))
           + FDb->Rows(QStringLiteral("SELECT REP_PLACEBASE FROM GENREPLICATION"))
           + FDb->Rows(QStringLiteral("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME STARTING WITH 'SYM_'"));
}

void TestCliUsage::mauvaisUsage_data()
{
    QTest::addColumn<QString>("ligne"); // %1: the shared database
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown option") << "get-local-node %1 --bogus" << "Option inconnue de get-local-node : --bogus";
    QTest::newRow("--oui on a command that writes nothing") << "get-local-node %1 --oui" << "Option inconnue";
    QTest::newRow("a value given to --oui") << "drop-symds %1 --oui=non" << "L'option --oui ne prend pas de valeur";
    QTest::newRow("a value given to --json") << "noeuds %1 --json=non" << "L'option --json ne prend pas de valeur";
    QTest::newRow("extra argument") << "set-nom-pour-nous %1 NORD SUD --oui" << "Argument en trop : \"SUD\"";
    QTest::newRow("missing argument") << "etat-noeud %1" << "Argument manquant : NOEUD";
    QTest::newRow("writing without --oui nor terminal") << "set-nom-pour-nous %1 NORD" << "ajoutez --oui";
    QTest::newRow("writing, the question unanswerable") << "update-rep-placebase %1 X:\\AUTRE.IB" << "ajoutez --oui";
    QTest::newRow("option without its value") << "evaluer %1 --du 10/03/2026 --au" << "L'option --au attend une valeur";
    QTest::newRow("an option taken for a value")
        << "envoyer %1 --du 10/03/2026 --au 10/03/2026 --noeud --oui" << "L'option --noeud attend une valeur";
    QTest::newRow("required option missing") << "evaluer %1 --du 10/03/2026" << "Option manquante : --au JJ/MM/AAAA";
    QTest::newRow("option given twice") << "tables-exclues %1 --liste ktb --liste toutes" << "donnée deux fois";
    QTest::newRow("negative year") << "evaluer %1 --du 01/03/-2026 --au 10/03/2026" << "Date invalide pour --du";
    QTest::newRow("two-digit year") << "evaluer %1 --du 01/03/2026 --au 10/03/26" << "Date invalide pour --au";
    QTest::newRow("bad value, --json") << "maj-genparam-monitor %1 cinq --oui --json" << "VALEUR doit être un nombre";
    QTest::newRow("unknown option, --json") << "clean-magcode %1 --json --tout" << "Option inconnue";
}

void TestCliUsage::mauvaisUsage()
{
    QFETCH(QString, ligne);
    QFETCH(QString, message);
    const QStringList args = QString(ligne).replace(QStringLiteral("%1"), FDb->Path()).split(QLatin1Char(' '));
    const QStringList avant = Empreinte();

    const TCliRun r = RunCli(args);
    QCOMPARE(r.Code, 2);
    QVERIFY2(r.Err.startsWith(QStringLiteral("Erreur : ")) && r.Err.section(QLatin1Char('\n'), 0, 0).contains(message),
             qPrintable(r.Err));
    QVERIFY2(r.Err.contains(QStringLiteral("Usage : ivromvt-cli %1 ").arg(args.first())), qPrintable(r.Err));
    if (args.contains(QStringLiteral("--json")))
        QVERIFY2(Json(r).value(QStringLiteral("erreur")).toString().contains(message), qPrintable(r.Out));
    else
        QCOMPARE(r.Out, QString());
    QCOMPARE(Empreinte(), avant);
}

void TestCliUsage::echecs_data()
{
    QTest::addColumn<QString>("ligne"); // %1: a database with the retail tables only
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("serveur"); // a piece of the server's own text

    QTest::newRow("server unknown") << "noeuds serveur.invalid/SITE.IB"
                                    << "Le serveur de bases de données est injoignable" << "serveur.invalid";
    QTest::newRow("table unknown") << "get-korvala-version %1" << "Table ou procédure inconnue" << "GENVERSION";
    // SERVEUR/PORT:CHEMIN reaches that port of that server.
    QTest::newRow("port given") << "noeuds localhost/3050:%1" << "Table ou procédure inconnue" << "SYM_NODE";
    QTest::newRow("port closed") << "noeuds localhost/3999:%1"
                                 << "Le serveur de bases de données est injoignable" << "localhost";
    // The evaluation explains the server's error as a failed load does.
    QTest::newRow("evaluation, no K") << "evaluer %1 --du 10/03/2026 --au 10/03/2026"
                                      << "L'évaluation a échoué : Table ou procédure inconnue" << "Table unknown";
    QTest::newRow("procedure unknown") << "do-push-missing %1 --oui" << "Table ou procédure inconnue"
                                       << "IVRO_PUSH_MISSING_TAVEN";
}

void TestCliUsage::echecs()
{
    QFETCH(QString, ligne);
    QFETCH(QString, phrase);
    QFETCH(QString, serveur);
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    const QStringList args = QString(ligne).replace(QStringLiteral("%1"), db.Path()).split(QLatin1Char(' '));

    // The sentence first, then the server's text.
    TCliRun r = RunCli(args);
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.startsWith(QStringLiteral("Erreur : ") + phrase), qPrintable(r.Err));
    QVERIFY2(r.Err.section(QLatin1Char('\n'), 1).contains(serveur), qPrintable(r.Err));
    QCOMPARE(r.Out, QString());

    r = RunCli(args + QStringList{QStringLiteral("--json")});
    QCOMPARE(r.Code, 1);
    const QJsonObject o = Json(r);
    QVERIFY2(o.value(QStringLiteral("erreur")).toString().startsWith(phrase), qPrintable(r.Out));
    QVERIFY2(o.value(QStringLiteral("serveur")).toString().contains(serveur), qPrintable(r.Out));
}

// Every command, from its own usage line: a command that writes says so
// first in its summary, and every command that names a database fails when
// it can't be reached, even those whose data-module operation would answer
// false or 0 for it.
void TestCliUsage::chaqueCommande()
{
    const TCliRun aide = RunCli({QStringLiteral("--aide")});
    QCOMPARE(aide.Code, 0);
    QVERIFY2(aide.Out.contains(QStringLiteral("SERVEUR/CHEMIN")) && aide.Out.contains(QStringLiteral("caisse1/D:\\")),
             qPrintable(aide.Out));
    QVERIFY(aide.Out.contains(QStringLiteral("SERVEUR/PORT:CHEMIN")));
    QVERIFY2(aide.Out.contains(QStringLiteral("130 interruption")), qPrintable(aide.Out));
    // An unknown command is a misuse like any other: with --json, its object.
    const TCliRun inconnue = RunCli({QStringLiteral("inconnue"), QStringLiteral("--json")});
    QCOMPARE(inconnue.Code, 2);
    QCOMPARE(Json(inconnue).value(QStringLiteral("erreur")).toString(), QStringLiteral("Commande inconnue : inconnue"));
    // The port before the "/" would read as a missing database: the right form is given.
    const TCliRun port = RunCli({QStringLiteral("noeuds"), QStringLiteral("localhost:3999/site")});
    QCOMPARE(port.Code, 2);
    QVERIFY2(port.Err.contains(QStringLiteral("SERVEUR/PORT:CHEMIN (ici localhost/3999:site)")), qPrintable(port.Err));
    static const QRegularExpression ligneCommande(QStringLiteral("^  ([a-z0-9-]+)  "));
    QStringList commandes;
    for (const QString &l : aide.Out.split(QLatin1Char('\n')))
        if (const QRegularExpressionMatch m = ligneCommande.match(l); m.hasMatch())
            commandes << m.captured(1);
    QVERIFY(commandes.size() >= 30);

    const QString absente = TTestDatabase::Folder() + QStringLiteral("absente.fdb");
    for (const QString &commande : std::as_const(commandes)) {
        const TCliRun usage = RunCli({commande, QStringLiteral("--aide")});
        QCOMPARE(usage.Code, 0);
        const QString grammaire = usage.Out.section(QLatin1Char('\n'), 0, 0).section(QLatin1Char(' '), 4);
        const QString resume = usage.Out.section(QLatin1Char('\n'), 1, 1);
        const bool ecrit = grammaire.contains(QStringLiteral("[--oui]"));
        QVERIFY2(resume.startsWith(QStringLiteral("écrit : ")) == ecrit, qPrintable(commande + " : " + resume));

        // A line that the command accepts, on a database that does not exist:
        // what is outside brackets is required.
        QStringList args{commande};
        const QStringList mots = grammaire.split(QLatin1Char(' '));
        int crochets = 0;
        for (int i = 0; i < mots.size(); ++i) {
            const QString &mot = mots[i];
            const bool requis = crochets == 0 && !mot.startsWith('[');
            crochets += int(mot.count('[')) - int(mot.count(']'));
            if (!requis)
                continue;
            if (mot == QLatin1String("BASE"))
                args << absente;
            else if (mot == QLatin1String("FICHIER"))
                args << QStringLiteral("/var/tmp/K.csv");
            else if (mot.startsWith(QLatin1String("--")))
            {
                const QString valeur = mots[++i];
                args << mot
                     << (valeur == QLatin1String("JJ/MM/AAAA")                           ? QStringLiteral("10/03/2026")
                         : QStringList{"PORT", "ID", "MO", "SECONDES"}.contains(valeur) ? QStringLiteral("30000")
                         // A folder is checked before the database: one that exists.
                         : valeur == QLatin1String("DOSSIER") ? TTestDatabase::Folder()
                                                              : QStringLiteral("x"));
            }
            else
                args << QStringLiteral("1");
        }
        // No database, one that is offline by design, or a database name that
        // is only written into the backup's INI file, never opened.
        if (!args.contains(absente) || commande == QLatin1String("restart-database")
            || commande == QLatin1String("ajoute-dossier-backup"))
            continue;
        if (ecrit)
            args << QStringLiteral("--oui");
        const TCliRun r = RunCli(args);
        QVERIFY2(r.Code == 1 && r.Err.startsWith(QStringLiteral("Erreur : ") + Introuvable),
                 qPrintable(args.join(' ') + " -> " + QString::number(r.Code) + " " + r.Err));
    }
}

// On a terminal, the question says what will be written; answered "n",
// nothing is.
void TestCliUsage::questions_data()
{
    QTest::addColumn<QString>("ligne");  // %1: the shared database, %2: a central site with K rows
    QTest::addColumn<QString>("question");

    QTest::newRow("the dossier's name as stored")
        << "set-nom-pour-nous %1 Réseau-Sud"
        << "Donner le nom de dossier \"RéSEAU-SUD\" à tous les sites actifs de %1";
    QTest::newRow("the sending: base, days, direction, unit")
        << "envoyer %2 --du 10/03/2026 --au 11/03/2026 --noeud mag-001"
        << "Voulez-vous continuer ?\nBase %2, jours du 10/03/2026 au 11/03/2026, sens Lame vers Magasin ; "
           "durée en minutes:secondes.\n\nPlage : du 10/03/2026 au 11/03/2026 inclus (lignes mises à jour du "
           "10/03/2026 00:00:00 jusqu'au 12/03/2026 00:00:00 compris).\nD'après le détail par table, 6 événements "
           "seront créés. [o/N]";
}

void TestCliUsage::questions()
{
    QFETCH(QString, ligne);
    QFETCH(QString, question);
    TTestDatabase site;
    SiteFixture::MakeSite(site, QStringLiteral("lame"), 3, QDate(2026, 3, 10));
    const auto remplace = [&](QString aTexte) {
        return aTexte.replace(QStringLiteral("%1"), FDb->Path()).replace(QStringLiteral("%2"), site.Path());
    };
    const QStringList avant = Empreinte();

    // A terminal of its own (script), answered "n".
    QProcess p;
    p.start(QStringLiteral("script"), {QStringLiteral("-qec"),
                                       QStringLiteral(IVROMVT_CLI_PATH " ") + remplace(ligne), QStringLiteral("/dev/null")});
    QVERIFY(p.waitForStarted());
    p.write("n\n");
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(60000));
    const QString sortie = QString::fromUtf8(p.readAllStandardOutput()).remove(QLatin1Char('\r'));
    QVERIFY2(sortie.contains(remplace(question)), qPrintable(sortie));
    QVERIFY2(sortie.contains(QStringLiteral("Abandon : rien n'a été modifié.")), qPrintable(sortie));
    QCOMPARE(Empreinte(), avant);
    QCOMPARE(site.Count(QStringLiteral("SYM_DATA")), 0);
}

QTEST_GUILESS_MAIN(TestCliUsage)
#include "tst_cli_usage.moc"
