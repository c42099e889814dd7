#include "data/moteur/SystemeMoteur.h"

#include "common/AtomicFile.h"
#include "platform/ServiceControler.h"

#ifndef Q_OS_WIN
#include "platform/PosixProcess.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>
#endif

QString WindowsCommandLine(const QStringList &aArguments)
{
    QStringList quoted;
    for (const QString &argument : aArguments) {
        if (!argument.isEmpty() && !argument.contains(u' ') && !argument.contains(u'\t') && !argument.contains(u'"')) {
            quoted << argument;
            continue;
        }
        QString text = QStringLiteral("\"");
        qsizetype backslashes = 0;
        for (QChar c : argument) {
            if (c == u'\\') {
                ++backslashes;
                continue;
            }
            text += QString(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\') + c;
            backslashes = 0;
        }
        quoted << text + QString(backslashes * 2, u'\\') + QLatin1Char('"');
    }
    return quoted.join(u' ');
}

namespace {

class TSystemeMoteurPlateforme : public TSystemeMoteur
{
public:
    bool Windows() const override
    {
#ifdef Q_OS_WIN
        return true;
#else
        return false;
#endif
    }

    TProgramRun RunAndWait(const QString &aFile, const QStringList &aArguments, const QString &aDirectory,
                           bool aHidden) override
    {
        TProgramRun run;
#ifdef Q_OS_WIN
        run.Started = ::RunAsAndWait(aFile, WindowsCommandLine(aArguments), aDirectory, aHidden, run.Error,
                                     run.ExitCode);
#else
        // Nothing here can ask for elevation: the caller must already have it.
        if (::geteuid() != 0) {
            run.Error = QStringLiteral("droits d'administrateur requis pour lancer %1 : relancez le programme en "
                                       "root")
                            .arg(aFile);
            return run;
        }
        const TProcessResult result = RunProgramAndWait(
            aFile, aArguments, aDirectory, aHidden ? TProcessStreams::Discard : TProcessStreams::Inherit, true);
        run.Started = result.Started;
        run.ExitCode = result.ExitCode;
        run.Error = result.Error;
#endif
        return run;
    }

    bool CopyFile(const QString &aSource, const QString &aTarget) override
    {
#ifdef Q_OS_WIN
        return ::ShellCopyFile(aSource, aTarget);
#else
        // The way every file of ours is written: no link followed.
        if (!QFileInfo(aSource).isFile() || !QDir().mkpath(QFileInfo(aTarget).absolutePath()))
            return false;
        try {
            CopyFileAtomically(aSource, aTarget);
            return true;
        } catch (const std::exception &) {
            return false;
        }
#endif
    }

    TInfoSurService ServiceInfo(const QString &aService) override
    {
        TInfoSurService info;
        ::GetInfoSurService(aService, info);
        return info;
    }

    bool StartService(const QString &aService) override { return ::StartServiceAndWait(QString(), aService); }
    bool StopService(const QString &aService) override { return ::StopServiceAndWait(QString(), aService); }
};

} // namespace

std::unique_ptr<TSystemeMoteur> NewSystemeMoteurPlateforme()
{
    return std::make_unique<TSystemeMoteurPlateforme>();
}
