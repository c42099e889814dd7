#pragma once

#include <QString>
#include <QVariant>

class TDbQuery;

// Writes one column of the GENPARAM row aPrmId back through aQuery, as the
// retail application's own screens do: the row is read whole, then posted.
void EcritColonneGenParam(TDbQuery &aQuery, qint32 aPrmId, const QString &aColonne, const QVariant &aValeur);
