#include "data/acces/Acces.h"

#include "db/DbError.h"

#include <QRegularExpression>


TEmplacementBase EmplacementBase(const QString &aBase)
{
    TEmplacementBase lieu;
    lieu.Chemin = aBase;
    // The server's own form "server/port:path": the path may then hold "/".
    static const QRegularExpression avecPort(QStringLiteral("^([^/:]+)/([0-9]+):(.+)$"));
    if (const QRegularExpressionMatch m = avecPort.match(aBase); m.hasMatch()) {
        bool ok = false;
        const int port = m.captured(2).toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            throw EDbError(QStringLiteral("Port invalide dans \"%1\" : %2 (de 1 à 65535).")
                               .arg(aBase, m.captured(2)));
        lieu.Serveur = m.captured(1);
        lieu.Port = port;
        lieu.Chemin = m.captured(3);
        return lieu;
    }
    // "server/path" names a server; a path with no "/" or with several is local.
    QStringList pieces = aBase.split(QLatin1Char('/'));
    if (pieces.size() > 1 && pieces.last().isEmpty())
        pieces.removeLast();
    if (pieces.size() == 2) {
        lieu.Serveur = pieces[0];
        lieu.Chemin = pieces[1];
        // "server:port/path" would reach no server and read as a missing database.
        static const QRegularExpression portAvant(QStringLiteral("^([^:]+):([0-9]+)$"));
        if (const QRegularExpressionMatch m = portAvant.match(lieu.Serveur); m.hasMatch())
            throw EDbError(QStringLiteral("\"%1\" : le port s'écrit après la barre, SERVEUR/PORT:CHEMIN (ici %2/%3:%4).")
                               .arg(aBase, m.captured(1), m.captured(2), lieu.Chemin));
    }
    return lieu;
}

QString SysdbaRef(const QString &ABaseDonnees)
{
    return QStringLiteral("SYSDBA@") + ABaseDonnees;
}

QString TConnectionDef::Param(const QString &aKey) const
{
    const QString prefix = aKey + QLatin1Char('=');
    for (const QString &line : Params)
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return {};
}

void TAcces::CreateInFDManager(const QString &aUser, const QString &aFile)
{
    const QString name = QStringLiteral("%1@%2").arg(aUser, aFile);
    for (const TConnectionDef &def : std::as_const(FDefinitions))
        if (def.Name == name)
            throw EDbError(QStringLiteral("La définition de connexion [%1] existe déjà").arg(name));

    const TEmplacementBase lieu = EmplacementBase(aFile);
    TConnectionDef def;
    def.Name = name;
    def.DriverID = QStringLiteral("IB");
    def.Params << QStringLiteral("DriverID=IB") << QStringLiteral("Server=") + lieu.Serveur
               << QStringLiteral("Protocol=TCPIP") << QStringLiteral("Port=%1").arg(lieu.Port)
               << QStringLiteral("Database=") + lieu.Chemin;
    if (aUser == QLatin1String("SYSDBA"))
        def.Params << QStringLiteral("User_Name=SYSDBA") << QStringLiteral("Password=tidestone");
    if (aUser == QLatin1String("KORVALA"))
        def.Params << QStringLiteral("User_Name=KORVALA") << QStringLiteral("Password=plumvox");
    FDefinitions.append(def);
}

void TAcces::FreeInfFDManager(const QString &aRef)
{
    for (qsizetype i = FDefinitions.size() - 1; i >= 0; --i)
        if (FDefinitions[i].Name == aRef) {
            FDefinitions.removeAt(i);
            return;
        }
}

std::unique_ptr<TDbConnection> TAcces::getNewConnexion(const QString &aRef)
{
    const TConnectionDef *def = nullptr;
    for (const TConnectionDef &d : std::as_const(FDefinitions))
        if (d.Name == aRef) {
            def = &d;
            break;
        }
    if (!def) {
        const qsizetype at = aRef.indexOf(QLatin1Char('@'));
        CreateInFDManager(at < 0 ? aRef : aRef.left(at), at < 0 ? QString() : aRef.mid(at + 1));
        def = &FDefinitions.last();
    }
    TDbConnectionParams params;
    params.Server = def->Param(QStringLiteral("Server"));
    params.Port = def->Param(QStringLiteral("Port")).toInt();
    params.Database = def->Param(QStringLiteral("Database"));
    params.UserName = def->Param(QStringLiteral("User_Name"));
    params.Password = def->Param(QStringLiteral("Password"));
    return std::make_unique<TDbConnection>(params); // closed: it attaches on first use
}

std::unique_ptr<TDbQuery> TAcces::getNewQuery(TDbConnection *aConnection, TDbTransaction *aTrans)
{
    return std::make_unique<TDbQuery>(aConnection, aTrans);
}

std::unique_ptr<TDbStoredProc> TAcces::getNewStoredProc(TDbConnection *AConnexion, TDbTransaction *ATransaction,
                                                          const QString &ANomProcedure)
{
    auto proc = std::make_unique<TDbStoredProc>(AConnexion, ATransaction);
    proc->SetStoredProcName(ANomProcedure);
    proc->Prepare();
    return proc;
}
