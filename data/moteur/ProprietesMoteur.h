#pragma once

// The database part of an engine's properties, the same for the central
// server and the shops.

#include "data/moteur/FichiersMoteur.h"

inline void SetDatabaseProperties(TNameValueLines &aProperties, const QString &aDatabaseFile)
{
    QString path = aDatabaseFile;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    aProperties.SetValue(QStringLiteral("db.driver"), QStringLiteral("interbase.interclient.Driver"));
    aProperties.SetValue(QStringLiteral("db.url"), EscapeColons(QStringLiteral("jdbc:interbase://localhost:3050/") + path));
    aProperties.SetValue(QStringLiteral("db.user"), QStringLiteral("SYSDBA"));
    aProperties.SetValue(QStringLiteral("db.password"), QStringLiteral("tidestone"));
    aProperties.SetValue(QStringLiteral("db.validation.query"), QStringLiteral("SELECT CAST(1 AS INTEGER) FROM RDB$DATABASE"));
}
