#include "common/UWMI.h"

#include "platform/MachineInfo.h"
#include "platform/OSInfosSource.h"
#include "platform/Wmi.h"

#include <utility>

TVGSE VGSE;
QList<TSYMDSInfos> SYMDSInfos;

namespace {

constexpr qint32 KBasePort = 30000;

// Sent as it always was, the repeated properties and blanks included: WMI
// ignores the repeats, and the columns of its answer follow its own property
// order, not this list.
constexpr char KOSInfosQuery[] =
    "SELECT BuildNumber, Caption, CSDVersion, CSName, FreePhysicalMemory, "
    "FreeSpaceInPagingFiles, FreeVirtualMemory,  LastBootUptime, LocalDateTime, "
    "LastBootUptime, LocalDateTime , Version  FROM Win32_OperatingSystem";

// The environment is read as the program starts, before main() and before
// the application object. Defined after VGSE in this file, so VGSE already
// exists when this runs.
[[maybe_unused]] const bool GVGSEReady = (VGSE.Init(), true);

} // namespace

void TVGSE::Init()
{
    ExePath = PlatformExecutableDir();
    HostName.clear();
    Javaversion.clear();
    JavaPath.clear();
    TOSInfos infos;
    GetOSInfos(infos);
    OSInfos = infos;
    Lock = false;
    IVRO_PATHDIR = ExePath;
    IVRO_PATHBASES = ExePath;
    IVRO_PORTS = KBasePort;
}

void TDossierInfos::Init()
{
    ListBases.clear();
    ServiceName.clear();
    SymDir.clear();
    PropertiesFile.clear();
    DatabaseFile.clear();
    Version.clear();
    BAS_GUID.clear();
    BAS_SENDER.clear();
    Nom.clear();
    ExternalID.clear();
    TablesExclues.clear();
    RegistrationUrl.clear();
    HTTPPort = 0;
    BAS_IDENT = -1;
    Isok = false;
}

void TDossierInfos::SetSymDir()
{
    // An empty name would otherwise match entries whose name is unknown.
    if (ServiceName.isEmpty())
        return;
    for (const TSYMDSInfos &info : SYMDSInfos) {
        if (info.ServiceName == ServiceName) {
            SymDir = info.Directory;
            HTTPPort = info.http;
        }
    }
}

void GetOSInfos(TOSInfos &aOSInfos)
{
    // Windows answers through WMI, exactly as WmiQuery would. Other systems
    // have no WMI (WmiQuery fails there), so the platform reads the same
    // properties from the system and gives them in WMI's text forms.
    T2DimStrArray table;
    int instances = 0;
    QString errorText;
    if (PlatformOSInfosQuery(QString::fromLatin1(KOSInfosQuery), table, instances, errorText) <= 0)
        return;
    OSInfosFromTable(table, aOSInfos);
}

void OSInfosFromTable(const T2DimStrArray &aTable, TOSInfos &aOSInfos)
{
    if (aTable.size() < 2)
        return;
    // By name rather than by position: where WMI leaves a property out (Wine
    // has no FreeSpaceInPagingFiles), the others still land in their fields.
    // Where all are there, in WMI's alphabetical order, both agree.
    const std::pair<const char *, QString *> fields[] = {
        {"BuildNumber", &aOSInfos.BuildNumber},
        {"Caption", &aOSInfos.Caption},
        {"CSDVersion", &aOSInfos.CSDVersion},
        {"CSName", &aOSInfos.CSName},
        {"FreePhysicalMemory", &aOSInfos.FreePhysicalMemory},
        {"FreeSpaceInPagingFiles", &aOSInfos.FreeSpaceInPagingFiles},
        {"FreeVirtualMemory", &aOSInfos.FreeVirtualMemory},
        {"LastBootUpTime", &aOSInfos.LastBootUptime},
        {"LocalDateTime", &aOSInfos.LocalDateTime},
        {"Version", &aOSInfos.Version},
    };
    const QStringList &header = aTable[0];
    const QStringList &row = aTable[1];
    for (const auto &[name, field] : fields) {
        for (qsizetype column = 1; column < header.size() && column < row.size(); ++column) {
            if (header[column].compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
                *field = row[column];
                break;
            }
        }
    }
}

int WmiQuery(const QString &aComputer, const QString &aNameSpace, const QString &aUser,
             const QString &aPassword, const QString &aQuery, T2DimStrArray &aTable,
             int &aInstances, QString &aErrorText)
{
    return PlatformWmiQuery(aComputer, aNameSpace, aUser, aPassword, aQuery, aTable, aInstances,
                            aErrorText);
}
