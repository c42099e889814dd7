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
    /*EndAttachmentSql*/ "DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = ",
    /*AttachmentCountSql*/ "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = ",
    /*TransactionHolderSql*/
    "SELECT A.MON$ATTACHMENT_ID, A.MON$REMOTE_ADDRESS, A.MON$REMOTE_PID, A.MON$REMOTE_PROCESS, A.MON$TIMESTAMP "
    "FROM MON$ATTACHMENTS A JOIN MON$TRANSACTIONS T ON T.MON$ATTACHMENT_ID = A.MON$ATTACHMENT_ID "
    "WHERE T.MON$TRANSACTION_ID = ",
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
    /*EndAttachmentSql*/ "UPDATE TMP$ATTACHMENTS SET TMP$STATE = 'SHUTDOWN' WHERE TMP$ATTACHMENT_ID = ",
    /*AttachmentCountSql*/ "SELECT COUNT(*) FROM TMP$ATTACHMENTS WHERE TMP$ATTACHMENT_ID = ",
    /*TransactionHolderSql*/
    "SELECT A.TMP$ATTACHMENT_ID, A.TMP$USER_IP_ADDR, A.TMP$USER_PROCESS, A.TMP$USER_HOST, A.TMP$TIMESTAMP "
    "FROM TMP$ATTACHMENTS A JOIN TMP$TRANSACTIONS T ON T.TMP$ATTACHMENT_ID = A.TMP$ATTACHMENT_ID "
    "WHERE T.TMP$TRANSACTION_ID = ",
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
