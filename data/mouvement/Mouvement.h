#pragma once

// The movement tool's rules, shared by the window and the command line:
// directions, statements, day range, limits and estimate.

#include "common/DateTime.h"
#include "data/acces/ObjetsMouvement.h"

#include <QDate>
#include <QString>
#include <QStringList>

constexpr qint32 MouvementEvenementsParLigne = 2; // the K row and the business row it stands for
constexpr qint32 MouvementLignesParSeconde = 65;  // assumed sending speed, for the estimate
constexpr qint32 MouvementLimiteLignes = 200000;  // a sending needs 0 < count < this

enum class TSensMouvement { Aucun, LameVersMag, MagVersLame };

// "lame" and "mags" (exact case) give a direction; anything else none.
TSensMouvement SensDuGroupe(const QString &aNODE_GROUP_ID);
// "Lame vers Magasin", "Magasin vers Lame", or empty text.
QString TexteSens(TSensMouvement aSens);
TSensMouvement SensDuTexte(const QString &aTexte);
// The range procedure's call, or empty text without a direction.
QString InstructionEnvoi(TSensMouvement aSens);

extern const QString MouvementInstructionComptage;

// The movement script's lines with its clean-up narrowed to the four
// movement procedures, one DROP each: as shipped it drops, through a
// temporary procedure and EXECUTE STATEMENT, every procedure whose name is
// LIKE '%IVRO_MVT_%', the gap-repair kit's IVRO_MVT_LAME2MAGS among them.
// EDbError when the script doesn't hold that clean-up.
QStringList MouvementNettoyageExact(const QStringList &aLignes);

// The router a direction's procedures read their capture definitions from.
QString MouvementRouteur(TSensMouvement aSens);

// Why a database gives no direction: its local node (none when empty) and
// its group; the group alone when the node is not known.
QString MouvementTexteSansSens(const QString &aNoeudLocal = QString(), const QString &aGroupe = QString());

// Why a node of group aGroupeNoeud can't take a sending of aSens, whose
// router sends only to aGroupeCible (empty: the router is not in
// SYM_ROUTER); empty text when it can. The events carry the node in their
// NODE_LIST, and the router keeps only the nodes of its target group: any
// other node would never see them.
QString MouvementRefusCible(TSensMouvement aSens, const QString &aGroupeCible, const QString &aNoeud,
                      const QString &aGroupeNoeud);

// Bounds of the day range, both inclusive: 00:00:00 of the first day and
// 00:00:00 of the day after the last day.
TDateTime MouvementDebutPlage(const TDateTime &aDEB);
TDateTime MouvementFinPlage(const TDateTime &aFIN);

// The range as the procedures read it, in words: its days, and the last
// instant it takes (00:00:00 of the day after its last day), or that it
// is reversed. aDebut and aFin are the bounds above.
QString MouvementTextePlage(const TDateTime &aDebut, const TDateTime &aFin);
// The last day comes before the first: only the midnight between them, if
// that, is in the range.
bool MouvementPlageInversee(const TDateTime &aDebut, const TDateTime &aFin);

// What a count of K rows means for a sending.
struct TMouvementEvaluation
{
    qint32 Count = 0;
    qint32 NbRec = 0;      // reload events: count × 2
    QString EvalTime;      // estimated sending time, "mm:ss" or "hh:mm:ss"
    bool Envoyable = false; // 0 < count < 200000
    QString Texte() const; // the status-bar sentence
};
TMouvementEvaluation MouvementEvalue(qint32 aCount);

// The reload events one sending created in SYM_DATA for its node.
struct TMouvementEvenements
{
    qint64 Nombre = 0;
    qint64 PremierDataId = 0; // 0 when none was created
    qint64 DernierDataId = 0;
};

// Why an evaluation does not allow a sending; empty when it does.
QString MouvementTexteRefus(const TMouvementEvaluation &aEval);

QString MouvementTexteConfirmation(qint32 aNbRec, const QString &aNoeud, const QString &aEvalTime);
// The same question, then on its own line what it does not say: the
// database, the days, the direction, and the unit of the duration.
QString MouvementTexteConfirmationDetaille(qint32 aNbRec, const QString &aNoeud, const QString &aEvalTime,
                                     const QString &aBase, const QDate &aDu, const QDate &aAu, TSensMouvement aSens);
QString MouvementTexteFin(const QString &aNoeud);
// K rows were counted and the sending created no event.
QString MouvementTexteAucunEvenement(qint32 aCount, TSensMouvement aSens, const QString &aNoeud);
