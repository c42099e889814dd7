#include "cli/ArretRapporte.h"

#include "cli/InterruptWatcher.h"
#include "data/acces/ArretDemande.h"
#include "db/DbConnection.h"
#include "db/DbError.h"

#include <QJsonObject>

int RapporteArret(TCliContext &aCtx, const QString &aMessage)
{
    aCtx.PrintError(QStringLiteral("Erreur : ") + aMessage);
    if (aCtx.Json)
        aCtx.PrintJson(QJsonObject{{QStringLiteral("erreur"), aMessage}, {QStringLiteral("interrompu"), true}});
    return Interruption::Requested() ? Interruption::Interrupted() : 130;
}

int AvecArretRapporte(TCliContext &aCtx, const std::function<int()> &aWork)
{
    ArretDemande::Oublier();
    const TInterruptScope interruption(QStringLiteral("Commande interrompue."), [] {
        ArretDemande::Demander();
        TDbConnection::AbandonAll();
        // The operation reports how far it went, then the process ends.
        return false;
    });
    try {
        return aWork();
    } catch (const EDbError &e) {
        if (!ArretDemande::Demande())
            throw;
        return RapporteArret(aCtx, e.Message());
    } catch (const ECliFailure &e) {
        if (!ArretDemande::Demande())
            throw;
        return RapporteArret(aCtx, e.Message());
    }
}
