#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Answers the query of the operating system's WMI class Win32_OperatingSystem
// (aQuery, as the environment sends it), in the layout and text forms of
// PlatformWmiQuery: row 0 "Instance" and the property names, row 1 "1" and
// the values of BuildNumber, Caption, CSDVersion, CSName, FreePhysicalMemory,
// FreeSpaceInPagingFiles, FreeVirtualMemory, LastBootUpTime, LocalDateTime,
// Version, in that order. Memory figures are kilobytes as decimal text,
// times are CIM date-times, an absent value is "NULL".
//
// Windows asks WMI itself. Elsewhere there is no WMI: the same properties are
// read from the system and the query text is not parsed.
//
// Returns the number of properties, 0 when no instance was found, or -1 with
// an error text when the source failed.
int PlatformOSInfosQuery(const QString &aQuery, QList<QStringList> &aTable,
                         int &aInstances, QString &aErrorText);
