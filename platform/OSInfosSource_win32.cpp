#include "platform/OSInfosSource.h"

#include "platform/Wmi.h"

int PlatformOSInfosQuery(const QString &aQuery, QList<QStringList> &aTable,
                         int &aInstances, QString &aErrorText)
{
    // The local machine, in the default namespace, as the caller's identity.
    return PlatformWmiQuery(QStringLiteral("."), QStringLiteral("root\\CIMV2"), QString(),
                            QString(), aQuery, aTable, aInstances, aErrorText);
}
