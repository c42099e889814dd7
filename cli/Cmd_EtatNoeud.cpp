// Node state from a terminal: is a node enabled, alive, offline, and are the
// engine's capture triggers in place.
#include "cli/CliCommand.h"

#include "common/uCommun.h"
#include "data/uDataMod.h"

#include <QJsonObject>

#include <algorithm>

namespace {

ECliFailure NoeudInconnu(const QString &aNoeud)
{
    return ECliFailure(QStringLiteral("Noeud inconnu dans cette base : \"%1\".").arg(aNoeud));
}

TCliResultat CmdEtatNoeud(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString noeud = aCtx.Arg(1, QStringLiteral("NOEUD"));
    const TEtatNoeud etat = DataMod->Replication.EtatNoeud(base, noeud);
    // Its offline parameter alone would read as a state of a node that isn't there.
    if (etat.SYNC_ENABLED < 0)
        throw NoeudInconnu(noeud);
    // The mode is the node.offline setting, not whether the node is heard
    // from: the heartbeat's age, by the server's clock, says that.
    const TSilenceNoeud silence = DataMod->Replication.SilenceNoeud(base, noeud);
    const qint64 age =
        silence.Jamais() ? -1 : std::max<qint64>(0, (silence.Maintenant.MSecs() - silence.DernierHeartbeat.MSecs()) / 1000);
    TCliResultat r;
    r.Json(QJsonObject{{QStringLiteral("NODE_ID"), etat.NODE_ID},
                       {QStringLiteral("SYNC_ENABLED"), etat.SYNC_ENABLED},
                       {QStringLiteral("SYNC_URL"), etat.SYNC_URL},
                       {QStringLiteral("HEARTBEAT_TIME"), JsonDateHeureTexte(etat.HEARTBEAT_TIME)},
                       {QStringLiteral("HEARTBEAT_AGE_SECONDES"), age < 0 ? QJsonValue() : QJsonValue(age)},
                       {QStringLiteral("SYNC_MOD"), etat.SYNC_MOD}});
    const QString actif = etat.SYNC_ENABLED == 0 ? QStringLiteral("non (0)")
                                                 : QStringLiteral("oui (%1)").arg(etat.SYNC_ENABLED);
    const QString mode = etat.SYNC_MOD == 2 ? QStringLiteral("hors ligne (2)") : QStringLiteral("en ligne (1)");
    QString depuis = QStringLiteral("jamais reçu");
    if (age >= 0) {
        const qint64 reste = age % 86400;
        depuis = age < 86400 ? FormatDuree(double(age))
                             : QStringLiteral("%1 j %2:%3:%4")
                                   .arg(age / 86400)
                                   .arg(reste / 3600, 2, 10, QLatin1Char('0'))
                                   .arg(reste % 3600 / 60, 2, 10, QLatin1Char('0'))
                                   .arg(reste % 60, 2, 10, QLatin1Char('0'));
        if (silence.Inquietant())
            depuis += QStringLiteral(" (silencieux depuis plus d'un jour)");
    }
    return r.Table({QStringLiteral("Champ"), QStringLiteral("Valeur")},
                   {{QStringLiteral("Noeud"), etat.NODE_ID},
                    {QStringLiteral("Synchronisation active"), actif},
                    {QStringLiteral("URL de synchronisation"), etat.SYNC_URL},
                    {QStringLiteral("Dernier heartbeat"), etat.HEARTBEAT_TIME},
                    {QStringLiteral("Âge du dernier heartbeat"), depuis},
                    {QStringLiteral("Mode déclaré (paramètre node.offline)"), mode}});
}

TCliResultat Texte(const QString &aKey, const QString &aLabel, const QString &aValue)
{
    return TCliResultat()
        .Json(QJsonObject{{aKey, aValue}})
        .Ligne(QStringLiteral("%1 : %2").arg(aLabel, aValue.isEmpty() ? QStringLiteral("(aucun)") : aValue));
}

TCliResultat Nombre(const QString &aKey, const QString &aLabel, qint32 aValue)
{
    return TCliResultat().Json(QJsonObject{{aKey, aValue}}).Ligne(QStringLiteral("%1 : %2").arg(aLabel).arg(aValue));
}

TCliResultat CmdLastHeartBeat(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString noeud = aCtx.Arg(1, QStringLiteral("NOEUD"));
    // As etat-noeud: an unknown node is a failure, not a node without heartbeat.
    if (DataMod->Replication.EtatNoeud(base, noeud).SYNC_ENABLED < 0)
        throw NoeudInconnu(noeud);
    const QString heartbeat = DataMod->Replication.GetLastHeartBeat(base, noeud);
    return Texte(QStringLiteral("HEARTBEAT_TIME"), QStringLiteral("Dernier heartbeat de %1").arg(noeud), heartbeat)
        .Json(QJsonObject{{QStringLiteral("HEARTBEAT_TIME"), JsonDateHeureTexte(heartbeat)}});
}

TCliResultat CmdLocalNode(TCliContext &aCtx)
{
    return Texte(QStringLiteral("NODE_ID"), QStringLiteral("Noeud local"), DataMod->Replication.GetLocalNode(aCtx.Base(0)));
}

TCliResultat CmdNbTriggers(TCliContext &aCtx)
{
    return Nombre(QStringLiteral("NbTriggersSymDS"), QStringLiteral("Triggers SymmetricDS sur les tables"),
                      DataMod->Replication.NbTriggersSymDS(aCtx.Base(0)));
}

TCliResultat CmdNbTableTriggers(TCliContext &aCtx)
{
    return Nombre(QStringLiteral("NbTableTriggersSymDS"),
                      QStringLiteral("Captures actives de lame vers mags (mise à jour, insertion, suppression)"),
                      DataMod->Replication.NbTableTriggersSymDS(aCtx.Base(0)));
}

const TCliRegistrar RegEtatNoeud({QStringLiteral("etat-noeud"), QStringLiteral("BASE NOEUD [--json]"),
                                  QStringLiteral("état d'un noeud : synchronisation active, URL, dernier heartbeat, "
                                                 "en ligne ou hors ligne"),
                                  CmdEtatNoeud});
const TCliRegistrar RegLastHeartBeat({QStringLiteral("get-last-heart-beat"), QStringLiteral("BASE NOEUD [--json]"),
                                      QStringLiteral("dernier heartbeat d'un noeud"), CmdLastHeartBeat});
const TCliRegistrar RegLocalNode({QStringLiteral("get-local-node"), QStringLiteral("BASE [--json]"),
                                  QStringLiteral("identifiant du noeud local"), CmdLocalNode});
const TCliRegistrar RegNbTriggers({QStringLiteral("nb-triggers-sym-ds"), QStringLiteral("BASE [--json]"),
                                   QStringLiteral("nombre de triggers SymmetricDS posés sur les tables de la base"),
                                   CmdNbTriggers});
const TCliRegistrar RegNbTableTriggers({QStringLiteral("nb-table-triggers-sym-ds"), QStringLiteral("BASE [--json]"),
                                        QStringLiteral("nombre de captures actives des tables routées de lame vers "
                                                       "mags (0 sans SymmetricDS)"),
                                        CmdNbTableTriggers});

} // namespace
