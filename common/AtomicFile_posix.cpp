// The new file and its rename with POSIX calls: O_EXCL and O_NOFOLLOW make
// sure that the name we create is ours and no link is followed.
#include "common/AtomicFile.h"

#include "common/ErreurSysteme.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemText(int aError)
{
    return TexteErreurSysteme(aError);
}

QByteArray Native(const QString &aPath)
{
    return QFile::encodeName(aPath);
}

QString Folder(const QString &aPath)
{
    return QFileInfo(aPath).absolutePath();
}

} // namespace

QString TargetRefusal(const QString &aPath)
{
    const uid_t me = ::geteuid();
    struct stat folder {};
    // A folder swapped for another account's link would take the file elsewhere.
    if (::lstat(Native(Folder(aPath)).constData(), &folder) == 0 && S_ISLNK(folder.st_mode) && folder.st_uid != me)
        return QStringLiteral("le dossier \"%1\" est un lien qui appartient à un autre compte").arg(Folder(aPath));
    struct stat target {};
    if (::lstat(Native(aPath).constData(), &target) != 0)
        return errno == ENOENT ? QString() : SystemText(errno);
    if (target.st_uid != me)
        return S_ISLNK(target.st_mode) ? QStringLiteral("c'est un lien qui appartient à un autre compte")
                                       : QStringLiteral("il appartient à un autre compte");
    if (S_ISDIR(target.st_mode))
        return QStringLiteral("c'est un dossier");
    return {};
}

TNewFile::TNewFile(const QString &aTarget, TFileAccess aAccess) : FTarget(QFileInfo(aTarget).absoluteFilePath())
{
    const QString refusal = TargetRefusal(FTarget);
    if (!refusal.isEmpty())
        Fail(refusal);
    // The old file's permissions are kept, never more than read for all.
    mode_t mode = 0644;
    struct stat old {};
    if (::lstat(Native(FTarget).constData(), &old) == 0 && S_ISREG(old.st_mode))
        mode = old.st_mode & 0777;
    if (aAccess == TFileAccess::OwnerOnly)
        mode = 0600;

    const QString stem = Folder(FTarget) + QStringLiteral("/.") + QFileInfo(FTarget).fileName() + QLatin1Char('.');
    for (int attempt = 0; attempt < 16 && FHandle < 0; ++attempt) {
        FTemporary = stem + QString::number(QRandomGenerator::system()->generate64(), 36);
        const int fd = ::open(Native(FTemporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              0600);
        if (fd >= 0)
            FHandle = fd;
        else if (errno != EEXIST)
            Fail(SystemText(errno));
    }
    if (FHandle < 0)
        Fail(QStringLiteral("aucun nom libre pour le fichier temporaire"));
    // Set after creation: the umask must not decide who reads a password.
    if (::fchmod(int(FHandle), mode) != 0)
        Fail(SystemText(errno));
}

TNewFile::~TNewFile()
{
    if (FHandle >= 0)
        ::close(int(FHandle));
    if (!FCommitted && !FTemporary.isEmpty())
        ::unlink(Native(FTemporary).constData());
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
    if (::fsync(int(FHandle)) != 0)
        Fail(SystemText(errno));
    const int fd = int(FHandle);
    FHandle = -1;
    if (::close(fd) != 0)
        Fail(SystemText(errno));
    // Checked again just before: the gap left is the rename itself.
    const QString refusal = TargetRefusal(FTarget);
    if (!refusal.isEmpty())
        Fail(refusal);
    if (::rename(Native(FTemporary).constData(), Native(FTarget).constData()) != 0)
        Fail(SystemText(errno));
    FCommitted = true;
}
