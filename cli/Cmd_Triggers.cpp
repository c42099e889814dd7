// The SymmetricDS trigger declarations and the grants to the application user.
#include "cli/CliCommand.h"

#include "common/AtomicFile.h"
#include "common/Erreur.h"
#include "common/TextFile.h"
#include "data/uDataMod.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

// The lines go into the central SQL script, a Windows file: CR LF, ANSI code page.
TCliResultat EcritScript(const TCliContext &aCtx, const QStringList &aLignes)
{
    const QString sortie = aCtx.Option(QStringLiteral("sortie"));
    if (!sortie.isEmpty()) {
        QByteArray bytes;
        for (const QString &l : aLignes)
            bytes += EncodeWindows1252(l) + "\r\n";
        // Never through a link another account planted at that name.
        try {
            WriteFileAtomically(sortie, bytes);
        } catch (const std::runtime_error &e) {
            throw ECliFailure(TexteErreur(e));
        }
    }
    const QString nombre = aLignes.size() > 1 ? QStringLiteral("%1 lignes").arg(aLignes.size())
                                              : QStringLiteral("%1 ligne").arg(aLignes.size());
    TCliResultat r;
    r.Json(QJsonObject{{QStringLiteral("lignes"), QJsonArray::fromStringList(aLignes)}});
    if (!sortie.isEmpty())
        r.Ligne(QStringLiteral("%1 %2 dans %3")
                    .arg(nombre, aLignes.size() > 1 ? QStringLiteral("écrites") : QStringLiteral("écrite"), sortie));
    else if (aLignes.isEmpty())
        r.LigneErreur(nombre); // said apart: standard output stays an (empty) script
    else
        for (const QString &l : aLignes)
            r.Ligne(l);
    return r;
}

TCliResultat CmdScriptTriggersManquants(TCliContext &aCtx)
{
    // What the database already declares is left out: those lines would
    // fail on their keys.
    return EcritScript(aCtx, DataMod->Replication.ScriptTriggersManquants(aCtx.Base(0), true));
}

TCliResultat CmdScriptTriggersLCL(TCliContext &aCtx)
{
    return EcritScript(aCtx, DataMod->Replication.ScriptTriggersManquantsLCL(aCtx.Arg(0, QStringLiteral("FICHIER"))));
}

TCliResultat CmdAjouteTableReplic(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    const QString table = aCtx.Arg(1, QStringLiteral("TABLE"));
    const QString cles = aCtx.Arg(2, QStringLiteral("CLES"));
    // SymmetricDS would capture nothing, or fail on every change, for a
    // table or key column the database does not have.
    const QStringList colonnes = DataMod->Replication.ColonnesTable(base, table);
    if (colonnes.isEmpty())
        throw ECliFailure(QStringLiteral("Table inconnue dans %1 : \"%2\" (nom tel que stocké, en majuscules "
                                         "d'ordinaire) ; rien n'a été écrit.")
                              .arg(base, table));
    for (const QString &cle : cles.split(QLatin1Char(',')))
        if (!colonnes.contains(cle.trimmed()))
            throw ECliFailure(QStringLiteral("Colonne de clé inconnue dans la table %1 : \"%2\" ; rien n'a été écrit.")
                                  .arg(table, cle.trimmed()));
    // Said before anything is asked or written: the inserts would fail on their keys.
    const QStringList declarations = DataMod->Replication.DeclarationsTableReplic(base, table);
    if (!declarations.isEmpty())
        throw ECliFailure(QStringLiteral("La table %1 est déjà déclarée pour la réplication dans %2 (%3) : rien n'a "
                                         "été écrit.")
                              .arg(table, base, declarations.join(QStringLiteral(", "))));
    aCtx.Confirm(QStringLiteral("Déclarer la table %1 (clés %2) pour la réplication dans %3 ?").arg(table, cles, base));
    QString serveur;
    int ecrites = 0;
    if (!DataMod->Replication.MAJ_Ajoute_TABLE_REPLIC(base, table, cles, &serveur, &ecrites))
        throw ECliFailure(ecrites == 0
                              ? QStringLiteral("La table %1 n'a pas pu être déclarée : rien n'a été écrit.").arg(table)
                              : QStringLiteral("La déclaration de la table %1 s'est arrêtée après %2 ligne(s) écrite(s) "
                                               "(SYM_TRIGGER, puis ses routages), qui restent : à retirer ou à "
                                               "compléter à la main.")
                                    .arg(table)
                                    .arg(ecrites),
                          serveur);
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("ajoute"), true}, {QStringLiteral("table"), table}})
        .Ligne(QStringLiteral("Table %1 déclarée : un trigger et deux routages (lame_vers_mags, mags_vers_lame).")
                   .arg(table));
}

TCliResultat CmdGrantSymTable(TCliContext &aCtx)
{
    const QString base = aCtx.Base(0);
    aCtx.Confirm(QStringLiteral("Donner tous les droits sur les tables SymmetricDS de %1 à KORVALA ?").arg(base));
    if (!DataMod->Replication.Grant_SYMTABLE_TO_KORVALA(base))
        throw ECliFailure(QStringLiteral("Les droits n'ont pas tous pu être donnés ; ceux donnés avant l'erreur restent."));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("accorde"), true}})
        .Ligne(QStringLiteral("Droits donnés à KORVALA sur les tables SymmetricDS."));
}

const TCliRegistrar RegScript({QStringLiteral("script-triggers-manquants"),
                               QStringLiteral("BASE [--sortie FICHIER] [--json]"),
                               QStringLiteral("instructions de déclaration des triggers et routages SymmetricDS "
                                              "que la base n'a pas encore"),
                               CmdScriptTriggersManquants});
const TCliRegistrar RegScriptLCL({QStringLiteral("script-triggers-lcl"), QStringLiteral("FICHIER [--sortie FICHIER] [--json]"),
                                  QStringLiteral("déclarations caisses_pg / mags_pg pour une liste de tables"),
                                  CmdScriptTriggersLCL});
const TCliRegistrar RegAjoute({QStringLiteral("ajoute-table-replic"), QStringLiteral("BASE TABLE CLES [--oui] [--json]"),
                               QStringLiteral("écrit : déclare une table pour la réplication"), CmdAjouteTableReplic});
const TCliRegistrar RegGrant({QStringLiteral("grant-symtable"), QStringLiteral("BASE [--oui] [--json]"),
                              QStringLiteral("écrit : droits de KORVALA sur les tables SymmetricDS"), CmdGrantSymTable});

} // namespace
