#pragma once

// Where the engine's installation and the node configuration meet the
// system: every outside program they start and every service they touch
// goes through this one interface, so that a test can put a recorder in its
// place. The default forwards to the platform's service and process helpers.

#include "platform/SymmetricDS.Commun.h"

#include <QString>

#include <memory>

class TEngineSystem
{
public:
    virtual ~TEngineSystem() = default;

    // Windows conventions (backslashes, javaw, sc.exe, netsh.exe) or the
    // POSIX ones (slashes, java, systemctl); the system's own implementation
    // answers for the system the program runs on.
    virtual bool Windows() const = 0;

    // Elevated, window shown unless aHidden; true once the program has ended,
    // false when it could not be started.
    virtual bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory,
                              bool aHidden) = 0;
    // Started with its window hidden and not waited for; nobody looks at how
    // it went.
    virtual void RunHidden(const QString &aFile, const QString &aParameters) = 0;
    // An existing target is replaced, missing folders are made.
    virtual bool CopyFile(const QString &aSource, const QString &aTarget) = 0;
    virtual TInfoSurService ServiceInfo(const QString &aService) = 0;
    // On the local computer; true when the service ends running, respectively stopped.
    virtual bool StartService(const QString &aService) = 0;
    virtual bool StopService(const QString &aService) = 0;
};

// The system's own implementation.
std::unique_ptr<TEngineSystem> NewPlatformEngineSystem();
