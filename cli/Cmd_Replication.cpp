// Replication settings from a terminal: where the local site replicates to,
// its database location, the registration address, and bringing a database
// back online.
#include "cli/CliCommand.h"

#include "data/uDataMod.h"

#include <QJsonObject>

namespace {

QString OrNone(const QString &aText)
{
    return aText.isEmpty() ? QStringLiteral("(aucun)") : aText;
}

// The two commands read "the" replication line from different rows: each
// says which.
const QString KLuInfos = QStringLiteral("les lignes de réplication actives du site local (REP_ORDRE > 0) ; avec "
                                        "plusieurs adresses, la première dans l'ordre alphabétique de "
                                        "REP_URLDISTANT, pas forcément la ligne que lit "
                                        "get-chemin-base-genreplication (la première par REP_ORDRE)");

TCliResultat CmdInfosReplication(TCliContext &aCtx)
{
    const TInfosReplication infos = DataMod->Replication.InfosReplication(aCtx.Base(0));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("NomBase"), infos.NomBase},
                          {QStringLiteral("ServeurReplication"), infos.ServeurReplication},
                          {QStringLiteral("lu_dans"), KLuInfos}})
        .Table({QStringLiteral("Champ"), QStringLiteral("Valeur")},
               {{QStringLiteral("Nom de la base"), infos.NomBase},
                {QStringLiteral("Serveur de réplication"), infos.ServeurReplication}})
        .Ligne(QStringLiteral("Lu dans %1.").arg(KLuInfos));
}

TCliResultat CmdCheminBase(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString chemin = DataMod->Replication.GetCheminBaseGENREPLICATION(base);
    // The same row as the one update-rep-placebase writes.
    const qint32 ligne = chemin.isEmpty() ? 0 : DataMod->Replication.PlaceBaseAEcrire(base, QString()).REP_ID;
    TCliResultat r;
    r.Json(QJsonObject{{QStringLiteral("REP_PLACEBASE"), chemin},
                       {QStringLiteral("REP_ID"), ligne == 0 ? QJsonValue() : QJsonValue(ligne)}});
    r.Ligne(QStringLiteral("Emplacement de la base : %1").arg(OrNone(chemin)));
    if (ligne != 0)
        r.Ligne(QStringLiteral("Lu dans la ligne de réplication %1 : la première du site local par REP_ORDRE, "
                               "celle qu'écrit update-rep-placebase.")
                    .arg(ligne));
    return r;
}

TCliResultat CmdUpdatePlaceBase(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString chemin = aCtx.Arg(1, QStringLiteral("CHEMIN"));
    const QString aucuneLigne = QStringLiteral("Rien n'a été modifié : le site local n'a pas de ligne de réplication.");
    // The row that will be written, the first of the local site, for the question.
    // The question quotes the location as it will be stored (upper case).
    const TPlaceBaseReplication aEcrire = DataMod->Replication.PlaceBaseAEcrire(base, chemin);
    if (aEcrire.REP_ID == 0)
        throw ECliFailure(aucuneLigne);
    aCtx.Confirm(QStringLiteral("Remplacer l'emplacement de la base \"%1\" (ligne de réplication %2) par \"%3\" ?")
                     .arg(aEcrire.Avant)
                     .arg(aEcrire.REP_ID)
                     .arg(aEcrire.Apres));
    TPlaceBaseReplication ecrite;
    if (!DataMod->Replication.UpdateREP_PLACEBASE(base, chemin, &ecrite))
        throw ECliFailure(aucuneLigne);
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("modifie"), true},
                          {QStringLiteral("REP_ID"), ecrite.REP_ID},
                          {QStringLiteral("avant"), ecrite.Avant},
                          {QStringLiteral("REP_PLACEBASE"), ecrite.Apres}})
        .Ligne(QStringLiteral("Emplacement de la base modifié (ligne de réplication %1) : \"%2\" devient \"%3\".")
                   .arg(ecrite.REP_ID)
                   .arg(ecrite.Avant, ecrite.Apres));
}

TCliResultat CmdSetGenParamURL(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString url = aCtx.Arg(1, QStringLiteral("URL"));
    aCtx.Confirm(QStringLiteral("Enregistrer l'URL de synchronisation \"%1\" dans %2 ?").arg(url, base));
    if (!DataMod->Replication.SetGenParamURL(base, url))
        throw ECliFailure(QStringLiteral("Rien n'a été modifié : il y a plusieurs paramètres actifs \"URL de "
                                         "synchronisation IVRO\" (type 80, code 1)."));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("modifie"), true}, {QStringLiteral("PRM_STRING"), url}})
        .Ligne(QStringLiteral("URL de synchronisation enregistrée : %1").arg(url));
}

TCliResultat CmdDeleteGenParamURL(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    aCtx.Confirm(QStringLiteral("Supprimer les paramètres \"URL de synchronisation IVRO\" de %1 ?").arg(base));
    qint64 supprimes = 0;
    if (!DataMod->Replication.DeleteGenParamURL(base, &supprimes))
        throw ECliFailure(QStringLiteral("La suppression a échoué : la base n'a pas de table GENPARAM, ou le serveur a "
                                         "refusé la suppression."));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("modifie"), supprimes > 0}, {QStringLiteral("supprimes"), double(supprimes)}})
        .Ligne(supprimes == 0
                   ? QStringLiteral("Aucun paramètre \"URL de synchronisation IVRO\" à supprimer : rien n'a été modifié.")
                   : QStringLiteral("Paramètres \"URL de synchronisation IVRO\" supprimés : %1 (leurs lignes de K "
                                    "restent).")
                         .arg(supprimes));
}

TCliResultat CmdRestartDataBase(TCliContext &aCtx)
{
    // Not reached first: an offline database refuses connections.
    const QString base = aCtx.BaseArg(0);
    aCtx.Confirm(QStringLiteral("Remettre en ligne la base %1 sur le serveur local ?").arg(base));
    if (!DataMod->Replication.RestartDataBase(base))
        throw ECliFailure(QStringLiteral("La base n'a pas été remise en ligne : chemin inconnu du serveur, "
                                         "serveur arrêté, ou base déjà en ligne."));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("modifie"), true}})
        .Ligne(QStringLiteral("Base remise en ligne : %1").arg(base));
}

const TCliRegistrar RegInfosReplication({QStringLiteral("infos-replication"), QStringLiteral("BASE [--json]"),
                                         QStringLiteral("nom du site local et serveur vers lequel il réplique"),
                                         CmdInfosReplication});
const TCliRegistrar RegCheminBase({QStringLiteral("get-chemin-base-genreplication"), QStringLiteral("BASE [--json]"),
                                   QStringLiteral("emplacement de la base dans les réglages de réplication"),
                                   CmdCheminBase});
const TCliRegistrar RegUpdatePlaceBase({QStringLiteral("update-rep-placebase"),
                                        QStringLiteral("BASE CHEMIN [--oui] [--json]"),
                                        QStringLiteral("écrit : change l'emplacement de la base dans les "
                                                       "réglages de réplication (en majuscules)"),
                                        CmdUpdatePlaceBase});
const TCliRegistrar RegSetGenParamURL({QStringLiteral("set-genparam-url"), QStringLiteral("BASE URL [--oui] [--json]"),
                                       QStringLiteral("écrit : enregistre l'URL de synchronisation (la crée au besoin)"),
                                       CmdSetGenParamURL});
const TCliRegistrar RegDeleteGenParamURL({QStringLiteral("delete-genparam-url"), QStringLiteral("BASE [--oui] [--json]"),
                                          QStringLiteral("écrit : supprime l'URL de synchronisation"), CmdDeleteGenParamURL});
const TCliRegistrar RegRestartDataBase({QStringLiteral("restart-database"), QStringLiteral("BASE [--oui] [--json]"),
                                        QStringLiteral("écrit : remet en ligne une base arrêtée du serveur local"),
                                        CmdRestartDataBase});

} // namespace
