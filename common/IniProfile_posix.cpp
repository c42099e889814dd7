#include "common/IniProfile.h"

#include "common/AtomicFile.h"
#include "common/Erreur.h"
#include "common/ErreurSysteme.h"

#include <QFile>

#include <stdexcept>

bool IniWriteValues(const QString &aFile, const QString &aSection,
                    const QList<std::pair<QString, QString>> &aValues, QString *aError)
{
    const auto fail = [aError](const QString &aWhy) {
        if (aError)
            *aError = aWhy;
        return false;
    };
    for (const auto &[key, value] : aValues)
        if (const QString refusal = IniRefusal(aSection, key, value); !refusal.isEmpty())
            return fail(refusal);
    // Refused before reading: another account's link is not opened at all.
    if (const QString refusal = TargetRefusal(aFile); !refusal.isEmpty())
        return fail(refusal);
    QFile in(aFile);
    if (!in.open(QIODevice::ReadOnly))
        return fail(TexteErreurFichier(in));
    QByteArray content = in.readAll();
    in.close();
    for (const auto &[key, value] : aValues)
        if (!IniSetValue(content, aSection, key, value))
            return fail(QStringLiteral("fichier en UTF-16"));
    try {
        WriteFileAtomically(aFile, content);
    } catch (const std::runtime_error &e) {
        return fail(TexteErreur(e));
    }
    return true;
}

bool IniWriteValue(const QString &aFile, const QString &aSection, const QString &aKey, const QString &aValue)
{
    return IniWriteValues(aFile, aSection, {{aKey, aValue}});
}
