#pragma once

// The engine and the nodes' configuration: installing and removing the
// engine, configuring the central node and a shop's node, registering a
// database for backup.

#include "common/ReplicationRecords.h"
#include "common/UWMI.h"
#include "data/acces/Acces.h"
#include "data/moteur/SystemeMoteur.h"
#include "data/replication/OperationsReplication.h"

class TOperationsMoteur
{
public:
    // Configuring a node runs steps of the replication's administration.
    TOperationsMoteur(TAcces &aAcces, TOperationsReplication &aReplication);
    ~TOperationsMoteur();
    TOperationsMoteur(const TOperationsMoteur &) = delete;
    TOperationsMoteur &operator=(const TOperationsMoteur &) = delete;

    // ---- Backup registration (OperationsMoteur_Backup.cpp)
    // Adds or refreshes the database's section in the backup INI file named
    // by VGSE.IVRO_BackupLame_Ini. False, with nothing written, when that
    // file does not exist; EDbError "Impossible d'écrire dans …" when the
    // system refuses a write (the keys before it stay).
    bool AjouteDossierBackupLame(const TDossierInfos &aDB);
    // The section of a service: its name without the first "IVRO_", in any case.
    static QString SectionBackupLame(const QString &aServiceName);

    // ---- Engine installation and removal (OperationsMoteur_Installation.cpp)
    bool InstallationSymmetricDS(const TSymmetricDS &ASym, bool aStart);
    bool DesInstallationSymmetricDS(const TSymmetricDS &ASym);
    void OpenFireWall(const TSymmetricDS &ASym);
    void UpdateServiceACL(const QString &aName);
    // The steps that have no counterpart on this system and ran nothing, in
    // French, since the last call; the list is emptied by the reading.
    QStringList PrendEtapesNonExecutees();
    // The programs and services the installation and the node configuration
    // use; the system's own unless another was put in place.
    TSystemeMoteur &SystemeMoteur();
    void SetSystemeMoteur(std::unique_ptr<TSystemeMoteur> aSystem);

    // ---- Central node configuration (OperationsMoteur_Maitre.cpp)
    bool Installation_Master(const TDossierInfos &ADossierInfos);

    // ---- Site node configuration (OperationsMoteur_Site.cpp)
    void Ouverture_IBFile(TDossierInfos &ADossierInfos);
    bool Installation_BASE(const TDossierInfos &ADossierInfos);

private:
    TAcces &FAcces;
    TOperationsReplication &FReplication;
    std::unique_ptr<TSystemeMoteur> FSystemeMoteur;
    QStringList FEtapesNonExecutees;
};
