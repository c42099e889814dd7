#pragma once

// The range procedures in the form that looks the capture definitions up
// once per table and sending instead of once per K row. The per-row
// procedures read SYM_TRIGGER, SYM_TRIGGER_ROUTER and SYM_TRIGGER_HIST in
// full for every K row (the engine gives them no index that helps), so a
// sending costs K rows × definitions. This form runs the same cursor over K
// and, the first time a table of KTB is met, the per-row procedure's two
// SELECTs (the definitions of K, then the table's), keeping their rows in
// their order in a global temporary table; every K row then gets its events
// from there, one INSERT … VALUES each: the same rows, in the same order,
// with the same CREATE_TIME, inside the caller's one transaction. The
// per-row procedures stay installed as shipped.

#include "data/mouvement/Mouvement.h"

#include <QString>
#include <QStringList>

class TDbConnection;

// The movement script's lines with its two range procedures in this form.
// EDbError when the script doesn't hold them.
QStringList MouvementAvecDefinitionsResolues(const QStringList &aLignes);

// Makes the temporary table and its index when they are missing (never
// dropped: another sending may be using them). Empty text when the table
// is there, ours, with its index; otherwise why not (an older server
// without global temporary tables, or an object of that name that is not
// ours), and the sending keeps the procedures as shipped.
QString MouvementPrepareDefinitions(TDbConnection *aCnx);

// What the operator is told, once, when the sending falls back to the
// procedures as shipped.
QString MouvementTexteSansDefinitions(const QString &aRaison);
