#pragma once

#include "db/DbQuery.h"

#include <QStringList>

// A stored procedure called by name: its parameters are read from the
// server when it is prepared, then set by name before ExecProc.
class TDbStoredProc
{
public:
    explicit TDbStoredProc(TDbConnection *aConnection, TDbTransaction *aTransaction = nullptr);

    void SetStoredProcName(const QString &aName);
    const QString &StoredProcName() const { return FName; }

    void Prepare();
    bool Prepared() const { return FPrepared; }
    const QStringList &InputNames() const { return FInputs; }
    const QStringList &OutputNames() const { return FOutputs; }

    // Inputs before ExecProc; outputs hold their values after it.
    TDbParam &ParamByName(const QString &aName);
    void ExecProc();

private:
    TDbConnection *FConnection;
    TDbTransaction *FTransaction;
    QString FName;
    bool FPrepared = false;
    QStringList FInputs;
    QStringList FOutputs;
    TDbQuery FCall;
    TDbParams FOutputValues;
};
