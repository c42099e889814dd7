#include "data/mouvement/JournalEnvois.h"

#include "platform/MachineInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QString KDossier = QStringLiteral("IvroMVT");
const QString KFichier = QStringLiteral("envois.jsonl");
const QString KFormatJour = QStringLiteral("dd/MM/yyyy");

QString TexteIssueJson(TIssueEnvoi aIssue)
{
    switch (aIssue) {
    case TIssueEnvoi::Termine:
        return QStringLiteral("termine");
    case TIssueEnvoi::Interrompu:
        return QStringLiteral("interrompu");
    case TIssueEnvoi::EnCours:
    case TIssueEnvoi::Refuse:
    case TIssueEnvoi::Echec:
        break;
    }
    return QStringLiteral("echec");
}

bool IssueDepuisJson(const QString &aTexte, TIssueEnvoi &aIssue)
{
    for (TIssueEnvoi i : {TIssueEnvoi::Termine, TIssueEnvoi::Interrompu, TIssueEnvoi::Echec})
        if (TexteIssueJson(i) == aTexte) {
            aIssue = i;
            return true;
        }
    return false;
}

QString CompteCourant()
{
    QString compte = qEnvironmentVariable("USERNAME");
    if (compte.isEmpty())
        compte = qEnvironmentVariable("USER");
    return compte;
}

// The journal is ours: a link or a file of another account in its place is
// not written through.
QString Ecrire(const QString &aChemin, const QByteArray &aLigne)
{
#ifdef Q_OS_UNIX
    const QByteArray nom = QFile::encodeName(aChemin);
    const int fd = ::open(nom.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return QStringLiteral("ouverture de %1 impossible : %2").arg(aChemin, QString::fromLocal8Bit(strerror(errno)));
    struct stat st {};
    QString erreur;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        erreur = QStringLiteral("%1 n'est pas un fichier de ce compte : rien n'y est écrit").arg(aChemin);
    } else {
        // One write: O_APPEND places it at the end as a whole, whatever
        // another program appends at the same time.
        const ssize_t ecrits = ::write(fd, aLigne.constData(), size_t(aLigne.size()));
        if (ecrits != aLigne.size())
            erreur = QStringLiteral("écriture dans %1 incomplète").arg(aChemin);
    }
    ::close(fd);
    return erreur;
#else
    if (QFileInfo(aChemin).isSymLink())
        return QStringLiteral("%1 est un lien : rien n'y est écrit").arg(aChemin);
    QFile f(aChemin);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return QStringLiteral("ouverture de %1 impossible : %2").arg(aChemin, f.errorString());
    if (f.write(aLigne) != aLigne.size())
        return QStringLiteral("écriture dans %1 incomplète").arg(aChemin);
    return QString();
#endif
}

} // namespace

QString TEnvoiJournal::TexteIssue() const
{
    switch (Issue) {
    case TIssueEnvoi::Termine:
        return QStringLiteral("terminé");
    case TIssueEnvoi::Interrompu:
        return QStringLiteral("interrompu");
    case TIssueEnvoi::EnCours:
    case TIssueEnvoi::Refuse:
    case TIssueEnvoi::Echec:
        break;
    }
    return QStringLiteral("échoué");
}

namespace JournalEnvois {

QString Chemin()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') + KDossier
           + QLatin1Char('/') + KFichier;
}

QString CleBase(const QString &aBase)
{
    const QFileInfo fi(aBase);
    if (!aBase.isEmpty() && fi.exists())
        return QDir::toNativeSeparators(QDir::cleanPath(fi.absoluteFilePath()));
    return aBase;
}

TEnvoiJournal Nouveau(const QString &aBase, const QString &aNoeud, TSensMvt aSens, const QDate &aDu,
                      const QDate &aAu, const QDateTime &aDebut)
{
    TEnvoiJournal e;
    e.Base = CleBase(aBase);
    e.Noeud = aNoeud;
    e.Sens = aSens;
    e.Du = aDu;
    e.Au = aAu;
    e.Debut = aDebut.toUTC();
    e.Machine = PlatformComputerName();
    e.Compte = CompteCourant();
    return e;
}

QByteArray VersLigne(const TEnvoiJournal &aEnvoi)
{
    QJsonObject o{{QStringLiteral("base"), aEnvoi.Base},
                  {QStringLiteral("noeud"), aEnvoi.Noeud},
                  {QStringLiteral("sens"), TexteSens(aEnvoi.Sens)},
                  {QStringLiteral("du"), aEnvoi.Du.toString(KFormatJour)},
                  {QStringLiteral("au"), aEnvoi.Au.toString(KFormatJour)},
                  {QStringLiteral("premier_data_id"), double(aEnvoi.PremierDataId)},
                  {QStringLiteral("dernier_data_id"), double(aEnvoi.DernierDataId)},
                  {QStringLiteral("evenements"), double(aEnvoi.Evenements)},
                  {QStringLiteral("debut"), aEnvoi.Debut.toUTC().toString(Qt::ISODateWithMs)},
                  {QStringLiteral("fin"), aEnvoi.Fin.toUTC().toString(Qt::ISODateWithMs)},
                  {QStringLiteral("machine"), aEnvoi.Machine},
                  {QStringLiteral("compte"), aEnvoi.Compte},
                  {QStringLiteral("issue"), TexteIssueJson(aEnvoi.Issue)},
                  {QStringLiteral("message"), aEnvoi.Message}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool DepuisLigne(const QByteArray &aLigne, TEnvoiJournal &aEnvoi)
{
    QJsonParseError erreur{};
    const QJsonDocument doc = QJsonDocument::fromJson(aLigne, &erreur);
    if (erreur.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    TEnvoiJournal e;
    e.Base = o.value(QLatin1String("base")).toString();
    e.Noeud = o.value(QLatin1String("noeud")).toString();
    e.Sens = SensDuTexte(o.value(QLatin1String("sens")).toString());
    e.Du = QDate::fromString(o.value(QLatin1String("du")).toString(), KFormatJour);
    e.Au = QDate::fromString(o.value(QLatin1String("au")).toString(), KFormatJour);
    e.PremierDataId = qint64(o.value(QLatin1String("premier_data_id")).toDouble(-1));
    e.DernierDataId = qint64(o.value(QLatin1String("dernier_data_id")).toDouble(-1));
    e.Evenements = qint64(o.value(QLatin1String("evenements")).toDouble(-1));
    e.Debut = QDateTime::fromString(o.value(QLatin1String("debut")).toString(), Qt::ISODateWithMs);
    e.Fin = QDateTime::fromString(o.value(QLatin1String("fin")).toString(), Qt::ISODateWithMs);
    e.Machine = o.value(QLatin1String("machine")).toString();
    e.Compte = o.value(QLatin1String("compte")).toString();
    e.Message = o.value(QLatin1String("message")).toString();
    // What suivi would look up must be sound; the rest is only shown.
    if (e.Base.isEmpty() || e.Noeud.isEmpty() || !e.Debut.isValid() || e.PremierDataId < 0
        || e.DernierDataId < 0 || e.Evenements < 0
        || !IssueDepuisJson(o.value(QLatin1String("issue")).toString(), e.Issue))
        return false;
    aEnvoi = e;
    return true;
}

QString Consigner(const TEnvoiJournal &aEnvoi)
{
    const QString chemin = Chemin();
    const QString dossier = QFileInfo(chemin).absolutePath();
    if (!QDir().mkpath(dossier))
        return QStringLiteral("dossier %1 impossible à créer").arg(dossier);
    return Ecrire(chemin, VersLigne(aEnvoi));
}

QList<TEnvoiJournal> Lire(QStringList *aAvertissements)
{
    QList<TEnvoiJournal> envois;
    const QString chemin = Chemin();
    const QFileInfo fi(chemin);
    if (!fi.exists() && !fi.isSymLink())
        return envois;
    QFile f(chemin);
    if (fi.isSymLink() || !f.open(QIODevice::ReadOnly)) {
        if (aAvertissements)
            *aAvertissements << QStringLiteral("Journal des envois illisible : %1").arg(chemin);
        return envois;
    }
    int numero = 0;
    while (!f.atEnd()) {
        const QByteArray ligne = f.readLine();
        ++numero;
        if (ligne.trimmed().isEmpty())
            continue;
        TEnvoiJournal e;
        if (DepuisLigne(ligne, e))
            envois << e;
        else if (aAvertissements)
            *aAvertissements << QStringLiteral("Ligne %1 du journal des envois illisible, ignorée.").arg(numero);
    }
    return envois;
}

QList<TEnvoiJournal> EnvoisDuJour(const QString &aBase, const QString &aNoeud, const QDate &aJour,
                                  QStringList *aAvertissements)
{
    const QString base = CleBase(aBase);
    QList<TEnvoiJournal> envois;
    for (const TEnvoiJournal &e : Lire(aAvertissements))
        if (e.Base == base && e.Noeud == aNoeud && e.AvecPlage() && e.Debut.toLocalTime().date() == aJour)
            envois << e;
    return envois;
}

QList<QPair<qint64, qint64>> PlagesDisjointes(const QList<TEnvoiJournal> &aEnvois)
{
    QList<QPair<qint64, qint64>> plages;
    for (const TEnvoiJournal &e : aEnvois)
        if (e.AvecPlage())
            plages.append({e.PremierDataId, e.DernierDataId});
    std::sort(plages.begin(), plages.end());
    QList<QPair<qint64, qint64>> disjointes;
    for (const auto &p : std::as_const(plages)) {
        if (!disjointes.isEmpty() && p.first <= disjointes.last().second + 1)
            disjointes.last().second = std::max(disjointes.last().second, p.second);
        else
            disjointes.append(p);
    }
    return disjointes;
}

} // namespace JournalEnvois
