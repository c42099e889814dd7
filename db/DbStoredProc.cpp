#include "db/DbStoredProc.h"

#include "db/DbError.h"

namespace {
QString storedName(const QString &aName)
{
    // Unquoted names are kept in upper case by the server.
    if (aName.startsWith(QLatin1Char('"')) && aName.endsWith(QLatin1Char('"')) && aName.size() >= 2)
        return aName.mid(1, aName.size() - 2);
    return aName.toUpper();
}
} // namespace

TDbStoredProc::TDbStoredProc(TDbConnection *aConnection, TDbTransaction *aTransaction)
    : FConnection(aConnection), FTransaction(aTransaction), FCall(aConnection, aTransaction)
{
}

void TDbStoredProc::SetStoredProcName(const QString &aName)
{
    FName = aName;
    FPrepared = false;
}

void TDbStoredProc::Prepare()
{
    const QString name = storedName(FName);
    TDbQuery q(FConnection, FTransaction);
    q.SQL() << QStringLiteral("SELECT P.RDB$PARAMETER_NAME, P.RDB$PARAMETER_TYPE FROM RDB$PROCEDURE_PARAMETERS P")
            << QStringLiteral(" WHERE P.RDB$PROCEDURE_NAME = :NAME ORDER BY P.RDB$PARAMETER_TYPE, P.RDB$PARAMETER_NUMBER");
    q.ParamByName(QStringLiteral("NAME")).SetAsString(name);
    q.Open();
    FInputs.clear();
    FOutputs.clear();
    for (; !q.Eof(); q.Next())
        (q.Fields(1).AsInteger() == 0 ? FInputs : FOutputs) << q.Fields(0).AsString();

    QStringList placeholders;
    for (const QString &input : FInputs)
        placeholders << QLatin1Char(':') + input;
    QString call = QStringLiteral("EXECUTE PROCEDURE \"%1\"").arg(QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")));
    if (!placeholders.isEmpty())
        call += QLatin1Char('(') + placeholders.join(QLatin1Char(',')) + QLatin1Char(')');
    FCall.SQL() = QStringList{call};
    FCall.Prepare(); // an unknown procedure is reported here, in the server's words
    FOutputValues = TDbParams();
    for (const QString &output : FOutputs)
        FOutputValues.Add(output);
    FPrepared = true;
}

TDbParam &TDbStoredProc::ParamByName(const QString &aName)
{
    if (!FPrepared)
        Prepare();
    if (TDbParam *p = FCall.Params().Find(aName))
        return *p;
    return FOutputValues.ByName(aName);
}

void TDbStoredProc::ExecProc()
{
    if (!FPrepared)
        Prepare();
    FCall.Open();
    if (!FCall.IsEmpty())
        for (int i = 0; i < FOutputs.size(); ++i)
            FOutputValues.ByName(FOutputs[i]).SetValue(FCall.Fields(i).AsVariant());
    FCall.Close();
}
