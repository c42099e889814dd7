// Sending benchmark: the movement tool's path (installation of the movement
// procedures, then the range procedure on a thread of its own) against the same
// events inserted by one set-based INSERT ... SELECT, on the same database,
// in one run. Run by hand; a full run takes minutes.
//
//   bench_envoi [--lignes N] [--schema firebird|interbase] [--script outil|original]
//               [--sans-ensembliste] [--ordonne] [--courbe] [--jeu NONE|WIN1252|UTF8]
//               [--progression [--intervalle MS] [--tours N]] [--catalogue N]
//
// --jeu: the database's default character set (NONE, as on the sites, by
// default).
// --schema firebird: SYM_TRIGGER.SYNC_KEY_NAMES as the engine creates it on
// Firebird (BLOB); interbase: as VARCHAR(4096).
// --script original: the embedded script installed as it is, whatever the
// column type (the tool adapts it to the database).
// --courbe: the tool's path alone for 25 000, 50 000, 100 000 and 199 999 rows.
// --catalogue N: the sending against the size of the capture catalogue, in
// one run: the 4-definition base (K and ARTICLE on both routers) and the
// same K rows on a base that captures N more tables (120 by default), each
// routed both ways with two history rows, with the engine's index on the
// history's TRIGGER_ID, the K rows spread over all the tables. The tool's
// path on both (best of --tours), the set-based statement on the first.
// --progression: the cost of the progress reader (the SYM_DATA generator
// read on a second connection every --intervalle ms, 500 as in the tool):
// the tool's path with and without it, --tours times each (3), in
// alternating order on the same database.
#include "data/mouvement/Envoi.h"
#include "data/mouvement/Evaluation.h"
#include "data/mouvement/MouvementProgression.h"
#include "data/mouvement/QueryThread.h"
#include "data/uDataMod.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

const QDate KDay(2026, 3, 10);
const QString KNoeud = QStringLiteral("mag-001");

struct TOptions
{
    int Lignes = 199999;
    bool Interbase = false;
    QString CharSet = QStringLiteral("NONE");
    bool Original = false;
    bool Ensembliste = true;
    bool Courbe = false;
    bool Ordonne = false;
    bool Progression = false;
    int Intervalle = 500;
    int Tours = 3;
    int Catalogue = 0;
};

void Print(const QString &aText)
{
    std::printf("%s\n", qPrintable(aText));
    std::fflush(stdout);
}

double Seconds(const QElapsedTimer &aClock)
{
    return double(aClock.nsecsElapsed()) / 1e9;
}

// A central-server site with aLignes K rows in one day.
std::unique_ptr<TTestDatabase> MakeDatabase(int aLignes, bool aInterbase, const QString &aCharSet)
{
    auto db = std::make_unique<TTestDatabase>(TTestDatabase::TSchema::Full, aCharSet);
    if (aInterbase)
        db->Exec(QStringLiteral("ALTER TABLE SYM_TRIGGER DROP SYNC_KEY_NAMES\n^\n"
                                "ALTER TABLE SYM_TRIGGER ADD SYNC_KEY_NAMES VARCHAR(4096)\n^\n"));
    SiteFixture::MakeSite(*db, QStringLiteral("lame"), aLignes, KDay);
    return db;
}

void Install(TDataMod &aDataMod, const TTestDatabase &aDb, bool aOriginal)
{
    if (aOriginal) {
        const QStringList lines =
            QString::fromLatin1(TOperationsMouvement::MouvementScriptResource()).split(QStringLiteral("\r\n"));
        aDataMod.Acces.ExecuteScript(aDb.Path(), lines);
        return;
    }
    QTemporaryDir dir;
    aDataMod.Mouvement.InstallMvtProcedures(aDb.Path(), dir.path() + QLatin1Char('/'));
}

// The range procedure through the query worker, in autocommit: the
// procedure's own cost, apart from the installation (a sending adds its
// guard, its snapshot transaction and one count of the events created).
// Returns the worker's result.
qint32 Send(TDataMod &aDataMod, const TTestDatabase &aDb, QString &aMessage)
{
    auto cnx = aDataMod.Acces.getNewConnexion(SysdbaRef(aDb.Path()));
    const TDateTime day = TDateTime::FromQDate(KDay);
    auto query = aDataMod.Mouvement.NewMouvementSendQuery(cnx.get(), TSensMouvement::LameVersMag, MouvementDebutPlage(day), MouvementFinPlage(day),
                                          KNoeud);
    qint32 resultat = -1;
    QEventLoop loop;
    auto *worker = new TQueryThread(cnx.get(), query.get(), [&](TQueryThread *Sender) {
        resultat = Sender->FResultat;
        aMessage = Sender->FMessage;
    });
    QPointer<TQueryThread> guard(worker);
    QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
    worker->Start();
    if (guard)
        loop.exec();
    return resultat;
}

// The same events in one statement. Unordered by default: the fastest the
// server can insert them, so the ratio is not flattered by a sort; ordered
// (--ordonne), in the tool's order, K rows as they were inserted.
void SendSetBased(const TTestDatabase &aDb, bool aCast, bool aOrdered)
{
    const QString keyNames =
        aCast ? QStringLiteral("CAST(T.SYNC_KEY_NAMES AS VARCHAR(4096))") : QStringLiteral("T.SYNC_KEY_NAMES");
    const TDateTime day = TDateTime::FromQDate(KDay);
    auto cnx = aDb.Connect();
    TDbQuery q(cnx.get());
    q.SQL() << QStringLiteral("INSERT INTO SYM_DATA (NODE_LIST, TABLE_NAME, EVENT_TYPE, ROW_DATA, TRIGGER_HIST_ID, "
                              "CHANNEL_ID, CREATE_TIME)")
            << QStringLiteral(" SELECT :NODE, T.SOURCE_TABLE_NAME, 'R', %1 || '=''' || CAST(K.K_ID AS VARCHAR(10)) "
                              "|| '''', H.TRIGGER_HIST_ID, T.CHANNEL_ID, CURRENT_TIMESTAMP")
                   .arg(keyNames)
            << QStringLiteral(" FROM K JOIN KTB ON KTB.KTB_ID = K.KTB_ID")
            << QStringLiteral(" JOIN SYM_TRIGGER T ON T.SOURCE_TABLE_NAME = 'K' OR T.SOURCE_TABLE_NAME = KTB.KTB_NAME")
            << QStringLiteral(" JOIN SYM_TRIGGER_ROUTER TR ON TR.TRIGGER_ID = T.TRIGGER_ID "
                              "AND TR.ROUTER_ID = 'lame_vers_mags'")
            << QStringLiteral(" JOIN SYM_TRIGGER_HIST H ON H.TRIGGER_HIST_ID = (SELECT MAX(TRIGGER_HIST_ID) "
                              "FROM SYM_TRIGGER_HIST WHERE TRIGGER_ID = T.TRIGGER_ID)")
            << QStringLiteral(" WHERE K.K_UPDATED >= :DEB AND K.K_UPDATED <= :FIN AND KTB.KTB_NAME <> ''");
    if (aOrdered)
        q.SQL() << QStringLiteral(" ORDER BY K.K_INSERTED, IIF(T.SOURCE_TABLE_NAME = 'K', 0, 1)");
    q.ParamByName(QStringLiteral("NODE")).SetAsString(KNoeud);
    q.ParamByName(QStringLiteral("DEB")).SetAsDateTime(MouvementDebutPlage(day));
    q.ParamByName(QStringLiteral("FIN")).SetAsDateTime(MouvementFinPlage(day));
    q.ExecSQL();
}

// Count and checksum of the events, order aside, to check that both ways
// inserted the same rows. (The order of the tool's events is the tests'
// business.)
QString Fingerprint(const TTestDatabase &aDb)
{
    return aDb.Rows(QStringLiteral("SELECT COUNT(*), SUM(MOD(HASH(NODE_LIST || '|' || TABLE_NAME || '|' || EVENT_TYPE "
                                   "|| '|' || CAST(ROW_DATA AS VARCHAR(200)) || '|' || TRIGGER_HIST_ID || '|' || "
                                   "CHANNEL_ID), 1000000007)) FROM SYM_DATA"))
        .value(0);
}

void ClearEvents(const TTestDatabase &aDb)
{
    aDb.Exec(QStringLiteral("DELETE FROM SYM_DATA"));
    // Reading the table collects the deleted versions before the next timing.
    aDb.Count(QStringLiteral("SYM_DATA"));
}

// Installation and sending as the tool does them; seconds, or -1 on failure.
// With aIntervalle > 0, the progress reader runs meanwhile, as in the tool;
// aLectures counts the values it reported.
double TimeTool(TDataMod &aDataMod, const TTestDatabase &aDb, bool aOriginal, int aIntervalle = 0,
                int *aLectures = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    Install(aDataMod, aDb, aOriginal);
    std::unique_ptr<TMouvementProgression> progression;
    if (aIntervalle > 0) {
        progression = std::make_unique<TMouvementProgression>(aDataMod.Acces.getNewConnexion(SysdbaRef(aDb.Path())), aIntervalle);
        progression->Depart();
        if (aLectures)
            QObject::connect(progression.get(), &TMouvementProgression::Avancement, [aLectures](qint64) { ++*aLectures; });
        progression->Demarrer();
    }
    QString message;
    const qint32 resultat = Send(aDataMod, aDb, message);
    if (progression)
        progression->Arreter();
    if (resultat != 0) {
        Print(QStringLiteral("  échec de l'envoi : %1").arg(message));
        return -1;
    }
    return Seconds(clock);
}

// The tool's path without and with the progress reader, alternately.
int ProgressCost(TDataMod &aDataMod, const TOptions &aOptions)
{
    Print(QStringLiteral("Coût de la lecture de progression (toutes les %1 ms) sur l'envoi de %2 lignes K, jeu %3")
              .arg(aOptions.Intervalle)
              .arg(aOptions.Lignes)
              .arg(aOptions.CharSet));
    auto db = MakeDatabase(aOptions.Lignes, aOptions.Interbase, aOptions.CharSet);
    QList<double> sans;
    QList<double> avec;
    int lectures = 0;
    for (int tour = 0; tour < 2 * aOptions.Tours; ++tour) {
        // a b b a a b …: neither way always runs first on a warm cache.
        const bool avecLecteur = (tour % 4 == 1 || tour % 4 == 2);
        int lus = 0;
        const double t = TimeTool(aDataMod, *db, aOptions.Original, avecLecteur ? aOptions.Intervalle : 0, &lus);
        if (t < 0)
            return 1;
        ClearEvents(*db);
        (avecLecteur ? avec : sans) << t;
        lectures += lus;
        Print(QStringLiteral("  %1 : %2 s%3")
                  .arg(avecLecteur ? QStringLiteral("avec lecteur") : QStringLiteral("sans lecteur"))
                  .arg(t, 0, 'f', 2)
                  .arg(avecLecteur ? QStringLiteral("  (%1 valeurs lues)").arg(lus) : QString()));
    }
    auto moyenne = [](const QList<double> &v) {
        double total = 0;
        for (double x : v)
            total += x;
        return total / double(v.size());
    };
    // On a shared machine the other loads only ever slow a run down: the
    // best time of each way is the fairer comparison; the means are shown
    // beside it.
    const double a = *std::min_element(avec.cbegin(), avec.cend());
    const double b = *std::min_element(sans.cbegin(), sans.cend());
    Print(QStringLiteral("  meilleur temps sans : %1 s, avec : %2 s, surcoût : %3 %  (moyennes %4 s et %5 s, %6 %)")
              .arg(b, 0, 'f', 2)
              .arg(a, 0, 'f', 2)
              .arg((a - b) * 100.0 / b, 0, 'f', 1)
              .arg(moyenne(sans), 0, 'f', 2)
              .arg(moyenne(avec), 0, 'f', 2)
              .arg((moyenne(avec) - moyenne(sans)) * 100.0 / moyenne(sans), 0, 'f', 1));
    return 0;
}

int Compare(TDataMod &aDataMod, const TOptions &aOptions)
{
    Print(QStringLiteral("Envoi de %1 lignes K (%2 événements), SYNC_KEY_NAMES %3, script %4")
              .arg(aOptions.Lignes)
              .arg(2 * aOptions.Lignes)
              .arg(aOptions.Interbase ? QStringLiteral("VARCHAR(4096)") : QStringLiteral("BLOB"),
                   aOptions.Original ? QStringLiteral("original") : QStringLiteral("de l'outil")));
    auto db = MakeDatabase(aOptions.Lignes, aOptions.Interbase, aOptions.CharSet);

    const double tool = TimeTool(aDataMod, *db, aOptions.Original);
    if (tool < 0)
        return 1;
    const QString toolRows = Fingerprint(*db);
    Print(QStringLiteral("  %1 : %2 s  (%3)")
              .arg(QStringLiteral("chemin de l'outil").leftJustified(26))
              .arg(tool, 0, 'f', 2)
              .arg(toolRows));
    if (!aOptions.Ensembliste)
        return 0;

    ClearEvents(*db);
    QElapsedTimer clock;
    clock.start();
    SendSetBased(*db, !aOptions.Interbase, aOptions.Ordonne);
    const double setBased = Seconds(clock);
    const QString setRows = Fingerprint(*db);
    Print(QStringLiteral("  %1 : %2 s  (%3)")
              .arg((aOptions.Ordonne ? QStringLiteral("INSERT ... SELECT ORDER BY") : QStringLiteral("INSERT ... SELECT"))
                       .leftJustified(26))
              .arg(setBased, 0, 'f', 2)
              .arg(setRows));
    Print(QStringLiteral("  rapport outil / ensembliste : %1").arg(tool / setBased, 0, 'f', 2));
    if (toolRows != setRows) {
        Print(QStringLiteral("  ATTENTION : les deux envois n'ont pas inséré les mêmes lignes"));
        return 1;
    }
    Print(QStringLiteral("  mêmes événements"));
    return 0;
}

// The sending as ivromvt-cli envoyer makes it once evaluated: guard,
// installation, the range procedure in its snapshot, the count of its
// events, the commit, the progress read meanwhile. Seconds, or -1.
double TimeEnvoi(const TTestDatabase &aDb)
{
    const TDateTime day = TDateTime::FromQDate(KDay);
    const TDateTime deb = MouvementDebutPlage(day);
    const TDateTime fin = MouvementFinPlage(day);
    const TEvaluationResultat eval = TEvaluation(DataMod->Mouvement, aDb.Path(), deb, fin, TSensMouvement::LameVersMag).Executer();
    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    TEnvoi envoi(DataMod->Mouvement, eval, KNoeud, dir.path() + QLatin1Char('/'));
    QEventLoop loop;
    QObject::connect(&envoi, &TEnvoi::Termine, &loop, &QEventLoop::quit);
    if (envoi.Demarrer())
        loop.exec();
    if (envoi.Resultat().Issue != TIssueEnvoi::Termine) {
        Print(QStringLiteral("  échec de l'envoi : %1").arg(envoi.Resultat().Message));
        return -1;
    }
    if (!envoi.Resultat().Remarque.isEmpty())
        Print(QStringLiteral("  ") + envoi.Resultat().Remarque);
    return Seconds(clock);
}

// aTables more captured tables, T001…, KTB_ID 2…, and the K rows spread
// over ARTICLE and them.
void AddCatalogue(const TTestDatabase &aDb, int aTables)
{
    aDb.Exec(QStringLiteral("CREATE INDEX SYM_IDX_TRIGGER_HIST_1 ON SYM_TRIGGER_HIST (TRIGGER_ID)"));
    aDb.Exec(QStringLiteral(
                 "EXECUTE BLOCK AS DECLARE I INTEGER = 1; DECLARE N VARCHAR(20); BEGIN WHILE (I <= %1) DO BEGIN "
                 "N = 'T' || LPAD(I, 3, '0'); "
                 "INSERT INTO KTB (KTB_ID, KTB_NAME) VALUES (:I + 1, :N); "
                 "INSERT INTO SYM_TRIGGER (TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, SYNC_KEY_NAMES, CREATE_TIME, "
                 "LAST_UPDATE_TIME) VALUES (:N, :N, 'ch_' || :N, :N || '_ID', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP); "
                 "INSERT INTO SYM_TRIGGER_ROUTER (TRIGGER_ID, ROUTER_ID, CREATE_TIME, LAST_UPDATE_TIME) "
                 "VALUES (:N, 'lame_vers_mags', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP); "
                 "INSERT INTO SYM_TRIGGER_ROUTER (TRIGGER_ID, ROUTER_ID, CREATE_TIME, LAST_UPDATE_TIME) "
                 "VALUES (:N, 'mags_vers_lame', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP); "
                 "INSERT INTO SYM_TRIGGER_HIST (TRIGGER_HIST_ID, TRIGGER_ID, SOURCE_TABLE_NAME, COLUMN_NAMES, "
                 "PK_COLUMN_NAMES, LAST_TRIGGER_BUILD_REASON, CREATE_TIME) VALUES (1000 + 2 * :I, :N, :N, 'ID', 'ID', "
                 "'N', CURRENT_TIMESTAMP); "
                 "INSERT INTO SYM_TRIGGER_HIST (TRIGGER_HIST_ID, TRIGGER_ID, SOURCE_TABLE_NAME, COLUMN_NAMES, "
                 "PK_COLUMN_NAMES, LAST_TRIGGER_BUILD_REASON, CREATE_TIME) VALUES (1001 + 2 * :I, :N, :N, 'ID', 'ID', "
                 "'S', CURRENT_TIMESTAMP); "
                 "I = I + 1; END END")
                 .arg(aTables));
    aDb.Exec(QStringLiteral("UPDATE K SET KTB_ID = 1 + MOD(K_ID, %1)").arg(aTables + 1));
}

double Best(const QList<double> &aTimes)
{
    return *std::min_element(aTimes.cbegin(), aTimes.cend());
}

int Catalogue(const TOptions &aOptions)
{
    Print(QStringLiteral("Envoi de %1 lignes K selon la taille du catalogue de captures (meilleur de %2)")
              .arg(aOptions.Lignes)
              .arg(aOptions.Tours));
    auto petite = MakeDatabase(aOptions.Lignes, aOptions.Interbase, aOptions.CharSet);
    auto grande = MakeDatabase(aOptions.Lignes, aOptions.Interbase, aOptions.CharSet);
    AddCatalogue(*grande, aOptions.Catalogue);
    const int definitions = grande->Count(QStringLiteral("SYM_TRIGGER_ROUTER"));
    QList<double> tPetite, tGrande, tEnsemble;
    QString empreintePetite, empreinteEnsemble, empreinteGrande;
    for (int tour = 0; tour < aOptions.Tours; ++tour) {
        const double p = TimeEnvoi(*petite);
        empreintePetite = Fingerprint(*petite);
        ClearEvents(*petite);
        QElapsedTimer clock;
        clock.start();
        SendSetBased(*petite, !aOptions.Interbase, aOptions.Ordonne);
        const double e = Seconds(clock);
        empreinteEnsemble = Fingerprint(*petite);
        ClearEvents(*petite);
        const double g = TimeEnvoi(*grande);
        empreinteGrande = Fingerprint(*grande);
        ClearEvents(*grande);
        if (p < 0 || g < 0)
            return 1;
        tPetite << p;
        tEnsemble << e;
        tGrande << g;
        Print(QStringLiteral("  tour %1 : 4 définitions %2 s, ensembliste %3 s, %4 définitions %5 s")
                  .arg(tour + 1)
                  .arg(p, 0, 'f', 2)
                  .arg(e, 0, 'f', 2)
                  .arg(definitions)
                  .arg(g, 0, 'f', 2));
    }
    Print(QStringLiteral("  envoyer, 4 définitions          : %1 s  (%2)").arg(Best(tPetite), 0, 'f', 2).arg(empreintePetite));
    Print(QStringLiteral("  INSERT ... SELECT ensembliste   : %1 s  (%2)")
              .arg(Best(tEnsemble), 0, 'f', 2)
              .arg(empreinteEnsemble));
    Print(QStringLiteral("  envoyer, %1 définitions        : %2 s  (%3)")
              .arg(definitions)
              .arg(Best(tGrande), 0, 'f', 2)
              .arg(empreinteGrande.section(QLatin1Char('|'), 0, 0)));
    Print(QStringLiteral("  rapport envoyer / ensembliste (4 définitions) : %1  (objectif <= 1,2)")
              .arg(Best(tPetite) / Best(tEnsemble), 0, 'f', 2));
    Print(QStringLiteral("  rapport %1 définitions / 4 définitions       : %2  (objectif <= 1,3)")
              .arg(definitions)
              .arg(Best(tGrande) / Best(tPetite), 0, 'f', 2));
    if (empreintePetite != empreinteEnsemble) {
        Print(QStringLiteral("  ATTENTION : l'envoi et l'instruction ensembliste n'ont pas inséré les mêmes lignes"));
        return 1;
    }
    return 0;
}

int Curve(TDataMod &aDataMod, const TOptions &aOptions)
{
    Print(QStringLiteral("Courbe : durée de l'envoi par le chemin de l'outil, SYNC_KEY_NAMES %1, script %2")
              .arg(aOptions.Interbase ? QStringLiteral("VARCHAR(4096)") : QStringLiteral("BLOB"),
                   aOptions.Original ? QStringLiteral("original") : QStringLiteral("de l'outil")));
    Print(QStringLiteral("  lignes K    durée (s)   ms pour 1000 lignes"));
    for (int lignes : {25000, 50000, 100000, 199999}) {
        auto db = MakeDatabase(lignes, aOptions.Interbase, aOptions.CharSet);
        const double tool = TimeTool(aDataMod, *db, aOptions.Original);
        if (tool < 0)
            return 1;
        Print(QStringLiteral("  %1  %2  %3")
                  .arg(lignes, 9)
                  .arg(tool, 11, 'f', 2)
                  .arg(tool * 1e6 / lignes, 12, 'f', 1));
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    TOptions options;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--lignes") && i + 1 < args.size())
            options.Lignes = args[++i].toInt();
        else if (a == QLatin1String("--schema") && i + 1 < args.size())
            options.Interbase = args[++i] == QLatin1String("interbase");
        else if (a == QLatin1String("--script") && i + 1 < args.size())
            options.Original = args[++i] == QLatin1String("original");
        else if (a == QLatin1String("--sans-ensembliste"))
            options.Ensembliste = false;
        else if (a == QLatin1String("--courbe"))
            options.Courbe = true;
        else if (a == QLatin1String("--jeu") && i + 1 < args.size())
            options.CharSet = args[++i].toUpper();
        else if (a == QLatin1String("--ordonne"))
            options.Ordonne = true;
        else if (a == QLatin1String("--progression"))
            options.Progression = true;
        else if (a == QLatin1String("--intervalle") && i + 1 < args.size())
            options.Intervalle = args[++i].toInt();
        else if (a == QLatin1String("--tours") && i + 1 < args.size())
            options.Tours = args[++i].toInt();
        else if (a == QLatin1String("--catalogue") && i + 1 < args.size())
            options.Catalogue = args[++i].toInt();
        else {
            std::fprintf(stderr, "Option inconnue : %s\n", qPrintable(a));
            return 2;
        }
    }
    if (options.Lignes <= 0 || options.Intervalle <= 0 || options.Tours <= 0) {
        std::fprintf(stderr, "--lignes, --intervalle et --tours attendent un nombre positif\n");
        return 2;
    }
    // The sendings' journal of a test account, not the operator's.
    QStandardPaths::setTestModeEnabled(true);
    TDataMod dataMod;
    DataMod = &dataMod;
    const int code = options.Progression     ? ProgressCost(dataMod, options)
                     : options.Catalogue > 0 ? Catalogue(options)
                     : options.Courbe        ? Curve(dataMod, options)
                                             : Compare(dataMod, options);
    DataMod = nullptr;
    return code;
}
