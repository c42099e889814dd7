#pragma once

// The administration of replication: node state, site identity and
// settings, the catalogue of replicated tables, trigger scripts, gaps,
// removal and seeding.

#include "common/DateTime.h"
#include "common/MemTable.h"
#include "common/ReplicationRecords.h"
#include "common/UWMI.h"
#include "common/uIvro.Types.h"
#include "data/acces/Acces.h"

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

class TOperationsReplication
{
public:
    explicit TOperationsReplication(TAcces &aAcces) : FAcces(aAcces) {}
    TOperationsReplication(const TOperationsReplication &) = delete;
    TOperationsReplication &operator=(const TOperationsReplication &) = delete;

    // ---- Node state (OperationsReplication_EtatNoeud.cpp)
    TEtatNoeud EtatNoeud(const QString &ABaseDonnees, const QString &aNode);
    QString GetLastHeartBeat(const QString &ABaseDonnees, const QString &NODEID);
    // The node SYM_NODE_IDENTITY names; empty when there is none.
    QString GetLocalNode(const QString &ABaseDonnees);
    TSilenceNoeud SilenceNoeud(const QString &ABaseDonnees, const QString &aNode);
    qint32 NbTriggersSymDS(const QString &ABaseDonnees);
    qint32 NbTableTriggersSymDS(const QString &ABaseDonnees);

    // ---- Site identity and naming (OperationsReplication_Identite.cpp)
    TBases ListeBases(const QString &ABaseDonnees);
    TIvroBases IvroMvtListeBases(const QString &ABaseDonnees);
    QString GetNomPourNous(const QString &ABaseDonnees);
    // Returns the number of active sites renamed (0: nothing was written).
    // The dossier's name as SetNomPourNous stores it (A to Z upper-cased
    // only), for a question that shows what will be written.
    static QString NomPourNousStocke(const QString &aNomPourNous);
    qint32 SetNomPourNous(const QString &ABaseDonnees, const QString &aNomPourNous);
    TInfosTavenIVRO Get_Infos_Passage_TAVEN2IVRO(const QString &ABaseDonnees);
    bool MAJ_GENPARAM_Monitor(const QString &aIBFile, qint32 avalue);
    QString GetKorvalaVersion(const QString &ABaseDonnees);
    // The number of shops whose code was emptied.
    qint32 CLEAN_MAGCODE(const QString &ABaseDonnees);

    // ---- Replication settings and server restart (OperationsReplication_Reglages.cpp)
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

    // ---- Table catalogue (OperationsReplication_Catalogue.cpp)
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

    // ---- Trigger scripts (OperationsReplication_Triggers.cpp)
    // aSansDeclares: without what the database itself already declares
    // (trigger ids, trigger-router pairs, the transform of K).
    QStringList ScriptTriggersManquants(const QString &ABaseDonnees, bool aSansDeclares = false);
    QStringList ScriptTriggersManquantsLCL(const QString &aLCLFile);
    // aErreur: the server's text when it fails; aEcrites: the rows written
    // (each committed on its own) before the failure.
    bool MAJ_Ajoute_TABLE_REPLIC(const QString &AIBFile, const QString &aTABLENAME, const QString &aKEYFIELD,
                                 QString *aErreur = nullptr, int *aEcrites = nullptr);
    // What the database already declares for aTable: "SYM_TRIGGER", then
    // "SYM_TRIGGER_ROUTER <router>" per routing.
    QStringList DeclarationsTableReplic(const QString &ABaseDonnees, const QString &aTable);
    bool Grant_SYMTABLE_TO_KORVALA(const QString &ABaseDonnees);

    // ---- Gap detection and repair (OperationsReplication_Gap.cpp)
    bool IsGAPDefined(const QString &ABaseDonnees);
    bool IsPushMissingTAVENDefined(const QString &ABaseDonnees);
    void DetectGAP(const QString &ABaseDonnees, TMemTable &aDataSet);
    // The names of the columns IVRO_DETECT_GAP returns, in order, to shape a dataset for it.
    QStringList ColonnesDetectGAP(const QString &ABaseDonnees);
    // aLignes, when given, receives the rows the repair procedure returns
    // (one column per output of the procedure, named as it names them).
    void DoGAP(const QString &ABaseDonnees, TMemTable *aLignes = nullptr);
    void DoPushMissingTAVEN(const QString &ABaseDonnees);

    // ---- Replication removal and seed loading (OperationsReplication_Drop.cpp)
    // What a removal did not manage: each failing statement with the
    // server's message; or, when objects outside SymmetricDS depend on it,
    // those objects, and nothing was removed. Callers may ignore it.
    struct TDropSymdsRapport
    {
        int ChunksExecutes = 0;
        QStringList Erreurs;
        QStringList Dependances;
        // Stopped at the operator's request (ArretDemande) before the end:
        // the statements run before stay done.
        bool Interrompu = false;
    };
    TDropSymdsRapport DROP_SYMDS(const QString &ABaseDonnees);
    // Loads the seed file line by line, each line checked to be a list of
    // plain values first; lines before a failure stay. aMotif, when given,
    // gets why it failed ("ligne 3 : …"), or "" on success.
    // Every line's form is checked before any is loaded; each insert is then
    // committed on its own. aChargees: the lines loaded (and kept) before
    // a failure.
    bool Joue_MiniSplit(const QString &aFileCSV, const QString &aIBFile, QString *aMotif = nullptr,
                        int *aChargees = nullptr);
    // The SymmetricDS objects of a database, as "KIND NAME" (TABLE, TRIGGER,
    // GENERATEUR, FONCTION), to tell what a removal took away.
    QStringList ListeObjetsSymmetricDS(const QString &ABaseDonnees);

private:
    TAcces &FAcces;
};
