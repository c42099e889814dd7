#pragma once

#include <QString>
#include <QVariant>

class TDbQuery;

// The GENPARAM row that aQuery's statement, ready to open, selects (with its
// PRM_ID): one column of it written back as the retail application's own
// screens do (the row read whole, then posted), when it is the only one.
// None or several: false and nothing written, since which one the engine
// reads would be unknown.
bool EcritGenParamUnique(TDbQuery &aQuery, const QString &aColonne, const QVariant &aValeur);
