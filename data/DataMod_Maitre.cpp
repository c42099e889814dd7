// The central server's node: its registration script and engine properties,
// and the synchronisation address kept in its database.
#include "data/uDataMod.h"

#include "common/TextFile.h"
#include "common/UWMI.h"
#include "data/EngineFiles.h"
#include "data/EnginePaths.h"
#include "data/EngineProperties.h"
#include "data/NomNoeud.h"
#include "db/DbError.h"

#include <QFile>

namespace {

void WriteResourceTo(const QString &aName, const QString &aPath)
{
    QFile resource(QStringLiteral(":/") + aName);
    if (!resource.open(QIODevice::ReadOnly))
        throw EDbError(QStringLiteral("Ressource %1 introuvable").arg(aName));
    const QByteArray bytes = resource.readAll();
    QFile file(aPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw EDbError(QStringLiteral("Impossible d'écrire le fichier \"%1\" : %2").arg(aPath, file.errorString()));
}

QString AsciiLower(QString aText)
{
    for (QChar &c : aText)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    return aText;
}

} // namespace

bool TDataMod::Installation_Master(const TDossierInfos &ADossierInfos)
{
    if (!NomNoeudValide(ADossierInfos.Nom))
        return false;

    const TEnginePaths paths(EngineSystem().Windows());
    const QString nom = AsciiLower(ADossierInfos.Nom);
    const QString templateFile = paths.WithSep(ADossierInfos.SymDir) + QStringLiteral("master-v15.sql");
    const QString propertiesFile =
        paths.Join(paths.WithoutSep(ADossierInfos.SymDir), {"engines"}) + paths.Sep() + nom + QStringLiteral(".properties");
    const QString listFile = paths.WithSep(ADossierInfos.SymDir) + QStringLiteral("v18.2.lcl");
    QString centralScript = paths.WithoutSep(ADossierInfos.SymDir) + paths.Sep() + QStringLiteral("master-%1.sql").arg(nom);
    centralScript.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString host = VGSE.HostName.isEmpty() ? VGSE.PublicIP : VGSE.HostName;

    // The jobs of several central engines on one machine are spread over the
    // day by their port's distance from the base port.
    const qint32 m = ADossierInfos.HTTPPort - VGSE.IVRO_PORTS;
    const qint32 purgeMinute = (m / 10) % 60;
    const QString syncTriggersCron = QStringLiteral("0 %1 %2 * * *").arg(QString::number((m / 2) % 60), QString::number(m / 120));
    const QString purgeOutgoingCron = QStringLiteral("0 %1 7-20/2 * * *").arg(purgeMinute);
    const QString purgeIncomingCron = QStringLiteral("0 %1 7-20/2 * * *").arg((purgeMinute + 1) % 60);

    WriteResourceTo(QStringLiteral("masterv15"), paths.Local(templateFile));
    QString text = JoinCrLf(SplitTextLines(ReadTextContent(paths.Local(templateFile)).Text));
    const QList<std::pair<QString, QString>> values = {
        {QStringLiteral("%master-id%"), nom + QStringLiteral("-id")},
        {QStringLiteral("%ip%"), VGSE.HostName},
        {QStringLiteral("%port%"), QString::number(ADossierInfos.HTTPPort)},
        {QStringLiteral("%master%"), nom},
        {QStringLiteral("%job.purge.outgoing.cron%"), purgeOutgoingCron},
        {QStringLiteral("%job.purge.incoming.cron%"), purgeIncomingCron},
        {QStringLiteral("%job.synctriggers.cron%"), syncTriggersCron},
    };
    for (const auto &[placeholder, value] : values)
        text = ReplaceAllIgnoringCase(text, placeholder, value);

    QStringList lines = SplitTextLines(text);
    lines << QString() << ScriptTriggersManquants(ADossierInfos.DatabaseFile);
    WriteResourceTo(QStringLiteral("v18_2_lcl"), paths.Local(listFile));
    // Compared as texts, as the versions always were.
    if (ADossierInfos.Version > QLatin1String("18.1.0.9999") && ADossierInfos.Version <= QLatin1String("18.2.0.9999"))
        lines << QString() << ScriptTriggersManquantsLCL(paths.Local(listFile));
    WriteTextContent(paths.Local(centralScript), JoinCrLf(lines), TTextEncoding::Ansi);

    TNameValueLines properties;
    properties.SetValue(QStringLiteral("external.id"), nom + QStringLiteral("-id"));
    properties.SetValue(QStringLiteral("engine.name"), nom);
    properties.SetValue(QStringLiteral("group.id"), QStringLiteral("lame"));
    properties.SetValue(QStringLiteral("sync.url"),
                        QStringLiteral("http\\://%1\\:%2/sync/%3").arg(host, QString::number(ADossierInfos.HTTPPort), nom));
    SetGenParamURL(ADossierInfos.DatabaseFile,
                   QStringLiteral("http://%1:%2/sync/%3").arg(host, QString::number(ADossierInfos.HTTPPort), nom));
    SetDatabaseProperties(properties, ADossierInfos.DatabaseFile);
    properties.SetValue(QStringLiteral("auto.config.registration.svr.sql.script"), centralScript);
    properties.Lines << QStringLiteral("registration.url=");
    WriteTextContent(paths.Local(propertiesFile), JoinCrLf(properties.Lines), TTextEncoding::Ansi);
    return true;
}
