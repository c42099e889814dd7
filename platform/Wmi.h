#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One WMI query, its answer laid out as a table of texts: row 0 holds
// "Instance" and the property names, row n the n-th object's number and its
// property values, columns in the order WMI enumerates the properties.
//
// A query text that begins with "SELECT" runs as WQL; any other text is taken
// as a class name whose own instances are listed. Returns the number of
// properties of the last object read (0 when the query found nothing), or -1
// with the error's text when WMI failed or does not exist on this system.
int PlatformWmiQuery(const QString &aComputer, const QString &aNameSpace,
                     const QString &aUser, const QString &aPassword,
                     const QString &aQuery, QList<QStringList> &aTable,
                     int &aInstances, QString &aErrorText);
