#pragma once

#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

class TDbConnection;
class TDbQuery;

// The one way database work leaves the owner's thread: a job run on a
// thread of its own, on a connection that the owner made and keeps, while
// the owner touches neither the connection nor what the job uses. Its end
// is told on the owner's thread (the thread that created the worker), by a
// queued call, once the thread has ended. Cancel() reaches the running
// statement through the connection. Destroying a worker that still runs
// cancels it and waits for its thread: no thread outlives its owner.
//
// Two forms. The prepared-query form runs one query that the window has
// prepared and frees itself after its completion callback. The job form
// runs any callable; its owner keeps and frees the worker (in or after the
// end callback, or at any time, which cancels and waits).
class TQueryThread : public QThread
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TQueryThread *Sender)>;
    using TTravail = std::function<void(TQueryThread *Sender)>;

    // Created suspended; Start() runs it. aEvent may not free the worker:
    // the worker frees itself once aEvent has returned.
    TQueryThread(TDbConnection *ACnx, TDbQuery *aQuery, TNotifyEvent aEvent);
    // aTravail runs on the worker's thread; an exception it lets out ends it
    // as a failure (FResultat -1, FMessage its text). aEvent, when given,
    // runs on the owner's thread (aParent's) after the thread has ended;
    // with aParent given it may free the worker.
    TQueryThread(TDbConnection *ACnx, TTravail aTravail, TNotifyEvent aEvent = {}, QObject *aParent = nullptr);
    ~TQueryThread() override; // cancels and waits for a job still running

    void Start() { start(); }

    // Any thread: the running statement of the connection is cancelled,
    // and asked again every 200 ms while the worker is being destroyed (a
    // cancellation asked before the statement reaches the server is lost).
    // False when the client can't be asked. Annule() tells a job that loops
    // to stop.
    bool Cancel();
    bool Annule() const { return FAnnule.load(); }

    // On the worker's thread, at the end of a job that wants the
    // connection's detach off the owner's thread: no cancellation reaches
    // the connection any more, and it is closed here (errors ignored). The
    // owner then frees a closed connection.
    void Detacher();

    // The first column of the first row, 0 when there is none, -1 on failure.
    qint32 FResultat = 0;
    // The failure's message when FResultat is -1.
    QString FMessage;

    // The body, on the worker's thread: the job, or for a prepared query, a
    // text beginning with "EXECUTE" is executed, one beginning with "SELECT"
    // is opened (exact upper case, at its first character); anything else
    // runs nothing.
    void Execute();

protected:
    void run() override;

private:
    void Requete();
    void Fin();

    TNotifyEvent FEvent;
    TTravail FTravail;
    TDbConnection *FCnx;
    TDbQuery *FQuery = nullptr;
    bool FAutoLibere = false;
    std::atomic<bool> FAnnule{false};
    // Between a cancellation asked from another thread and the job's
    // detach of the connection.
    QMutex FVerrou;
};
