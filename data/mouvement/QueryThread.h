#pragma once

#include <QString>
#include <QThread>

#include <functional>

class TDbConnection;
class TDbQuery;

// Runs one prepared query on a thread of its own so that the window stays
// responsive. Created suspended; Start() runs it. When the query is done,
// the completion callback runs on the user-interface thread while the worker
// waits, then the worker frees itself. It owns neither the connection nor
// the query: the callback's owner frees them.
class TQueryThread : public QThread
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TQueryThread *Sender)>;

    TQueryThread(TDbConnection *ACnx, TDbQuery *aQuery, TNotifyEvent aEvent);

    void Start() { start(); }

    // The first column of the first row, 0 when there is none, -1 on failure.
    qint32 FResultat = 0;
    // The failure's message when FResultat is -1.
    QString FMessage;

    // The body, on the worker's thread: a text beginning with "EXECUTE" is
    // executed, one beginning with "SELECT" is opened (exact upper case, at
    // its first character); anything else runs nothing.
    void Execute();

protected:
    void run() override;

private:
    TNotifyEvent FEvent;
    TDbConnection *FCnx;
    TDbQuery *FQuery;
};
