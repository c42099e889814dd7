#include "data/mouvement/MouvementProgression.h"

#include "common/Erreur.h"
#include "data/mouvement/QueryThread.h"
#include "db/DbConnection.h"
#include "db/DbError.h"
#include "db/DbQuery.h"

const QString KGenerateurSymData = QStringLiteral("GEN_SYM_DATA_DATA_ID");

qint64 ValeurGenerateurSymData(TDbConnection &aCnx)
{
    TDbQuery query(&aCnx);
    query.SQL() << QStringLiteral("SELECT GEN_ID(%1, 0) FROM RDB$DATABASE").arg(KGenerateurSymData);
    query.Open();
    return query.Fields(0).AsLargeInt();
}

TMouvementProgression::TMouvementProgression(std::unique_ptr<TDbConnection> aCnx, int aIntervalleMs)
    : FCnx(std::move(aCnx)), FIntervalleMs(aIntervalleMs)
{
}

TMouvementProgression::~TMouvementProgression()
{
    {
        QMutexLocker lock(&FMutex);
        FStop = true;
        FReveil.wakeAll();
    }
    FWorker.reset();
}

qint64 TMouvementProgression::Depart()
{
    FDepart = ValeurGenerateurSymData(*FCnx);
    return FDepart;
}

void TMouvementProgression::Demarrer()
{
    if (FWorker && FWorker->isRunning())
        return;
    FStop = false;
    FHorloge.start();
    FDerniereReponse = 0;
    FWorker = std::make_unique<TQueryThread>(FCnx.get(), [this](TQueryThread *) { Lectures(); }, TQueryThread::TNotifyEvent(), this);
    FWorker->Start();
}

qint64 TMouvementProgression::Silence() const
{
    const qint64 derniere = FDerniereReponse;
    return derniere < 0 ? -1 : FHorloge.elapsed() - derniere;
}

qint64 TMouvementProgression::Arreter()
{
    {
        QMutexLocker lock(&FMutex);
        FStop = true;
        FReveil.wakeAll();
    }
    if (FWorker)
        FWorker->wait();
    return ValeurGenerateurSymData(*FCnx);
}

void TMouvementProgression::Lectures()
{
    qint64 dernier = -1;
    // Whatever ends the readings, their silence means nothing any more.
    struct TFin
    {
        std::atomic<qint64> &Derniere;
        ~TFin() { Derniere = -1; }
    } fin{FDerniereReponse};
    try {
        for (;;) {
            {
                QMutexLocker lock(&FMutex);
                if (FStop)
                    return;
            }
            const qint64 inseres = ValeurGenerateurSymData(*FCnx) - FDepart;
            FDerniereReponse = FHorloge.elapsed();
            if (inseres != dernier) {
                dernier = inseres;
                emit Avancement(inseres);
            }
            QMutexLocker lock(&FMutex);
            if (!FStop)
                FReveil.wait(&FMutex, QDeadlineTimer(FIntervalleMs));
        }
    } catch (const EDbError &e) {
        emit Echec(e.Message());
    } catch (const std::exception &e) {
        emit Echec(TexteErreur(e));
    }
}
