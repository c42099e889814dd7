#include "db/ClientFlavour.h"

#include <QRegularExpression>

namespace {

const TClientFlavour firebird{
    TFlavour::Firebird,
    "Firebird",
    /*DpbUtf8FileName*/ 77,
    /*DpbSetDbCharset*/ 68,
    /*SpbUtf8FileName*/ 118,
    /*TpbLockTimeout*/ 21, // isc_tpb_lock_timeout
    /*TpbLockTimeoutSince*/ 2,
    /*SqlBoolean*/ 32764,
    /*BooleanWidth*/ 1,
    /*SqlNull*/ 32766,
    /*CsUtf8*/ 4,
    /*DepView*/ 1,
    /*DepTrigger*/ 2,
    /*DepProcedure*/ 5,
    /*InfoVersion*/ 103, // isc_info_firebird_version
    /*CanCancelCall*/ true,
    /*PathsInUtf8*/ true,
    /*MessagesInUtf8*/ true,
};

const TClientFlavour interbase{
    TFlavour::InterBase,
    "InterBase",
    /*DpbUtf8FileName*/ std::nullopt,
    /*DpbSetDbCharset*/ std::nullopt,
    /*SpbUtf8FileName*/ std::nullopt,
    /*TpbLockTimeout*/ 23, // isc_tpb_wait_time; its 21 means no savepoint
    /*TpbLockTimeoutSince*/ 13, // InterBase 2017; XE7 (12) knows only wait / no wait
    /*SqlBoolean*/ 590,
    /*BooleanWidth*/ 2,
    /*SqlNull*/ std::nullopt,
    /*CsUtf8*/ 59,
    /*DepView*/ 1,
    /*DepTrigger*/ 2,
    /*DepProcedure*/ 5,
    /*InfoVersion*/ 12, // isc_info_isc_version
    /*CanCancelCall*/ false,
    /*PathsInUtf8*/ false,
    /*MessagesInUtf8*/ false,
};

} // namespace

TCharSet TClientFlavour::CharSetOf(int aId) const
{
    switch (aId & 0xFF) { // the high byte is the collation
    case 0: return TCharSet::None;
    case 1: return TCharSet::Octets;
    case 2: return TCharSet::Ascii;
    case 3: return TCharSet::UnicodeFss;
    case 21: return TCharSet::Iso8859_1;
    case 53: return TCharSet::Win1252;
    default: break;
    }
    if ((aId & 0xFF) == CsUtf8)
        return TCharSet::Utf8;
    return TCharSet::Unknown;
}

std::optional<unsigned char> TClientFlavour::LockWaitItem(const QString &aServerVersion) const
{
    if (!TpbLockTimeout || ServerMajorVersion(aServerVersion) < TpbLockTimeoutSince)
        return std::nullopt;
    return TpbLockTimeout;
}

int ServerMajorVersion(const QString &aServerVersion)
{
    // Platform, "-", a letter for the kind of build (V, T, B...), then the
    // numbers.
    static const QRegularExpression form(QStringLiteral("^[A-Z0-9]{2}-[A-Z](\\d+)\\."));
    const QRegularExpressionMatch m = form.match(aServerVersion.trimmed());
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

const TClientFlavour &FirebirdFlavour()
{
    return firebird;
}

const TClientFlavour &InterBaseFlavour()
{
    return interbase;
}
