#pragma once

// The engine's folder holds programs that run as root (its service script,
// its uninstaller, the installer copied there) and scripts that the engine
// runs as SYSDBA (the registration SQL, the properties): neither the folder
// nor any folder above it may be open to another account, and a program is
// looked at again just before it runs.

#include "db/DbError.h"
#include "platform/SafeFolder.h"

#include <QString>

// Raises "<aWhat> refusé : <why> ; rien n'a été fait." when another account
// could write or rename aFolder or a folder above it.
inline void ExigeDossierMoteur(const QString &aWhat, const QString &aFolder)
{
    const QString refusal = FolderRefusal(aFolder, TFolderTrust::Private);
    if (!refusal.isEmpty())
        throw EDbError(QStringLiteral("%1 refusé : %2 ; rien n'a été fait.").arg(aWhat, refusal));
}
