#include "data/EngineSystem.h"

#include "platform/ServiceControler.h"

#include <QProcess>

namespace {

class TPlatformEngineSystem : public TEngineSystem
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

    bool RunAsAndWait(const QString &aFile, const QString &aParameters, const QString &aDirectory,
                      bool aHidden) override
    {
        return ::RunAsAndWait(aFile, aParameters, aDirectory, aHidden);
    }

    void RunHidden(const QString &aFile, const QString &aParameters) override
    {
        QProcess process;
        process.setProgram(aFile);
#ifdef Q_OS_WIN
        // The parameters are one command line, as the shell would pass them;
        // no console window for these short commands.
        process.setNativeArguments(aParameters);
        process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *aArgs) {
            constexpr unsigned long CreateNewConsole = 0x00000010;
            constexpr unsigned long CreateNoWindow = 0x08000000;
            aArgs->flags = (aArgs->flags & ~CreateNewConsole) | CreateNoWindow;
        });
#else
        process.setArguments(QProcess::splitCommand(aParameters));
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
#endif
        process.startDetached();
    }

    bool CopyFile(const QString &aSource, const QString &aTarget) override
    {
        return ::ShellCopyFile(aSource, aTarget);
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

std::unique_ptr<TEngineSystem> NewPlatformEngineSystem()
{
    return std::make_unique<TPlatformEngineSystem>();
}
