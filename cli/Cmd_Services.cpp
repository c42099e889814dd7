// The system's services from a terminal: a service's configuration, and
// starting or stopping it with the same wait as the engine installation.
#include "cli/CliCommand.h"

#include "platform/ServiceControler.h"
#include "platform/SymmetricDS.Commun.h"

#include <QJsonObject>

namespace {

QString TypeText(TServiceType aType)
{
    switch (aType) {
    case TServiceType::FileSystemDriver: return QStringLiteral("FileSystemDriver");
    case TServiceType::KernelDriver: return QStringLiteral("KernelDriver");
    case TServiceType::Win32OwnProcess: return QStringLiteral("Win32OwnProcess");
    case TServiceType::Win32ShareProcess: return QStringLiteral("Win32ShareProcess");
    case TServiceType::sNone: break;
    }
    return QStringLiteral("sNone");
}

QString StartText(TStartType aStart)
{
    switch (aStart) {
    case TStartType::AutoStart: return QStringLiteral("AutoStart");
    case TStartType::BootStart: return QStringLiteral("BootStart");
    case TStartType::DemandStart: return QStringLiteral("DemandStart");
    case TStartType::Disabled: return QStringLiteral("Disabled");
    case TStartType::SystemStart: return QStringLiteral("SystemStart");
    case TStartType::tNone: break;
    }
    return QStringLiteral("tNone");
}

QString ErrorControlText(TErrorControl aControl)
{
    switch (aControl) {
    case TErrorControl::ErrorCritical: return QStringLiteral("ErrorCritical");
    case TErrorControl::ErrorIgnore: return QStringLiteral("ErrorIgnore");
    case TErrorControl::ErrorNormal: return QStringLiteral("ErrorNormal");
    case TErrorControl::ErrorSevere: return QStringLiteral("ErrorSevere");
    case TErrorControl::eNone: break;
    }
    return QStringLiteral("eNone");
}

// The service's configuration, or the system's reason as a failure.
TInfoSurService ServiceExistant(const QString &aNom)
{
    TInfoSurService info;
    GetInfoSurService(aNom, info);
    if (!info.ErrorMessage.isEmpty())
        throw ECliFailure(info.ErrorMessage);
    return info;
}

TCliResultat CmdInfoService(TCliContext &aCtx)
{
    const TInfoSurService info = ServiceExistant(aCtx.Arg(0, QStringLiteral("NOM")));
    const QList<QPair<QString, QString>> champs = {
        {QStringLiteral("ServiceType"), TypeText(info.ServiceType)},
        {QStringLiteral("StartType"), StartText(info.StartType)},
        {QStringLiteral("ErrorControl"), ErrorControlText(info.ErrorControl)},
        {QStringLiteral("BinaryPathName"), info.BinaryPathName},
        {QStringLiteral("LoadOrderGroup"), info.LoadOrderGroup},
        {QStringLiteral("TagId"), QString::number(info.TagId)},
        {QStringLiteral("Dependencies"), info.Dependencies},
        {QStringLiteral("ServiceStartName"), info.ServiceStartName},
        {QStringLiteral("DisplayName"), info.DisplayName}};
    QJsonObject json{{QStringLiteral("Exist"), info.Exist}};
    QList<QStringList> lignes;
    for (const auto &champ : champs) {
        json.insert(champ.first, champ.first == QLatin1String("TagId") ? QJsonValue(info.TagId)
                                                                        : QJsonValue(champ.second));
        lignes << QStringList{champ.first, champ.second};
    }
    return TCliResultat().Json(json).Table({QStringLiteral("Champ"), QStringLiteral("Valeur")}, lignes);
}

TCliResultat ChangeEtat(TCliContext &aCtx, bool aDemarrer)
{
    const QString nom = aCtx.Arg(0, QStringLiteral("NOM"));
    ServiceExistant(nom);
    // Stopping the engine or the database server stops the site's replication.
    aCtx.Confirm(aDemarrer ? QStringLiteral("Démarrer le service \"%1\" ?").arg(nom)
                           : QStringLiteral("Arrêter le service \"%1\" ?").arg(nom));
    const bool fait = aDemarrer ? StartServiceAndWait(QString(), nom) : StopServiceAndWait(QString(), nom);
    if (!fait)
        throw ECliFailure(aDemarrer ? QStringLiteral("Le service \"%1\" n'a pas démarré : déjà démarré, refusé, "
                                                     "ou arrêté pendant son démarrage.")
                                          .arg(nom)
                                    : QStringLiteral("Le service \"%1\" ne s'est pas arrêté : déjà arrêté, refusé, "
                                                     "ou toujours en marche.")
                                          .arg(nom));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("service"), nom},
                          {aDemarrer ? QStringLiteral("demarre") : QStringLiteral("arrete"), true}})
        .Ligne(aDemarrer ? QStringLiteral("Service \"%1\" démarré.").arg(nom)
                         : QStringLiteral("Service \"%1\" arrêté.").arg(nom));
}

TCliResultat CmdDemarreService(TCliContext &aCtx)
{
    return ChangeEtat(aCtx, true);
}

TCliResultat CmdArreteService(TCliContext &aCtx)
{
    return ChangeEtat(aCtx, false);
}

const TCliRegistrar RegInfoService({QStringLiteral("info-service"), QStringLiteral("NOM [--json]"),
                                    QStringLiteral("configuration d'un service du système (type, démarrage, "
                                                   "programme, compte)"),
                                    CmdInfoService});
const TCliRegistrar RegDemarreService({QStringLiteral("demarre-service"), QStringLiteral("NOM [--oui] [--json]"),
                                       QStringLiteral("écrit : démarre un service et attend qu'il soit en marche"),
                                       CmdDemarreService});
const TCliRegistrar RegArreteService({QStringLiteral("arrete-service"), QStringLiteral("NOM [--oui] [--json]"),
                                      QStringLiteral("écrit : arrête un service et attend qu'il soit arrêté"),
                                      CmdArreteService});

} // namespace
