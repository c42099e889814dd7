// The process environment as the program sees it at start-up.
#include "cli/CliCommand.h"

#include "common/UWMI.h"
#include "db/DbConnection.h"

#include <QJsonObject>

namespace {

QList<QPair<QString, QString>> Champs()
{
    const TOSInfos &os = VGSE.OSInfos;
    return {{QStringLiteral("OSInfos.BuildNumber"), os.BuildNumber},
            {QStringLiteral("OSInfos.Caption"), os.Caption},
            {QStringLiteral("OSInfos.CSDVersion"), os.CSDVersion},
            {QStringLiteral("OSInfos.CSName"), os.CSName},
            {QStringLiteral("OSInfos.FreePhysicalMemory"), os.FreePhysicalMemory},
            {QStringLiteral("OSInfos.FreeSpaceInPagingFiles"), os.FreeSpaceInPagingFiles},
            {QStringLiteral("OSInfos.FreeVirtualMemory"), os.FreeVirtualMemory},
            {QStringLiteral("OSInfos.LastBootUptime"), os.LastBootUptime},
            {QStringLiteral("OSInfos.LocalDateTime"), os.LocalDateTime},
            {QStringLiteral("OSInfos.OSArchitecture"), os.OSArchitecture},
            {QStringLiteral("OSInfos.Version"), os.Version},
            {QStringLiteral("PublicIP"), VGSE.PublicIP},
            {QStringLiteral("HostName"), VGSE.HostName},
            {QStringLiteral("ExePath"), VGSE.ExePath},
            {QStringLiteral("Javaversion"), VGSE.Javaversion},
            {QStringLiteral("JavaPath"), VGSE.JavaPath},
            {QStringLiteral("Lock"), VGSE.Lock ? QStringLiteral("true") : QStringLiteral("false")},
            {QStringLiteral("IVRO_PATHDIR"), VGSE.IVRO_PATHDIR},
            {QStringLiteral("IVRO_PATHBASES"), VGSE.IVRO_PATHBASES},
            {QStringLiteral("IVRO_PORTS"), QString::number(VGSE.IVRO_PORTS)},
            {QStringLiteral("IVRO_BackupLame_Ini"), VGSE.IVRO_BackupLame_Ini}};
}

// The database client this process loads: its file and its kind, or why
// none loads.
QList<QPair<QString, QString>> ChampsClient(const TDbClientInfo &aClient)
{
    if (!aClient.Error.isEmpty())
        return {{QStringLiteral("ClientBD"), aClient.Error}};
    return {{QStringLiteral("ClientBD"), aClient.Library}, {QStringLiteral("ClientBD.Type"), aClient.Flavour}};
}

int CmdEnvironnement(TCliContext &aCtx)
{
    const TDbClientInfo client = DbClientInfo();
    // With a base: the version of the server that holds it.
    const QString serveur = aCtx.Args.isEmpty() ? QString() : VersionServeurBD(aCtx.Args.constFirst());
    if (aCtx.Json) {
        const QJsonObject clientJson = client.Error.isEmpty()
                                           ? QJsonObject{{QStringLiteral("Bibliotheque"), client.Library},
                                                         {QStringLiteral("Type"), client.Flavour}}
                                           : QJsonObject{{QStringLiteral("Erreur"), client.Error}};
        const TOSInfos &os = VGSE.OSInfos;
        const QJsonObject osJson{{QStringLiteral("BuildNumber"), os.BuildNumber},
                                 {QStringLiteral("Caption"), os.Caption},
                                 {QStringLiteral("CSDVersion"), os.CSDVersion},
                                 {QStringLiteral("CSName"), os.CSName},
                                 {QStringLiteral("FreePhysicalMemory"), os.FreePhysicalMemory},
                                 {QStringLiteral("FreeSpaceInPagingFiles"), os.FreeSpaceInPagingFiles},
                                 {QStringLiteral("FreeVirtualMemory"), os.FreeVirtualMemory},
                                 {QStringLiteral("LastBootUptime"), JsonDateCim(os.LastBootUptime)},
                                 {QStringLiteral("LocalDateTime"), JsonDateCim(os.LocalDateTime)},
                                 {QStringLiteral("OSArchitecture"), os.OSArchitecture},
                                 {QStringLiteral("Version"), os.Version}};
        QJsonObject environnement{{QStringLiteral("OSInfos"), osJson},
                                   {QStringLiteral("PublicIP"), VGSE.PublicIP},
                                   {QStringLiteral("HostName"), VGSE.HostName},
                                   {QStringLiteral("ExePath"), VGSE.ExePath},
                                   {QStringLiteral("Javaversion"), VGSE.Javaversion},
                                   {QStringLiteral("JavaPath"), VGSE.JavaPath},
                                   {QStringLiteral("Lock"), VGSE.Lock},
                                   {QStringLiteral("IVRO_PATHDIR"), VGSE.IVRO_PATHDIR},
                                   {QStringLiteral("IVRO_PATHBASES"), VGSE.IVRO_PATHBASES},
                                   {QStringLiteral("IVRO_PORTS"), VGSE.IVRO_PORTS},
                                   {QStringLiteral("IVRO_BackupLame_Ini"), VGSE.IVRO_BackupLame_Ini},
                                   {QStringLiteral("ClientBD"), clientJson}};
        if (!serveur.isEmpty())
            environnement.insert(QStringLiteral("ServeurBD"), serveur);
        aCtx.PrintJson(environnement);
        return 0;
    }
    QList<QStringList> rows;
    for (const auto &champ : Champs() + ChampsClient(client))
        rows << QStringList{champ.first, champ.second};
    if (!serveur.isEmpty())
        rows << QStringList{QStringLiteral("ServeurBD"), serveur};
    aCtx.PrintTable({QStringLiteral("Champ"), QStringLiteral("Valeur")}, rows);
    return 0;
}

const TCliRegistrar RegEnvironnement({QStringLiteral("environnement"), QStringLiteral("[BASE] [--json]"),
                                      QStringLiteral("environnement du programme lu au démarrage (système, "
                                                     "dossiers, port de base, client de la base ; avec BASE, "
                                                     "version de son serveur)"),
                                      CmdEnvironnement});

} // namespace
