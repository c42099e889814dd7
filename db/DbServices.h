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
    // The server's version text, as the service manager gives it.
    QString ServerVersion();

private:
    // Attaches to the service manager; the handle is detached by its owner.
    void Attach(quint64 *aHandle);
    QString FHost;
    QString FUserName;
    QString FPassword;
};
