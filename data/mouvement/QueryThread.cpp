#include "data/mouvement/QueryThread.h"

#include "common/Erreur.h"
#include "db/DbConnection.h"
#include "db/DbError.h"
#include "db/DbQuery.h"

#include <QPointer>

TQueryThread::TQueryThread(TDbConnection *ACnx, TDbQuery *aQuery, TNotifyEvent aEvent)
    : FEvent(std::move(aEvent)), FCnx(ACnx), FQuery(aQuery), FAutoLibere(true)
{
    connect(this, &QThread::finished, this, &TQueryThread::Fin);
}

TQueryThread::TQueryThread(TDbConnection *ACnx, TTravail aTravail, TNotifyEvent aEvent, QObject *aParent)
    : QThread(aParent), FEvent(std::move(aEvent)), FTravail(std::move(aTravail)), FCnx(ACnx)
{
    // Delivered to the owner, so that its callback may free the worker; a
    // worker freed before then hears nothing.
    connect(this, &QThread::finished, aParent ? aParent : this, [vivant = QPointer<TQueryThread>(this)] {
        if (vivant)
            vivant->Fin();
    });
}

TQueryThread::~TQueryThread()
{
    if (isRunning()) {
        Cancel();
        while (!wait(200))
            Cancel();
    }
    // A queued end still pending dies with the worker: its owner is
    // destroying it and hears no more of it.
}

bool TQueryThread::Cancel()
{
    FAnnule = true;
    const QMutexLocker verrou(&FVerrou);
    // Idle, the connection has nothing to cancel; InterBase's client would
    // end its attachment all the same.
    if (!FCnx || !isRunning())
        return true;
    return FCnx->CancelOperation();
}

void TQueryThread::Detacher()
{
    TDbConnection *cnx = nullptr;
    {
        const QMutexLocker verrou(&FVerrou);
        cnx = FCnx;
        FCnx = nullptr;
    }
    if (!cnx)
        return;
    try {
        cnx->Close();
    } catch (const EDbError &) {
        // Its work is over; the server lets the attachment go either way.
    }
}

void TQueryThread::Requete()
{
    if (FQuery->SQLText().startsWith(QLatin1String("EXECUTE")))
        FQuery->ExecSQL();
    if (FQuery->SQLText().startsWith(QLatin1String("SELECT")))
        FQuery->Open();
    if (FQuery->Active() && !FQuery->IsEmpty())
        FResultat = FQuery->Fields(0).AsInteger();
}

void TQueryThread::Execute()
{
    FResultat = 0;
    FMessage.clear();
    try {
        if (FTravail)
            FTravail(this);
        else if (FQuery)
            Requete();
    } catch (const EDbError &e) {
        FResultat = -1;
        FMessage = e.Message();
    } catch (const std::exception &e) {
        FResultat = -1;
        FMessage = TexteErreur(e);
    } catch (...) {
        FResultat = -1;
        FMessage = QStringLiteral("Erreur inconnue");
    }
}

void TQueryThread::run()
{
    Execute();
}

void TQueryThread::Fin()
{
    // Queued from the worker's thread as it ended: here, on the owner's
    // thread, the results are final.
    wait();
    const bool libere = FAutoLibere;
    const QPointer<TQueryThread> vivant(this);
    // A copy: the callback may free the worker, and the callable with it.
    const TNotifyEvent event = FEvent;
    if (event)
        event(this);
    if (libere && vivant)
        deleteLater();
}
