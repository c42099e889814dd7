#pragma once

// What a day range holds for a sending: its K rows per table of KTB, and the
// capture definitions that turn each K row into reload events in either
// direction (the movement procedures' own rule: one event per definition of
// K and one per definition of the row's table, on the direction's router,
// with a history row; nothing at all for a K row whose table has no name).

#include "data/mouvement/Mouvement.h"

#include <QList>
#include <QString>

struct TMouvementTableContenu
{
    qint32 KTB_ID = 0;
    bool KTB_IDNul = false;    // K rows whose KTB_ID is NULL (KTB_ID then means nothing)
    QString KTB_NAME;          // empty when KTB has no row for KTB_ID
    qint32 Quantite = 0;       // K rows of the range
    qint32 CapturesLame2Mag = 0; // the table's definitions on "lame_vers_mags"
    qint32 CapturesMag2Lame = 0; // on "mags_vers_lame"

    // False when the procedures skip these rows altogether (no KTB row, or
    // a blank name).
    bool NomValide() const;
    qint32 Captures(TSensMouvement aSens) const;
};

struct TMouvementContenu
{
    QList<TMouvementTableContenu> Tables; // most rows first, then by name
    qint32 CapturesKLame2Mag = 0;   // definitions of K itself
    qint32 CapturesKMag2Lame = 0;

    qint32 CapturesK(TSensMouvement aSens) const;
    qint32 Quantite() const;
    // A definition of the table in that direction: its rows travel, not
    // only their K rows.
    bool Capturee(TSensMouvement aSens, const TMouvementTableContenu &aTable) const { return aTable.Captures(aSens) > 0; }
    // Reload events the range procedure creates for these rows.
    qint64 Evenements(TSensMouvement aSens, const TMouvementTableContenu &aTable) const;
    qint64 Evenements(TSensMouvement aSens) const;
};
