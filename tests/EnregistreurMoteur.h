#pragma once

// Stands in for the system during the engine's installation: it records
// every program and service call as one line instead of running anything,
// copies files as the shell would, and lays out an installed engine's
// folder when the engine's installer "runs".

#include "data/moteur/SystemeMoteur.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <stdexcept>

class TEnregistreurMoteur : public TSystemeMoteur
{
public:
    explicit TEnregistreurMoteur(bool aWindows) : FWindows(aWindows) {}

    // What happened, one line per call, in order.
    QStringList Log;

    // Programs that "can't be started" (the elevation declined, a missing program).
    QSet<QString> Refused;
    // Programs that end with this exit code instead of 0.
    QMap<QString, int> ExitCodes;
    bool CopyFails = false;
    bool StartThrows = false;
    bool ServiceResult = true;
    QMap<QString, TInfoSurService> Services;

    // The engine's files that the installer lays out, by path under its
    // folder; an empty map lays out nothing.
    QMap<QString, QByteArray> FichiersMoteur;

    bool Windows() const override { return FWindows; }

    // Logged as the Windows command line the arguments make: each argument
    // that would be cut shows in quotes.
    TProgramRun RunAndWait(const QString &aFile, const QStringList &aArguments, const QString &aDirectory,
                           bool aHidden) override
    {
        const QString parameters = WindowsCommandLine(aArguments);
        Log << QStringLiteral("RunAsAndWait | %1 | %2 | %3 | %4")
                   .arg(aFile, parameters, aDirectory, aHidden ? QStringLiteral("cachée") : QStringLiteral("montrée"));
        TProgramRun run;
        if (Refused.contains(aFile)) {
            run.Error = QStringLiteral("L'opération a été annulée par l'utilisateur.");
            return run;
        }
        run.Started = true;
        run.ExitCode = ExitCodes.value(aFile, 0);
        if (run.ExitCode == 0 && parameters.contains(QLatin1String("symmetric-pro-3.7.36-setup.jar")))
            DisposeMoteur(Local(aDirectory));
        return run;
    }

    bool CopyFile(const QString &aSource, const QString &aTarget) override
    {
        Log << QStringLiteral("CopyFile | %1 | %2").arg(aSource, aTarget);
        const QString source = Local(aSource);
        const QString target = Local(aTarget);
        if (CopyFails || !QFileInfo::exists(source))
            return false;
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::remove(target);
        return QFile::copy(source, target);
    }

    TInfoSurService ServiceInfo(const QString &aService) override
    {
        Log << QStringLiteral("ServiceInfo | %1").arg(aService);
        if (Services.contains(aService))
            return Services.value(aService);
        TInfoSurService info;
        info.ErrorMessage = QStringLiteral("Le service \"%1\" n’existe pas.").arg(aService);
        return info;
    }

    bool StartService(const QString &aService) override
    {
        Log << QStringLiteral("StartService | %1").arg(aService);
        if (StartThrows)
            throw std::runtime_error("start");
        return ServiceResult;
    }

    bool StopService(const QString &aService) override
    {
        Log << QStringLiteral("StopService | %1").arg(aService);
        return ServiceResult;
    }

    // A path in the Windows form, as this process opens it.
    QString Local(const QString &aPath) const
    {
        QString path = aPath;
        return FWindows ? path.replace(QLatin1Char('\\'), QLatin1Char('/')) : path;
    }

private:
    void DisposeMoteur(const QString &aFolder)
    {
        for (auto it = FichiersMoteur.cbegin(); it != FichiersMoteur.cend(); ++it) {
            const QString path = aFolder + QLatin1Char('/') + it.key();
            if (path.endsWith(QLatin1Char('/'))) {
                QDir().mkpath(path);
                continue;
            }
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(it.value());
        }
    }

    bool FWindows;
};
