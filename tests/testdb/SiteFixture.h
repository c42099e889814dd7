#pragma once

// Rows that make a test database look like a replicated site: its node
// identity, remote nodes with hosts, the capture configuration of K and of a
// business table, and K rows updated on given days.

#include "common/DateTime.h"

#include <QList>
#include <QString>
#include <QStringList>

class TTestDatabase;

namespace SiteFixture {

// The local node aLocalNode of group aLocalGroup, with its host row.
void AddLocalNode(const TTestDatabase &aDb, const QString &aLocalNode, const QString &aLocalGroup);
// A remote node with aHosts host rows; a null heartbeat leaves it NULL.
void AddRemoteNode(const TTestDatabase &aDb, const QString &aNode, const QString &aGroup,
                   const TDateTime &aHeartbeat = TDateTime(), int aHosts = 1);

// Capture definitions: K and ARTICLE (table ARTICLE, KTB_ID 1, key ART_ID),
// each on both routers "lame_vers_mags" (lame to mags) and "mags_vers_lame"
// (mags to lame), the routers declared in SYM_ROUTER, with two
// history rows each (the newest has the highest id).
void AddCaptureConfig(const TTestDatabase &aDb);

// One capture definition aId of aTable: its router rows and history ids
// (none: no history); null key names stay NULL.
void AddDefinition(const TTestDatabase &aDb, const QString &aId, const QString &aTable, const QString &aChannel,
                   const QString &aKeyNames, const QStringList &aRouters, const QList<int> &aHist);

// aCount K rows of KTB 1 (ARTICLE), K_ID from aFirstId, all updated at aUpdated
// (inserted one second apart, so K_INSERTED orders them).
void AddKRows(const TTestDatabase &aDb, int aFirstId, int aCount, const TDateTime &aUpdated, int aKtbId = 1);

// All of it: local node "serveur" of aLocalGroup, remote shops "mag-001",
// "mag-002", aKRows rows updated at noon on aDay.
void MakeSite(const TTestDatabase &aDb, const QString &aLocalGroup, int aKRows, const QDate &aDay);

} // namespace SiteFixture
