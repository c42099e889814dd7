// Taking SymmetricDS out of a database, and loading seed rows.
#include "cli/ArretRapporte.h"
#include "cli/CliCommand.h"

#include "data/uDataMod.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

TCliResultat CmdDropSymds(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    aCtx.Confirm(QStringLiteral("Retirer SymmetricDS de %1 (triggers de capture, tables SYM_*, générateurs, "
                                "fonctions, procédures de mouvement) ?")
                     .arg(base));
    const QStringList avant = DataMod->Replication.ListeObjetsSymmetricDS(base);
    // Ctrl-C stops between two statements: what was removed and what
    // remains are listed as after a failure.
    TOperationsReplication::TDropSymdsRapport rapport;
    if (const TCliResultat arret = AvecArretRapporte([&] {
            rapport = DataMod->Replication.DROP_SYMDS(base);
            return TCliResultat();
        });
        arret.EstInterrompu())
        return arret;
    if (!rapport.Dependances.isEmpty()) {
        TCliResultat r;
        r.Json(QJsonObject{{QStringLiteral("retires"), QJsonArray()},
                           {QStringLiteral("dependances"), QJsonArray::fromStringList(rapport.Dependances)}});
        r.LigneErreur(QStringLiteral("Retrait refusé, rien n'a été retiré : ces objets hors SymmetricDS "
                                     "dépendent de ses tables (%1) :")
                          .arg(rapport.Dependances.size()));
        for (const QString &o : rapport.Dependances)
            r.LigneErreur(QStringLiteral("  ") + o);
        return r.Code(1);
    }
    const QStringList restants = DataMod->Replication.ListeObjetsSymmetricDS(base);
    QStringList retires;
    for (const QString &o : avant)
        if (!restants.contains(o))
            retires << o;

    QJsonObject o{{QStringLiteral("retires"), QJsonArray::fromStringList(retires)},
                  {QStringLiteral("restants"), QJsonArray::fromStringList(restants)},
                  {QStringLiteral("erreurs"), QJsonArray::fromStringList(rapport.Erreurs)}};
    if (rapport.Interrompu)
        o.insert(QStringLiteral("interrompu"), true);
    TCliResultat r;
    r.Json(o);
    if (rapport.Interrompu)
        r.LigneErreur(QStringLiteral("Retrait interrompu à la demande de l'opérateur : les objets retirés avant "
                                     "l'interruption le restent, les objets restants sont listés ci-dessous ; "
                                     "relancez drop-symds pour finir."));
    r.Ligne(retires.isEmpty() ? QStringLiteral("Aucun objet SymmetricDS retiré.")
                              : QStringLiteral("Objets retirés (%1) :").arg(retires.size()));
    for (const QString &o : retires)
        r.Ligne(QStringLiteral("  ") + o);
    if (!restants.isEmpty()) {
        r.Ligne(QStringLiteral("Objets restants (%1) :").arg(restants.size()));
        for (const QString &o : restants)
            r.Ligne(QStringLiteral("  ") + o);
    }
    for (const QString &e : rapport.Erreurs)
        r.LigneErreur(QStringLiteral("Échec : ") + e);
    if (rapport.Interrompu)
        return r.Interrompu();
    return r.Code(rapport.Erreurs.isEmpty() && restants.isEmpty() ? 0 : 1);
}

TCliResultat CmdJoueMiniSplit(TCliContext &aCtx)
{
    const QString fichier = aCtx.Arg(0, QStringLiteral("FICHIER"));
    const QString nom = QFileInfo(fichier).fileName();
    if (nom != QLatin1String("K.csv") && nom != QLatin1String("GENPARAM.csv"))
        throw ECliUsage(QStringLiteral("Le fichier doit s'appeler exactement K.csv ou GENPARAM.csv : \"%1\"").arg(nom));
    const QString base = aCtx.Base(1);
    aCtx.Confirm(QStringLiteral("Charger les lignes de %1 dans %2 ?").arg(fichier, base));
    QString motif;
    int chargees = 0;
    if (!DataMod->Replication.Joue_MiniSplit(fichier, base, &motif, &chargees))
        throw ECliFailure(chargees == 0
                              ? QStringLiteral("Chargement de %1 refusé : %2\nRien n'a été chargé.").arg(nom, motif)
                          : chargees == 1
                              ? QStringLiteral("Chargement de %1 arrêté : %2\nLa ligne 1, chargée avant l'erreur, le "
                                               "reste.")
                                    .arg(nom, motif)
                              : QStringLiteral("Chargement de %1 arrêté : %2\nLes lignes 1 à %3, chargées avant "
                                               "l'erreur, le restent.")
                                    .arg(nom, motif)
                                    .arg(chargees));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("charge"), true},
                          {QStringLiteral("fichier"), fichier},
                          {QStringLiteral("lignes"), chargees}})
        .Ligne(QStringLiteral("Lignes de %1 chargées : %2.").arg(nom).arg(chargees));
}

const TCliRegistrar RegDrop({QStringLiteral("drop-symds"), QStringLiteral("BASE [--oui] [--json]"),
                             QStringLiteral("écrit : retire SymmetricDS de la base et dit ce qui a été retiré"),
                             CmdDropSymds});
const TCliRegistrar RegMiniSplit({QStringLiteral("joue-minisplit"), QStringLiteral("FICHIER BASE [--oui] [--json]"),
                                  QStringLiteral("écrit : charge K.csv ou GENPARAM.csv dans la base"),
                                  CmdJoueMiniSplit});

} // namespace
