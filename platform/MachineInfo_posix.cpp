#include "platform/MachineInfo.h"

#include <QFile>
#include <QLocale>
#include <QUuid>

#include <unistd.h>

#include <vector>

QString PlatformComputerName()
{
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer) != 0)
        return {};
    // gethostname() does not promise a terminating zero on truncation.
    buffer[sizeof buffer - 1] = '\0';
    return QString::fromLocal8Bit(buffer);
}

QString PlatformExecutableDir()
{
    // /proc/self/exe names the program even when started through a link or
    // a relative path. readlink() does not say when it truncated, so grow the
    // buffer until the target fits with room to spare.
    std::vector<char> buffer(1024);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size()) {
            const QString path = QFile::decodeName(QByteArray(buffer.data(), length));
            const qsizetype slash = path.lastIndexOf(u'/');
            return slash < 0 ? QString() : path.left(slash + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

QString PlatformNewGuid()
{
    const QUuid guid = QUuid::createUuid();
    if (guid.isNull())
        return {};
    return guid.toString(QUuid::WithBraces).toUpper();
}

namespace {

// The first character of a locale's format that is neither a letter nor a
// blank: "dd/MM/yyyy" gives "/", "HH:mm" gives ":".
QString SeparatorOf(const QString &aFormat, const QString &aDefault)
{
    for (const QChar c : aFormat)
        if (!c.isLetter() && !c.isSpace() && c != u'\'')
            return QString(c);
    return aDefault;
}

} // namespace

QString PlatformDateSeparator()
{
    return SeparatorOf(QLocale::system().dateFormat(QLocale::ShortFormat), QStringLiteral("/"));
}

QString PlatformTimeSeparator()
{
    return SeparatorOf(QLocale::system().timeFormat(QLocale::ShortFormat), QStringLiteral(":"));
}
