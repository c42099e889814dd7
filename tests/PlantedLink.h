#pragma once

// A symbolic link as another account would plant it in a folder it may
// write: owned by "nobody". Only root can give a link to another account.

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>

#include <pwd.h>
#include <unistd.h>

// Empty when the link was made; otherwise why not, for QSKIP.
inline QString PlantLinkAsNobody(const QString &aTarget, const QString &aLink)
{
    if (::geteuid() != 0)
        return QStringLiteral("not root: a link can't be given to another account here");
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody)
        return QStringLiteral("no \"nobody\" account on this machine");
    if (::symlink(QFile::encodeName(aTarget).constData(), QFile::encodeName(aLink).constData()) != 0
        || ::lchown(QFile::encodeName(aLink).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return {};
}
