#pragma once

// The data module: the program's only gateway to databases. Every operation
// names its database by a connection reference ("SYSDBA@" + database) and
// works on connections of its own, released before it returns. Its methods
// are split over the data/DataMod_*.cpp files, one concern each.

#include "common/uIvro.Types.h"
#include "data/Movement.h"
#include "data/MvtContenu.h"
#include "data/SuiviEnvoi.h"
#include "common/ReplicationRecords.h"
#include "common/UWMI.h"
#include "common/MemTable.h"
#include "data/EngineSystem.h"
#include "db/DbConnection.h"
#include "db/DbQuery.h"
#include "db/DbStoredProc.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// A named set of connection parameter lines ("Server=…", "Database=…").
struct TConnectionDef
{
    QString Name;
    QString DriverID;
    QStringList Params;

    QString Param(const QString &aKey) const; // the value of "aKey=…", or ""
};

// Where a database as the operator names it points: "path" on the local server,
// "server/path" (a path without "/"), or "server/port:path".
struct TEmplacementBase
{
    QString Serveur = QStringLiteral("localhost");
    int Port = 3050;
    QString Chemin;
};
// EDbError for a port out of range, or one written before the "/".
TEmplacementBase EmplacementBase(const QString &aBase);

// A node's latest heartbeat, and the server's time when it was read.
struct TSilenceNoeud
{
    TDateTime DernierHeartbeat; // zero: the node never sent one
    TDateTime Maintenant;
    bool Jamais() const { return DernierHeartbeat.IsZero(); }
    // Never heard from, or silent for more than a day: what is sent to it
    // waits in the database until it comes back.
    bool Inquietant() const
    {
        return Jamais() || Maintenant.MSecs() - DernierHeartbeat.MSecs() > TDateTime::MSecsPerDay;
    }
};

class TDataMod
{
public:
    TDataMod();
    ~TDataMod();
    TDataMod(const TDataMod &) = delete;
    TDataMod &operator=(const TDataMod &) = delete;

    // ---- Connection definitions and factory (DataMod_Factory.cpp)
    std::unique_ptr<TDbConnection> getNewConnexion(const QString &aRef);
    void CreateInFDManager(const QString &aUser, const QString &aFile);
    void FreeInfFDManager(const QString &aRef);
    std::unique_ptr<TDbQuery> getNewQuery(TDbConnection *aConnection, TDbTransaction *aTrans = nullptr);
    std::unique_ptr<TDbStoredProc> getNewStoredProc(TDbConnection *AConnexion, TDbTransaction *ATransaction,
                                                    const QString &ANomProcedure);
    const QList<TConnectionDef> &Definitions() const { return FDefinitions; }

    // ---- Script execution (DataMod_Script.cpp)
    // aErreurs, when given, gets one line per failing chunk: its step number,
    // its first line and the server's message.
    bool ExecuteScript(const QString &ABaseDonnees, const QStringList &Asql, QStringList *aErreurs = nullptr);

    // ---- Node directory and movement procedures (DataMod_Nodes.cpp, DataMod_Movement.cpp)
    TNode IvroMvtLocalNode(const QString &ABaseDonnees);
    TNodes IvroMvtListeRemoteNodes(const QString &ABaseDonnees);
    // The count of K rows in a range, ready for the worker.
    std::unique_ptr<TDbQuery> NewMvtCountQuery(TDbConnection *aCnx, const TDateTime &aDEB, const TDateTime &aFIN);
    // The range procedure's call of a direction, ready for the worker.
    std::unique_ptr<TDbQuery> NewMvtSendQuery(TDbConnection *aCnx, TSensMvt aSens, const TDateTime &aDEB,
                                              const TDateTime &aFIN, const QString &aNode,
                                              TDbTransaction *aTrans = nullptr);
    // What an installation of the movement procedures did.
    struct TMvtInstallation
    {
        QString Fichier;     // "ivro_mvt.sql" as written beside the program
        QString NonEcrit;    // why it was not written, when it wasn't
        QStringList Erreurs; // each step that failed, with the server's message
    };
    // Installs the movement procedures from the embedded script, and writes
    // a copy of it to "ivro_mvt.sql" in aProgramDir (ending with a
    // separator) when that folder takes it. True when every step ran.
    bool InstallMvtProcedures(const QString &aIBFile, const QString &aProgramDir, TMvtInstallation *aRapport = nullptr);
    static QByteArray MvtScriptResource();
    // The movement script's lines as they are to be installed into that
    // database: the clean-up drops the four movement procedures only, and
    // where SYM_TRIGGER.SYNC_KEY_NAMES is a BLOB the per-row procedures read
    // it as VARCHAR(4096).
    QStringList MvtScriptPourBase(const QString &ABaseDonnees, const QStringList &aLignes);
    // True when SYM_TRIGGER.SYNC_KEY_NAMES of that database is a BLOB.
    bool SyncKeyNamesEstBlob(const QString &ABaseDonnees);

    // ---- What a day range holds, per table of KTB (DataMod_Contenu.cpp)
    TMvtContenu MvtContenu(const QString &ABaseDonnees, const TDateTime &aDEB, const TDateTime &aFIN);
    // The same as a query, ready for the worker, and its rows once opened.
    std::unique_ptr<TDbQuery> NewMvtContenuQuery(TDbConnection *aCnx, const TDateTime &aDEB, const TDateTime &aFIN);
    static TMvtContenu MvtContenuDe(TDbQuery &aQuery);

    // ---- Delivery of the reload events sent to a node (DataMod_Suivi.cpp)
    TSuiviEnvoi SuiviEnvoi(const QString &ABaseDonnees, const QString &aNode, qint64 aDe, qint64 aA);
    // The same on a connection the caller made: it may run on a worker's
    // thread, touching nothing of the data module.
    static TSuiviEnvoi SuiviEnvoiSur(TDbConnection *aCnx, const QString &aNode, qint64 aDe, qint64 aA);
    // The DATA_ID range of today's reload events for the node; false when
    // there is none.
    bool PlageEnvoisDuJour(const QString &ABaseDonnees, const QString &aNode, qint64 &aDe, qint64 &aA);

    // ---- Node state (DataMod_EtatNoeud.cpp)
    TEtatNoeud EtatNoeud(const QString &ABaseDonnees, const QString &aNode);
    QString GetLastHeartBeat(const QString &ABaseDonnees, const QString &NODEID);
    // The node SYM_NODE_IDENTITY names; empty when there is none.
    QString GetLocalNode(const QString &ABaseDonnees);
    TSilenceNoeud SilenceNoeud(const QString &ABaseDonnees, const QString &aNode);
    qint32 NbTriggersSymDS(const QString &ABaseDonnees);
    qint32 NbTableTriggersSymDS(const QString &ABaseDonnees);

    // ---- Site identity and naming (DataMod_Identite.cpp)
    TBases ListeBases(const QString &ABaseDonnees);
    TIvroBases IvroMvtListeBases(const QString &ABaseDonnees);
    QString GetNomPourNous(const QString &ABaseDonnees);
    // Returns the number of active sites renamed (0: nothing was written).
    qint32 SetNomPourNous(const QString &ABaseDonnees, const QString &aNomPourNous);
    TInfosTavenIVRO Get_Infos_Passage_TAVEN2IVRO(const QString &ABaseDonnees);
    bool MAJ_GENPARAM_Monitor(const QString &aIBFile, qint32 avalue);
    QString GetKorvalaVersion(const QString &ABaseDonnees);
    void CLEAN_MAGCODE(const QString &ABaseDonnees);

    // ---- Replication settings and server restart (DataMod_Replication.cpp)
    TInfosReplication InfosReplication(const QString &ABaseDonnees);
    QString GetCheminBaseGENREPLICATION(const QString &ABaseDonnees);
    // aEcrite, when given, gets the row written with its location before and after.
    bool UpdateREP_PLACEBASE(const QString &ABaseDonnees, const QString &ABase0,
                             TPlaceBaseReplication *aEcrite = nullptr);
    // The row UpdateREP_PLACEBASE would write, with its current location
    // (Avant) and aNouveau as it would be stored (Apres).
    TPlaceBaseReplication PlaceBaseAEcrire(const QString &ABaseDonnees, const QString &aNouveau = QString());
    bool SetGenParamURL(const QString &aIBFile, const QString &aURL);
    // aSupprimes, when given, gets the number of parameters deleted.
    bool DeleteGenParamURL(const QString &aIBFile, qint64 *aSupprimes = nullptr);
    bool RestartDataBase(const QString &ABaseDonnees);

    // ---- Table catalogue (DataMod_Catalogue.cpp)
    // Listings fill the caller's dataset by column position, as text; a
    // dataset with fewer columns than a listing writes is refused (EDbError).
    void GetTablesReplicantes(const QString &ABaseDonnees, TMemTable &aDataSet);
    void GetTablesExclues(const QString &ABaseDonnees, TMemTable &aDataSet);
    void GetAllTablesExclues(const QString &ABaseDonnees, TMemTable &aDataSet);
    void GetAllTablesReplicantes(const QString &ABaseDonnees, TMemTable &aDataSet);
    void GetCASHTablesReplicantes(const QString &ABaseDonnees, TMemTable &aDataSet);
    void GetIVROTablesSuppReplicantes(const QString &ABaseDonnees, TMemTable &aDataSet);
    // The too-wide tables, blank-separated; "!!!ERREUR!!!" when querying failed.
    QString Liste_Tables_Exclues(TDbConnection *aCnx);
    // The same tables one by one (a name may hold a blank); failures raise.
    QStringList ListeTablesTropLarges(TDbConnection *aCnx);
    // The columns of a table in their order, names as stored (compared
    // exactly); empty when there is no such table or view.
    QStringList ColonnesTable(const QString &ABaseDonnees, const QString &aTable);
    bool Controle_Longueur_Champs_Table(TDbConnection *aCnx, const QString &aTABLE);

    // ---- Trigger scripts (DataMod_Triggers.cpp)
    QStringList ScriptTriggersManquants(const QString &ABaseDonnees);
    QStringList ScriptTriggersManquantsLCL(const QString &aLCLFile);
    bool MAJ_Ajoute_TABLE_REPLIC(const QString &AIBFile, const QString &aTABLENAME, const QString &aKEYFIELD);
    bool Grant_SYMTABLE_TO_KORVALA(const QString &ABaseDonnees);

    // ---- Gap detection and repair (DataMod_Gap.cpp)
    bool IsGAPDefined(const QString &ABaseDonnees);
    bool IsPushMissingTAVENDefined(const QString &ABaseDonnees);
    void DetectGAP(const QString &ABaseDonnees, TMemTable &aDataSet);
    // The names of the columns IVRO_DETECT_GAP returns, in order, to shape a dataset for it.
    QStringList ColonnesDetectGAP(const QString &ABaseDonnees);
    void DoGAP(const QString &ABaseDonnees);
    void DoPushMissingTAVEN(const QString &ABaseDonnees);

    // ---- Replication removal and seed loading (DataMod_Drop.cpp)
    // What a removal did not manage: each failing statement with the
    // server's message; or, when objects outside SymmetricDS depend on it,
    // those objects, and nothing was removed. Callers may ignore it.
    struct TDropSymdsRapport
    {
        int ChunksExecutes = 0;
        QStringList Erreurs;
        QStringList Dependances;
    };
    TDropSymdsRapport DROP_SYMDS(const QString &ABaseDonnees);
    // Loads the seed file line by line, each line checked to be a list of
    // plain values first; lines before a failure stay. aMotif, when given,
    // gets why it failed ("ligne 3 : …"), or "" on success.
    bool Joue_MiniSplit(const QString &aFileCSV, const QString &aIBFile, QString *aMotif = nullptr);
    // The SymmetricDS objects of a database, as "KIND NAME" (TABLE, TRIGGER,
    // GENERATEUR, FONCTION), to tell what a removal took away.
    QStringList ListeObjetsSymmetricDS(const QString &ABaseDonnees);

    // ---- Backup registration (DataMod_Backup.cpp)
    // Adds or refreshes the database's section in the backup INI file named
    // by VGSE.IVRO_BackupLame_Ini. False, with nothing written, when that
    // file does not exist; EDbError "Impossible d'écrire dans …" when the
    // system refuses a write (the keys before it stay).
    bool AjouteDossierBackupLame(const TDossierInfos &aDB);
    // The section of a service: its name without the first "IVRO_", in any case.
    static QString SectionBackupLame(const QString &aServiceName);

    // ---- Engine installation and removal (DataMod_Moteur.cpp)
    bool InstallationSymmetricDS(const TSymmetricDS &ASym, bool aStart);
    bool DesInstallationSymmetricDS(const TSymmetricDS &ASym);
    void OpenFireWall(const TSymmetricDS &ASym);
    void UpdateServiceACL(const QString &aName);
    // The steps that have no counterpart on this system and ran nothing, in
    // French, since the last call; the list is emptied by the reading.
    QStringList PrendEtapesNonExecutees();
    // The programs and services the installation and the node configuration
    // use; the system's own unless another was put in place.
    TEngineSystem &EngineSystem();
    void SetEngineSystem(std::unique_ptr<TEngineSystem> aSystem);

    // ---- Central node configuration (DataMod_Maitre.cpp)
    bool Installation_Master(const TDossierInfos &ADossierInfos);

    // ---- Site node configuration (DataMod_Site.cpp)
    void Ouverture_IBFile(TDossierInfos &ADossierInfos);
    bool Installation_BASE(const TDossierInfos &ADossierInfos);

private:
    QList<TConnectionDef> FDefinitions;
    std::unique_ptr<TEngineSystem> FEngineSystem;
    QStringList FEtapesNonExecutees;
};

// The one data module of the program, created at start-up after the window.
extern TDataMod *DataMod;

// The connection reference of a database for the administrator account.
QString SysdbaRef(const QString &ABaseDonnees);
