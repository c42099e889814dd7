#pragma once

// The evaluation of a day range, the same for the window and the command
// line: the K rows of the range, what that means for a sending (events,
// estimate, the 0 < n < 200000 rule) and, per table, the events the
// movement procedures would really create in the direction. Made on the
// caller's thread (Executer) or on a thread of its own (Demarrer, then
// Terminee on the owner's thread).
//
// One pass in one transaction: the range's K rows are read once, grouped
// by table number, and the count is the sum of the groups, so the count
// and the details always agree, even on a database in use. The tables'
// names and definitions, and the direction when none is given, are read
// in the same transaction on the same connection.

#include "common/DateTime.h"
#include "data/mouvement/Mouvement.h"
#include "data/mouvement/MouvementContenu.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class TOperationsMouvement;
class TQueryThread;
class TDbConnection;
class TDbQuery;
class TDbTransaction;

// The day range as the server holds it, or why it can't: the server's
// timestamps go from 01/01/0001 to 31/12/9999, and the range runs up to
// 00:00:00 of the day after its last day. Empty text when it fits.
QString MouvementRefusPlage(const TDateTime &aDEB, const TDateTime &aFIN);

struct TEvaluationResultat
{
    QString Base;
    TDateTime Debut; // both bounds inclusive
    TDateTime Fin;

    // The count failed (or the range was refused): Message says why and
    // nothing else holds.
    bool Echec = false;
    QString Message;
    QString Serveur; // the server's own text, ending Message, when the failure is the server's
    TMouvementEvaluation Evaluation; // the count and its figures

    // The per-table details; when they could not be read, the count stands
    // alone and MessageContenu says why.
    bool ContenuLu = false;
    QString MessageContenu;
    TMouvementContenu Contenu;
    TSensMouvement Sens = TSensMouvement::Aucun; // the direction the details were read for
    // Why there is no direction, when there is none: no sending can work.
    QString MessageSens;

    // Events the procedures would create in Sens; none without the details
    // or a direction.
    std::optional<qint64> EvenementsPrevus() const;
    // Why a sending of this range is refused; empty when it may go.
    QString Refus() const;
    bool Envoyable() const { return Refus().isEmpty(); }
};

// The events the details forecast, beside the figure of two per row; empty
// when the details are not known.
QString MouvementTextePrevision(const TEvaluationResultat &aEval);
// The confirmation of a sending of that evaluation to aNoeud: the sentence
// with its figures, then the range as the procedures read it and the
// forecast where the details know it. Lines end with CR LF.
QString MouvementTexteConfirmationEnvoi(const TEvaluationResultat &aEval, const QString &aNoeud);

class TEvaluation : public QObject
{
    Q_OBJECT

public:
    // aSens: the direction to read the details for; none given, it is
    // that of the database's local node (read with the details).
    TEvaluation(TOperationsMouvement &aMouvement, const QString &aBase, const TDateTime &aDEB, const TDateTime &aFIN,
                std::optional<TSensMouvement> aSens = std::nullopt, QObject *aParent = nullptr);
    ~TEvaluation() override; // cancels and waits for a running thread

    // On the caller's thread; never raises: a failure is in the result.
    // aCompte, when given, is called once the pass is over, before Executer
    // returns; not when the count fails.
    const TEvaluationResultat &Executer(const std::function<void(const TEvaluationResultat &)> &aCompte = {});
    // The connection is made here, on the caller's thread; the queries run
    // on a thread of the evaluation's own. Terminee follows on this
    // object's thread. Raises only when it can't start; nothing runs then.
    void Demarrer();
    bool EnCours() const { return FThread != nullptr; }

    const TEvaluationResultat &Resultat() const { return FResultat; }

signals:
    void Terminee(const TEvaluationResultat &aResultat);

private:
    // On the caller's thread: the connection, the transaction and the query.
    void Prepare();
    // The pass, on whichever thread: false when the count failed.
    bool Passe();
    void Libere();

    TOperationsMouvement &FMouvement;
    TEvaluationResultat FResultat;
    std::optional<TSensMouvement> FSensDemande;
    std::unique_ptr<TDbConnection> FCnx;
    std::unique_ptr<TDbTransaction> FTransaction;
    std::unique_ptr<TDbQuery> FContenu;
    // Last: destroyed first, while what it reads still exists.
    std::unique_ptr<TQueryThread> FThread;
};
