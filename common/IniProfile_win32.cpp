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
