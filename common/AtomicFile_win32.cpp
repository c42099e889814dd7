// The new file and its rename with the Windows calls (platform/win32).
// Windows has no owner-only mode bits: the file takes its folder's rights.
// The folder's components are held open (platform/SafeFolder.h) from the
// first check to the rename, so none of them can be swapped meanwhile.
#include "common/AtomicFile.h"

#include "platform/SafeFolder.h"
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

// Why the entry of an open folder can't be replaced by us.
static QString EntryRefusal(const TOpenFolder &aFolder, const QString &aPath)
{
    if (!aFolder.IsOpen())
        return aFolder.Refusal();
    const TOpenFolder::TEntry entry = aFolder.Entry(QFileInfo(aPath).fileName());
    if (entry.Foreign && entry.Kind != TOpenFolder::TEntry::Absent)
        return QStringLiteral("il appartient à un autre compte (« %1 »)").arg(entry.Owner);
    return QString::fromStdWString(WinTargetRefusal(Native(aPath)));
}

QString TargetRefusal(const QString &aPath)
{
    const TOpenFolder folder(QFileInfo(aPath).absolutePath(), TFolderTrust::Owned);
    return EntryRefusal(folder, aPath);
}

bool RemoveOwnFile(const QString &aPath, QString *aWhy)
{
    // The folder's components held while the file goes.
    const TOpenFolder folder(QFileInfo(aPath).absolutePath(), TFolderTrust::Owned);
    QString why = EntryRefusal(folder, aPath);
    if (why.isEmpty()) {
        std::wstring error;
        if (!WinDeleteFile(Native(aPath), error))
            why = QString::fromStdWString(error);
    }
    if (aWhy)
        *aWhy = why;
    return why.isEmpty();
}

TNewFile::TNewFile(const QString &aTarget, TFileAccess aAccess)
    : FTarget(QFileInfo(aTarget).absoluteFilePath()),
      FFolder(std::make_unique<TOpenFolder>(QFileInfo(FTarget).absolutePath(), TFolderTrust::Owned))
{
    Q_UNUSED(aAccess)
    const QString refusal = EntryRefusal(*FFolder, FTarget);
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
    const QString refusal = EntryRefusal(*FFolder, FTarget);
    if (!refusal.isEmpty())
        Fail(refusal);
    if (!WinReplaceWith(Native(FTemporary), Native(FTarget), error))
        Fail(QString::fromStdWString(error));
    FCommitted = true;
}
