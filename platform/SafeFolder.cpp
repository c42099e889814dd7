// What both systems say of a folder or a program they refuse.
#include "platform/SafeFolder.h"

#include <QDir>
#include <QFileInfo>

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
        return QStringLiteral("\"%1\" est un lien (%2) : il n'est pas lancé").arg(path, TexteLien(entry));
    case TOpenFolder::TEntry::Unknown:
        return QStringLiteral("\"%1\" : %2").arg(path, entry.Error);
    default:
        return QStringLiteral("\"%1\" n'est pas un fichier").arg(path);
    }
    if (entry.Foreign)
        return QStringLiteral("\"%1\" appartient au compte « %2 » : il n'est pas lancé").arg(path, entry.Owner);
    if (entry.OthersWrite)
        return QStringLiteral("\"%1\" (%2) peut être modifié par un autre compte : il n'est pas lancé")
            .arg(path, TexteProprietaire(entry));
    return {};
}
