#include "platform/Systemctl.h"

#include "platform/PosixProcess.h"

namespace {

// No pager, and no password question that nobody would answer.
const QStringList &CommonOptions()
{
    static const QStringList options = {QStringLiteral("--no-pager"), QStringLiteral("--no-ask-password")};
    return options;
}

} // namespace

bool IsValidUnitName(const QString &aName)
{
    if (aName.isEmpty() || aName.size() > 255 || aName.startsWith(u'-'))
        return false;
    for (const QChar c : aName) {
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
                             || QStringView(u":-_.\\@").contains(c);
        if (!allowed)
            return false;
    }
    return true;
}

bool SystemctlShow(const QString &aUnit, const QStringList &aProperties, QHash<QString, QString> &aValues)
{
    aValues.clear();
    const TProcessResult run = RunProgramAndWait(
        QStringLiteral("systemctl"),
        CommonOptions() + QStringList{QStringLiteral("show"), QStringLiteral("--property=") + aProperties.join(u','),
                                      QStringLiteral("--"), aUnit},
        QString(), TProcessStreams::Capture);
    if (!run.Started || run.ExitCode != 0)
        return false;
    for (const QByteArray &line : run.Output.split('\n')) {
        const qsizetype equal = line.indexOf('=');
        if (equal > 0)
            aValues.insert(QString::fromUtf8(line.left(equal)), QString::fromUtf8(line.mid(equal + 1)));
    }
    return true;
}

bool SystemctlCommand(const QString &aVerb, const QString &aUnit)
{
    const TProcessResult run = RunProgramAndWait(
        QStringLiteral("systemctl"), CommonOptions() + QStringList{aVerb, QStringLiteral("--"), aUnit}, QString(),
        TProcessStreams::Discard);
    return run.Started && run.ExitCode == 0;
}
