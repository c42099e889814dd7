#include "db/FbApi.h"

#include <iberror.h>

namespace FbApi {

Firebird::IMaster *Master()
{
    static Firebird::IMaster *const master = Firebird::fb_get_master_interface();
    return master;
}

Firebird::IUtil *Util()
{
    return Master()->getUtilInterface();
}

Firebird::IProvider *Provider()
{
    // One dispatcher for the process; the client library cleans it up at exit.
    static Firebird::IProvider *const provider = Master()->getDispatcher();
    return provider;
}

TStatus::TStatus()
    : FStatus(Master()->getStatus()), FWrapper(FStatus)
{
}

TStatus::~TStatus()
{
    FStatus->dispose();
}

QString FormatStatus(const Firebird::IStatus *aStatus)
{
    char buffer[2048];
    Util()->formatStatus(buffer, sizeof(buffer), const_cast<Firebird::IStatus *>(aStatus));
    return QString::fromLocal8Bit(buffer).trimmed();
}

void Raise(const Firebird::FbException &aError)
{
    QList<qint64> codes;
    const intptr_t *v = aError.getStatus()->getErrors();
    while (v && *v != isc_arg_end) {
        const intptr_t kind = v[0];
        if (kind == isc_arg_gds)
            codes << qint64(v[1]);
        v += (kind == isc_arg_cstring) ? 3 : 2;
    }
    throw EDbError(FormatStatus(aError.getStatus()), codes);
}

} // namespace FbApi
