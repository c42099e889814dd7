#pragma once

// The details behind the status bar's short texts, shown in its tooltip:
// what an evaluated range holds per table, and the events a sending created.

#include "data/mouvement/Movement.h"
#include "data/mouvement/MvtContenu.h"

#include <QString>

// A table's name as the details show it; a K row without a name says why.
QString NomTableDetail(const TMvtTableContenu &aTable);

// A table of the range's K rows per table (rich text). Without a direction
// the capture and event columns are left out.
QString DetailsContenuHtml(const TMvtContenu &aContenu, TSensMvt aSens);

// The events a sending created and how to follow them (plain text).
QString DetailsEnvoi(const TMvtEvenements &aCrees, const QString &aBase, const QString &aNoeud);
