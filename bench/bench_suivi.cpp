// Follow-up at central-server scale, in one run on one database made for
// it and dropped after: SYM_DATA holding --evenements routed events (3 000 000
// by default) of the day for many shops, and a K table of --lignes rows
// (2 000 000) updated over a year.
//
//   bench_suivi [--evenements N] [--lignes N] [--tours N] [--panneau | --evaluation]
//
// --panneau: the panel's measure alone. --evaluation: the evaluation's
// alone (SYM_DATA then holds 2000 events unless --evenements says more).
//
// Measured, each --tours times (5) in alternating order, medians compared:
// - ivromvt-cli suivi with the DATA_ID range of a sending, without it when
//   the journal holds that sending, and without it when the journal does
//   not (the whole of SYM_DATA read);
// - the evaluation that ivromvt-cli evaluer and the window run (the count
//   and the range's rows per table, in one pass) against the bare COUNT(*)
//   with bound parameters over the same three months;
// - the follow-up panel refreshing every 200 ms on the offscreen platform:
//   the longest gap between two paints of a widget the window repaints
//   every 10 ms, and how many refreshes ran meanwhile.
#include "app/SuiviPanel.h"
#include "data/mouvement/Evaluation.h"
#include "data/mouvement/JournalEnvois.h"
#include "data/uDataMod.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPaintEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

const QString KNoeud = QStringLiteral("mag-002");

qint64 Option(const QStringList &aArgs, const QString &aName, qint64 aDefault)
{
    const qsizetype i = aArgs.indexOf(aName);
    return i >= 0 && i + 1 < aArgs.size() ? aArgs[i + 1].toLongLong() : aDefault;
}

double Mediane(QList<double> aValeurs)
{
    std::sort(aValeurs.begin(), aValeurs.end());
    return aValeurs.isEmpty() ? 0 : aValeurs[aValeurs.size() / 2];
}

double Cli(const QStringList &aArgs)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
    p.setArguments(aArgs);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "échec : %s\n%s\n", qPrintable(aArgs.join(QLatin1Char(' '))),
                     p.readAllStandardError().constData());
        std::exit(1);
    }
    return double(t.nsecsElapsed()) / 1e6;
}

// The central database: aEvenements reload events of the day, each in a
// batch of 1000 of its shop (OK), for 40 shops in turn; the last 2000 are a
// sending to mag-002, half loaded, half waiting. And aLignes K rows over the
// last 365 days.
void Remplit(const TTestDatabase &aDb, qint64 aEvenements, qint64 aLignes, qint64 &aDe, qint64 &aA)
{
    SiteFixture::MakeSite(aDb, QStringLiteral("lame"), 0, QDate::currentDate());
    const qint64 autres = aEvenements - 2000;
    aDb.Exec(QStringLiteral(
                 "EXECUTE BLOCK AS DECLARE I BIGINT = 1; DECLARE N VARCHAR(50); BEGIN "
                 "WHILE (I <= %1) DO BEGIN "
                 "  N = 'mag-' || LPAD(MOD(I / 1000, 40) + 3, 3, '0'); "
                 "  IF (I > %2) THEN N = 'mag-002'; "
                 "  INSERT INTO SYM_DATA (DATA_ID, TABLE_NAME, EVENT_TYPE, TRIGGER_HIST_ID, CHANNEL_ID, NODE_LIST, "
                 "    PK_DATA, CREATE_TIME) VALUES (:I, 'K', 'R', 7, 'ch_k', :N, '\"' || :I || '\"', CURRENT_TIMESTAMP); "
                 "  INSERT INTO SYM_DATA_EVENT (DATA_ID, BATCH_ID, ROUTER_ID, CREATE_TIME) "
                 "    VALUES (:I, (:I - 1) / 1000 + 1, 'lame_vers_mags', CURRENT_TIMESTAMP); "
                 "  IF (MOD(:I, 1000) = 0) THEN "
                 "    INSERT INTO SYM_OUTGOING_BATCH (BATCH_ID, NODE_ID, CHANNEL_ID, STATUS) "
                 "      VALUES (:I / 1000, :N, 'ch_k', IIF(:I = %1, 'NE', 'OK')); "
                 "  I = I + 1; END END")
                 .arg(aEvenements)
                 .arg(autres));
    aDb.Exec(QStringLiteral("INSERT INTO SYM_DATA_GAP (START_ID, END_ID, STATUS, CREATE_TIME, LAST_UPDATE_TIME) "
                            "VALUES (%1, %2, 'GP', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)")
                 .arg(aEvenements + 1)
                 .arg(aEvenements + 50000000));
    aDb.Exec(QStringLiteral(
                 "EXECUTE BLOCK AS DECLARE I INTEGER = 1; DECLARE T TIMESTAMP; BEGIN "
                 "WHILE (I <= %1) DO BEGIN "
                 "  T = DATEADD(-(I * 31536) / %1 * 1000 SECOND TO CURRENT_TIMESTAMP); "
                 "  INSERT INTO K (K_ID, KTB_ID, K_VERSION, K_ENABLED, K_INSERTED, K_UPDATED) "
                 "    VALUES (:I, MOD(:I, 3) + 1, 1, 1, :T, :T); "
                 "  I = I + 1; END END")
                 .arg(aLignes));
    aDe = autres + 1;
    aA = aEvenements;
}

// Paints seen by a label the window repaints as fast as it can.
class TPeintre : public QLabel
{
public:
    QElapsedTimer Horloge;
    qint64 Dernier = -1;
    qint64 PireEcart = 0;
    int Peintures = 0;

protected:
    void paintEvent(QPaintEvent *aEvent) override
    {
        QLabel::paintEvent(aEvent);
        const qint64 t = Horloge.elapsed();
        if (Dernier >= 0)
            PireEcart = std::max(PireEcart, t - Dernier);
        Dernier = t;
        ++Peintures;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool evaluationSeule = args.contains(QStringLiteral("--evaluation"));
    const qint64 evenements = Option(args, QStringLiteral("--evenements"), evaluationSeule ? 2000 : 3000000);
    const qint64 lignes = Option(args, QStringLiteral("--lignes"), 2000000);
    const int tours = int(Option(args, QStringLiteral("--tours"), 5));
    const bool panneauSeul = args.contains(QStringLiteral("--panneau"));
    TDataMod dataMod;
    DataMod = &dataMod;
    QTemporaryDir donnees;
    qputenv("XDG_DATA_HOME", QFile::encodeName(donnees.path()));

    try {
        TTestDatabase db;
        QElapsedTimer construction;
        construction.start();
        qint64 de = 0;
        qint64 a = 0;
        Remplit(db, evenements, lignes, de, a);
        std::printf("base : %lld événements, %lld lignes K, faite en %.0f s\n", evenements, lignes,
                    double(construction.elapsed()) / 1000);

        if (!panneauSeul && !evaluationSeule) {
            // --- suivi
            const QStringList suivi{QStringLiteral("suivi"), db.Path(), QStringLiteral("--noeud"), KNoeud,
                                    QStringLiteral("--json")};
            const QStringList avecPlage =
                suivi + QStringList{QStringLiteral("--de"), QString::number(de), QStringLiteral("--a"), QString::number(a)};
            TEnvoiJournal envoi = JournalEnvois::Nouveau(db.Path(), KNoeud, TSensMouvement::LameVersMag, QDate::currentDate(),
                                                         QDate::currentDate());
            envoi.PremierDataId = de;
            envoi.DernierDataId = a;
            envoi.Evenements = a - de + 1;
            envoi.Fin = QDateTime::currentDateTimeUtc();
            envoi.Issue = TIssueEnvoi::Termine;
            const QString journal = JournalEnvois::Chemin();
            QList<double> tPlage, tJournal, tLecture;
            Cli(avecPlage); // warm the server's cache alike for all
            for (int i = 0; i < tours; ++i) {
                tPlage << Cli(avecPlage);
                QFile::remove(journal);
                tLecture << Cli(suivi);
                if (!JournalEnvois::Consigner(envoi).isEmpty())
                    return 1;
                tJournal << Cli(suivi);
            }
            std::printf("suivi avec --de/--a             : %8.1f ms\n", Mediane(tPlage));
            std::printf("suivi sans plage, par le journal : %8.1f ms  (%.2f x)\n", Mediane(tJournal),
                        Mediane(tJournal) / Mediane(tPlage));
            std::printf("suivi sans plage ni journal      : %8.1f ms  (%.2f x)\n", Mediane(tLecture),
                        Mediane(tLecture) / Mediane(tPlage));
        }
        if (!panneauSeul) {
            // --- evaluer: three months of the year
            const TDateTime fin = TDateTime::Now().TruncDay().AddDays(1);
            const TDateTime debut = fin.AddDays(-91);
            QList<double> tNu, tEvaluer;
            for (int i = 0; i <= tours; ++i) {
                QElapsedTimer t;
                t.start();
                {
                    std::unique_ptr<TDbConnection> cnx = DataMod->Acces.getNewConnexion(SysdbaRef(db.Path()));
                    TDbQuery q(cnx.get());
                    q.SQL() << QStringLiteral("SELECT COUNT(*) FROM K WHERE K_UPDATED >= :DEB AND K_UPDATED <= :FIN");
                    q.ParamByName(QStringLiteral("DEB")).SetAsDateTime(debut);
                    q.ParamByName(QStringLiteral("FIN")).SetAsDateTime(fin);
                    q.Open();
                }
                const double nu = double(t.nsecsElapsed()) / 1e6;
                t.restart();
                qint32 compte = 0;
                {
                    TEvaluation evaluation(DataMod->Mouvement, db.Path(), debut, fin);
                    if (evaluation.Executer().Echec || !evaluation.Resultat().ContenuLu) {
                        std::fprintf(stderr, "évaluation en échec : %s%s\n", qPrintable(evaluation.Resultat().Message),
                                     qPrintable(evaluation.Resultat().MessageContenu));
                        return 1;
                    }
                    compte = evaluation.Resultat().Evaluation.Count;
                }
                const double ev = double(t.nsecsElapsed()) / 1e6;
                if (i > 0) { // the first warms the cache
                    tNu << nu;
                    tEvaluer << ev;
                } else {
                    std::printf("plage de 91 jours : %d lignes K\n", compte);
                }
            }
            std::printf("COUNT(*) nu sur 91 jours         : %8.1f ms\n", Mediane(tNu));
            std::printf("evaluer, compte et détail (une passe) : %8.1f ms  (%.2f x, objectif <= 2)\n",
                        Mediane(tEvaluer), Mediane(tEvaluer) / Mediane(tNu));
        }
        if (evaluationSeule) {
            DataMod = nullptr;
            return 0;
        }

        // --- the panel's refresh against the window's paints
        QWidget fenetre;
        auto *peintre = new TPeintre;
        peintre->setParent(&fenetre);
        peintre->resize(200, 20);
        fenetre.show();
        QTimer repeint;
        repeint.setInterval(10);
        QObject::connect(&repeint, &QTimer::timeout, peintre, [peintre] {
            peintre->setText(QString::number(peintre->Horloge.elapsed()));
            peintre->update();
        });
        peintre->Horloge.start();
        repeint.start();
        const auto dixSecondes = [] {
            QElapsedTimer duree;
            duree.start();
            while (duree.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        };
        // The same paints without the panel first: what the busy machine
        // alone costs.
        dixSecondes();
        std::printf("sans panneau : %d peintures en 10 s, plus long écart entre deux : %lld ms\n", peintre->Peintures,
                    peintre->PireEcart);
        peintre->Peintures = 0;
        peintre->PireEcart = 0;
        peintre->Dernier = -1;
        TSuiviPanel *panel = new TSuiviPanel(DataMod->Mouvement, db.Path(), {}, &fenetre);
        panel->SetPeriode(200);
        int rafraichis = 0;
        QObject::connect(panel, &TSuiviPanel::Rafraichi, [&rafraichis] { ++rafraichis; });
        panel->show();
        dixSecondes();
        std::printf("avec panneau : %d lectures en 10 s, %d peintures, plus long écart entre deux : %lld ms\n", rafraichis,
                    peintre->Peintures, peintre->PireEcart);
        delete panel;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "banc impossible : %s\n", e.what());
        return 1;
    }
    DataMod = nullptr;
    return 0;
}
