#include "db/DbServices.h"

#include "db/FbApi.h"

using namespace Firebird;

TDbServiceManager::TDbServiceManager(QString aHost, QString aUserName, QString aPassword)
    : FHost(std::move(aHost)), FUserName(std::move(aUserName)), FPassword(std::move(aPassword))
{
}

QStringList TDbServiceManager::DatabaseOnline(const QString &aDatabase)
{
    return FbGuard([&] {
        FbApi::TStatus status;
        IUtil *util = FbApi::Util();
        FbApi::TRef<IXpbBuilder> spb(util->getXpbBuilder(&status, IXpbBuilder::SPB_ATTACH, nullptr, 0));
        spb->insertString(&status, isc_spb_user_name, FUserName.toUtf8().constData());
        spb->insertString(&status, isc_spb_password, FPassword.toUtf8().constData());
        const QByteArray manager = (FHost.isEmpty() ? QStringLiteral("service_mgr")
                                                    : FHost + QStringLiteral(":service_mgr")).toUtf8();
        FbApi::TRef<IService> service(FbApi::Provider()->attachServiceManager(
            &status, manager.constData(), spb->getBufferLength(&status), spb->getBuffer(&status)));

        FbApi::TRef<IXpbBuilder> start(util->getXpbBuilder(&status, IXpbBuilder::SPB_START, nullptr, 0));
        start->insertTag(&status, isc_action_svc_properties);
        start->insertString(&status, isc_spb_dbname, aDatabase.toUtf8().constData());
        start->insertInt(&status, isc_spb_options, isc_spb_prp_db_online);
        service->start(&status, start->getBufferLength(&status), start->getBuffer(&status));

        // Read the service's output until it has nothing more to say.
        QStringList output;
        const unsigned char request[] = {isc_info_svc_line};
        for (;;) {
            unsigned char buffer[4096];
            service->query(&status, 0, nullptr, sizeof request, request, sizeof buffer, buffer);
            if (buffer[0] != isc_info_svc_line)
                break;
            const unsigned length = unsigned(buffer[1]) | (unsigned(buffer[2]) << 8);
            if (length == 0)
                break;
            output << QString::fromUtf8(reinterpret_cast<const char *>(buffer + 3), int(length));
        }
        service->detach(&status);
        (void)service.release();
        return output;
    });
}
