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

QString FolderRefusal(const QString &aFolder, TFolderTrust aTrust)
{
    return TOpenFolder(aFolder, aTrust).Refusal();
}

QString ProgramRefusal(const QString &aFile)
{
    const QFileInfo info(aFile);
    const TOpenFolder folder(info.absolutePath(), TFolderTrust::Private);
    if (!folder.IsOpen())
        return folder.Refusal();
    const TOpenFolder::TEntry entry = folder.Entry(info.fileName());
    const QString path = QDir::toNativeSeparators(info.absoluteFilePath());
    switch (entry.Kind) {
    case TOpenFolder::TEntry::File:
        break;
    case TOpenFolder::TEntry::Absent:
        return QStringLiteral("\"%1\" n'existe pas").arg(path);
    case TOpenFolder::TEntry::Link:
        return QStringLiteral("\"%1\" est un lien (point d'analyse) : il n'est pas lancé").arg(path);
    case TOpenFolder::TEntry::Unknown:
        return QStringLiteral("\"%1\" : %2").arg(path, entry.Error);
    default:
        return QStringLiteral("\"%1\" n'est pas un fichier").arg(path);
    }
    if (entry.Foreign)
        return QStringLiteral("\"%1\" appartient au compte « %2 » : il n'est pas lancé").arg(path, entry.Owner);
    if (entry.OthersWrite)
        return QStringLiteral("\"%1\" (propriétaire « %2 ») peut être modifié par un autre compte : il n'est pas "
                              "lancé")
            .arg(path, entry.Owner);
    return {};
}
