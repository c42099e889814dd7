#pragma once

// Everything that differs between InterBase's client and Firebird's, in one
// table and nowhere else. The flavour is told from the library's exports,
// not from its file name.

#include <QString>

#include <optional>

enum class TFlavour { Firebird, InterBase };

// Character sets the layer can convert. The numbers are the servers' own
// (RDB$CHARACTER_SET_ID), which differ for UTF8.
enum class TCharSet { None, Octets, Ascii, UnicodeFss, Utf8, Iso8859_1, Win1252, Unknown };

struct TClientFlavour
{
    TFlavour Flavour;
    const char *Name; // for messages

    // Parameter-block items above 67: each client numbers its own.
    // Firebird's "file name in UTF-8" item; InterBase has none (its 77 means
    // something else entirely, so it must never be sent there).
    std::optional<unsigned char> DpbUtf8FileName;
    // Firebird's item for a new database's default character set; InterBase
    // documents none (its 68 is another item): there the database is created
    // by a CREATE DATABASE statement, which names the set.
    std::optional<unsigned char> DpbSetDbCharset;
    // The same for the file names a service is given, flagged when attaching
    // to the service manager.
    std::optional<unsigned char> SpbUtf8FileName;
    // How long a transaction waits for a locked row (seconds, 4 bytes,
    // little-endian): each client has its own item, and the other's number
    // means something else there. Servers older than the given major
    // version refuse the item as an invalid parameter (InterBase documents
    // it from 2017, version 13, on; Firebird from 2.0).
    std::optional<unsigned char> TpbLockTimeout;
    int TpbLockTimeoutSince;

    // BOOLEAN columns: type code and width of the value.
    short SqlBoolean;
    short BooleanWidth;
    // Firebird-only type of a parameter whose type the server can't infer.
    std::optional<short> SqlNull;

    // Character-set numbers.
    short CsUtf8;

    // RDB$DEPENDENCIES.RDB$DEPENDENT_TYPE of the objects that can hold on to
    // a table: the same numbers in both servers.
    short DepView;
    short DepTrigger;
    short DepProcedure;

    // The database-information item that answers the server's version.
    unsigned char InfoVersion;

    // How a running statement is stopped from another thread: Firebird's
    // client cancels it; InterBase's has no call for it, and the attachment
    // is ended from a second one instead (the server rolls its work back).
    bool CanCancelCall;

    // Database paths and the client's own messages: Firebird takes and gives
    // UTF-8; InterBase's client works in the system's ANSI code page.
    bool PathsInUtf8;
    bool MessagesInUtf8;

    // The server's table of attachments, each statement followed by an
    // attachment's or a transaction's number: ending an attachment (the
    // server rolls back its work), whether one is still there, and who
    // holds a transaction (number, address, process number, program or
    // host, since when). Firebird's monitoring tables, InterBase's
    // temporary tables.
    const char *EndAttachmentSql;
    const char *AttachmentCountSql;
    const char *TransactionHolderSql;

    TCharSet CharSetOf(int aId) const;
    // The lock-wait item for a server that gave this version text, none when
    // that server does not know it (or the text can't be read).
    std::optional<unsigned char> LockWaitItem(const QString &aServerVersion) const;
};

// The major number of a server's version text ("WI-V12.0.2.353",
// "LI-V3.0.11.33637 Firebird 3.0"); -1 when it can't be read.
int ServerMajorVersion(const QString &aServerVersion);

const TClientFlavour &FirebirdFlavour();
const TClientFlavour &InterBaseFlavour();
