// The journal of the sendings made on this machine, newest first.
#include "cli/CliCommand.h"

#include "common/uCommun.h"
#include "data/mouvement/JournalEnvois.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

QString Duree(const TEnvoiJournal &aEnvoi)
{
    if (!aEnvoi.Fin.isValid())
        return QString();
    return FormatDuree(double(std::max<qint64>(0, aEnvoi.Debut.msecsTo(aEnvoi.Fin)) / 1000));
}

// The journal is a file any program of the account can write: what it holds
// is shown, never obeyed by the terminal (escape sequences, carriage
// returns and other control characters are shown as "?").
QString Affichable(const QString &aTexte)
{
    QString t = aTexte;
    for (QChar &c : t) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || c.category() == QChar::Other_Format)
            c = QLatin1Char('?');
    }
    return t;
}

QString Heure(const QDateTime &aMoment)
{
    return aMoment.isValid() ? aMoment.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QString();
}

// The journal keeps UTC instants; read as every command's dates are, in this
// machine's local time without a zone.
QJsonValue JsonMoment(const QDateTime &aMoment)
{
    return aMoment.isValid() ? QJsonValue(aMoment.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")))
                             : QJsonValue();
}

QJsonObject EnvoiJson(const TEnvoiJournal &aEnvoi)
{
    return QJsonObject{{QStringLiteral("base"), aEnvoi.Base},
                       {QStringLiteral("noeud"), aEnvoi.Noeud},
                       {QStringLiteral("sens"), TexteSens(aEnvoi.Sens)},
                       {QStringLiteral("du"), JsonDate(aEnvoi.Du)},
                       {QStringLiteral("au"), JsonDate(aEnvoi.Au)},
                       {QStringLiteral("premier_data_id"), double(aEnvoi.PremierDataId)},
                       {QStringLiteral("dernier_data_id"), double(aEnvoi.DernierDataId)},
                       {QStringLiteral("evenements"), double(aEnvoi.Evenements)},
                       {QStringLiteral("debut"), JsonMoment(aEnvoi.Debut)},
                       {QStringLiteral("fin"), JsonMoment(aEnvoi.Fin)},
                       {QStringLiteral("duree"), Duree(aEnvoi)},
                       {QStringLiteral("machine"), aEnvoi.Machine},
                       {QStringLiteral("compte"), aEnvoi.Compte},
                       {QStringLiteral("issue"), aEnvoi.TexteIssue()},
                       {QStringLiteral("message"), aEnvoi.Message}};
}

TCliResultat CmdJournal(TCliContext &aCtx)
{
    // No connection: the journal is read on this machine, the database
    // named only to choose its sendings.
    const QString base = aCtx.Args.isEmpty() ? QString() : JournalEnvois::CleBase(aCtx.Args.constFirst());
    const QString noeud = aCtx.Option(QStringLiteral("noeud"));
    const QDate depuis = aCtx.HasOption(QStringLiteral("depuis")) ? aCtx.DateOption(QStringLiteral("depuis")) : QDate();

    QStringList avertissements;
    bool illisible = false;
    QList<TEnvoiJournal> envois;
    for (const TEnvoiJournal &e : JournalEnvois::Lire(&avertissements, &illisible))
        if ((base.isEmpty() || e.Base == base) && (noeud.isEmpty() || e.Noeud == noeud)
            && (!depuis.isValid() || e.Debut.toLocalTime().date() >= depuis))
            envois << e;
    TCliResultat r;
    for (const QString &a : std::as_const(avertissements))
        r.Erreur(Affichable(a));
    // A journal that can't be read says nothing of the sendings it holds.
    if (illisible)
        return r.Code(1);
    // Appended in the order they ended; shown by their start, newest first.
    std::stable_sort(envois.begin(), envois.end(),
                     [](const TEnvoiJournal &a, const TEnvoiJournal &b) { return a.Debut > b.Debut; });

    QJsonArray a;
    for (const TEnvoiJournal &e : std::as_const(envois))
        a.append(EnvoiJson(e));
    r.Json(a);
    if (envois.isEmpty())
        return r.Ligne(QStringLiteral("Aucun envoi dans le journal (%1).").arg(JournalEnvois::Chemin()));
    QList<QStringList> rows;
    for (const TEnvoiJournal &e : std::as_const(envois)) {
        QStringList row{Heure(e.Debut), Duree(e)};
        if (base.isEmpty())
            row << Affichable(e.Base);
        row << Affichable(e.Noeud) << TexteSens(e.Sens)
            << QStringLiteral("%1 - %2").arg(e.Du.toString(QStringLiteral("dd/MM/yyyy")),
                                             e.Au.toString(QStringLiteral("dd/MM/yyyy")))
            << QString::number(e.Evenements)
            << (e.AvecPlage() ? QStringLiteral("%1 à %2").arg(e.PremierDataId).arg(e.DernierDataId) : QString())
            << Affichable(e.Message.isEmpty() ? e.TexteIssue()
                                              : e.TexteIssue() + QStringLiteral(" : ") + e.Message.simplified())
            << Affichable(e.Machine + QLatin1Char('/') + e.Compte);
        rows << row;
    }
    QStringList entetes{QStringLiteral("DEBUT"), QStringLiteral("DUREE")};
    if (base.isEmpty())
        entetes << QStringLiteral("BASE");
    entetes << QStringLiteral("NOEUD") << QStringLiteral("SENS") << QStringLiteral("JOURS")
            << QStringLiteral("EVENEMENTS") << QStringLiteral("DATA_ID") << QStringLiteral("ISSUE")
            << QStringLiteral("MACHINE/COMPTE");
    return r.Table(entetes, rows);
}

const TCliRegistrar RegJournal({QStringLiteral("journal"),
                                QStringLiteral("[BASE] [--noeud NOEUD] [--depuis JJ/MM/AAAA] [--json]"),
                                QStringLiteral("les envois faits depuis cette machine (fenêtre ou envoyer), du plus "
                                               "récent au plus ancien : base, noeud, plage, DATA_ID, issue"),
                                CmdJournal});

} // namespace
