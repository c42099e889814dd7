#include "cli/ArretRapporte.h"

#include "cli/InterruptWatcher.h"
#include "data/acces/ArretDemande.h"
#include "db/DbConnection.h"
#include "db/DbError.h"

#include <QJsonObject>

TCliResultat RapporteArret(const QString &aMessage)
{
    return TCliResultat()
        .Erreur(QStringLiteral("Erreur : ") + aMessage)
        .Json(QJsonObject{{QStringLiteral("erreur"), aMessage}, {QStringLiteral("interrompu"), true}})
        .Interrompu();
}

TCliResultat AvecArretRapporte(const std::function<TCliResultat()> &aWork)
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
        return RapporteArret(e.Message());
    } catch (const ECliFailure &e) {
        if (!ArretDemande::Demande())
            throw;
        return RapporteArret(e.Message());
    }
}
