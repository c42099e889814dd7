// The process environment as the program sees it at start-up.
#include "cli/CliCommand.h"

#include "common/UWMI.h"
#include "common/uCommun.h"
#include "db/DbConnection.h"

#include <QDateTime>
#include <QJsonObject>

namespace {

// The system's text for an absent value ("NULL") is no value.
QString Valeur(const QString &aTexte)
{
    return aTexte == QLatin1String("NULL") ? QString() : aTexte;
}

// A count of kilobytes: a number in JSON, null when absent.
QJsonValue JsonNombre(const QString &aTexte)
{
    bool ok = false;
    const qint64 n = Valeur(aTexte).toLongLong(&ok);
    return ok ? QJsonValue(n) : QJsonValue();
}

QJsonValue JsonTexte(const QString &aTexte)
{
    const QString v = Valeur(aTexte);
    return v.isEmpty() ? QJsonValue() : QJsonValue(v);
}

// A CIM date-time as read in the table: JJ/MM/AAAA HH:MM:SS and its offset.
QString TexteDateCim(const QString &aTexte)
{
    const QString iso = JsonDateCim(Valeur(aTexte)).toString();
    const QDateTime d = QDateTime::fromString(iso.left(19), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!d.isValid())
        return Valeur(aTexte);
    return QStringLiteral("%1 (UTC%2)").arg(d.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), iso.mid(19));
}

// A count of kilobytes as a French reader reads it.
QString TexteKo(const QString &aTexte)
{
    bool ok = false;
    const qint64 n = Valeur(aTexte).toLongLong(&ok);
    return ok ? NombreFrancais(n) + QStringLiteral(" Ko") : Valeur(aTexte);
}

QList<QPair<QString, QString>> Champs()
{
    const TOSInfos &os = VGSE.OSInfos;
    return {{QStringLiteral("OSInfos.BuildNumber"), Valeur(os.BuildNumber)},
            {QStringLiteral("OSInfos.Caption"), Valeur(os.Caption)},
            {QStringLiteral("OSInfos.CSDVersion"), Valeur(os.CSDVersion)},
            {QStringLiteral("OSInfos.CSName"), Valeur(os.CSName)},
            {QStringLiteral("OSInfos.FreePhysicalMemory"), TexteKo(os.FreePhysicalMemory)},
            {QStringLiteral("OSInfos.FreeSpaceInPagingFiles"), TexteKo(os.FreeSpaceInPagingFiles)},
            {QStringLiteral("OSInfos.FreeVirtualMemory"), TexteKo(os.FreeVirtualMemory)},
            {QStringLiteral("OSInfos.LastBootUptime"), TexteDateCim(os.LastBootUptime)},
            {QStringLiteral("OSInfos.LocalDateTime"), TexteDateCim(os.LocalDateTime)},
            {QStringLiteral("OSInfos.OSArchitecture"), Valeur(os.OSArchitecture)},
            {QStringLiteral("OSInfos.Version"), Valeur(os.Version)},
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

QJsonObject EnvironnementJson(const TDbClientInfo &aClient, const QString &aServeur)
{
    const QJsonObject clientJson = aClient.Error.isEmpty()
                                       ? QJsonObject{{QStringLiteral("Bibliotheque"), aClient.Library},
                                                     {QStringLiteral("Type"), aClient.Flavour}}
                                       : QJsonObject{{QStringLiteral("Erreur"), aClient.Error}};
    const TOSInfos &os = VGSE.OSInfos;
    const QJsonObject osJson{{QStringLiteral("BuildNumber"), JsonTexte(os.BuildNumber)},
                             {QStringLiteral("Caption"), JsonTexte(os.Caption)},
                             {QStringLiteral("CSDVersion"), JsonTexte(os.CSDVersion)},
                             {QStringLiteral("CSName"), JsonTexte(os.CSName)},
                             {QStringLiteral("FreePhysicalMemory"), JsonNombre(os.FreePhysicalMemory)},
                             {QStringLiteral("FreeSpaceInPagingFiles"), JsonNombre(os.FreeSpaceInPagingFiles)},
                             {QStringLiteral("FreeVirtualMemory"), JsonNombre(os.FreeVirtualMemory)},
                             {QStringLiteral("LastBootUptime"), JsonDateCim(Valeur(os.LastBootUptime))},
                             {QStringLiteral("LocalDateTime"), JsonDateCim(Valeur(os.LocalDateTime))},
                             {QStringLiteral("OSArchitecture"), JsonTexte(os.OSArchitecture)},
                             {QStringLiteral("Version"), JsonTexte(os.Version)}};
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
    if (!aServeur.isEmpty())
        environnement.insert(QStringLiteral("ServeurBD"), aServeur);
    return environnement;
}

TCliResultat CmdEnvironnement(TCliContext &aCtx)
{
    const TDbClientInfo client = DbClientInfo();
    // With a base: the version of the server that holds it.
    const QString serveur = aCtx.Args.isEmpty() ? QString() : VersionServeurBD(aCtx.Args.constFirst());
    QList<QStringList> rows;
    for (const auto &champ : Champs() + ChampsClient(client))
        rows << QStringList{champ.first, champ.second};
    if (!serveur.isEmpty())
        rows << QStringList{QStringLiteral("ServeurBD"), serveur};
    return TCliResultat()
        .Json(EnvironnementJson(client, serveur))
        .Table({QStringLiteral("Champ"), QStringLiteral("Valeur")}, rows);
}

const TCliRegistrar RegEnvironnement({QStringLiteral("environnement"), QStringLiteral("[BASE] [--json]"),
                                      QStringLiteral("environnement du programme lu au démarrage (système, "
                                                     "dossiers, port de base, client de la base ; avec BASE, "
                                                     "version de son serveur)"),
                                      CmdEnvironnement});

} // namespace
