#include "RoutingFixture.h"

#include "TestDatabase.h"

namespace RoutingFixture {

namespace {
QString Quoted(const QString &aText)
{
    return aText.isEmpty() ? QStringLiteral("NULL")
                           : QLatin1Char('\'') + QString(aText).replace(QLatin1Char('\''), QStringLiteral("''"))
                                 + QLatin1Char('\'');
}
} // namespace

qint64 AddEvent(const TTestDatabase &aDb, const QString &aNodeList, const QString &aEventType, const QString &aTable)
{
    const qint64 id = aDb.Scalar(QStringLiteral("SELECT GEN_ID(GEN_SYM_DATA_DATA_ID, 1) FROM RDB$DATABASE")).toLongLong();
    aDb.Exec(QStringLiteral("INSERT INTO SYM_DATA (DATA_ID, NODE_LIST, TABLE_NAME, EVENT_TYPE, ROW_DATA, "
                            "TRIGGER_HIST_ID, CHANNEL_ID, CREATE_TIME) VALUES (%1, %2, %3, %4, 'K_ID=''1''', 7, "
                            "'reload', CURRENT_TIMESTAMP)")
                 .arg(id)
                 .arg(Quoted(aNodeList), Quoted(aTable), Quoted(aEventType)));
    return id;
}

void AddGap(const TTestDatabase &aDb, qint64 aStart, qint64 aEnd)
{
    aDb.Exec(QStringLiteral("INSERT INTO SYM_DATA_GAP (START_ID, END_ID, STATUS, CREATE_TIME, LAST_UPDATE_HOSTNAME, "
                            "LAST_UPDATE_TIME) VALUES (%1, %2, 'GP', CURRENT_TIMESTAMP, 'lame', CURRENT_TIMESTAMP)")
                 .arg(aStart)
                 .arg(aEnd));
}

void AddBatch(const TTestDatabase &aDb, qint64 aBatchId, const QString &aNode, const QString &aStatus,
              bool aErrorFlag, const QString &aMessage)
{
    const bool erreur = !aMessage.isEmpty();
    aDb.Exec(QStringLiteral("INSERT INTO SYM_OUTGOING_BATCH (BATCH_ID, NODE_ID, CHANNEL_ID, STATUS, LOAD_ID, "
                            "LOAD_FLAG, ERROR_FLAG, DATA_EVENT_COUNT, RELOAD_EVENT_COUNT, SENT_COUNT, SQL_STATE, "
                            "SQL_CODE, SQL_MESSAGE, FAILED_DATA_ID, LAST_UPDATE_HOSTNAME, LAST_UPDATE_TIME, "
                            "CREATE_TIME) VALUES (%1, %2, 'reload', %3, 1, 0, %4, 1, 1, %5, %6, %7, %8, %9, 'lame', "
                            "TIMESTAMP '2026-03-10 14:05:00', CURRENT_TIMESTAMP)")
                 .arg(aBatchId)
                 .arg(Quoted(aNode), Quoted(aStatus))
                 .arg(aErrorFlag ? 1 : 0)
                 .arg(erreur ? 3 : 0)
                 .arg(erreur ? QStringLiteral("'23000'") : QStringLiteral("NULL"))
                 .arg(erreur ? -803 : 0)
                 .arg(Quoted(aMessage))
                 .arg(erreur ? aBatchId * 10 : 0));
}

void AddDataEvent(const TTestDatabase &aDb, qint64 aDataId, qint64 aBatchId, const QString &aRouter)
{
    aDb.Exec(QStringLiteral("INSERT INTO SYM_DATA_EVENT (DATA_ID, BATCH_ID, ROUTER_ID, CREATE_TIME) "
                            "VALUES (%1, %2, %3, CURRENT_TIMESTAMP)")
                 .arg(aDataId)
                 .arg(aBatchId)
                 .arg(Quoted(aRouter)));
}

void Route(const TTestDatabase &aDb, qint64 aDataId, qint64 aBatchId, const QString &aNode, const QString &aStatus,
           bool aErrorFlag, const QString &aMessage)
{
    AddBatch(aDb, aBatchId, aNode, aStatus, aErrorFlag, aMessage);
    AddDataEvent(aDb, aDataId, aBatchId);
}

} // namespace RoutingFixture
