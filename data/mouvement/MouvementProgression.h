#pragma once

// How far a sending got, read while the range procedure runs: on a
// connection and a thread of its own, the value of the SYM_DATA generator,
// which every inserted event moves. Generators live outside transactions,
// so the value moves while the procedure's own transaction is still open;
// reading it takes no lock and touches no row that the sending writes.

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <atomic>
#include <memory>

class TDbConnection;
class TQueryThread;

// The generator that numbers SYM_DATA rows, as the engine creates it.
extern const QString KGenerateurSymData;

// The generator's current value on that connection, without moving it.
// Raises EDbError (no such generator, server out of reach).
qint64 ValeurGenerateurSymData(TDbConnection &aCnx);

// The readings are one job on a worker, which waits out the interval
// between two of them; stopping wakes it.
class TMouvementProgression : public QObject
{
    Q_OBJECT

public:
    // Takes the connection over; it is used by one thread at a time: the
    // owner's, or the worker's while the readings go on.
    explicit TMouvementProgression(std::unique_ptr<TDbConnection> aCnx, int aIntervalleMs = 500);
    ~TMouvementProgression() override; // stops, cancels a reading under way and waits

    // The value before the sending, read on the caller's thread; the
    // reports count from it. Raises EDbError.
    qint64 Depart();
    // Starts reading every interval; Avancement reports each new value.
    void Demarrer();
    // Stops the readings and waits for the thread; then reads the value
    // once more, on the caller's thread (the end of the sending's range).
    // Raises EDbError.
    qint64 Arreter();
    // Milliseconds since the server last answered a reading (thread-safe);
    // -1 once the readings have failed or stopped.
    qint64 Silence() const;

signals:
    // Generator values taken since the start: events inserted by the sending
    // (and by any capture on the site meanwhile). Delivered to the owner's
    // thread by a queued connection.
    void Avancement(qint64 aInseres);
    // A reading failed: the readings stop, the sending goes on.
    void Echec(const QString &aMessage);

private:
    // On the worker's thread, until stopped.
    void Lectures();

    std::unique_ptr<TDbConnection> FCnx;
    int FIntervalleMs;
    qint64 FDepart = 0;
    QMutex FMutex;
    QWaitCondition FReveil;
    bool FStop = false;
    QElapsedTimer FHorloge;
    std::atomic<qint64> FDerniereReponse{-1}; // on FHorloge; -1: no reading goes on
    // Last: destroyed first, while the connection it reads on still exists.
    std::unique_ptr<TQueryThread> FWorker;
};
