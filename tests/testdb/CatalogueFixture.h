#pragma once

#include "TestDatabase.h"

#include "common/MemTable.h"

// Objects of the replicated-table catalogue that would change what other
// suites see (directory rows, trigger rows, CASH relations, capture triggers,
// gap-kit procedures), added to one test database at a time.

// KTB rows for GENPARAM and the width-case tables; CASH table CASHA, CASH
// table CASHLARGE (too wide) and view CASHV; trigger rows: GENPARAM and
// CASHA twice each, ZCLE2 keyed by its primary key, ABSENTE (no such table).
void AddCatalogueFixture(const TTestDatabase &aDb);

// The gap kit's procedures (IVRO_DETECT_GAP, IVRO_DO_GAP, IVRO_MVT_LAME2MAGS)
// and IVRO_PUSH_MISSING_TAVEN. The repair procedures write a row into
// IVRO_GAP_TRACE per row they return; IVRO_DO_GAP fails after its first row
// when IVRO_GAP_ECHEC holds a row.
void AddGapKit(const TTestDatabase &aDb);

// What SymmetricDS leaves in a site database: capture triggers SYM_ON_… on
// GENPARAM and K writing into SYM_DATA, a link between two SYM_ tables, the
// external-function declarations SYM_HEX, SYM_ESCAPE and SYM_RTRIM.
void AddSymmetricDSObjects(const TTestDatabase &aDb);

// A caller's dataset of aColumns text columns C0, C1, …
TMemTable Dataset(int aColumns);
