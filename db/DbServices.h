#pragma once

#include <QString>
#include <QStringList>

// The server's service manager on one host, reached as one user.
class TDbServiceManager
{
public:
    TDbServiceManager(QString aHost, QString aUserName, QString aPassword);

    // Brings a shut-down database back online; returns what the service
    // printed. An online database is an error of the server's.
    QStringList DatabaseOnline(const QString &aDatabase);

private:
    QString FHost;
    QString FUserName;
    QString FPassword;
};
