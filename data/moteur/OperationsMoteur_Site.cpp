// A site database's identity as the node configuration needs it, and a
// shop's engine properties with the restart of its service.
#include "data/moteur/OperationsMoteur.h"
#include "data/moteur/OperationsMoteur.h"

#include "common/Erreur.h"
#include "common/uCommun.h"
#include "data/acces/ArretDemande.h"
#include "data/moteur/FichiersMoteur.h"
#include "data/moteur/CheminsMoteur.h"
#include "data/moteur/ProprietesMoteur.h"
#include "data/moteur/ConfianceMoteur.h"
#include "data/moteur/ValeursMoteur.h"
#include "data/moteur/NomNoeud.h"
#include "db/DbError.h"

#include <QFileInfo>

namespace {

// A whole number in decimal; blanks around it (a CHAR column's padding) do
// not count.
bool WholeNumber(const QString &aText, qint32 &aValue)
{
    bool ok = false;
    const qint32 value = aText.trimmed().toInt(&ok, 10);
    if (ok)
        aValue = value;
    return ok;
}

} // namespace

void TOperationsMoteur::Ouverture_IBFile(TDossierInfos &ADossierInfos)
{
    // Whatever fails ends the reading where it is: the fields read so far
    // stay, and Isok says whether the site rows were reached.
    try {
        auto cnx = FAcces.getNewConnexion(SysdbaRef(ADossierInfos.DatabaseFile));
        auto query = FAcces.getNewQuery(cnx.get());

        query->SQL() = QStringList{QStringLiteral("SELECT * FROM GENVERSION ORDER BY VER_DATE DESC ROWS 1")};
        query->Open();
        if (!query->Eof())
            ADossierInfos.Version = query->FieldByName(QStringLiteral("VER_VERSION")).AsString();
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT * FROM GENPARAM JOIN K ON K_ID=PRM_ID AND K_ENABLED=1"),
                                   QStringLiteral(" WHERE PRM_TYPE=80 AND PRM_CODE=1")};
        query->Open();
        if (!query->Eof())
            ADossierInfos.RegistrationUrl = query->FieldByName(QStringLiteral("PRM_STRING")).AsString();
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT * FROM GENPARAMBASE WHERE PAR_NOM=:NOM")};
        query->ParamByName(QStringLiteral("NOM")).SetAsString(QStringLiteral("IDGENERATEUR"));
        query->Open();
        if (!query->Eof()) {
            const QString ident = query->FieldByName(QStringLiteral("PAR_STRING")).AsString();
            if (!WholeNumber(ident, ADossierInfos.BAS_IDENT))
                throw EDbError(QStringLiteral("\"%1\" n'est pas un identifiant de site").arg(ident));
        }
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT GEN_ID(GENERAL_ID,0) FROM RDB$DATABASE")};
        query->Open();
        if (query->RecordCount() == 1) {
            // Read whole: a floating-point value would lose digits past 2^53.
            ADossierInfos.GENERAL_ID = NombreFrancais(query->Fields(0).AsLargeInt());
        }
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT BAS_GUID, BAS_SENDER, BAS_PLAGE"),
                                   QStringLiteral(" FROM   GENBASES"),
                                   QStringLiteral("  JOIN K ON (K_ID = BAS_ID AND K_ENABLED = 1)"),
                                   QStringLiteral("  WHERE BAS_IDENT=:BASIDENT")};
        query->ParamByName(QStringLiteral("BASIDENT")).SetAsString(QString::number(ADossierInfos.BAS_IDENT));
        query->Open();
        if (!query->Eof()) {
            ADossierInfos.BAS_GUID = query->Fields(0).AsString();
            ADossierInfos.BAS_SENDER = query->Fields(1).AsString();
            ADossierInfos.BAS_PLAGE = query->Fields(2).AsString();
        }
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT BAS_SENDER , BAS_IDENT, BAS_NOMPOURNOUS, BAS_CENTRALE, BAS_GUID"),
                                   QStringLiteral(" FROM   GENBASES"),
                                   QStringLiteral("  JOIN K ON (K_ID = BAS_ID AND K_ENABLED = 1)"),
                                   QStringLiteral("  WHERE BAS_IDENT<>''")};
        query->Open();
        for (query->First(); !query->Eof(); query->Next()) {
            const QString ident = query->FieldByName(QStringLiteral("BAS_IDENT")).AsString();
            if (ident == QLatin1String("0")) {
                ADossierInfos.Nom = LowerAsciiLetters(query->FieldByName(QStringLiteral("BAS_NOMPOURNOUS")).AsString());
                ADossierInfos.Isok = true;
                continue;
            }
            TBase base;
            base.BAS_SENDER = query->FieldByName(QStringLiteral("BAS_SENDER")).AsString();
            base.SYM_NODE = CalculeSymNode(base.BAS_SENDER);
            if (!WholeNumber(ident, base.BAS_IDENT))
                base.BAS_IDENT = -1;
            base.BAS_GUID = query->FieldByName(QStringLiteral("BAS_GUID")).AsString();
            base.BAS_CENTRALE = query->FieldByName(QStringLiteral("BAS_CENTRALE")).AsString();
            ADossierInfos.ListBases.append(base);
        }
        query->Close();

        ADossierInfos.TablesExclues = FReplication.Liste_Tables_Exclues(cnx.get());
    } catch (const std::exception &) {
        ADossierInfos.Isok = false;
    }
}

bool TOperationsMoteur::Installation_BASE(const TDossierInfos &ADossierInfos)
{
    if (!NomNoeudValide(ADossierInfos.Nom))
        return false;

    TSystemeMoteur &system = SystemeMoteur();
    const TCheminsMoteur paths(system.Windows());

    // The values: each goes into the properties, a file name or a command line.
    ExigeValeur(QStringLiteral("Identifiant externe"), ADossierInfos.ExternalID,
                RefusIdentifiant(ADossierInfos.ExternalID));
    ExigeValeur(QStringLiteral("Nom de service"), ADossierInfos.ServiceName, RefusNomService(ADossierInfos.ServiceName));
    ExigeValeur(QStringLiteral("Dossier du moteur"), ADossierInfos.SymDir,
                RefusDossier(paths.Local(ADossierInfos.SymDir), true));
    if (!ADossierInfos.RegistrationUrl.isEmpty())
        ExigeValeur(QStringLiteral("URL d'enregistrement"), ADossierInfos.RegistrationUrl,
                    RefusUrl(ADossierInfos.RegistrationUrl));
    ExigeValeur(QStringLiteral("Base"), ADossierInfos.DatabaseFile, RefusControle(ADossierInfos.DatabaseFile));
    const QString machine = GetNomMachine();
    ExigeValeur(QStringLiteral("Nom de cette machine"), machine, RefusHote(machine));
    if (ADossierInfos.HTTPPort < 1 || ADossierInfos.HTTPPort > 65535)
        throw EDbError(QStringLiteral("Port HTTP refusé : %1 (de 1 à 65535) ; rien n'a été fait.")
                           .arg(ADossierInfos.HTTPPort));

    // What it needs: the engine's folder and its service.
    const QString engine = QStringLiteral("mags-%1").arg(ADossierInfos.ExternalID);
    const QString enginesDir = QStringLiteral("%1/engines").arg(ADossierInfos.SymDir);
    const QString propertiesFile = QStringLiteral("%1/%2.properties").arg(enginesDir, engine);
    if (!QFileInfo(paths.Local(enginesDir)).isDir())
        throw EDbError(QStringLiteral("Configuration interrompue : le dossier \"%1\" n'existe pas (moteur non installé "
                                      "dans ce dossier ?) ; rien n'a été fait.")
                           .arg(enginesDir));
    // The engine runs its registration SQL as SYSDBA and reads the
    // password from its properties: nobody else may replace them.
    ExigeDossierMoteur(QStringLiteral("Dossier du moteur"), paths.Local(ADossierInfos.SymDir));
    ExigeDossierMoteur(QStringLiteral("Dossier du moteur"), paths.Local(enginesDir));
    const TInfoSurService service = system.ServiceInfo(ADossierInfos.ServiceName);
    if (!service.Exist)
        throw EDbError(QStringLiteral("Configuration interrompue : le service \"%1\" est introuvable%2 ; rien n'a été "
                                      "fait.")
                           .arg(ADossierInfos.ServiceName,
                                service.ErrorMessage.isEmpty() ? QString()
                                                               : QStringLiteral(" (%1)").arg(service.ErrorMessage)));

    TNameValueLines properties;
    properties.SetValue(QStringLiteral("external.id"), ADossierInfos.ExternalID);
    properties.SetValue(QStringLiteral("engine.name"), engine);
    properties.SetValue(QStringLiteral("group.id"), QStringLiteral("mags"));
    properties.SetValue(QStringLiteral("sync.url"), QStringLiteral("http\\://%1\\:%2/sync/%3")
                                                        .arg(machine, QString::number(ADossierInfos.HTTPPort), engine));
    SetDatabaseProperties(properties, ADossierInfos.DatabaseFile);
    properties.SetValue(QStringLiteral("registration.url"), EscapeColons(ADossierInfos.RegistrationUrl));
    // Java reads a backslash in a properties value as an escape and drops it:
    // the script's path is given with forward slashes, which Windows takes too.
    QString grants = paths.WithSep(ADossierInfos.SymDir) + QStringLiteral("grants.sql");
    grants.replace(QLatin1Char('\\'), QLatin1Char('/'));
    properties.SetValue(QStringLiteral("auto.config.registration.svr.sql.script"), grants);

    // The file, then the database, then the service. A stop asked by the
    // operator ends it between two steps like a failure: the file is put
    // back and a stopped service is started again.
    TFileJournal files;
    const auto putBack = [&]() {
        return files.Undo().isEmpty()
                   ? QStringLiteral("le fichier \"%1\" a été remis dans son état d'avant").arg(propertiesFile)
                   : QStringLiteral("le fichier \"%1\" n'a pas pu être remis dans son état d'avant").arg(propertiesFile);
    };
    const QString stopAsked = QStringLiteral("Configuration du noeud magasin interrompue à la demande de l'opérateur");
    // It holds the SYSDBA password.
    files.WriteText(paths.Local(propertiesFile), JoinCrLf(properties.Lines), TTextEncoding::Ansi,
                    TFileAccess::OwnerOnly);
    if (ArretDemande::Demande())
        throw EDbError(QStringLiteral("%1 : %2 ; ni les droits ni le service n'ont été touchés.").arg(stopAsked, putBack()));
    bool granted = false;
    QString grantError;
    try {
        granted = FReplication.Grant_SYMTABLE_TO_KORVALA(ADossierInfos.DatabaseFile);
    } catch (const std::exception &e) {
        grantError = QStringLiteral(" (%1)").arg(TexteErreur(e));
    }
    if (!granted) {
        const QString file = putBack();
        throw EDbError(QStringLiteral("%1 : les droits de KORVALA sur les tables SymmetricDS n'ont pas tous pu être "
                                      "donnés%2 ; ceux donnés avant l'erreur restent. %3 ; le service n'a pas été "
                                      "touché.")
                           .arg(ArretDemande::Demande() ? stopAsked : QStringLiteral("Configuration interrompue"),
                                grantError, file.left(1).toUpper() + file.mid(1)));
    }
    if (ArretDemande::Demande())
        throw EDbError(QStringLiteral("%1 : %2 ; déjà fait, reste en place : les droits de KORVALA sur les tables "
                                      "SymmetricDS ; le service n'a pas été touché.")
                           .arg(stopAsked, putBack()));

    // A service that was not running refuses the stop: only the start that
    // follows tells whether it runs with the new configuration.
    const bool stopped = system.StopService(ADossierInfos.ServiceName);
    const bool stopBeforeRun = ArretDemande::Demande();
    TProgramRun run;
    if (!stopBeforeRun)
        run = paths.Windows()
                  ? system.RunAndWait(QStringLiteral("sc.exe"),
                                      {QStringLiteral("config"), ADossierInfos.ServiceName, QStringLiteral("start="),
                                       QStringLiteral("delayed-auto")},
                                      QString(), false)
                  : system.RunAndWait(QStringLiteral("systemctl"), {QStringLiteral("enable"), ADossierInfos.ServiceName},
                                      QString(), false);
    if (ArretDemande::Demande()) {
        // The service goes back to what it ran with.
        const QString file = putBack();
        const bool restarted = system.StartService(ADossierInfos.ServiceName);
        QStringList done{QStringLiteral("les droits de KORVALA sur les tables SymmetricDS")};
        if (!stopBeforeRun && run.Succeeded())
            done << QStringLiteral("le démarrage automatique du service");
        throw EDbError(QStringLiteral("%1 : %2 ; le service \"%3\" %4. Déjà fait, reste en place : %5.")
                           .arg(stopAsked, file, ADossierInfos.ServiceName,
                                restarted ? QStringLiteral("a été redémarré avec son ancienne configuration")
                                          : (stopped ? QStringLiteral("a été arrêté et n'a pas redémarré : "
                                                                      "démarrez-le à la main")
                                                     : QStringLiteral("ne tourne pas")),
                                done.join(QStringLiteral(", "))));
    }
    const bool started = system.StartService(ADossierInfos.ServiceName);
    if (!run.Succeeded() || !started) {
        QStringList problems;
        if (!run.Succeeded())
            problems << (run.Started ? QStringLiteral("le réglage du démarrage automatique a échoué (code de sortie "
                                                      "%1)")
                                           .arg(run.ExitCode)
                                     : QStringLiteral("le réglage du démarrage automatique n'a pas pu être lancé (%1)")
                                           .arg(run.Error));
        if (!started)
            problems << (stopped ? QStringLiteral("le service a été arrêté mais n'a pas redémarré")
                                 : QStringLiteral("le service n'a pas pu être arrêté puis démarré"));
        throw EDbError(QStringLiteral("Configuration écrite dans \"%1\" et droits donnés, mais pour le service \"%2\" : "
                                      "%3.")
                           .arg(propertiesFile, ADossierInfos.ServiceName, problems.join(QStringLiteral(" ; "))));
    }
    return true;
}
