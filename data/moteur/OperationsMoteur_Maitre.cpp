// The central server's node: its registration script and engine properties,
// and the synchronisation address kept in its database.
#include "data/moteur/OperationsMoteur.h"
#include "data/moteur/OperationsMoteur.h"

#include "common/Erreur.h"
#include "common/ErreurSysteme.h"
#include "common/TextFile.h"
#include "common/UWMI.h"
#include "common/uCommun.h"
#include "data/acces/ArretDemande.h"
#include "data/moteur/FichiersMoteur.h"
#include "data/moteur/CheminsMoteur.h"
#include "data/moteur/ProprietesMoteur.h"
#include "data/moteur/ConfianceMoteur.h"
#include "data/moteur/ValeursMoteur.h"
#include "data/moteur/NomNoeud.h"
#include "db/DbError.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

QByteArray Resource(const QString &aName)
{
    QFile resource(QStringLiteral(":/") + aName);
    if (!resource.open(QIODevice::ReadOnly))
        throw EDbError(QStringLiteral("Ressource %1 introuvable ; rien n'a été fait.").arg(aName));
    return resource.readAll();
}

} // namespace

bool TOperationsMoteur::Installation_Master(const TDossierInfos &ADossierInfos)
{
    if (!NomNoeudValide(ADossierInfos.Nom))
        return false;

    // The values, before anything is looked at on disk: the host goes into
    // SQL that the engine runs as SYSDBA and into the properties.
    const TCheminsMoteur paths(SystemeMoteur().Windows());
    const QString host = VGSE.HostName.isEmpty() ? VGSE.PublicIP : VGSE.HostName;
    ExigeValeur(QStringLiteral("Hôte du serveur central"), host, RefusHote(host));
    if (!VGSE.HostName.isEmpty())
        ExigeValeur(QStringLiteral("Hôte du serveur central"), VGSE.HostName, RefusHote(VGSE.HostName));
    ExigeValeur(QStringLiteral("Dossier du moteur"), ADossierInfos.SymDir,
                RefusDossier(paths.Local(ADossierInfos.SymDir), true));
    ExigeValeur(QStringLiteral("Base"), ADossierInfos.DatabaseFile, RefusControle(ADossierInfos.DatabaseFile));
    if (ADossierInfos.HTTPPort < 1 || ADossierInfos.HTTPPort > 65535)
        throw EDbError(QStringLiteral("Port HTTP refusé : %1 (de 1 à 65535) ; rien n'a été fait.")
                           .arg(ADossierInfos.HTTPPort));

    const QString nom = LowerAsciiLetters(ADossierInfos.Nom);
    const QString templateFile = paths.WithSep(ADossierInfos.SymDir) + QStringLiteral("master-v15.sql");
    const QString engines = paths.Join(paths.WithoutSep(ADossierInfos.SymDir), {"engines"});
    const QString propertiesFile = engines + paths.Sep() + nom + QStringLiteral(".properties");
    const QString listFile = paths.WithSep(ADossierInfos.SymDir) + QStringLiteral("v18.2.lcl");
    QString centralScript = paths.WithoutSep(ADossierInfos.SymDir) + paths.Sep() + QStringLiteral("master-%1.sql").arg(nom);
    centralScript.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!QFileInfo(paths.Local(engines)).isDir())
        throw EDbError(QStringLiteral("Configuration interrompue : le dossier \"%1\" n'existe pas (moteur non installé "
                                      "dans ce dossier ?) ; rien n'a été fait.")
                           .arg(engines));
    // The engine runs its registration SQL as SYSDBA and reads the
    // password from its properties: nobody else may replace them.
    ExigeDossierMoteur(QStringLiteral("Dossier du moteur"), paths.Local(ADossierInfos.SymDir));
    ExigeDossierMoteur(QStringLiteral("Dossier du moteur"), paths.Local(engines));

    // The jobs of several central engines on one machine are spread over the
    // day by their port's distance from the base port.
    const qint32 m = ADossierInfos.HTTPPort - VGSE.IVRO_PORTS;
    const qint32 purgeMinute = (m / 10) % 60;
    const QString syncTriggersCron = QStringLiteral("0 %1 %2 * * *").arg(QString::number((m / 2) % 60), QString::number(m / 120));
    const QString purgeOutgoingCron = QStringLiteral("0 %1 7-20/2 * * *").arg(purgeMinute);
    const QString purgeIncomingCron = QStringLiteral("0 %1 7-20/2 * * *").arg((purgeMinute + 1) % 60);

    // Everything built in memory first; the files are written only from it.
    const QByteArray templateBytes = Resource(QStringLiteral("masterv15"));
    const QByteArray listBytes = Resource(QStringLiteral("v18_2_lcl"));
    const QString text = FillPlaceholders(JoinCrLf(SplitTextLines(DecodeWindowsText(templateBytes))),
                                          {
                                              {QStringLiteral("%master-id%"), nom + QStringLiteral("-id")},
                                              {QStringLiteral("%ip%"), VGSE.HostName},
                                              {QStringLiteral("%port%"), QString::number(ADossierInfos.HTTPPort)},
                                              {QStringLiteral("%master%"), nom},
                                              {QStringLiteral("%job.purge.outgoing.cron%"), purgeOutgoingCron},
                                              {QStringLiteral("%job.purge.incoming.cron%"), purgeIncomingCron},
                                              {QStringLiteral("%job.synctriggers.cron%"), syncTriggersCron},
                                          });
    QStringList lines = SplitTextLines(text);
    try {
        lines << QString() << FReplication.ScriptTriggersManquants(ADossierInfos.DatabaseFile);
        // Compared as texts, as the versions always were.
        if (ADossierInfos.Version > QLatin1String("18.1.0.9999")
            && ADossierInfos.Version <= QLatin1String("18.2.0.9999")) {
            // Read from a private copy: the one in the engine's folder is for
            // the operator.
            QTemporaryFile list;
            if (!list.open() || list.write(listBytes) != listBytes.size() || !list.flush())
                throw EDbError(QStringLiteral("Impossible d'écrire un fichier temporaire : %1").arg(TexteErreurFichier(list)));
            lines << QString() << FReplication.ScriptTriggersManquantsLCL(list.fileName());
        }
    } catch (const EDbError &) {
        // The reading cancelled by the stop: nothing written yet.
        if (ArretDemande::Demande())
            throw EDbError(QStringLiteral("Configuration du noeud central interrompue à la demande de l'opérateur "
                                          "pendant la lecture des tables : rien n'a été écrit ni enregistré."));
        throw;
    }

    const QString syncUrl = QStringLiteral("http://%1:%2/sync/%3").arg(host, QString::number(ADossierInfos.HTTPPort), nom);
    TNameValueLines properties;
    properties.SetValue(QStringLiteral("external.id"), nom + QStringLiteral("-id"));
    properties.SetValue(QStringLiteral("engine.name"), nom);
    properties.SetValue(QStringLiteral("group.id"), QStringLiteral("lame"));
    properties.SetValue(QStringLiteral("sync.url"), EscapeColons(syncUrl));
    SetDatabaseProperties(properties, ADossierInfos.DatabaseFile);
    properties.SetValue(QStringLiteral("auto.config.registration.svr.sql.script"), centralScript);
    properties.Lines << QStringLiteral("registration.url=");

    // The files, then the database: a failure of the database puts the files back.
    TFileJournal files;
    const QString operation = QStringLiteral("Configuration du noeud central");
    try {
        // A stop asked meanwhile ends it before the next step, like a failure.
        ArretDemande::Verifier(operation);
        files.Write(paths.Local(templateFile), templateBytes);
        ArretDemande::Verifier(operation);
        files.Write(paths.Local(listFile), listBytes);
        ArretDemande::Verifier(operation);
        files.WriteText(paths.Local(centralScript), JoinCrLf(lines), TTextEncoding::Ansi);
        ArretDemande::Verifier(operation);
        // It holds the SYSDBA password.
        files.WriteText(paths.Local(propertiesFile), JoinCrLf(properties.Lines), TTextEncoding::Ansi,
                        TFileAccess::OwnerOnly);
        ArretDemande::Verifier(operation);
        if (!FReplication.SetGenParamURL(ADossierInfos.DatabaseFile, syncUrl))
            throw EDbError(QStringLiteral("l'URL de synchronisation n'a pas été enregistrée dans la base : elle a "
                                          "plusieurs paramètres d'adresse actifs"));
    } catch (const std::exception &e) {
        const QString why = ArretDemande::Demande() ? QStringLiteral("à la demande de l'opérateur")
                                                     : TexteErreur(e);
        const QStringList left = files.Undo();
        const QString message =
            QStringLiteral("Configuration du noeud central interrompue : %1. %2")
                .arg(why, left.isEmpty() ? QStringLiteral("Les fichiers écrits ont été remis dans leur état "
                                                          "d'avant ; l'URL de synchronisation n'a pas été "
                                                          "enregistrée.")
                                         : QStringLiteral("Fichiers qui n'ont pas pu être remis en état : %1.")
                                               .arg(left.join(QStringLiteral(", "))));
        // The server's codes go along, so that the operator reads the French
        // sentence for them (a row locked by another program) before its text.
        if (const auto *db = dynamic_cast<const EDbError *>(&e); db && !ArretDemande::Demande())
            throw EDbError(message, db->Codes(), db->Numbers(), db->ErreursSysteme());
        throw EDbError(message);
    }
    return true;
}
