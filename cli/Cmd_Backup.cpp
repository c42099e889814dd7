// Registering a database with the central server's backup.
#include "cli/CliCommand.h"

#include "common/UWMI.h"
#include "data/uDataMod.h"

#include <QFileInfo>
#include <QJsonObject>

namespace {

TCliResultat CmdAjouteDossierBackup(TCliContext &aCtx)
{
    const QString ini = aCtx.Arg(0, QStringLiteral("FICHIER-INI"));
    TDossierInfos dossier;
    dossier.Init();
    dossier.ServiceName = aCtx.Arg(1, QStringLiteral("SERVICE"));
    dossier.DatabaseFile = aCtx.Arg(2, QStringLiteral("BASE"));
    // The operation writes only into an existing file; no question before a refusal.
    if (!QFileInfo(ini).isFile())
        throw ECliFailure(QStringLiteral("Le fichier INI \"%1\" n'existe pas : rien n'a été écrit.").arg(ini));
    const QString section = TOperationsMoteur::SectionBackupLame(dossier.ServiceName);
    aCtx.Confirm(QStringLiteral("Inscrire la base %1 (service %2) dans la section [%3] de %4 ?")
                     .arg(dossier.DatabaseFile, dossier.ServiceName, section, ini));
    // The path the operation reads; nothing else in the program sets it.
    VGSE.IVRO_BackupLame_Ini = ini;
    if (!DataMod->Moteur.AjouteDossierBackupLame(dossier))
        throw ECliFailure(QStringLiteral("Le fichier INI \"%1\" n'existe pas : rien n'a été écrit.").arg(ini));
    return TCliResultat()
        .Json(QJsonObject{{QStringLiteral("modifie"), true},
                          {QStringLiteral("fichier"), ini},
                          {QStringLiteral("section"), section}})
        .Ligne(QStringLiteral("Section [%1] écrite dans %2 (IVROSERVICE, IBFILE, INSTALL, LAST, LASTOK, TIME, "
                              "LASTRESULT).")
                   .arg(section, ini));
}

const TCliRegistrar RegAjouteDossierBackup({QStringLiteral("ajoute-dossier-backup"),
                                            QStringLiteral("FICHIER-INI SERVICE BASE [--oui] [--json]"),
                                            QStringLiteral("écrit : inscrit une base dans le fichier INI de la "
                                                           "sauvegarde du serveur central"),
                                            CmdAjouteDossierBackup});

} // namespace
