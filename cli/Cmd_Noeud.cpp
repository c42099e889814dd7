// A database's identity for the node configuration, and the configuration
// of the central server's node or of a shop's node, from a terminal.
#include "cli/ArretRapporte.h"
#include "cli/CliCommand.h"
#include "cli/OptionsMoteur.h"

#include "common/UWMI.h"
#include "common/uCommun.h"
#include "data/moteur/NomNoeud.h"
#include "data/uDataMod.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

QString Oui(bool aValue)
{
    return aValue ? QStringLiteral("oui") : QStringLiteral("non");
}

// The generator's value, grouped for reading in the record: a number in JSON.
QJsonValue GeneralIdJson(const QString &aTexte)
{
    qint64 valeur = 0;
    return LitNombreFrancais(aTexte, valeur) ? QJsonValue(valeur) : QJsonValue();
}

// The database's identity, then what the options give in its place.
TDossierInfos Lit(TCliContext &aCtx)
{
    TDossierInfos infos;
    infos.Init();
    infos.DatabaseFile = aCtx.Base(0); // a database out of reach fails here, like everywhere
    DataMod->Moteur.Ouverture_IBFile(infos);
    if (aCtx.HasOption(QStringLiteral("nom")))
        infos.Nom = aCtx.Option(QStringLiteral("nom"));
    return infos;
}

// A name given by --nom and refused is a misuse (2); one read from the
// database, a failure (1).
void RefuseNom(const TCliContext &aCtx, const QString &aNom)
{
    if (NomNoeudValide(aNom))
        return;
    const QString message = QStringLiteral("Nom de noeud refusé : \"%1\" (lettres sans accent, chiffres, - et _ "
                                           "seulement) ; donnez-en un autre avec --nom.")
                                .arg(aNom);
    if (aCtx.HasOption(QStringLiteral("nom")))
        throw ECliUsage(message);
    throw ECliFailure(message);
}

TCliResultat CmdOuvertureBase(TCliContext &aCtx)
{
    TDossierInfos infos;
    infos.Init();
    infos.DatabaseFile = aCtx.Base(0);
    DataMod->Moteur.Ouverture_IBFile(infos);

    const QString incomplete = QStringLiteral("Identité de la base incomplète : base injoignable, table absente, "
                                              "identifiant IDGENERATEUR non numérique ou pas de site actif "
                                              "d'identifiant 0.");
    QJsonArray bases;
    QList<QStringList> rows;
    for (const TBase &b : std::as_const(infos.ListBases)) {
        bases << QJsonObject{{QStringLiteral("BAS_SENDER"), b.BAS_SENDER},
                             {QStringLiteral("SYM_NODE"), b.SYM_NODE},
                             {QStringLiteral("BAS_CENTRALE"), b.BAS_CENTRALE},
                             {QStringLiteral("BAS_IDENT"), b.BAS_IDENT},
                             {QStringLiteral("BAS_GUID"), b.BAS_GUID}};
        rows << QStringList{QString::number(b.BAS_IDENT), b.BAS_SENDER, b.SYM_NODE, b.BAS_CENTRALE, b.BAS_GUID};
    }
    QJsonObject o{{QStringLiteral("DatabaseFile"), infos.DatabaseFile},
                  {QStringLiteral("Isok"), infos.Isok},
                  {QStringLiteral("Nom"), infos.Nom},
                  {QStringLiteral("Version"), infos.Version},
                  {QStringLiteral("RegistrationUrl"), infos.RegistrationUrl},
                  {QStringLiteral("BAS_IDENT"), infos.BAS_IDENT},
                  {QStringLiteral("BAS_GUID"), infos.BAS_GUID},
                  {QStringLiteral("BAS_SENDER"), infos.BAS_SENDER},
                  {QStringLiteral("BAS_PLAGE"), infos.BAS_PLAGE},
                  {QStringLiteral("GENERAL_ID"), GeneralIdJson(infos.GENERAL_ID)},
                  {QStringLiteral("TablesExclues"), infos.TablesExclues},
                  {QStringLiteral("ListBases"), bases}};
    // One object on standard output, the failure said inside it.
    if (!infos.Isok)
        o.insert(QStringLiteral("erreur"), incomplete);
    TCliResultat r;
    r.Json(o)
        .Table({QStringLiteral("Champ"), QStringLiteral("Valeur")},
               {{QStringLiteral("Identité lue"), Oui(infos.Isok)},
                {QStringLiteral("Nom du dossier"), infos.Nom},
                {QStringLiteral("Version"), infos.Version},
                {QStringLiteral("Adresse d'enregistrement"), infos.RegistrationUrl},
                {QStringLiteral("Identifiant du site"), QString::number(infos.BAS_IDENT)},
                {QStringLiteral("GUID du site"), infos.BAS_GUID},
                {QStringLiteral("Expéditeur du site"), infos.BAS_SENDER},
                {QStringLiteral("Plage du site"), infos.BAS_PLAGE},
                {QStringLiteral("Générateur GENERAL_ID"), infos.GENERAL_ID},
                {QStringLiteral("Tables exclues"), infos.TablesExclues}})
        .Ligne(QString())
        // The sites under the names liste-bases gives them.
        .Table({QStringLiteral("Ident"), QStringLiteral("Expéditeur"), QStringLiteral("Noeud"),
                QStringLiteral("Centrale"), QStringLiteral("GUID")},
               rows);
    // The identity read so far is shown, then the failure said as any other.
    if (!infos.Isok)
        r.Erreur(QStringLiteral("Erreur : ") + incomplete).Code(1);
    return r;
}

TCliResultat DitMaitreInstalle(const TDossierInfos &infos);
TCliResultat DitBaseInstallee(const TDossierInfos &infos);

TCliResultat CmdInstalleMaitre(TCliContext &aCtx)
{
    // The options are checked before the database is even opened.
    const QString repertoire = AbsoluteFolder(
        QStringLiteral("repertoire"), aCtx.RequiredOption(QStringLiteral("repertoire"), QStringLiteral("DOSSIER")), true);
    const qint32 port = aCtx.PortOption(QStringLiteral("port-http"));
    // The engine is reached by this host's name unless told otherwise.
    const QString hote = aCtx.Option(QStringLiteral("hote"), GetNomMachine());
    Checked(QStringLiteral("hote"), hote, RefusHote(hote));
    const QString ipPublique = aCtx.Option(QStringLiteral("ip-publique"));
    if (!ipPublique.isEmpty())
        Checked(QStringLiteral("ip-publique"), ipPublique, RefusHote(ipPublique));
    const QString version = aCtx.Option(QStringLiteral("version"));
    Checked(QStringLiteral("version"), version, RefusControle(version));

    TDossierInfos infos = Lit(aCtx);
    infos.SymDir = repertoire;
    infos.HTTPPort = port;
    if (aCtx.HasOption(QStringLiteral("version")))
        infos.Version = version;
    if (infos.Nom.isEmpty())
        throw ECliUsage(QStringLiteral("Nom du noeud inconnu : la base n'a pas de site d'identifiant 0 ; donnez --nom."));
    RefuseNom(aCtx, infos.Nom);
    VGSE.HostName = hote;
    VGSE.PublicIP = ipPublique;

    aCtx.Confirm(QStringLiteral("Écrire la configuration du noeud central \"%1\" dans %2 et son URL de "
                                "synchronisation dans %3 ?")
                     .arg(infos.Nom, infos.SymDir, infos.DatabaseFile));
    // Ctrl-C from here puts the files back and says so.
    return AvecArretRapporte([&] {
        if (!DataMod->Moteur.Installation_Master(infos))
            RefuseNom(aCtx, infos.Nom);
        return DitMaitreInstalle(infos);
    });
}

TCliResultat DitMaitreInstalle(const TDossierInfos &infos)
{
    const QString nom = infos.Nom.toLower();
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("installe"), true}, {QStringLiteral("noeud"), nom}})
        .Ligne(QStringLiteral("Noeud central \"%1\" configuré : %2/engines/%1.properties et %2/master-%1.sql.")
                   .arg(nom, infos.SymDir));
}

TCliResultat CmdInstalleBase(TCliContext &aCtx)
{
    // The options are checked before the database is even opened.
    const QString service = aCtx.RequiredOption(QStringLiteral("service"), QStringLiteral("SERVICE"));
    Checked(QStringLiteral("service"), service, RefusNomService(service));
    const QString repertoire = AbsoluteFolder(
        QStringLiteral("repertoire"), aCtx.RequiredOption(QStringLiteral("repertoire"), QStringLiteral("DOSSIER")), true);
    const qint32 port = aCtx.PortOption(QStringLiteral("port-http"));
    const QString idExterne = aCtx.RequiredOption(QStringLiteral("id-externe"), QStringLiteral("ID"));
    Checked(QStringLiteral("id-externe"), idExterne, RefusIdentifiant(idExterne));
    const QString url = aCtx.Option(QStringLiteral("url-enregistrement"));
    if (aCtx.HasOption(QStringLiteral("url-enregistrement")) && !url.isEmpty())
        Checked(QStringLiteral("url-enregistrement"), url, RefusUrl(url));

    TDossierInfos infos = Lit(aCtx);
    infos.ServiceName = service;
    infos.SymDir = repertoire;
    infos.HTTPPort = port;
    infos.ExternalID = idExterne;
    if (aCtx.HasOption(QStringLiteral("url-enregistrement")))
        infos.RegistrationUrl = url;
    RefuseNom(aCtx, infos.Nom);

    aCtx.Confirm(QStringLiteral("Écrire la configuration du noeud magasin mags-%1 dans %2/engines, puis arrêter, "
                                "régler et redémarrer le service \"%3\" ?")
                     .arg(infos.ExternalID, infos.SymDir, infos.ServiceName));
    // A failure raises, naming the step: never "redémarré" after it. Ctrl-C
    // from here puts the file back and starts a stopped service again.
    return AvecArretRapporte([&] {
        if (!DataMod->Moteur.Installation_BASE(infos))
            RefuseNom(aCtx, infos.Nom);
        return DitBaseInstallee(infos);
    });
}

TCliResultat DitBaseInstallee(const TDossierInfos &infos)
{
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("installe"), true},
                          {QStringLiteral("moteur"), QStringLiteral("mags-") + infos.ExternalID}})
        .Ligne(QStringLiteral("Noeud magasin mags-%1 configuré : %2/engines/mags-%1.properties ; service \"%3\" "
                              "redémarré.")
                   .arg(infos.ExternalID, infos.SymDir, infos.ServiceName));
}

const TCliRegistrar RegOuvertureBase({QStringLiteral("ouverture-base"), QStringLiteral("BASE [--json]"),
                                      QStringLiteral("identité de la base pour la configuration d'un noeud : version, "
                                                     "site, nom du dossier, autres sites, tables exclues"),
                                      CmdOuvertureBase});
const TCliRegistrar RegInstalleMaitre(
    {QStringLiteral("installe-maitre"),
     QStringLiteral("BASE --repertoire DOSSIER --port-http PORT [--nom NOM] [--version VERSION] [--hote HOTE] "
                    "[--ip-publique IP] [--oui] [--json]"),
     QStringLiteral("écrit : configure le noeud du serveur central (script d'enregistrement, propriétés, URL de "
                    "synchronisation)"),
     CmdInstalleMaitre});
const TCliRegistrar RegInstalleBase(
    {QStringLiteral("installe-base"),
     QStringLiteral("BASE --service SERVICE --repertoire DOSSIER --port-http PORT --id-externe ID [--nom NOM] "
                    "[--url-enregistrement URL] [--oui] [--json]"),
     QStringLiteral("écrit : configure le noeud d'un magasin et redémarre son service"), CmdInstalleBase});

} // namespace
