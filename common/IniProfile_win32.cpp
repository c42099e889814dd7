// On Windows the profile functions themselves write the file.
#include "common/IniProfile.h"

#include "platform/win32/WinProfile.h"

bool IniWriteValue(const QString &aFile, const QString &aSection, const QString &aKey, const QString &aValue)
{
    if (!IniRefusal(aSection, aKey, aValue).isEmpty())
        return false;
    return WinWriteProfileString(aFile.toStdWString(), aSection.toStdWString(), aKey.toStdWString(),
                                 aValue.toStdWString());
}

bool IniWriteValues(const QString &aFile, const QString &aSection,
                    const QList<std::pair<QString, QString>> &aValues, QString *aError)
{
    for (const auto &[key, value] : aValues) {
        if (const QString refusal = IniRefusal(aSection, key, value); !refusal.isEmpty()) {
            if (aError)
                *aError = refusal;
            return false;
        }
    }
    for (const auto &[key, value] : aValues) {
        if (!IniWriteValue(aFile, aSection, key, value)) {
            if (aError)
                *aError = QStringLiteral("écriture refusée par le système");
            return false;
        }
    }
    return true;
}
