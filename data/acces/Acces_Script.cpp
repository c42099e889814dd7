#include "data/acces/Acces.h"
#include "data/acces/ScriptText.h"

#include "db/DbError.h"
#include "db/DbScript.h"

// Runs a script held as lines, chunk by chunk: a line beginning with "^"
// ends a chunk; a line holding "^" elsewhere is dropped. Each chunk commits
// on its own; a failing chunk makes the result false and the run goes on.
bool TAcces::ExecuteScript(const QString &ABaseDonnees, const QStringList &Asql, QStringList *aErreurs)
{
    if (ABaseDonnees.isEmpty())
        return true;
    std::unique_ptr<TDbConnection> cnx = getNewConnexion(SysdbaRef(ABaseDonnees));
    return ExecuteScriptSur(cnx.get(), Asql, aErreurs);
}

bool TAcces::ExecuteScriptSur(TDbConnection *aCnx, const QStringList &Asql, QStringList *aErreurs)
{
    bool result = true;
    std::unique_ptr<TDbQuery> query = getNewQuery(aCnx);
    TDbScript runner(aCnx);
    runner.SetErrorPolicy(TDbScript::TErrorPolicy::StopAndRaise);

    int etape = 0;
    auto runChunk = [&](const QString &aBuffer) {
        ++etape;
        try {
            QString trimmed = aBuffer;
            while (!trimmed.isEmpty() && trimmed.front().unicode() <= 32)
                trimmed.remove(0, 1);
            if (trimmed.toUpper().startsWith(QLatin1String("EXECUTE PROCEDURE "))) {
                query->Close();
                query->SQL() = QStringList{aBuffer};
                query->Prepare();
                query->ExecSQL();
            } else {
                runner.ExecuteChunk(aBuffer);
            }
        } catch (const EDbError &e) {
            result = false;
            if (aErreurs)
                *aErreurs << QStringLiteral("étape %1 (%2) : %3")
                                 .arg(etape)
                                 .arg(TrimBlanks(TrimBlanks(aBuffer).section(QLatin1Char('\n'), 0, 0)), e.Message());
        }
    };

    ForEachScriptChunk(Asql, [&](const QString &aChunk) {
        runChunk(aChunk);
        return true;
    });
    return result;
}

void ForEachScriptChunk(const QStringList &aLines, const std::function<bool(const QString &)> &aRun)
{
    QString buffer;
    for (const QString &line : aLines) {
        if (!line.contains(QLatin1Char('^')))
            buffer += QStringLiteral("\r\n") + line;
        if (line.startsWith(QLatin1Char('^'))) {
            if (!aRun(buffer))
                return;
            buffer.clear();
        }
    }
}
