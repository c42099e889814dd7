#pragma once

#include <QList>
#include <QString>

class TDbConnection;
class TDbTransaction;

// Runs data-definition statements one chunk at a time, as the server gets
// them: no parameter parsing, so procedure bodies keep their ":VAR".
class TDbScript
{
public:
    enum class TErrorPolicy {
        StopAndRaise,     // the first error is raised to the caller
        RecordAndContinue // the failing statement and its message are kept
    };
    struct TScriptError
    {
        QString Statement;
        QString Message;
    };

    explicit TDbScript(TDbConnection *aConnection, TDbTransaction *aTransaction = nullptr);

    void SetErrorPolicy(TErrorPolicy aPolicy) { FPolicy = aPolicy; }
    TErrorPolicy ErrorPolicy() const { return FPolicy; }

    // True when the chunk ran, or holds nothing to run, or drops an object
    // that does not exist. Under RecordAndContinue a failure returns false.
    bool ExecuteChunk(const QString &aChunk);

    const QList<TScriptError> &Errors() const { return FErrors; }
    void ClearErrors() { FErrors.clear(); }

private:
    // Runs one statement once, in its own transaction unless one is in force.
    void Execute(const QString &aSql);
    TDbConnection *FConnection;
    TDbTransaction *FTransaction;
    TErrorPolicy FPolicy = TErrorPolicy::StopAndRaise;
    QList<TScriptError> FErrors;
};
