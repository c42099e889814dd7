// The Qt face of the WMI query (platform/win32).
#include "platform/Wmi.h"

#include "platform/win32/WinWmi.h"

int PlatformWmiQuery(const QString &aComputer, const QString &aNameSpace, const QString &aUser,
                     const QString &aPassword, const QString &aQuery, QList<QStringList> &aTable,
                     int &aInstances, QString &aErrorText)
{
    TWinTable table;
    std::wstring error;
    const int result = WinWmiQuery(aComputer.toStdWString(), aNameSpace.toStdWString(), aUser.toStdWString(),
                                   aPassword.toStdWString(), aQuery.toStdWString(), table, aInstances, error);
    aTable.clear();
    aTable.reserve(static_cast<qsizetype>(table.size()));
    for (const std::vector<std::wstring> &row : table) {
        QStringList cells;
        cells.reserve(static_cast<qsizetype>(row.size()));
        for (const std::wstring &cell : row)
            cells << QString::fromStdWString(cell);
        aTable << cells;
    }
    aErrorText = QString::fromStdWString(error);
    return result;
}
