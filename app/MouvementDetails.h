#pragma once

// The details behind the status bar's short texts, shown in its tooltip:
// what an evaluated range holds per table, and the events a sending created.

#include "data/mouvement/Mouvement.h"
#include "data/mouvement/MouvementContenu.h"

#include <QString>

// A table's name as the details show it; a K row without a name says why.
QString NomTableDetail(const TMouvementTableContenu &aTable);

// A table of the range's K rows per table (rich text). Without a direction
// the capture and event columns are left out.
QString DetailsContenuHtml(const TMouvementContenu &aContenu, TSensMouvement aSens);

// The events a sending created and how to follow them (plain text).
QString DetailsEnvoi(const TMouvementEvenements &aCrees, const QString &aBase, const QString &aNoeud);
