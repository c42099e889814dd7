// Start and stop of systemd services, with the Windows helpers' contract: a
// start of a service that runs and a stop of one that does not are refused,
// and the wait goes on while the service is in a pending state.
#include "platform/ServiceControler.h"

#include "platform/MachineInfo.h"
#include "platform/Systemctl.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

enum class TDirection : quint8 { Start, Stop };

// Only this computer: systemctl reaches others through ssh, which could
// stop on a password question.
bool IsLocalMachine(const QString &aMachine)
{
    return aMachine.isEmpty() || aMachine == QLatin1String(".") || aMachine == QLatin1String("localhost")
           || aMachine.compare(PlatformComputerName(), Qt::CaseInsensitive) == 0;
}

// Empty when systemctl did not answer or the unit does not exist.
QString ActiveState(const QString &aService)
{
    QHash<QString, QString> values;
    if (!SystemctlShow(aService, {QStringLiteral("LoadState"), QStringLiteral("ActiveState")}, values))
        return {};
    const QString load = values.value(QStringLiteral("LoadState"));
    if (load != QLatin1String("loaded"))
        return {};
    return values.value(QStringLiteral("ActiveState"));
}

bool IsStopped(const QString &aState)
{
    return aState == QLatin1String("inactive") || aState == QLatin1String("failed");
}

bool IsPending(const QString &aState)
{
    return aState == QLatin1String("activating") || aState == QLatin1String("deactivating")
           || aState == QLatin1String("reloading") || aState == QLatin1String("refreshing");
}

bool IsTarget(TDirection aDirection, const QString &aState)
{
    return aDirection == TDirection::Start ? aState == QLatin1String("active") : IsStopped(aState);
}

bool ChangeAndWait(const QString &aMachine, const QString &aService, TDirection aDirection,
                   std::chrono::milliseconds aLimit)
{
    if (!IsLocalMachine(aMachine) || !IsValidUnitName(aService))
        return false;
    QString state = ActiveState(aService);
    if (state.isEmpty())
        return false;
    // systemctl accepts both quietly; the service manager of Windows does not.
    if ((aDirection == TDirection::Start) != IsStopped(state))
        return false;
    if (!SystemctlCommand(aDirection == TDirection::Start ? QStringLiteral("start") : QStringLiteral("stop"),
                          aService))
        return false;

    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        state = ActiveState(aService);
        if (IsTarget(aDirection, state))
            return true;
        if (!IsPending(state) || elapsed.elapsed() >= aLimit.count())
            return false;
        QThread::msleep(200);
    }
}

} // namespace

bool StartServiceAndWait(const QString &aMachine, const QString &aService, std::chrono::milliseconds aLimit)
{
    return ChangeAndWait(aMachine, aService, TDirection::Start, aLimit);
}

bool StopServiceAndWait(const QString &aMachine, const QString &aService, std::chrono::milliseconds aLimit)
{
    return ChangeAndWait(aMachine, aService, TDirection::Stop, aLimit);
}

bool StartServiceAndWait(const QString &aMachine, const QString &aService)
{
    return StartServiceAndWait(aMachine, aService, KServiceWaitLimit);
}

bool StopServiceAndWait(const QString &aMachine, const QString &aService)
{
    return StopServiceAndWait(aMachine, aService, KServiceWaitLimit);
}
