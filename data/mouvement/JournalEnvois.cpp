#include "data/mouvement/JournalEnvois.h"

#include "common/ErreurSysteme.h"
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
#include <pwd.h>
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
    case TIssueEnvoi::Inconnue:
        return QStringLiteral("inconnue");
    case TIssueEnvoi::EnCours:
    case TIssueEnvoi::Refuse:
    case TIssueEnvoi::Echec:
        break;
    }
    return QStringLiteral("echec");
}

bool IssueDepuisJson(const QString &aTexte, TIssueEnvoi &aIssue)
{
    for (TIssueEnvoi i : {TIssueEnvoi::Termine, TIssueEnvoi::Interrompu, TIssueEnvoi::Echec, TIssueEnvoi::Inconnue})
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
#ifdef Q_OS_UNIX
    // A service or a cron job may run without either: the system knows.
    if (compte.isEmpty()) {
        char tampon[4096];
        struct passwd pw {};
        struct passwd *trouve = nullptr;
        if (::getpwuid_r(::geteuid(), &pw, tampon, sizeof tampon, &trouve) == 0 && trouve)
            compte = QString::fromLocal8Bit(trouve->pw_name);
        else
            compte = QString::number(::geteuid());
    }
#endif
    return compte;
}

// The journal is ours: a link, a file of another account or anything but a
// plain file (a FIFO would block) in its place is not written through.
QString Ecrire(const QString &aChemin, QByteArray aLigne)
{
#ifdef Q_OS_UNIX
    const QByteArray nom = QFile::encodeName(aChemin);
    const int fd = ::open(nom.constData(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return QStringLiteral("ouverture de %1 impossible : %2").arg(aChemin, TexteErreurSysteme(errno));
    struct stat st {};
    QString erreur;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        erreur = QStringLiteral("%1 n'est pas un fichier de ce compte : rien n'y est écrit").arg(aChemin);
    } else {
        // A line left cut by an earlier failure ends here: ours starts on
        // a line of its own.
        char dernier = '\n';
        if (st.st_size > 0 && ::pread(fd, &dernier, 1, st.st_size - 1) == 1 && dernier != '\n')
            aLigne.prepend('\n');
        // One write: O_APPEND places it at the end as a whole, whatever
        // another program appends at the same time.
        const ssize_t ecrits = ::write(fd, aLigne.constData(), size_t(aLigne.size()));
        if (ecrits != aLigne.size()) {
            const int cause = ecrits < 0 ? errno : ENOSPC;
            // What was written of it goes: half a line would be read as
            // damaged, and would swallow the next one.
            struct stat apres {};
            erreur = QStringLiteral("écriture dans %1 incomplète : %2").arg(aChemin, TexteErreurSysteme(cause));
            if (ecrits > 0 && (::fstat(fd, &apres) != 0 || ::ftruncate(fd, apres.st_size - ecrits) != 0))
                erreur += QStringLiteral(" ; la ligne coupée n'a pas pu être retirée");
        }
    }
    ::close(fd);
    return erreur;
#else
    if (QFileInfo(aChemin).isSymLink())
        return QStringLiteral("%1 est un lien : rien n'y est écrit").arg(aChemin);
    QFile f(aChemin);
    if (!f.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return QStringLiteral("ouverture de %1 impossible : %2").arg(aChemin, TexteErreurFichier(f));
    const qint64 avant = f.size();
    char dernier = '\n';
    if (avant > 0 && f.seek(avant - 1) && f.getChar(&dernier) && dernier != '\n')
        aLigne.prepend('\n');
    if (f.write(aLigne) != aLigne.size()) {
        // Read before the resize, which sets the file's error afresh.
        const QString cause = TexteErreurFichier(f);
        f.resize(avant);
        return QStringLiteral("écriture dans %1 incomplète : %2").arg(aChemin, cause);
    }
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
    case TIssueEnvoi::Inconnue:
        return QStringLiteral("issue inconnue");
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

TEnvoiJournal Nouveau(const QString &aBase, const QString &aNoeud, TSensMouvement aSens, const QDate &aDu,
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
                  {QStringLiteral("repere"), double(aEnvoi.Repere)},
                  {QStringLiteral("debut"), aEnvoi.Debut.toUTC().toString(Qt::ISODateWithMs)},
                  {QStringLiteral("fin"), aEnvoi.Fin.toUTC().toString(Qt::ISODateWithMs)},
                  {QStringLiteral("machine"), aEnvoi.Machine},
                  {QStringLiteral("compte"), aEnvoi.Compte},
                  {QStringLiteral("issue"), TexteIssueJson(aEnvoi.Issue)},
                  {QStringLiteral("message"), aEnvoi.Message}};
    QByteArray ligne = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    // A message too long for one line is cut, never the line.
    QString message = aEnvoi.Message;
    while (ligne.size() >= KLigneMax && !message.isEmpty()) {
        // Each character takes one byte at least.
        message.truncate(std::max<qsizetype>(0, message.size() - (ligne.size() - KLigneMax) - 16));
        o.insert(QStringLiteral("message"), message + QChar(0x2026));
        ligne = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    }
    return ligne;
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
    e.Repere = qint64(o.value(QLatin1String("repere")).toDouble(0));
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

QList<TEnvoiJournal> Lire(QStringList *aAvertissements, bool *aIllisible)
{
    QList<TEnvoiJournal> envois;
    if (aIllisible)
        *aIllisible = false;
    const QString chemin = Chemin();
    const QFileInfo fi(chemin);
    if (!fi.exists() && !fi.isSymLink())
        return envois;
    const auto illisible = [&](const QString &aPourquoi) {
        if (aAvertissements)
            *aAvertissements << QStringLiteral("Journal des envois illisible : %1 (%2)").arg(chemin, aPourquoi);
        if (aIllisible)
            *aIllisible = true;
        return envois;
    };
    QFile f;
#ifdef Q_OS_UNIX
    // Opened without blocking (a FIFO in its place would wait for a writer)
    // and without following a link; read only when it is a plain file.
    const int fd = ::open(QFile::encodeName(chemin).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return illisible(errno == ELOOP ? QStringLiteral("c'est un lien") : TexteErreurSysteme(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return illisible(QStringLiteral("ce n'est pas un fichier ordinaire"));
    }
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return illisible(TexteErreurFichier(f));
    }
#else
    if (fi.isSymLink())
        return illisible(QStringLiteral("c'est un lien"));
    f.setFileName(chemin);
    if (!f.open(QIODevice::ReadOnly))
        return illisible(TexteErreurFichier(f));
#endif
    int numero = 0;
    while (!f.atEnd()) {
        QByteArray ligne = f.readLine(KLigneMax + 1);
        ++numero;
        if (ligne.size() >= KLigneMax && !ligne.endsWith('\n')) {
            // Read on to its end without keeping it.
            while (!f.atEnd() && !f.readLine(KLigneMax + 1).endsWith('\n'))
                ;
            if (aAvertissements)
                *aAvertissements << QStringLiteral("Ligne %1 du journal des envois trop longue, ignorée.").arg(numero);
            continue;
        }
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
