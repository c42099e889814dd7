// The gap kit and the push of missing rows, when a site database carries them.
#include "cli/CliCommand.h"
#include "cli/DatasetOutput.h"

#include "data/uDataMod.h"

#include <QJsonObject>

namespace {

TCliResultat Reponse(const QString &aCle, bool aValeur, const QString &aTexte)
{
    return TCliResultat().Json(QJsonObject{{aCle, aValeur}}).Ligne(aTexte);
}

TCliResultat CmdGapDefini(TCliContext &aCtx)
{
    const bool defini = DataMod->Replication.IsGAPDefined(aCtx.Base(0));
    return Reponse(QStringLiteral("defini"), defini,
                   defini ? QStringLiteral("Kit de réparation des trous installé.")
                          : QStringLiteral("Kit de réparation des trous absent ou incomplet."));
}

TCliResultat CmdPushMissingDefini(TCliContext &aCtx)
{
    const bool defini = DataMod->Replication.IsPushMissingTAVENDefined(aCtx.Base(0));
    return Reponse(QStringLiteral("defini"), defini,
                   defini ? QStringLiteral("IVRO_PUSH_MISSING_TAVEN installée.")
                          : QStringLiteral("IVRO_PUSH_MISSING_TAVEN absente."));
}

// The kit is optional: a database without it is no stranger to the network.
void ExigeKitGap(const QString &aBase)
{
    if (!DataMod->Replication.IsGAPDefined(aBase))
        throw ECliFailure(QStringLiteral("Kit de réparation des trous absent ou incomplet dans cette base (il est "
                                         "facultatif ; gap-defini le vérifie) : rien n'a été fait."));
}

TCliResultat CmdDetectGap(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    ExigeKitGap(base);
    TMemTable t;
    for (const QString &c : DataMod->Replication.ColonnesDetectGAP(base))
        t.AddColumn(c, QMetaType::UnknownType);
    DataMod->Replication.DetectGAP(base, t);
    TCliResultat r;
    return AvecDataset(r, t);
}

TCliResultat CmdDoGap(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    ExigeKitGap(base);
    aCtx.Confirm(QStringLiteral("Lancer la réparation des trous (IVRO_DO_GAP) sur %1 ?").arg(base));
    TMemTable lignes;
    DataMod->Replication.DoGAP(base, &lignes);
    // What the procedure reports is its own account of the repair.
    TCliResultat r;
    r.Json(QJsonObject{{QStringLiteral("termine"), true}, {QStringLiteral("lignes"), DatasetJson(lignes)}});
    r.Ligne(QStringLiteral("Réparation des trous terminée : IVRO_DO_GAP a rendu %1 ligne%2%3")
                .arg(lignes.RecordCount())
                .arg(lignes.RecordCount() > 1 ? QStringLiteral("s") : QString())
                .arg(lignes.RecordCount() > 0 ? QStringLiteral(" :") : QStringLiteral(".")));
    if (lignes.RecordCount() > 0)
        r.Table(DatasetEntetes(lignes), DatasetLignes(lignes));
    return r;
}

TCliResultat CmdDoPushMissing(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    aCtx.Confirm(QStringLiteral("Lancer l'envoi des lignes manquantes (IVRO_PUSH_MISSING_TAVEN) sur %1 ?").arg(base));
    DataMod->Replication.DoPushMissingTAVEN(base);
    return Reponse(QStringLiteral("termine"), true, QStringLiteral("Envoi des lignes manquantes terminé."));
}

const TCliRegistrar RegGapDefini({QStringLiteral("gap-defini"), QStringLiteral("BASE [--json]"),
                                  QStringLiteral("le kit de réparation des trous est-il installé ?"), CmdGapDefini});
const TCliRegistrar RegPushDefini({QStringLiteral("push-missing-defini"), QStringLiteral("BASE [--json]"),
                                   QStringLiteral("IVRO_PUSH_MISSING_TAVEN est-elle installée ?"), CmdPushMissingDefini});
const TCliRegistrar RegDetect({QStringLiteral("detect-gap"), QStringLiteral("BASE [--json]"),
                               QStringLiteral("trous détectés par IVRO_DETECT_GAP"), CmdDetectGap});
const TCliRegistrar RegDoGap({QStringLiteral("do-gap"), QStringLiteral("BASE [--oui] [--json]"),
                              QStringLiteral("écrit : répare les trous (IVRO_DO_GAP)"), CmdDoGap});
const TCliRegistrar RegDoPush({QStringLiteral("do-push-missing"), QStringLiteral("BASE [--oui] [--json]"),
                               QStringLiteral("écrit : envoie les lignes manquantes (IVRO_PUSH_MISSING_TAVEN)"),
                               CmdDoPushMissing});

} // namespace
