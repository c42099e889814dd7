#pragma once

// A site's identity as the retail tables hold it: the sites of the network,
// the local site's generator parameter, its passage parameter, its launch
// and replication rows, shops and schema versions. Every row has its
// enabled key row in K, key row 0 included.

#include <QString>

class TTestDatabase;

namespace IdentityFixture {

// Sites (BAS_ID / BAS_IDENT / BAS_SENDER):
//   0   / ''  / ''               placeholder row, no GUID
//   101 / '0' / SERVEUR-CENTRAL  the site with identifier 0, dossier "DOSSIER TEST"
//   102 / '12'/ MAGASIN-PARIS    the local site (IDGENERATEUR = 12), shop 501
//   103 / '5' / Portable-Sync
//   104 / '7' / MAGASIN-ARRET    key row disabled
//   105 / '8' / MAGASIN-NEUF     empty GUID
//   106 / '9' / MAGASIN-SANS     NULL GUID
void AddSites(const TTestDatabase &aDb);

// The passage parameter of the local site: PRM_ID 201, state 3, date 46000.5.
void AddPassage(const TTestDatabase &aDb);

// Launch 301 of the local site with replication row 401 (order 1) to aUrl,
// database location "d:\bases\site.ib".
void AddReplication(const TTestDatabase &aDb, const QString &aUrl = QStringLiteral("http://lame.example:8080/sync/lame"));

// A row with its key row in K (enabled or not) in one go.
void AddKeyed(const TTestDatabase &aDb, int aId, const QString &aInsert, bool aEnabled = true);

// The K_VERSION of key row aId (-1 when there is none).
int KVersion(const TTestDatabase &aDb, int aId);

} // namespace IdentityFixture
