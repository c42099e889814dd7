// Sending benchmark: the movement tool's path (installation of the movement
// procedures, then the range procedure in the worker) against the same
// events inserted by one set-based INSERT ... SELECT, on the same database,
// in one run. Run by hand; a full run takes minutes.
//
//   bench_envoi [--lignes N] [--schema firebird|interbase] [--script outil|original]
//               [--sans-ensembliste] [--ordonne] [--courbe] [--jeu NONE|WIN1252|UTF8]
//
// --jeu: the database's default character set (NONE, as on the sites, by
// default).
// --schema firebird: SYM_TRIGGER.SYNC_KEY_NAMES as the engine creates it on
// Firebird (BLOB); interbase: as VARCHAR(4096).
// --script original: the embedded script installed as it is, whatever the
// column type (the tool adapts it to the database).
// --courbe: the tool's path alone for 25 000, 50 000, 100 000 and 199 999 rows.
#include "data/QueryThread.h"
#include "data/uDataMod.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QDate KDay(2026, 3, 10);
const QString KNode = QStringLiteral("mag-001");

struct TOptions
{
    int Lignes = 199999;
    bool Interbase = false;
    QString CharSet = QStringLiteral("NONE");
    bool Original = false;
    bool Ensembliste = true;
    bool Courbe = false;
    bool Ordonne = false;
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
            QString::fromLatin1(TDataMod::MvtScriptResource()).split(QStringLiteral("\r\n"));
        aDataMod.ExecuteScript(aDb.Path(), lines);
        return;
    }
    QTemporaryDir dir;
    aDataMod.InstallMvtProcedures(aDb.Path(), dir.path() + QLatin1Char('/'));
}

// The range procedure through the worker, as the window and the command
// line run it. Returns the worker's result.
qint32 Send(TDataMod &aDataMod, const TTestDatabase &aDb, QString &aMessage)
{
    auto cnx = aDataMod.getNewConnexion(SysdbaRef(aDb.Path()));
    const TDateTime day = TDateTime::FromQDate(KDay);
    auto query = aDataMod.NewMvtSendQuery(cnx.get(), TSensMvt::LameVersMag, MvtDebutPlage(day), MvtFinPlage(day),
                                          KNode);
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
    q.ParamByName(QStringLiteral("NODE")).SetAsString(KNode);
    q.ParamByName(QStringLiteral("DEB")).SetAsDateTime(MvtDebutPlage(day));
    q.ParamByName(QStringLiteral("FIN")).SetAsDateTime(MvtFinPlage(day));
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
double TimeTool(TDataMod &aDataMod, const TTestDatabase &aDb, bool aOriginal)
{
    QElapsedTimer clock;
    clock.start();
    Install(aDataMod, aDb, aOriginal);
    QString message;
    if (Send(aDataMod, aDb, message) != 0) {
        Print(QStringLiteral("  échec de l'envoi : %1").arg(message));
        return -1;
    }
    return Seconds(clock);
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
        else {
            std::fprintf(stderr, "Option inconnue : %s\n", qPrintable(a));
            return 2;
        }
    }
    if (options.Lignes <= 0) {
        std::fprintf(stderr, "--lignes attend un nombre positif\n");
        return 2;
    }
    TDataMod dataMod;
    DataMod = &dataMod;
    const int code = options.Courbe ? Curve(dataMod, options) : Compare(dataMod, options);
    DataMod = nullptr;
    return code;
}
