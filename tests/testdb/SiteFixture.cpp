#include "SiteFixture.h"

#include "TestDatabase.h"

namespace SiteFixture {

void AddDefinition(const TTestDatabase &aDb, const QString &aId, const QString &aTable, const QString &aChannel,
                   const QString &aKeyNames, const QStringList &aRouters, const QList<int> &aHist)
{
    aDb.Exec(QStringLiteral("INSERT INTO SYM_TRIGGER (TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, SYNC_KEY_NAMES, "
                            "CREATE_TIME, LAST_UPDATE_TIME) VALUES ('%1', '%2', '%3', %4, CURRENT_TIMESTAMP, "
                            "CURRENT_TIMESTAMP)")
                 .arg(aId, aTable, aChannel, aKeyNames.isNull() ? QStringLiteral("NULL") : "'" + aKeyNames + "'"));
    for (const QString &router : aRouters)
        aDb.Exec(QStringLiteral("INSERT INTO SYM_TRIGGER_ROUTER (TRIGGER_ID, ROUTER_ID, CREATE_TIME, LAST_UPDATE_TIME) "
                                "VALUES ('%1', '%2', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)")
                     .arg(aId, router));
    for (int hist : aHist)
        aDb.Exec(QStringLiteral("INSERT INTO SYM_TRIGGER_HIST (TRIGGER_HIST_ID, TRIGGER_ID, SOURCE_TABLE_NAME, "
                                "COLUMN_NAMES, PK_COLUMN_NAMES, LAST_TRIGGER_BUILD_REASON, CREATE_TIME) "
                                "VALUES (%1, '%2', '%3', 'ID', 'ID', 'N', CURRENT_TIMESTAMP)")
                     .arg(hist)
                     .arg(aId, aTable));
}

namespace {
QString literal(const TDateTime &aValue)
{
    if (aValue.IsZero())
        return QStringLiteral("NULL");
    return QStringLiteral("'%1'").arg(aValue.ToQDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
}

void addHost(const TTestDatabase &aDb, const QString &aNode, const QString &aHost, const TDateTime &aHeartbeat)
{
    aDb.Exec(QStringLiteral("INSERT INTO SYM_NODE_HOST (NODE_ID, HOST_NAME, HEARTBEAT_TIME, LAST_RESTART_TIME, "
                            "CREATE_TIME) VALUES ('%1', '%2', %3, CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)")
                 .arg(aNode, aHost, literal(aHeartbeat)));
}
} // namespace

void AddLocalNode(const TTestDatabase &aDb, const QString &aLocalNode, const QString &aLocalGroup)
{
    aDb.Exec(QStringLiteral("INSERT INTO SYM_NODE (NODE_ID, NODE_GROUP_ID, EXTERNAL_ID, SYNC_ENABLED) "
                            "VALUES ('%1', '%2', '%1', 1)").arg(aLocalNode, aLocalGroup));
    aDb.Exec(QStringLiteral("INSERT INTO SYM_NODE_IDENTITY (NODE_ID) VALUES ('%1')").arg(aLocalNode));
    addHost(aDb, aLocalNode, aLocalNode + QStringLiteral("-host"), TDateTime::Now());
}

void AddRemoteNode(const TTestDatabase &aDb, const QString &aNode, const QString &aGroup, const TDateTime &aHeartbeat,
                   int aHosts)
{
    aDb.Exec(QStringLiteral("INSERT INTO SYM_NODE (NODE_ID, NODE_GROUP_ID, EXTERNAL_ID, SYNC_ENABLED) "
                            "VALUES ('%1', '%2', '%1', 1)").arg(aNode, aGroup));
    for (int h = 1; h <= aHosts; ++h)
        addHost(aDb, aNode, QStringLiteral("%1-h%2").arg(aNode).arg(h), aHeartbeat);
}

void AddCaptureConfig(const TTestDatabase &aDb)
{
    aDb.Exec(QStringLiteral(
        "INSERT INTO KTB (KTB_ID, KTB_NAME, KTB_DATA) VALUES (1, 'ARTICLE', 'ART_ID,ART_NOM')\n^\n"
        "INSERT INTO SYM_TRIGGER (TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, SYNC_KEY_NAMES, CREATE_TIME, "
        "LAST_UPDATE_TIME) VALUES ('K', 'K', 'ch_k', 'K_ID', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)\n^\n"
        "INSERT INTO SYM_TRIGGER (TRIGGER_ID, SOURCE_TABLE_NAME, CHANNEL_ID, SYNC_KEY_NAMES, CREATE_TIME, "
        "LAST_UPDATE_TIME) VALUES ('ARTICLE', 'ARTICLE', 'ch_art', 'ART_ID', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)\n^\n"
        "INSERT INTO SYM_TRIGGER_ROUTER (TRIGGER_ID, ROUTER_ID, CREATE_TIME, LAST_UPDATE_TIME) "
        "SELECT T.TRIGGER_ID, R.ROUTER_ID, CURRENT_TIMESTAMP, CURRENT_TIMESTAMP FROM SYM_TRIGGER T "
        "CROSS JOIN (SELECT 'lame_vers_mags' AS ROUTER_ID FROM RDB$DATABASE UNION ALL "
        "SELECT 'mags_vers_lame' FROM RDB$DATABASE) R\n^\n"
        "INSERT INTO SYM_ROUTER (ROUTER_ID, SOURCE_NODE_GROUP_ID, TARGET_NODE_GROUP_ID, ROUTER_TYPE, CREATE_TIME, "
        "LAST_UPDATE_TIME) VALUES ('lame_vers_mags', 'lame', 'mags', 'default', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)\n^\n"
        "INSERT INTO SYM_ROUTER (ROUTER_ID, SOURCE_NODE_GROUP_ID, TARGET_NODE_GROUP_ID, ROUTER_TYPE, CREATE_TIME, "
        "LAST_UPDATE_TIME) VALUES ('mags_vers_lame', 'mags', 'lame', 'default', CURRENT_TIMESTAMP, CURRENT_TIMESTAMP)\n^\n"
        "INSERT INTO SYM_TRIGGER_HIST (TRIGGER_HIST_ID, TRIGGER_ID, SOURCE_TABLE_NAME, COLUMN_NAMES, PK_COLUMN_NAMES, "
        "LAST_TRIGGER_BUILD_REASON, CREATE_TIME) VALUES (1, 'K', 'K', 'K_ID', 'K_ID', 'N', CURRENT_TIMESTAMP)\n^\n"
        "INSERT INTO SYM_TRIGGER_HIST (TRIGGER_HIST_ID, TRIGGER_ID, SOURCE_TABLE_NAME, COLUMN_NAMES, PK_COLUMN_NAMES, "
        "LAST_TRIGGER_BUILD_REASON, CREATE_TIME) VALUES (2, 'ARTICLE', 'ARTICLE', 'ART_ID', 'ART_ID', 'N', "
        "CURRENT_TIMESTAMP)\n^\n"
        "INSERT INTO SYM_TRIGGER_HIST (TRIGGER_HIST_ID, TRIGGER_ID, SOURCE_TABLE_NAME, COLUMN_NAMES, PK_COLUMN_NAMES, "
        "LAST_TRIGGER_BUILD_REASON, CREATE_TIME) VALUES (7, 'K', 'K', 'K_ID', 'K_ID', 'S', CURRENT_TIMESTAMP)\n^\n"
        "INSERT INTO SYM_TRIGGER_HIST (TRIGGER_HIST_ID, TRIGGER_ID, SOURCE_TABLE_NAME, COLUMN_NAMES, PK_COLUMN_NAMES, "
        "LAST_TRIGGER_BUILD_REASON, CREATE_TIME) VALUES (8, 'ARTICLE', 'ARTICLE', 'ART_ID', 'ART_ID', 'S', "
        "CURRENT_TIMESTAMP)\n^\n"));
}

void AddKRows(const TTestDatabase &aDb, int aFirstId, int aCount, const TDateTime &aUpdated, int aKtbId)
{
    // One set-based insert: thousands of rows stay fast.
    aDb.Exec(QStringLiteral(
                 "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < %2) DO BEGIN "
                 "INSERT INTO K (K_ID, KTB_ID, K_VERSION, K_ENABLED, K_INSERTED, K_UPDATED) "
                 "VALUES (%1 + :I, %4, 1, 1, DATEADD(:I SECOND TO TIMESTAMP '2020-01-01 00:00:00'), %3); "
                 "I = I + 1; END END")
                 .arg(aFirstId).arg(aCount).arg(literal(aUpdated)).arg(aKtbId));
}

void MakeSite(const TTestDatabase &aDb, const QString &aLocalGroup, int aKRows, const QDate &aDay)
{
    const QString remoteGroup = aLocalGroup == QLatin1String("lame") ? QStringLiteral("mags") : QStringLiteral("lame");
    AddLocalNode(aDb, QStringLiteral("serveur"), aLocalGroup);
    // Both heard from lately: sending to them calls for no warning.
    AddRemoteNode(aDb, QStringLiteral("mag-001"), remoteGroup, TDateTime::Now().AddMSecs(-10 * 60 * 1000));
    AddRemoteNode(aDb, QStringLiteral("mag-002"), remoteGroup, TDateTime::Now().AddMSecs(-2 * 3600 * 1000));
    AddCaptureConfig(aDb);
    if (aKRows > 0)
        AddKRows(aDb, 1, aKRows, TDateTime::FromQDate(aDay).AddMSecs(12 * 3600 * 1000));
}

} // namespace SiteFixture
