// The Qt face of the folder opened component by component (platform/win32).
#include "platform/SafeFolder.h"

#include "platform/win32/WinFolder.h"

#include <QDir>
#include <QFileInfo>

namespace {

std::wstring Native(const QString &aPath)
{
    return QDir::toNativeSeparators(aPath).toStdWString();
}

static_assert(int(TOpenFolder::TEntry::Unknown) == int(TWinFolderEntry::Unknown)
              && int(TOpenFolder::TEntry::Link) == int(TWinFolderEntry::Link));

} // namespace

TOpenFolder::TOpenFolder(const QString &aFolder, TFolderTrust aTrust)
    : FPath(QDir::cleanPath(QFileInfo(aFolder).absoluteFilePath()))
{
    FRefusal = QString::fromStdWString(WinOpenFolder(Native(FPath), aTrust == TFolderTrust::Private, FHandles, FMissing));
    if (!FRefusal.isEmpty())
        WinCloseFolder(FHandles);
}

TOpenFolder::~TOpenFolder()
{
    WinCloseFolder(FHandles);
}

TOpenFolder::TEntry TOpenFolder::Entry(const QString &aName) const
{
    TEntry entry;
    if (!IsOpen()) {
        entry.Kind = TEntry::Unknown;
        entry.Error = FRefusal;
        return entry;
    }
    const TWinFolderEntry found = WinEntry(Native(FPath + QLatin1Char('/') + aName));
    entry.Kind = static_cast<TEntry::TKind>(found.Kind);
    entry.Foreign = found.Foreign;
    entry.OthersWrite = found.OthersWrite;
    entry.Owner = QString::fromStdWString(found.Owner);
    entry.Error = QString::fromStdWString(found.Error);
    return entry;
}

QString TexteLien(const TOpenFolder::TEntry &)
{
    return QStringLiteral("point d'analyse");
}

QString TexteProprietaire(const TOpenFolder::TEntry &aEntry)
{
    return QStringLiteral("propriétaire « %1 »").arg(aEntry.Owner);
}
