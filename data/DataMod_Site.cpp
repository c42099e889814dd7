// A site database's identity as the node configuration needs it, and a
// shop's engine properties with the restart of its service.
#include "data/uDataMod.h"

#include "common/uCommun.h"
#include "data/EngineFiles.h"
#include "data/EnginePaths.h"
#include "data/EngineProperties.h"
#include "data/NomNoeud.h"
#include "db/DbError.h"

#include <QLocale>

namespace {

QString AsciiLower(QString aText)
{
    for (QChar &c : aText)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    return aText;
}

// A whole number in decimal; blanks around it (a CHAR column's padding) do
// not count.
bool WholeNumber(const QString &aText, qint32 &aValue)
{
    bool ok = false;
    const qint32 value = aText.trimmed().toInt(&ok, 10);
    if (ok)
        aValue = value;
    return ok;
}

} // namespace

void TDataMod::Ouverture_IBFile(TDossierInfos &ADossierInfos)
{
    // Whatever fails ends the reading where it is: the fields read so far
    // stay, and Isok says whether the site rows were reached.
    try {
        auto cnx = getNewConnexion(SysdbaRef(ADossierInfos.DatabaseFile));
        auto query = getNewQuery(cnx.get());

        query->SQL() = QStringList{QStringLiteral("SELECT * FROM GENVERSION ORDER BY VER_DATE DESC ROWS 1")};
        query->Open();
        if (!query->Eof())
            ADossierInfos.Version = query->FieldByName(QStringLiteral("VER_VERSION")).AsString();
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT * FROM GENPARAM JOIN K ON K_ID=PRM_ID AND K_ENABLED=1"),
                                   QStringLiteral(" WHERE PRM_TYPE=80 AND PRM_CODE=1")};
        query->Open();
        if (!query->Eof())
            ADossierInfos.RegistrationUrl = query->FieldByName(QStringLiteral("PRM_STRING")).AsString();
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT * FROM GENPARAMBASE WHERE PAR_NOM=:NOM")};
        query->ParamByName(QStringLiteral("NOM")).SetAsString(QStringLiteral("IDGENERATEUR"));
        query->Open();
        if (!query->Eof()) {
            const QString ident = query->FieldByName(QStringLiteral("PAR_STRING")).AsString();
            if (!WholeNumber(ident, ADossierInfos.BAS_IDENT))
                throw EDbError(QStringLiteral("\"%1\" n'est pas un identifiant de site").arg(ident));
        }
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT GEN_ID(GENERAL_ID,0) FROM RDB$DATABASE")};
        query->Open();
        if (query->RecordCount() == 1) {
            // Read whole: a floating-point value would lose digits past 2^53.
            QLocale locale;
            locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
            ADossierInfos.GENERAL_ID = locale.toString(query->Fields(0).AsLargeInt());
        }
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT BAS_GUID, BAS_SENDER, BAS_PLAGE"),
                                   QStringLiteral(" FROM   GENBASES"),
                                   QStringLiteral("  JOIN K ON (K_ID = BAS_ID AND K_ENABLED = 1)"),
                                   QStringLiteral("  WHERE BAS_IDENT=:BASIDENT")};
        query->ParamByName(QStringLiteral("BASIDENT")).SetAsString(QString::number(ADossierInfos.BAS_IDENT));
        query->Open();
        if (!query->Eof()) {
            ADossierInfos.BAS_GUID = query->Fields(0).AsString();
            ADossierInfos.BAS_SENDER = query->Fields(1).AsString();
            ADossierInfos.BAS_PLAGE = query->Fields(2).AsString();
        }
        query->Close();

        query->SQL() = QStringList{QStringLiteral("SELECT BAS_SENDER , BAS_IDENT, BAS_NOMPOURNOUS, BAS_CENTRALE, BAS_GUID"),
                                   QStringLiteral(" FROM   GENBASES"),
                                   QStringLiteral("  JOIN K ON (K_ID = BAS_ID AND K_ENABLED = 1)"),
                                   QStringLiteral("  WHERE BAS_IDENT<>''")};
        query->Open();
        for (query->First(); !query->Eof(); query->Next()) {
            const QString ident = query->FieldByName(QStringLiteral("BAS_IDENT")).AsString();
            if (ident == QLatin1String("0")) {
                ADossierInfos.Nom = AsciiLower(query->FieldByName(QStringLiteral("BAS_NOMPOURNOUS")).AsString());
                ADossierInfos.Isok = true;
                continue;
            }
            TBase base;
            base.BAS_SENDER = query->FieldByName(QStringLiteral("BAS_SENDER")).AsString();
            base.SYM_NODE = CalculeSymNode(base.BAS_SENDER);
            if (!WholeNumber(ident, base.BAS_IDENT))
                base.BAS_IDENT = -1;
            base.BAS_GUID = query->FieldByName(QStringLiteral("BAS_GUID")).AsString();
            base.BAS_CENTRALE = query->FieldByName(QStringLiteral("BAS_CENTRALE")).AsString();
            ADossierInfos.ListBases.append(base);
        }
        query->Close();

        ADossierInfos.TablesExclues = Liste_Tables_Exclues(cnx.get());
    } catch (const std::exception &) {
        ADossierInfos.Isok = false;
    }
}

bool TDataMod::Installation_BASE(const TDossierInfos &ADossierInfos)
{
    if (!NomNoeudValide(ADossierInfos.Nom))
        return false;

    TEngineSystem &system = EngineSystem();
    const TEnginePaths paths(system.Windows());
    const QString engine = QStringLiteral("mags-%1").arg(ADossierInfos.ExternalID);
    const QString propertiesFile = QStringLiteral("%1/engines/%2.properties").arg(ADossierInfos.SymDir, engine);

    TNameValueLines properties;
    properties.SetValue(QStringLiteral("external.id"), ADossierInfos.ExternalID);
    properties.SetValue(QStringLiteral("engine.name"), engine);
    properties.SetValue(QStringLiteral("group.id"), QStringLiteral("mags"));
    properties.SetValue(QStringLiteral("sync.url"), QStringLiteral("http\\://%1\\:%2/sync/%3")
                                                        .arg(GetNomMachine(), QString::number(ADossierInfos.HTTPPort),
                                                             engine));
    SetDatabaseProperties(properties, ADossierInfos.DatabaseFile);
    properties.SetValue(QStringLiteral("registration.url"), EscapeColons(ADossierInfos.RegistrationUrl));
    // Java reads a backslash in a properties value as an escape and drops it:
    // the script's path is given with forward slashes, which Windows takes too.
    QString grants = paths.WithSep(ADossierInfos.SymDir) + QStringLiteral("grants.sql");
    grants.replace(QLatin1Char('\\'), QLatin1Char('/'));
    properties.SetValue(QStringLiteral("auto.config.registration.svr.sql.script"), grants);
    WriteTextContent(paths.Local(propertiesFile), JoinCrLf(properties.Lines), TTextEncoding::Ansi);

    bool result = true;
    system.StopService(ADossierInfos.ServiceName);
    const bool started =
        paths.Windows()
            ? system.RunAsAndWait(QStringLiteral("sc.exe"),
                                  QStringLiteral("config %1 start= delayed-auto").arg(ADossierInfos.ServiceName),
                                  QString(), false)
            : system.RunAsAndWait(QStringLiteral("systemctl"),
                                  QStringLiteral("enable %1").arg(ADossierInfos.ServiceName), QString(), false);
    if (!started)
        result = false;
    Grant_SYMTABLE_TO_KORVALA(ADossierInfos.DatabaseFile);
    system.StartService(ADossierInfos.ServiceName);
    return result;
}
