#include "platform/Wmi.h"

int PlatformWmiQuery(const QString &, const QString &, const QString &, const QString &,
                     const QString &, QList<QStringList> &aTable, int &aInstances,
                     QString &aErrorText)
{
    aTable.clear();
    aInstances = 0;
    aErrorText = QStringLiteral("WMI n'est pas disponible sur ce système.");
    return -1;
}
