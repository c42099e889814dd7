#include "data/mouvement/QueryThread.h"

#include "db/DbError.h"
#include "db/DbQuery.h"

#include <QCoreApplication>

TQueryThread::TQueryThread(TDbConnection *ACnx, TDbQuery *aQuery, TNotifyEvent aEvent)
    : FEvent(std::move(aEvent)), FCnx(ACnx), FQuery(aQuery)
{
    // The worker lives on the user-interface thread; it is deleted there
    // once its thread has finished.
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TQueryThread::Execute()
{
    FResultat = 0;
    FMessage.clear();
    try {
        if (FQuery->SQLText().startsWith(QLatin1String("EXECUTE")))
            FQuery->ExecSQL();
        if (FQuery->SQLText().startsWith(QLatin1String("SELECT")))
            FQuery->Open();
        if (FQuery->Active() && !FQuery->IsEmpty())
            FResultat = FQuery->Fields(0).AsInteger();
    } catch (const EDbError &e) {
        FResultat = -1;
        FMessage = e.Message();
    } catch (const std::exception &e) {
        FResultat = -1;
        FMessage = QString::fromUtf8(e.what());
    } catch (...) {
        FResultat = -1;
        FMessage = QStringLiteral("Erreur inconnue");
    }
}

void TQueryThread::run()
{
    Execute();
    if (FEvent)
        QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { FEvent(this); },
                                  Qt::BlockingQueuedConnection);
}
