#include "common/Erreur.h"

#include <system_error>

EIvroErreur::EIvroErreur(const QString &aMessage) : std::runtime_error(aMessage.toStdString()), FMessage(aMessage) {}

QString TexteErreur(const std::exception &aErreur)
{
    if (const auto *nous = dynamic_cast<const EIvroErreur *>(&aErreur))
        return nous->Message();
    if (dynamic_cast<const std::system_error *>(&aErreur))
        return QString::fromLocal8Bit(aErreur.what());
    return QString::fromUtf8(aErreur.what());
}
