#pragma once

// The operations of the movement tool: the node directory that the window
// shows, the count and the sending of a day range, what a range holds, and
// where the events of a sending stand.

#include "common/DateTime.h"
#include "common/uIvro.Types.h"
#include "data/acces/Acces.h"
#include "data/mouvement/AvertissementsEnvoi.h"
#include "data/mouvement/Mouvement.h"
#include "data/mouvement/MouvementContenu.h"
#include "data/mouvement/SuiviEnvoi.h"

#include <QByteArray>

class TOperationsMouvement
{
public:
    explicit TOperationsMouvement(TAcces &aAcces) : FAcces(aAcces) {}
    TOperationsMouvement(const TOperationsMouvement &) = delete;
    TOperationsMouvement &operator=(const TOperationsMouvement &) = delete;

    // The connections its sendings, evaluations and readers make.
    TAcces &Acces() const { return FAcces; }

    // ---- Node directory and movement procedures (OperationsMouvement_Noeuds.cpp, OperationsMouvement_Procedures.cpp)
    TNode IvroMvtLocalNode(const QString &ABaseDonnees);
    // The same on a connection the caller made, in aTrans (none: its own).
    static TNode IvroMvtLocalNodeSur(TDbConnection *aCnx, TDbTransaction *aTrans = nullptr);
    TNodes IvroMvtListeRemoteNodes(const QString &ABaseDonnees);
    // The group the direction's router sends to (SYM_ROUTER); empty when
    // the router is not there.
    QString MouvementGroupeCible(const QString &ABaseDonnees, TSensMouvement aSens);
    // The target's row in SYM_NODE and its latest heartbeat, for the
    // warnings before a sending.
    TEtatCibleEnvoi EtatCibleEnvoi(const QString &ABaseDonnees, const QString &aNode);
    // Those warnings, the journal of the day read too.
    QStringList AvertissementsEnvoi(const QString &ABaseDonnees, const QString &aNode, const QDate &aDu,
                                    const QDate &aAu);
    // The count of K rows in a range, ready for the worker.
    std::unique_ptr<TDbQuery> NewMouvementCountQuery(TDbConnection *aCnx, const TDateTime &aDEB, const TDateTime &aFIN);
    // The range procedure's call of a direction, ready for the worker.
    std::unique_ptr<TDbQuery> NewMouvementSendQuery(TDbConnection *aCnx, TSensMouvement aSens, const TDateTime &aDEB,
                                              const TDateTime &aFIN, const QString &aNode,
                                              TDbTransaction *aTrans = nullptr);
    // What an installation of the movement procedures did.
    struct TMouvementInstallation
    {
        QString Fichier;     // "ivro_mvt.sql" as written beside the program
        QString NonEcrit;    // why it was not written, when it wasn't
        QStringList Erreurs; // each step that failed, with the server's message
        // Said once when the range procedures stay as shipped (no temporary
        // table for the capture definitions); empty otherwise.
        QString Remarque;
    };
    // Installs the movement procedures from the embedded script, and writes
    // a copy of it to "ivro_mvt.sql" in aProgramDir (ending with a
    // separator) when that folder takes it. True when every step ran.
    bool InstallMvtProcedures(const QString &aIBFile, const QString &aProgramDir, TMouvementInstallation *aRapport = nullptr);
    // The same on a connection the caller made: a sending installs on the
    // attachment it works on.
    bool InstallMvtProceduresSur(TDbConnection *aCnx, const QString &aProgramDir, TMouvementInstallation *aRapport = nullptr);
    static QByteArray MouvementScriptResource();
    // The movement script's lines as they are to be installed into that
    // database: the clean-up drops the four movement procedures only, and
    // where SYM_TRIGGER.SYNC_KEY_NAMES is a BLOB the per-row procedures read
    // it as VARCHAR(4096).
    QStringList MouvementScriptPourBase(const QString &ABaseDonnees, const QStringList &aLignes);
    static QStringList MouvementScriptPourBaseSur(TDbConnection *aCnx, const QStringList &aLignes);
    // True when SYM_TRIGGER.SYNC_KEY_NAMES of that database is a BLOB.
    bool SyncKeyNamesEstBlob(const QString &ABaseDonnees);
    static bool SyncKeyNamesEstBlobSur(TDbConnection *aCnx);

    // ---- What a day range holds, per table of KTB (OperationsMouvement_Contenu.cpp)
    TMouvementContenu MouvementContenu(const QString &ABaseDonnees, const TDateTime &aDEB, const TDateTime &aFIN);
    // The same as a query, ready for the worker, and its rows once opened.
    std::unique_ptr<TDbQuery> NewMouvementContenuQuery(TDbConnection *aCnx, const TDateTime &aDEB, const TDateTime &aFIN,
                                                 TDbTransaction *aTrans = nullptr);
    static TMouvementContenu MouvementContenuDe(TDbQuery &aQuery);
    // The same in two steps: the rows per table number as read, then the
    // names and definitions of those tables, looked up in aTrans (none:
    // each statement its own).
    static TMouvementContenu MouvementGroupesDe(TDbQuery &aQuery);
    static void MouvementCompleteContenu(TDbConnection *aCnx, TDbTransaction *aTrans, TMouvementContenu &aContenu);

    // ---- Delivery of the reload events sent to a node (OperationsMouvement_Suivi.cpp)
    TSuiviEnvoi SuiviEnvoi(const QString &ABaseDonnees, const QString &aNode, qint64 aDe, qint64 aA);
    // The same on a connection the caller made: it may run on a worker's
    // thread, touching nothing of the data module.
    static TSuiviEnvoi SuiviEnvoiSur(TDbConnection *aCnx, const QString &aNode, qint64 aDe, qint64 aA);
    // The DATA_ID range of today's reload events for the node; false when
    // there is none.
    bool PlageEnvoisDuJour(const QString &ABaseDonnees, const QString &aNode, qint64 &aDe, qint64 &aA);
    static bool PlageEnvoisDuJourSur(TDbConnection *aCnx, const QString &aNode, qint64 &aDe, qint64 &aA);

private:
    TAcces &FAcces;
};
