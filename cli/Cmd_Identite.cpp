// Site identity from a terminal: the sites of the network, the dossier's
// name, the passage state, the schema version and the shop codes.
#include "cli/ArretRapporte.h"
#include "cli/CliCommand.h"

#include "data/uDataMod.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

QString DateText(const TDateTime &aValue)
{
    return aValue.IsZero() ? QString() : aValue.ToString();
}

TCliResultat CmdListeBases(TCliContext &aCtx)
{
    const TBases bases = DataMod->Replication.ListeBases(aCtx.Base(0));
    QJsonArray a;
    QList<QStringList> rows;
    for (const TBase &b : bases) {
        a.append(QJsonObject{{QStringLiteral("BAS_SENDER"), b.BAS_SENDER},
                             {QStringLiteral("SYM_NODE"), b.SYM_NODE},
                             {QStringLiteral("BAS_CENTRALE"), b.BAS_CENTRALE},
                             {QStringLiteral("BAS_IDENT"), b.BAS_IDENT},
                             {QStringLiteral("BAS_GUID"), b.BAS_GUID}});
        rows << QStringList{QString::number(b.BAS_IDENT), b.BAS_SENDER, b.SYM_NODE, b.BAS_GUID};
    }
    return TCliResultat().Json(a).Table(
        {QStringLiteral("Ident"), QStringLiteral("Expéditeur"), QStringLiteral("Noeud"), QStringLiteral("GUID")}, rows);
}

TCliResultat CmdIvroMvtListeBases(TCliContext &aCtx)
{
    const TIvroBases bases = DataMod->Replication.IvroMvtListeBases(aCtx.Base(0));
    QJsonArray a;
    QList<QStringList> rows;
    for (const TIvroBase &b : bases) {
        a.append(QJsonObject{{QStringLiteral("BAS_SENDER"), b.BAS_SENDER},
                             {QStringLiteral("CAL_SYMNODE"), b.CAL_SYMNODE},
                             {QStringLiteral("NODE_ID"), b.NODE_ID},
                             {QStringLiteral("BAS_CENTRALE"), b.BAS_CENTRALE},
                             {QStringLiteral("BAS_IDENT"), b.BAS_IDENT},
                             {QStringLiteral("BAS_GUID"), b.BAS_GUID},
                             {QStringLiteral("LAST_REPLIC"), JsonDateHeure(b.LAST_REPLIC)}});
        rows << QStringList{QString::number(b.BAS_IDENT), b.BAS_SENDER, b.CAL_SYMNODE, b.NODE_ID, b.BAS_GUID,
                            DateText(b.LAST_REPLIC)};
    }
    return TCliResultat().Json(a).Table({QStringLiteral("Ident"), QStringLiteral("Expéditeur"),
                                         QStringLiteral("Noeud calculé"), QStringLiteral("Noeud SymmetricDS"),
                                         QStringLiteral("GUID"), QStringLiteral("Dernière réplication")},
                                        rows);
}

TCliResultat CmdGetNomPourNous(TCliContext &aCtx)
{
    const QString nom = DataMod->Replication.GetNomPourNous(aCtx.Base(0));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("BAS_NOMPOURNOUS"), nom}})
        .Ligne(QStringLiteral("Nom du dossier : %1").arg(nom.isEmpty() ? QStringLiteral("(aucun)") : nom));
}

TCliResultat CmdSetNomPourNous(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString nom = aCtx.Arg(1, QStringLiteral("NOM"));
    // The question quotes the name as it will be stored (A to Z upper-cased).
    aCtx.Confirm(QStringLiteral("Donner le nom de dossier \"%1\" à tous les sites actifs de %2 et leur attribuer "
                                "un nouveau GUID ?").arg(TOperationsReplication::NomPourNousStocke(nom), base));
    // All the sites or none: Ctrl-C renames none and says so.
    qint32 renommes = 0;
    if (const TCliResultat arret = AvecArretRapporte([&] {
            renommes = DataMod->Replication.SetNomPourNous(base, nom);
            return TCliResultat();
        });
        arret.EstInterrompu())
        return arret;
    if (renommes == 0)
        throw ECliFailure(QStringLiteral("Aucun site actif dans cette base : rien n'a été écrit."));
    const QString lu = DataMod->Replication.GetNomPourNous(base);
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("modifie"), true}, {QStringLiteral("BAS_NOMPOURNOUS"), lu}})
        .Ligne(QStringLiteral("Nom du dossier enregistré pour tous les sites actifs, chacun avec un nouveau GUID."))
        .Ligne(QStringLiteral("Nom du dossier relu : %1").arg(lu.isEmpty() ? QStringLiteral("(aucun)") : lu));
}

QJsonObject PassageJson(const TInfosTavenIVRO &aInfos)
{
    return QJsonObject{{QStringLiteral("BAS_ID"), aInfos.BAS_ID},
                       {QStringLiteral("GUID"), aInfos.GUID},
                       {QStringLiteral("SENDER"), aInfos.SENDER},
                       {QStringLiteral("BAS_MAGID"), aInfos.BAS_MAGID},
                       {QStringLiteral("DatePassage"), JsonDateHeure(aInfos.DatePassage)},
                       {QStringLiteral("Etat"), aInfos.Etat},
                       {QStringLiteral("Dossier"), aInfos.Dossier}};
}

TCliResultat CmdInfosPassage(TCliContext &aCtx)
{
    const TInfosTavenIVRO infos = DataMod->Replication.Get_Infos_Passage_TAVEN2IVRO(aCtx.Base(0));
    TCliResultat r;
    r.Json(PassageJson(infos));
    if (infos.BAS_ID == 0)
        r.LigneErreur(QStringLiteral("Site local introuvable : aucun ou plusieurs sites pour le paramètre "
                                     "IDGENERATEUR."));
    return r.Table({QStringLiteral("Champ"), QStringLiteral("Valeur")},
                   {{QStringLiteral("BAS_ID"), QString::number(infos.BAS_ID)},
                    {QStringLiteral("GUID"), infos.GUID},
                    {QStringLiteral("Expéditeur"), infos.SENDER},
                    {QStringLiteral("Magasin"), QString::number(infos.BAS_MAGID)},
                    {QStringLiteral("Date de passage"), DateText(infos.DatePassage)},
                    {QStringLiteral("Etat"), QString::number(infos.Etat)},
                    {QStringLiteral("Dossier"), infos.Dossier}});
}

TCliResultat CmdMajGenparamMonitor(TCliContext &aCtx)
{
    const QString texte = aCtx.Arg(1, QStringLiteral("VALEUR"));
    bool ok = false;
    const qint32 valeur = texte.toInt(&ok);
    if (!ok)
        throw ECliUsage(QStringLiteral("VALEUR doit être un nombre entier : \"%1\"").arg(texte));
    const QString base = aCtx.Base(0);
    aCtx.Confirm(QStringLiteral("Mettre l'état de passage du site local de %1 à %2 ?").arg(base).arg(valeur));
    if (!DataMod->Replication.MAJ_GENPARAM_Monitor(base, valeur))
        throw ECliFailure(QStringLiteral("Rien n'a été modifié : le site local ou son paramètre de passage "
                                         "(type 80, code 2) est introuvable ou n'est pas unique."));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("modifie"), true}, {QStringLiteral("Etat"), valeur}})
        .Ligne(QStringLiteral("Etat de passage du site local mis à %1.").arg(valeur));
}

TCliResultat CmdKorvalaVersion(TCliContext &aCtx)
{
    const QString version = DataMod->Replication.GetKorvalaVersion(aCtx.Base(0));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("VER_VERSION"), version}})
        .Ligne(QStringLiteral("Version de la base : %1").arg(version.isEmpty() ? QStringLiteral("(aucune)") : version));
}

TCliResultat CmdCleanMagcode(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    aCtx.Confirm(QStringLiteral("Vider les codes de tous les magasins de %1 ?").arg(base));
    const qint32 vides = DataMod->Replication.CLEAN_MAGCODE(base);
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("modifie"), vides > 0}, {QStringLiteral("magasins"), vides}})
        .Ligne(vides == 0   ? QStringLiteral("Aucun magasin dans cette base : rien n'a été modifié.")
               : vides == 1 ? QStringLiteral("Code d'un magasin vidé ; il est marqué modifié pour la réplication.")
                            : QStringLiteral("Codes de %1 magasins vidés ; chaque magasin est marqué modifié pour "
                                             "la réplication.")
                                  .arg(vides));
}

const TCliRegistrar RegListeBases({QStringLiteral("liste-bases"), QStringLiteral("BASE [--json]"),
                                   QStringLiteral("sites actifs du réseau avec leur noeud de réplication"),
                                   CmdListeBases});
const TCliRegistrar RegIvroMvtListeBases({QStringLiteral("ivro-mvt-liste-bases"), QStringLiteral("BASE [--json]"),
                                          QStringLiteral("sites actifs avec leur noeud SymmetricDS et leur dernière "
                                                         "réplication"),
                                          CmdIvroMvtListeBases});
const TCliRegistrar RegGetNomPourNous({QStringLiteral("get-nom-pour-nous"), QStringLiteral("BASE [--json]"),
                                       QStringLiteral("nom du dossier"), CmdGetNomPourNous});
const TCliRegistrar RegSetNomPourNous({QStringLiteral("set-nom-pour-nous"), QStringLiteral("BASE NOM [--oui] [--json]"),
                                       QStringLiteral("écrit : donne un nom de dossier à tous les sites actifs (nouveau GUID "
                                                      "pour chacun)"),
                                       CmdSetNomPourNous});
const TCliRegistrar RegInfosPassage({QStringLiteral("get-infos-passage-taven2ivro"), QStringLiteral("BASE [--json]"),
                                     QStringLiteral("identité du site local et son état de passage"), CmdInfosPassage});
const TCliRegistrar RegMajGenparamMonitor({QStringLiteral("maj-genparam-monitor"),
                                           QStringLiteral("BASE VALEUR [--oui] [--json]"),
                                           QStringLiteral("écrit : met l'état de passage du site local à VALEUR"),
                                           CmdMajGenparamMonitor});
const TCliRegistrar RegKorvalaVersion({QStringLiteral("get-korvala-version"), QStringLiteral("BASE [--json]"),
                                       QStringLiteral("version du schéma de la base"), CmdKorvalaVersion});
const TCliRegistrar RegCleanMagcode({QStringLiteral("clean-magcode"), QStringLiteral("BASE [--oui] [--json]"),
                                     QStringLiteral("écrit : vide les codes des magasins"), CmdCleanMagcode});

} // namespace
