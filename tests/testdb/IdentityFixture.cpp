#include "IdentityFixture.h"

#include "TestDatabase.h"

namespace IdentityFixture {

void AddKeyed(const TTestDatabase &aDb, int aId, const QString &aInsert, bool aEnabled)
{
    aDb.Exec(QStringLiteral("INSERT INTO K (K_ID, KTB_ID, K_VERSION, K_ENABLED, K_INSERTED, K_UPDATED) "
                            "VALUES (%1, 0, 1, %2, TIMESTAMP '2020-01-01 00:00:00', TIMESTAMP '2020-01-01 00:00:00')")
                 .arg(aId)
                 .arg(aEnabled ? 1 : 0));
    aDb.Exec(aInsert);
}

void AddSites(const TTestDatabase &aDb)
{
    const QString site = QStringLiteral(
        "INSERT INTO GENBASES (BAS_ID, BAS_NOM, BAS_IDENT, BAS_SENDER, BAS_GUID, BAS_NOMPOURNOUS, BAS_MAGID) "
        "VALUES (%1, %2, %3, %4, %5, %6, %7)");
    AddKeyed(aDb, 0, site.arg("0", "''", "''", "''", "NULL", "NULL", "0"));
    AddKeyed(aDb, 101, site.arg("101", "'CENTRALE'", "'0'", "'SERVEUR-CENTRAL'",
                                "'{00000000-0000-0000-0000-000000000101}'", "'DOSSIER TEST'", "0"));
    AddKeyed(aDb, 102, site.arg("102", "'PARIS'", "'12'", "'MAGASIN-PARIS'",
                                "'{00000000-0000-0000-0000-000000000102}'", "'DOSSIER TEST'", "501"));
    AddKeyed(aDb, 103, site.arg("103", "'NOMADE'", "'5'", "'Portable-Sync'",
                                "'{00000000-0000-0000-0000-000000000103}'", "'DOSSIER TEST'", "0"));
    AddKeyed(aDb, 104, site.arg("104", "'ARRET'", "'7'", "'MAGASIN-ARRET'",
                                "'{00000000-0000-0000-0000-000000000104}'", "'DOSSIER TEST'", "0"), false);
    AddKeyed(aDb, 105, site.arg("105", "'NEUF'", "'8'", "'MAGASIN-NEUF'", "''", "'DOSSIER TEST'", "0"));
    AddKeyed(aDb, 106, site.arg("106", "'SANS'", "'9'", "'MAGASIN-SANS'", "NULL", "'DOSSIER TEST'", "0"));
    aDb.Exec(QStringLiteral("INSERT INTO GENPARAMBASE (PAR_ID, PAR_NOM, PAR_STRING) VALUES (1, 'IDGENERATEUR', '12')"));
}

void AddPassage(const TTestDatabase &aDb)
{
    AddKeyed(aDb, 201, QStringLiteral("INSERT INTO GENPARAM (PRM_ID, PRM_TYPE, PRM_CODE, PRM_INFO, PRM_INTEGER, "
                                      "PRM_FLOAT, PRM_POS) VALUES (201, 80, 2, 'Passage', 3, 46000.5, 102)"));
}

void AddReplication(const TTestDatabase &aDb, const QString &aUrl)
{
    AddKeyed(aDb, 301, QStringLiteral("INSERT INTO GENLAUNCH (LAU_ID, LAU_BASID) VALUES (301, 102)"));
    QString url = aUrl;
    url.replace(QLatin1Char('\''), QStringLiteral("''"));
    AddKeyed(aDb, 401, QStringLiteral("INSERT INTO GENREPLICATION (REP_ID, REP_LAUID, REP_ORDRE, REP_URLDISTANT, "
                                      "REP_PLACEBASE) VALUES (401, 301, 1, '%1', 'd:\\bases\\site.ib')").arg(url));
}

int KVersion(const TTestDatabase &aDb, int aId)
{
    const QVariant v = aDb.Scalar(QStringLiteral("SELECT K_VERSION FROM K WHERE K_ID = %1").arg(aId));
    return v.isValid() ? v.toInt() : -1;
}

} // namespace IdentityFixture
