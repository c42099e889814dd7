#include "data/acces/ArretDemande.h"

#include <atomic>

namespace {

std::atomic<bool> gDemande{false};

} // namespace

namespace ArretDemande {

void Demander()
{
    gDemande = true;
}

bool Demande()
{
    return gDemande;
}

void Oublier()
{
    gDemande = false;
}

void Verifier(const QString &aOperation)
{
    if (gDemande)
        throw EDbError(QStringLiteral("%1 interrompue à la demande de l'opérateur").arg(aOperation));
}

} // namespace ArretDemande
