// The service and shell helpers on a systemd machine. A systemd service has
// no drivers, load-order groups or tags: the Windows notions that have a
// counterpart are mapped, the others stay as cleared.
#include "platform/SymmetricDS.Commun.h"

#include "platform/PosixProcess.h"
#include "platform/ServiceMessages.h"
#include "platform/Systemctl.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <unistd.h>

namespace {

// Every systemd service runs in processes of its own.
TServiceType ServiceTypeOf(const QString &aType)
{
    static const QStringList types = {
        QStringLiteral("simple"), QStringLiteral("exec"),   QStringLiteral("forking"),       QStringLiteral("oneshot"),
        QStringLiteral("dbus"),   QStringLiteral("notify"), QStringLiteral("notify-reload"), QStringLiteral("idle")};
    return types.contains(aType) ? TServiceType::Win32OwnProcess : TServiceType::sNone;
}

// Enabled units start with the system; the others only when asked (by hand
// or by another unit); masked ones cannot start at all.
TStartType StartTypeOf(const QString &aUnitFileState)
{
    static const QStringList automatic = {QStringLiteral("enabled"), QStringLiteral("enabled-runtime"),
                                          QStringLiteral("alias")};
    static const QStringList demand = {QStringLiteral("disabled"), QStringLiteral("static"),
                                       QStringLiteral("indirect"), QStringLiteral("linked"),
                                       QStringLiteral("linked-runtime"), QStringLiteral("transient")};
    if (automatic.contains(aUnitFileState))
        return TStartType::AutoStart;
    if (demand.contains(aUnitFileState))
        return TStartType::DemandStart;
    if (aUnitFileState.startsWith(QLatin1String("masked")))
        return TStartType::Disabled;
    return TStartType::tNone;
}

// What the system does when the service fails: nothing but a log entry is
// Windows' "normal"; a restart or a stop of the machine its "severe".
TErrorControl ErrorControlOf(const QString &aFailureAction)
{
    if (aFailureAction == QLatin1String("none"))
        return TErrorControl::ErrorNormal;
    if (aFailureAction.isEmpty())
        return TErrorControl::eNone;
    return TErrorControl::ErrorSevere;
}

// "{ path=/usr/bin/x ; argv[]=/usr/bin/x -a ; ignore_errors=no ; ... }":
// the command line is the argv[] part of the first command.
QString CommandLineOf(const QString &aExecStart)
{
    const QLatin1String marker("argv[]=");
    const qsizetype start = aExecStart.indexOf(marker);
    if (start < 0)
        return {};
    const qsizetype from = start + marker.size();
    const qsizetype end = aExecStart.indexOf(QLatin1String(" ;"), from);
    return aExecStart.mid(from, end < 0 ? -1 : end - from);
}

// LoadError=org.freedesktop.systemd1.BadUnitSetting "Unit x has a bad setting.": the quoted text.
QString LoadErrorText(const QString &aLoadError)
{
    const qsizetype quote = aLoadError.indexOf(u'"');
    if (quote < 0 || !aLoadError.endsWith(u'"') || aLoadError.size() - quote < 2)
        return aLoadError;
    return aLoadError.mid(quote + 1, aLoadError.size() - quote - 2);
}

void FillInfo(const QString &aServiceName, TInfoSurService &aInfo)
{
    const QString name = aServiceName;
    if (!IsValidUnitName(name)) {
        aInfo.ErrorMessage = QString::fromStdWString(MissingServiceText(name.toStdWString()));
        return;
    }
    QHash<QString, QString> values;
    const QStringList properties = {QStringLiteral("LoadState"),     QStringLiteral("LoadError"),
                                    QStringLiteral("Type"),          QStringLiteral("UnitFileState"),
                                    QStringLiteral("FailureAction"), QStringLiteral("ExecStart"),
                                    QStringLiteral("Requires"),      QStringLiteral("User"),
                                    QStringLiteral("Description")};
    const QString loadState = SystemctlShow(name, properties, values) ? values.value(QStringLiteral("LoadState"))
                                                                      : QString();
    if (loadState.isEmpty()) {
        aInfo.ErrorMessage = QString::fromStdWString(ServiceManagerErrorText());
        return;
    }
    if (loadState == QLatin1String("not-found")) {
        aInfo.ErrorMessage = QString::fromStdWString(MissingServiceText(name.toStdWString()));
        return;
    }
    aInfo.Exist = true;
    // A unit file that systemd could not read (bad setting, syntax error).
    if (loadState != QLatin1String("loaded") && loadState != QLatin1String("masked")) {
        aInfo.ErrorMessage = QString::fromStdWString(ServiceConfigErrorText(
            name.toStdWString(), LoadErrorText(values.value(QStringLiteral("LoadError"))).toStdWString()));
        return;
    }
    aInfo.ServiceType = ServiceTypeOf(values.value(QStringLiteral("Type")));
    aInfo.StartType = StartTypeOf(values.value(QStringLiteral("UnitFileState")));
    aInfo.ErrorControl = ErrorControlOf(values.value(QStringLiteral("FailureAction")));
    aInfo.BinaryPathName = CommandLineOf(values.value(QStringLiteral("ExecStart")));
    aInfo.Dependencies = values.value(QStringLiteral("Requires")).section(u' ', 0, 0, QString::SectionSkipEmpty);
    // No user named: the service runs as root.
    aInfo.ServiceStartName = values.value(QStringLiteral("User"));
    if (aInfo.ServiceStartName.isEmpty())
        aInfo.ServiceStartName = QStringLiteral("root");
    aInfo.DisplayName = values.value(QStringLiteral("Description"));
}

} // namespace

void GetInfoSurService(const QString &aServiceName, TInfoSurService &aInfo)
{
    ClearInfoSurService(aInfo);
    try {
        FillInfo(aServiceName, aInfo);
    } catch (...) {
        // Never raises: the record keeps what was set so far.
    }
}

bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory, bool aHidden,
                  QString &aErreur)
{
    int exitCode = -1;
    return RunAsAndWait(aFile, aParameters, aDirectory, aHidden, aErreur, exitCode);
}

bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory, bool aHidden,
                  QString &aErreur, int &aExitCode)
{
    aExitCode = -1;
    aErreur.clear();
    // Nothing here can ask for elevation: the caller must already have it.
    if (::geteuid() != 0) {
        aErreur = QStringLiteral("Droits d'administrateur requis pour lancer %1 : relancez le programme en root.")
                      .arg(aFile);
        return false;
    }
    // The parameters are one command line, as the Windows shell takes them.
    const TProcessResult run = RunProgramAndWait(aFile, QProcess::splitCommand(aParameters), aDirectory,
                                                 aHidden ? TProcessStreams::Discard : TProcessStreams::Inherit,
                                                 true);
    if (!run.Started)
        aErreur = run.Error;
    aExitCode = run.ExitCode;
    return run.Started;
}

bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory, bool aHidden)
{
    QString error;
    const bool started = RunAsAndWait(aFile, aParameters, aDirectory, aHidden, error);
    // Windows shows its own refusal; here the operator would learn nothing.
    if (!started)
        qWarning().noquote() << error;
    return started;
}

bool ShellCopyFile(const QString &aSource, const QString &aTarget)
{
    const QFileInfo source(aSource);
    if (!source.isFile() || aTarget.isEmpty())
        return false;
    // An existing folder as the target receives the file under its own name.
    QString target = aTarget;
    if (QFileInfo(target).isDir())
        target = QDir(target).filePath(source.fileName());
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && targetInfo.canonicalFilePath() == source.canonicalFilePath())
        return false;
    if (!QDir().mkpath(targetInfo.absolutePath()))
        return false;

    QFile in(aSource);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    // Written aside and renamed over the target: a failed copy leaves the
    // old file whole.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty() && in.error() != QFileDevice::NoError)
            return false;
        if (out.write(block) != block.size())
            return false;
    }
    return out.commit();
}
