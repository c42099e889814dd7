#include "db/DbServices.h"

#include "db/DbConnection.h"
#include "db/IscApi.h"
#include "db/TextCodec.h"

#include <algorithm>

using namespace Isc;

namespace {

void appendString(QByteArray &aBlock, unsigned char aItem, const QByteArray &aValue, int aLengthBytes)
{
    aBlock.append(char(aItem));
    aBlock.append(char(aValue.size() & 0xFF));
    if (aLengthBytes == 2)
        aBlock.append(char((aValue.size() >> 8) & 0xFF));
    aBlock.append(aValue);
}

// Detaches on every path.
struct TServiceHandle
{
    THandle Handle = 0;
    ~TServiceHandle()
    {
        if (Handle) {
            TStatusVector status;
            Client().Api.service_detach(&status, &Handle);
        }
    }
};

} // namespace

TDbServiceManager::TDbServiceManager(QString aHost, QString aUserName, QString aPassword)
    : FHost(std::move(aHost)), FUserName(std::move(aUserName)), FPassword(std::move(aPassword))
{
}

void TDbServiceManager::Attach(quint64 *aHandle)
{
    const TEntryPoints &api = Client().Api;
    TStatusVector status;
    QByteArray spb;
    spb.append(char(SpbVersion));
    spb.append(char(SpbCurrentVersion));
    appendString(spb, SpbUserName, FUserName.toUtf8(), 1);
    appendString(spb, SpbPassword, FPassword.toUtf8(), 1);
    // The database's names given to it are sent as attaching sends them.
    const TClientFlavour &flavour = *Client().Flavour;
    if (flavour.SpbUtf8FileName) {
        spb.append(char(*flavour.SpbUtf8FileName));
        spb.append(char(0));
    }
    const QByteArray manager = EncodeClientPath(FHost.isEmpty() ? QStringLiteral("service_mgr")
                                                                : FHost + QStringLiteral(":service_mgr"));
    api.service_attach(&status, (unsigned short)manager.size(), manager.constData(), aHandle,
                       (unsigned short)spb.size(), spb.constData());
    RunAfterAttachHook();
    Check(status);
}

QString TDbServiceManager::ServerVersion()
{
    TServiceHandle service;
    Attach(&service.Handle);
    const char request[] = {char(InfoSvcServerVersion)};
    char buffer[512] = {};
    TStatusVector status;
    Client().Api.service_query(&status, &service.Handle, nullptr, 0, nullptr, sizeof request, request, sizeof buffer,
                               buffer);
    Check(status);
    if (buffer[0] != request[0])
        return {};
    const int length = int(VaxInteger(buffer + 1, 2));
    return DecodeClientText(QByteArray(buffer + 3, std::clamp(length, 0, int(sizeof buffer) - 3)));
}

QStringList TDbServiceManager::DatabaseOnline(const QString &aDatabase)
{
    const TEntryPoints &api = Client().Api;
    TStatusVector status;
    TServiceHandle service;
    Attach(&service.Handle);

    QByteArray start;
    start.append(char(ActionSvcProperties));
    appendString(start, SpbDbName, EncodeClientPath(aDatabase), 2);
    start.append(char(SpbOptions));
    const quint32 online = SpbPrpDbOnline;
    start.append(reinterpret_cast<const char *>(&online), 4);
    api.service_start(&status, &service.Handle, nullptr, (unsigned short)start.size(), start.constData());
    Check(status);

    // Read the service's output until it has nothing more to say.
    QStringList output;
    const char request[] = {char(InfoSvcLine)};
    for (;;) {
        char buffer[4096] = {};
        api.service_query(&status, &service.Handle, nullptr, 0, nullptr, sizeof request, request, sizeof buffer,
                          buffer);
        Check(status);
        if (buffer[0] != char(InfoSvcLine))
            break;
        const int length = int(VaxInteger(buffer + 1, 2));
        if (length == 0)
            break;
        output << DecodeClientText(QByteArray(buffer + 3, std::min(length, int(sizeof buffer) - 3)));
    }
    TStatusVector detach;
    api.service_detach(&detach, &service.Handle);
    service.Handle = 0;
    Check(detach);
    return output;
}
