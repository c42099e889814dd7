#include "common/IniProfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

bool IniWriteValue(const QString &aFile, const QString &aSection, const QString &aKey, const QString &aValue)
{
    QFile in(aFile);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QByteArray content = in.readAll();
    in.close();
    if (!IniSetValue(content, aSection, aKey, aValue))
        return false;

    // Written aside and renamed over the file: a failed write leaves the old
    // file whole. The new file takes the permissions of the old one, and its
    // owner when we may give it.
    const QFileInfo before(aFile);
    QSaveFile out(aFile);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit())
        return false;
    if (::geteuid() == 0) {
        const int changed = ::chown(QFile::encodeName(aFile).constData(), before.ownerId(), before.groupId());
        Q_UNUSED(changed) // the content is written either way
    }
    return true;
}
