// The new file and its rename with the Windows calls (platform/win32).
// Windows has no owner-only mode bits: the file takes its folder's rights.
#include "common/AtomicFile.h"

#include "platform/win32/WinFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {

std::wstring Native(const QString &aPath)
{
    return QDir::toNativeSeparators(aPath).toStdWString();
}

} // namespace

QString TargetRefusal(const QString &aPath)
{
    const QString folder = QFileInfo(aPath).absolutePath();
    const std::wstring folderRefusal = WinTargetRefusal(Native(folder));
    // The folder is a folder: only a link in its place is refused.
    if (!folderRefusal.empty() && QFileInfo(folder).isSymbolicLink())
        return QStringLiteral("le dossier \"%1\" : %2").arg(folder, QString::fromStdWString(folderRefusal));
    return QString::fromStdWString(WinTargetRefusal(Native(aPath)));
}

TNewFile::TNewFile(const QString &aTarget, TFileAccess aAccess) : FTarget(QFileInfo(aTarget).absoluteFilePath())
{
    Q_UNUSED(aAccess)
    const QString refusal = TargetRefusal(FTarget);
    if (!refusal.isEmpty())
        Fail(refusal);
    const QString stem = QFileInfo(FTarget).absolutePath() + QStringLiteral("/~") + QFileInfo(FTarget).fileName()
                         + QLatin1Char('.');
    std::wstring error;
    for (int attempt = 0; attempt < 16 && FHandle < 0; ++attempt) {
        FTemporary = stem + QString::number(QRandomGenerator::system()->generate64(), 36);
        if (void *handle = WinCreateNewFile(Native(FTemporary), error))
            FHandle = reinterpret_cast<qintptr>(handle);
    }
    if (FHandle < 0) {
        FTemporary.clear();
        Fail(QString::fromStdWString(error));
    }
}

TNewFile::~TNewFile()
{
    if (FHandle >= 0)
        WinCloseFile(reinterpret_cast<void *>(FHandle));
    if (!FCommitted && !FTemporary.isEmpty())
        WinRemoveFile(Native(FTemporary));
}

void TNewFile::Write(const QByteArray &aBytes)
{
    std::wstring error;
    if (!WinWriteAll(reinterpret_cast<void *>(FHandle), aBytes.constData(), std::size_t(aBytes.size()), error))
        Fail(QString::fromStdWString(error));
}

void TNewFile::Commit()
{
    std::wstring error;
    void *handle = reinterpret_cast<void *>(FHandle);
    FHandle = -1;
    if (!WinFlushAndClose(handle, error))
        Fail(QString::fromStdWString(error));
    const QString refusal = TargetRefusal(FTarget);
    if (!refusal.isEmpty())
        Fail(refusal);
    if (!WinReplaceWith(Native(FTemporary), Native(FTarget), error))
        Fail(QString::fromStdWString(error));
    FCommitted = true;
}
