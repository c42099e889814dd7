// Registration of a database with the central server's backup: one section
// of the backup's INI file per database.
#include "data/moteur/OperationsMoteur.h"

#include "common/IniProfile.h"
#include "db/DbError.h"
#include "platform/MachineInfo.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

// "dd/mm/yyyy hh:nn:ss" with the user's date and time separators; each call
// reads the clock again.
QString Maintenant()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    const QString date = PlatformDateSeparator();
    const QString time = PlatformTimeSeparator();
    return QString::asprintf("%02d", d.day()) + date + QString::asprintf("%02d", d.month()) + date
           + QString::asprintf("%04d", d.year()) + u' ' + QString::asprintf("%02d", t.hour()) + time
           + QString::asprintf("%02d", t.minute()) + time + QString::asprintf("%02d", t.second());
}

} // namespace

QString TOperationsMoteur::SectionBackupLame(const QString &aServiceName)
{
    QString section = aServiceName;
    const qsizetype at = section.indexOf(QLatin1String("IVRO_"), 0, Qt::CaseInsensitive);
    if (at >= 0)
        section.remove(at, 5);
    return section;
}

bool TOperationsMoteur::AjouteDossierBackupLame(const TDossierInfos &aDB)
{
    const QString ini = VGSE.IVRO_BackupLame_Ini;
    // Registration happens only where the backup is installed: its file is never created here.
    if (ini.isEmpty() || !QFileInfo(ini).isFile())
        return false;
    const QString section = SectionBackupLame(aDB.ServiceName);

    // A line break or a bracket in a name would write another section than
    // this one: refused before anything is written.
    for (const auto &[key, value] : {std::pair{QStringLiteral("IVROSERVICE"), aDB.ServiceName},
                                     std::pair{QStringLiteral("IBFILE"), aDB.DatabaseFile}}) {
        const QString refusal = IniRefusal(section, key, value);
        if (!refusal.isEmpty())
            throw EDbError(QStringLiteral("Dossier non inscrit dans %1 : %2").arg(ini, refusal));
    }

    // Written in one change of the file: all seven keys or none.
    QString error;
    if (!IniWriteValues(ini, section,
                        {{QStringLiteral("IVROSERVICE"), aDB.ServiceName},
                         {QStringLiteral("IBFILE"), aDB.DatabaseFile},
                         {QStringLiteral("INSTALL"), Maintenant()},
                         {QStringLiteral("LAST"), Maintenant()},
                         {QStringLiteral("LASTOK"), Maintenant()},
                         {QStringLiteral("TIME"), QString::number(1800)},
                         {QStringLiteral("LASTRESULT"), QString::number(0)}},
                        &error))
        throw EDbError(QStringLiteral("Impossible d'écrire dans %1 : %2").arg(ini, error));
    return true;
}
