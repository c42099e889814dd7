// Folders opened with openat(O_NOFOLLOW | O_DIRECTORY) from "/", each
// component checked on its own descriptor, so that what is checked is what
// is used.
#include "platform/SafeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemText(int aError)
{
    switch (aError) {
    case ENOENT: return QStringLiteral("n'existe pas");
    case EACCES:
    case EPERM: return QStringLiteral("accès refusé");
    case ENOTDIR: return QStringLiteral("n'est pas un dossier");
    case ELOOP: return QStringLiteral("est un lien");
    default: return QString::fromLocal8Bit(std::strerror(aError));
    }
}

QString UserName(uid_t aUid)
{
    passwd entry{};
    passwd *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(aUid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(aUid);
}

QString GroupName(gid_t aGid)
{
    group entry{};
    group *found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(aGid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(aGid);
}

bool Trusted(uid_t aUid)
{
    return aUid == 0 || aUid == ::geteuid();
}

// Who else may write: the group (unless it is the administrator's alone)
// or everyone.
QString OthersWriting(const struct stat &aStat)
{
    if (aStat.st_mode & S_IWOTH)
        return QStringLiteral("tous les comptes");
    if ((aStat.st_mode & S_IWGRP) && aStat.st_gid != 0)
        return QStringLiteral("le groupe « %1 »").arg(GroupName(aStat.st_gid));
    return {};
}

QString Octal(mode_t aMode)
{
    return QStringLiteral("%1").arg(uint(aMode & 07777), 4, 8, QLatin1Char('0'));
}

// Why one opened component is refused; empty when accepted.
QString ComponentRefusal(const QString &aPath, const struct stat &aStat, TFolderTrust aTrust, bool aLast)
{
    if (!Trusted(aStat.st_uid))
        return QStringLiteral("le dossier \"%1\" appartient au compte « %2 » : un autre compte que celui-ci et "
                              "l'administrateur pourrait y remplacer des fichiers")
            .arg(aPath, UserName(aStat.st_uid));
    if (aTrust == TFolderTrust::Private) {
        const QString others = OthersWriting(aStat);
        // Under the sticky bit an entry is renamed only by its owner.
        if (!others.isEmpty() && (aLast || !(aStat.st_mode & S_ISVTX)))
            return QStringLiteral("le dossier \"%1\" (propriétaire « %2 », droits %3) peut être modifié par %4 : "
                                  "ses fichiers pourraient être remplacés par un autre compte")
                .arg(aPath, UserName(aStat.st_uid), Octal(aStat.st_mode), others);
    }
    return {};
}

} // namespace

TOpenFolder::TOpenFolder(const QString &aFolder, TFolderTrust aTrust)
    : FPath(QDir::cleanPath(QFileInfo(aFolder).absoluteFilePath()))
{
    const QStringList parts = FPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        FRefusal = QStringLiteral("le dossier \"/\" : %1").arg(SystemText(errno));
        return;
    }
    QString reached = QStringLiteral("/");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(FRefusal = ComponentRefusal(reached, st, aTrust, parts.isEmpty())).isEmpty()) {
        if (FRefusal.isEmpty())
            FRefusal = QStringLiteral("le dossier \"/\" : %1").arg(SystemText(errno));
        ::close(fd);
        return;
    }
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray name = QFile::encodeName(parts[i]);
        reached = reached.endsWith(QLatin1Char('/')) ? reached + parts[i] : reached + QLatin1Char('/') + parts[i];
        struct stat entry {};
        if (::fstatat(fd, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            FMissing = errno == ENOENT;
            FRefusal = QStringLiteral("le dossier \"%1\" %2").arg(reached, SystemText(errno));
        } else if (S_ISLNK(entry.st_mode)) {
            FRefusal = QStringLiteral("\"%1\" est un lien (compte « %2 ») : donnez le chemin réel du dossier, aucun "
                                      "lien n'est suivi")
                           .arg(reached, UserName(entry.st_uid));
        } else if (!S_ISDIR(entry.st_mode)) {
            FRefusal = QStringLiteral("\"%1\" n'est pas un dossier").arg(reached);
        }
        const int next = FRefusal.isEmpty()
                             ? ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                             : -1;
        if (FRefusal.isEmpty() && next < 0)
            FRefusal = QStringLiteral("le dossier \"%1\" %2").arg(reached, SystemText(errno));
        ::close(fd);
        fd = next;
        if (!FRefusal.isEmpty())
            return;
        // Checked on what was opened: a swap since fstatat changes nothing.
        if (::fstat(fd, &st) != 0)
            FRefusal = QStringLiteral("le dossier \"%1\" %2").arg(reached, SystemText(errno));
        else
            FRefusal = ComponentRefusal(reached, st, aTrust, i == parts.size() - 1);
        if (!FRefusal.isEmpty()) {
            ::close(fd);
            return;
        }
    }
    FDescriptor = fd;
}

TOpenFolder::~TOpenFolder()
{
    if (FDescriptor >= 0)
        ::close(FDescriptor);
}

TOpenFolder::TEntry TOpenFolder::Entry(const QString &aName) const
{
    TEntry entry;
    struct stat st {};
    if (FDescriptor < 0) {
        entry.Kind = TEntry::Unknown;
        entry.Error = FRefusal;
        return entry;
    }
    if (::fstatat(FDescriptor, QFile::encodeName(aName).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) {
            entry.Kind = TEntry::Unknown;
            entry.Error = SystemText(errno);
        }
        return entry;
    }
    entry.Kind = S_ISREG(st.st_mode)   ? TEntry::File
                 : S_ISDIR(st.st_mode) ? TEntry::Folder
                 : S_ISLNK(st.st_mode) ? TEntry::Link
                                       : TEntry::Other;
    entry.Foreign = !Trusted(st.st_uid);
    entry.OthersWrite = !OthersWriting(st).isEmpty();
    entry.Mode = st.st_mode & 07777;
    entry.Owner = UserName(st.st_uid);
    return entry;
}

QString TexteLien(const TOpenFolder::TEntry &aEntry)
{
    return QStringLiteral("compte « %1 »").arg(aEntry.Owner);
}

QString TexteProprietaire(const TOpenFolder::TEntry &aEntry)
{
    return QStringLiteral("propriétaire « %1 », droits %2").arg(aEntry.Owner, Octal(aEntry.Mode));
}
