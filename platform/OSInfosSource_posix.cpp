#include "platform/OSInfosSource.h"

#include "platform/CimDateTime.h"
#include "platform/MachineInfo.h"

#include <QDateTime>
#include <QFile>
#include <QHash>

#include <sys/utsname.h>

namespace {

// WMI's text for an absent value. A function, not a global: this runs during
// static initialisation, when another file's globals may not exist yet.
QString Null()
{
    return QStringLiteral("NULL");
}

bool ReadWholeFile(const QString &aPath, QByteArray &aContent)
{
    QFile file(aPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    aContent = file.readAll();
    return true;
}

// "MemFree:   123456 kB" lines; the figures are already in kilobytes.
QHash<QByteArray, quint64> ParseMemInfo(const QByteArray &aContent)
{
    QHash<QByteArray, quint64> figures;
    for (const QByteArray &line : aContent.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        QByteArray figure = line.mid(colon + 1).trimmed();
        if (figure.endsWith(" kB"))
            figure.chop(3);
        bool ok = false;
        const quint64 value = figure.trimmed().toULongLong(&ok);
        if (ok)
            figures.insert(line.left(colon), value);
    }
    return figures;
}

// A shell-style value of os-release: bare, 'single' or "double" quoted, with
// the double-quote escapes \" \\ \$ \`.
QString Unquote(const QString &aValue)
{
    if (aValue.size() < 2 || aValue.front() != aValue.back()
        || (aValue.front() != u'"' && aValue.front() != u'\''))
        return aValue;
    const QString inner = aValue.mid(1, aValue.size() - 2);
    if (aValue.front() == u'\'')
        return inner;
    QString result;
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner[i] == u'\\' && i + 1 < inner.size()
            && QStringView(u"\"\\$`").contains(inner[i + 1]))
            ++i;
        result += inner[i];
    }
    return result;
}

QHash<QString, QString> ReadOsRelease()
{
    QByteArray content;
    if (!ReadWholeFile(QStringLiteral("/etc/os-release"), content)
        && !ReadWholeFile(QStringLiteral("/usr/lib/os-release"), content))
        return {};
    QHash<QString, QString> values;
    for (const QByteArray &rawLine : content.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype equal = line.indexOf(u'=');
        if (equal > 0)
            values.insert(line.left(equal), Unquote(line.mid(equal + 1)));
    }
    return values;
}

QString OrNull(const QString &aValue)
{
    return aValue.isEmpty() ? Null() : aValue;
}

int Failure(QString &aErrorText, const QString &aMessage)
{
    aErrorText = aMessage;
    return -1;
}

} // namespace

int PlatformOSInfosQuery(const QString &, QList<QStringList> &aTable, int &aInstances,
                         QString &aErrorText)
{
    aTable.clear();
    aInstances = 0;
    aErrorText.clear();

    struct utsname system = {};
    if (uname(&system) != 0)
        return Failure(aErrorText, QStringLiteral("Impossible d'identifier le système (uname)."));

    QByteArray content;
    if (!ReadWholeFile(QStringLiteral("/proc/meminfo"), content))
        return Failure(aErrorText, QStringLiteral("Impossible de lire /proc/meminfo."));
    const QHash<QByteArray, quint64> memory = ParseMemInfo(content);
    if (!memory.contains("MemFree"))
        return Failure(aErrorText, QStringLiteral("Contenu de /proc/meminfo non reconnu."));

    if (!ReadWholeFile(QStringLiteral("/proc/uptime"), content))
        return Failure(aErrorText, QStringLiteral("Impossible de lire /proc/uptime."));
    bool ok = false;
    const double uptime = content.trimmed().split(' ').value(0).toDouble(&ok);
    if (!ok || uptime < 0)
        return Failure(aErrorText, QStringLiteral("Contenu de /proc/uptime non reconnu."));

    // Both times from one reading of the clock, so that they agree.
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime boot = now.addMSecs(-static_cast<qint64>(uptime * 1000.0));

    // What Windows counts as free memory is what can be handed to programs
    // without paging: MemAvailable, or MemFree on kernels that lack it. Free
    // virtual memory adds the free swap space to it, as Windows adds the free
    // space of its paging files.
    const quint64 freePhysical = memory.value("MemAvailable", memory.value("MemFree"));
    const bool hasSwap = memory.contains("SwapFree");
    const quint64 freeSwap = memory.value("SwapFree");

    const QHash<QString, QString> release = ReadOsRelease();
    QString caption = release.value(QStringLiteral("PRETTY_NAME"));
    if (caption.isEmpty())
        caption = release.value(QStringLiteral("NAME"));
    if (caption.isEmpty())
        caption = QString::fromLocal8Bit(system.sysname);

    QString computer = PlatformComputerName();
    if (computer.isEmpty())
        computer = QString::fromLocal8Bit(system.nodename);

    aTable = {
        {QStringLiteral("Instance"), QStringLiteral("BuildNumber"), QStringLiteral("Caption"),
         QStringLiteral("CSDVersion"), QStringLiteral("CSName"),
         QStringLiteral("FreePhysicalMemory"), QStringLiteral("FreeSpaceInPagingFiles"),
         QStringLiteral("FreeVirtualMemory"), QStringLiteral("LastBootUpTime"),
         QStringLiteral("LocalDateTime"), QStringLiteral("Version")},
        {QStringLiteral("1"),
         OrNull(QString::fromLocal8Bit(system.version)),
         OrNull(caption),
         Null(), // no service packs here
         OrNull(computer),
         QString::number(freePhysical),
         hasSwap ? QString::number(freeSwap) : Null(),
         QString::number(freePhysical + freeSwap),
         CimDateTime(boot),
         CimDateTime(now),
         OrNull(QString::fromLocal8Bit(system.release))},
    };
    aInstances = 1;
    return static_cast<int>(aTable[0].size()) - 1;
}
