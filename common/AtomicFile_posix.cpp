// The new file and its rename with POSIX calls, all of them relative to the
// target's folder opened once (platform/SafeFolder.h): O_TMPFILE (or O_EXCL
// with O_NOFOLLOW) makes sure that the file we write is ours, and no link is
// followed.
#include "common/AtomicFile.h"

#include "common/ErreurSysteme.h"
#include "platform/SafeFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder's own words where the file's would mislead; the system's
// French texts otherwise.
QString SystemText(int aError)
{
    switch (aError) {
    case ENOENT: return QStringLiteral("le dossier n'existe pas");
    case EACCES:
    case EPERM: return QStringLiteral("accès refusé");
    default: return TexteErreurSysteme(aError);
    }
}

QByteArray Native(const QString &aName)
{
    return QFile::encodeName(aName);
}

// Why the entry aName of an open folder can't be replaced by us.
QString EntryRefusal(const TOpenFolder &aFolder, const QString &aName)
{
    if (!aFolder.IsOpen())
        return aFolder.Refusal();
    const TOpenFolder::TEntry entry = aFolder.Entry(aName);
    if (entry.Kind == TOpenFolder::TEntry::Absent)
        return {};
    if (entry.Kind == TOpenFolder::TEntry::Unknown)
        return entry.Error;
    if (entry.Foreign)
        return entry.Kind == TOpenFolder::TEntry::Link
                   ? QStringLiteral("c'est un lien qui appartient à un autre compte (« %1 »)").arg(entry.Owner)
                   : QStringLiteral("il appartient à un autre compte (« %1 »)").arg(entry.Owner);
    if (entry.Kind == TOpenFolder::TEntry::Folder)
        return QStringLiteral("c'est un dossier");
    return {};
}

QString RandomName(const QString &aTarget)
{
    return QStringLiteral(".") + aTarget + QLatin1Char('.')
           + QString::number(QRandomGenerator::system()->generate64(), 36);
}

} // namespace

QString TargetRefusal(const QString &aPath)
{
    const QFileInfo info(aPath);
    const TOpenFolder folder(info.absolutePath(), TFolderTrust::Owned);
    return EntryRefusal(folder, info.fileName());
}

bool RemoveOwnFile(const QString &aPath, QString *aWhy)
{
    const QFileInfo info(aPath);
    const TOpenFolder folder(info.absolutePath(), TFolderTrust::Owned);
    QString why = EntryRefusal(folder, info.fileName());
    if (why.isEmpty() && ::unlinkat(folder.Descriptor(), Native(info.fileName()).constData(), 0) != 0
        && errno != ENOENT)
        why = SystemText(errno);
    if (aWhy)
        *aWhy = why;
    return why.isEmpty();
}

TNewFile::TNewFile(const QString &aTarget, TFileAccess aAccess)
    : FTarget(QFileInfo(aTarget).absoluteFilePath()),
      FFolder(std::make_unique<TOpenFolder>(QFileInfo(FTarget).absolutePath(), TFolderTrust::Owned))
{
    const QString name = QFileInfo(FTarget).fileName();
    const QString refusal = EntryRefusal(*FFolder, name);
    if (!refusal.isEmpty())
        Fail(refusal);
    const int folder = FFolder->Descriptor();
    // The old file's permissions are kept, never more than read for all.
    mode_t mode = 0644;
    const TOpenFolder::TEntry old = FFolder->Entry(name);
    if (old.Kind == TOpenFolder::TEntry::File)
        mode = old.Mode & 0777;
    if (aAccess == TFileAccess::OwnerOnly)
        mode = 0600;

    // Nameless until complete: nothing to clean up if we are stopped.
#ifdef O_TMPFILE
    if (::access("/proc/self/fd", X_OK) == 0)
        FHandle = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
#endif
    for (int attempt = 0; attempt < 16 && FHandle < 0; ++attempt) {
        FTemporary = RandomName(name);
        const int fd = ::openat(folder, Native(FTemporary).constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0)
            FHandle = fd;
        else if (errno != EEXIST) {
            FTemporary.clear();
            Fail(SystemText(errno));
        }
    }
    if (FHandle < 0) {
        FTemporary.clear();
        Fail(QStringLiteral("aucun nom libre pour le fichier temporaire"));
    }
    // Set after creation: the umask must not decide who reads a password.
    if (::fchmod(int(FHandle), mode) != 0) {
        // No destructor runs for a constructor that raises.
        const int error = errno;
        ::close(int(FHandle));
        if (!FTemporary.isEmpty())
            ::unlinkat(folder, Native(FTemporary).constData(), 0);
        Fail(SystemText(error));
    }
}

TNewFile::~TNewFile()
{
    if (FHandle >= 0)
        ::close(int(FHandle));
    if (!FCommitted && !FTemporary.isEmpty())
        ::unlinkat(FFolder->Descriptor(), Native(FTemporary).constData(), 0);
}

void TNewFile::Write(const QByteArray &aBytes)
{
    const char *data = aBytes.constData();
    qsizetype left = aBytes.size();
    while (left > 0) {
        const ssize_t written = ::write(int(FHandle), data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail(SystemText(errno));
        }
        data += written;
        left -= written;
    }
}

void TNewFile::Commit()
{
    const int folder = FFolder->Descriptor();
    if (::fsync(int(FHandle)) != 0)
        Fail(SystemText(errno));
    // The nameless file gets a name of its own just before the rename.
    if (FTemporary.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(qlonglong(FHandle));
        for (int attempt = 0; attempt < 16 && FTemporary.isEmpty(); ++attempt) {
            const QString candidate = RandomName(QFileInfo(FTarget).fileName());
            if (::linkat(AT_FDCWD, self.constData(), folder, Native(candidate).constData(), AT_SYMLINK_FOLLOW) == 0)
                FTemporary = candidate;
            else if (errno != EEXIST)
                Fail(SystemText(errno));
        }
        if (FTemporary.isEmpty())
            Fail(QStringLiteral("aucun nom libre pour le fichier temporaire"));
    }
    const int fd = int(FHandle);
    FHandle = -1;
    if (::close(fd) != 0)
        Fail(SystemText(errno));
    // Checked again just before: the gap left is the rename itself.
    const QString name = QFileInfo(FTarget).fileName();
    const QString refusal = EntryRefusal(*FFolder, name);
    if (!refusal.isEmpty())
        Fail(refusal);
    if (::renameat(folder, Native(FTemporary).constData(), folder, Native(name).constData()) != 0)
        Fail(SystemText(errno));
    FCommitted = true;
    ::fsync(folder);
}
