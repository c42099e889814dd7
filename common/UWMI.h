#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Operating-system information: each field holds the text of the property of
// the same name of the WMI class Win32_OperatingSystem.
struct TOSInfos
{
    QString BuildNumber;
    QString Caption;
    QString CSDVersion;
    QString CSName;
    QString FreePhysicalMemory;
    QString FreeSpaceInPagingFiles;
    QString FreeVirtualMemory;
    QString LastBootUptime;
    QString LocalDateTime;
    QString OSArchitecture; // never asked for, stays empty
    QString Version;
};

// The process's environment, filled once while the program starts.
struct TVGSE
{
    TOSInfos OSInfos;
    QString PublicIP;
    QString HostName;
    QString ExePath; // with its trailing separator
    QString Javaversion;
    QString JavaPath;
    bool Lock = false;
    QString IVRO_PATHDIR;
    QString IVRO_PATHBASES;
    qint32 IVRO_PORTS = 0; // base port of the engine installations
    QString IVRO_BackupLame_Ini;

    // Reads the executable's directory and the operating-system information
    // and sets the fixed values. PublicIP and IVRO_BackupLame_Ini are left
    // as they are.
    void Init();
};

// The one environment of the process. Filled during static initialisation,
// before main() runs and before any other thread exists; read-only after.
extern TVGSE VGSE;

// One installed replication-engine service.
struct TSYMDSInfos
{
    QString ServiceName;
    QString PathName;
    QString ConfigDir;
    QString ConfigFile;
    QString StartMode;
    QString State;
    QString Status;
    QString Directory;
    QString Version;
    qint32 http = 0;
    qint32 https = 0;
    qint32 jmxhttp = 0;
    qint32 jmxagent = 0;
};

// The engine services known to the process, searched by
// TDossierInfos::SetSymDir. Nothing in the program adds to it.
extern QList<TSYMDSInfos> SYMDSInfos;

// One site of the retail network, a row of GENBASES.
struct TBase
{
    QString BAS_SENDER;
    QString SYM_NODE; // CalculeSymNode(BAS_SENDER)
    QString BAS_CENTRALE;
    qint32 BAS_IDENT = 0;
    QString BAS_GUID;
};

using TBases = QList<TBase>;

// One database ("dossier") and what the engine's node configuration needs
// of it.
struct TDossierInfos
{
    QString ServiceName;
    qint32 HTTPPort = 0;
    QString SymDir;
    QString PropertiesFile;
    QString DatabaseFile;
    QString BAS_SENDER;
    qint32 BAS_IDENT = 0; // -1 once reset: unknown
    QString BAS_GUID;
    QString BAS_PLAGE;
    QString GENERAL_ID;
    QString ExternalID;
    QString Version;
    QString Nom; // lower case
    bool Isok = false;
    QString TablesExclues; // separated by single spaces
    QString RegistrationUrl;
    TBases ListBases; // the site with identifier 0 left out

    // Resets the record; BAS_PLAGE and GENERAL_ID keep their values.
    void Init();
    // Takes SymDir and HTTPPort from the SYMDSInfos entries of the same
    // ServiceName (exact case); the last match wins, no match changes nothing.
    void SetSymDir();
};

// A table of texts: rows of columns.
using T2DimStrArray = QList<QStringList>;

// Fills aOSInfos (empty on entry) with the operating-system information;
// every field stays empty when the information cannot be read.
void GetOSInfos(TOSInfos &aOSInfos);

// Copies the first instance of a Win32_OperatingSystem answer (the layout of
// WmiQuery) into aOSInfos, each field from the column of the same name
// (letter case aside); a field whose property is missing stays as it is.
void OSInfosFromTable(const T2DimStrArray &aTable, TOSInfos &aOSInfos);

// Runs a WMI query (a WQL "SELECT ..." text, or a class name whose instances
// are listed) and lays the answer out in aTable: row 0 "Instance" and the
// property names, row n the n-th object's number and its values as text.
// Returns the number of properties (0 when nothing was found), or -1 with
// the error's text in aErrorText, always so on a system without WMI.
int WmiQuery(const QString &aComputer, const QString &aNameSpace, const QString &aUser,
             const QString &aPassword, const QString &aQuery, T2DimStrArray &aTable,
             int &aInstances, QString &aErrorText);
