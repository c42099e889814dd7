#pragma once

// The classic C client API that InterBase's and Firebird's client libraries
// both export, declared here by us and loaded at run time by library name:
// nothing links a client library at build time, and the same program talks
// to either kind of server through that server's own client.
//
// Internal to the database layer (and to the layer's benchmark, which times
// bare calls against it).

#include "db/ClientFlavour.h"

#include <QByteArray>
#include <QLibrary>
#include <QString>

#include <cstdint>
#include <memory>

// The client's entry points use the system's C calling convention for
// exported APIs: __stdcall on Windows (it differs from the default only in a
// 32-bit build, where a mismatch corrupts the stack), the default elsewhere.
#if defined(_WIN32)
#define ISC_CALL __stdcall
#else
#define ISC_CALL
#endif

// Handle slots, the transaction blocks and the status vector below are laid
// out for a 64-bit little-endian process; any other build would hand the
// client wrongly sized blocks.
static_assert(sizeof(void *) == 8, "the database layer is built for 64-bit processes only");
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the database layer is built for little-endian machines only");

namespace Isc {

using TStatus = intptr_t;
constexpr int StatusLength = 20;
struct TStatusVector
{
    TStatus V[StatusLength] = {};
    TStatus *operator&() { return V; }
    bool Failed() const { return V[0] == 1 && V[1] != 0; }
};

// A handle slot: InterBase's handles are pointers, Firebird's 32-bit
// numbers. Eight zeroed bytes hold either; the clients read and write their
// own width at its start (little-endian machines only, as both servers are).
using THandle = quint64;

struct TQuad
{
    qint32 High;
    quint32 Low;
};

struct TTimestamp
{
    qint32 Date; // days since 17 November 1858
    quint32 Time; // ten-thousandths of a second since midnight
};

// Firebird counts days from 17 November 1858, we from 30 December 1899.
constexpr int DayZeroOffset = 15018;

// XSQLDA version 1: the layout both clients accept.
constexpr short SqldaVersion1 = 1;
struct TSqlVar
{
    short sqltype;
    short sqlscale;
    short sqlsubtype;
    short sqllen;
    char *sqldata;
    short *sqlind;
    short sqlname_length;
    char sqlname[32];
    short relname_length;
    char relname[32];
    short ownname_length;
    char ownname[32];
    short aliasname_length;
    char aliasname[32];
};
struct TSqlda
{
    short version;
    char sqldaid[8];
    qint32 sqldabc;
    short sqln;
    short sqld;
    TSqlVar sqlvar[1];
};

// Column and parameter types shared by both servers (BOOLEAN differs: see
// the flavour table).
enum : short {
    SqlVarying = 448,
    SqlText = 452,
    SqlDouble = 480,
    SqlFloat = 482,
    SqlLong = 496,
    SqlShort = 500,
    SqlTimestamp = 510,
    SqlBlob = 520,
    SqlDFloat = 530,
    SqlArray = 540,
    SqlQuad = 550,
    SqlTypeTime = 560,
    SqlTypeDate = 570,
    SqlInt64 = 580,
};

// Parameter-block and information items numbered alike in both clients
// (all below 68); the ones that differ live in the flavour table.
enum : unsigned char {
    DpbVersion1 = 1,
    DpbPageSize = 4,
    DpbForceWrite = 24,
    DpbUserName = 28,
    DpbPassword = 29,
    DpbLcCtype = 48,
    DpbConnectTimeout = 57,
    DpbSqlDialect = 63,

    TpbConcurrency = 2,
    TpbVersion3 = 3,
    TpbWait = 6,
    TpbNowait = 7,
    TpbRead = 8,
    TpbWrite = 9,
    TpbReadCommitted = 15,
    TpbRecVersion = 17,

    SpbVersion = 2, // isc_spb_version followed by isc_spb_current_version
    SpbCurrentVersion = 2,
    SpbUserName = 28,
    SpbPassword = 29,
    SpbDbName = 106,
    SpbOptions = 108,
    ActionSvcProperties = 8,
    InfoSvcLine = 62,
    InfoSvcServerVersion = 55,

    InfoAttachmentId = 22,

    InfoEnd = 1,
    InfoTruncated = 2,
    InfoSqlStmtType = 21,
    InfoSqlRecords = 23,
    InfoReqSelectCount = 13,
    InfoReqInsertCount = 14,
    InfoReqUpdateCount = 15,
    InfoReqDeleteCount = 16,
};
constexpr quint32 SpbPrpDbOnline = 0x0200;

enum : int {
    StmtSelect = 1,
    StmtExecProcedure = 8,
    StmtSelectForUpdate = 12,
};

enum : unsigned short {
    DsqlClose = 1,
    DsqlDrop = 2,
};

enum : TStatus {
    ArgEnd = 0,
    ArgGds = 1,
    ArgString = 2,
    ArgCstring = 3,
    ArgNumber = 4,
    ArgInterpreted = 5,
    ArgUnix = 7,    // the server's system error: errno on POSIX
    ArgWin32 = 17,  // GetLastError() of a Windows server
    ArgSqlState = 19,
};

// Status codes the layer itself looks at.
enum : qint64 {
    ErrSegment = 335544366,
    ErrSegstrEof = 335544367,
};

// One transaction-existence block of isc_start_multiple.
struct TTeb
{
    THandle *Database;
    intptr_t TpbLength; // a C long on one client, an int on the other: both fit
    const char *Tpb;
};

// The entry points, as the client library exports them.
struct TEntryPoints
{
    TStatus(ISC_CALL *attach_database)(TStatus *, short, const char *, THandle *, short, const char *);
    TStatus(ISC_CALL *detach_database)(TStatus *, THandle *);
    TStatus(ISC_CALL *create_database)(TStatus *, short, const char *, THandle *, short, const char *, short);
    TStatus(ISC_CALL *start_multiple)(TStatus *, THandle *, short, TTeb *);
    TStatus(ISC_CALL *commit_transaction)(TStatus *, THandle *);
    TStatus(ISC_CALL *rollback_transaction)(TStatus *, THandle *);
    TStatus(ISC_CALL *dsql_allocate_statement)(TStatus *, THandle *, THandle *);
    TStatus(ISC_CALL *dsql_prepare)(TStatus *, THandle *, THandle *, unsigned short, const char *, unsigned short, TSqlda *);
    TStatus(ISC_CALL *dsql_describe)(TStatus *, THandle *, unsigned short, TSqlda *);
    TStatus(ISC_CALL *dsql_describe_bind)(TStatus *, THandle *, unsigned short, TSqlda *);
    TStatus(ISC_CALL *dsql_execute2)(TStatus *, THandle *, THandle *, unsigned short, const TSqlda *, const TSqlda *);
    TStatus(ISC_CALL *dsql_fetch)(TStatus *, THandle *, unsigned short, const TSqlda *);
    TStatus(ISC_CALL *dsql_free_statement)(TStatus *, THandle *, unsigned short);
    TStatus(ISC_CALL *dsql_sql_info)(TStatus *, THandle *, short, const char *, short, char *);
    TStatus(ISC_CALL *dsql_execute_immediate)(TStatus *, THandle *, THandle *, unsigned short, const char *, unsigned short,
                                      const TSqlda *);
    TStatus(ISC_CALL *create_blob2)(TStatus *, THandle *, THandle *, THandle *, TQuad *, short, const char *);
    TStatus(ISC_CALL *open_blob2)(TStatus *, THandle *, THandle *, THandle *, TQuad *, unsigned short, const unsigned char *);
    TStatus(ISC_CALL *get_segment)(TStatus *, THandle *, unsigned short *, unsigned short, char *);
    TStatus(ISC_CALL *put_segment)(TStatus *, THandle *, unsigned short, const char *);
    TStatus(ISC_CALL *close_blob)(TStatus *, THandle *);
    TStatus(ISC_CALL *cancel_blob)(TStatus *, THandle *);
    TStatus(ISC_CALL *drop_database)(TStatus *, THandle *);
    TStatus(ISC_CALL *database_info)(TStatus *, THandle *, short, const char *, short, char *);
    TStatus(ISC_CALL *service_attach)(TStatus *, unsigned short, const char *, THandle *, unsigned short, const char *);
    TStatus(ISC_CALL *service_detach)(TStatus *, THandle *);
    TStatus(ISC_CALL *service_start)(TStatus *, THandle *, THandle *, unsigned short, const char *);
    TStatus(ISC_CALL *service_query)(TStatus *, THandle *, THandle *, unsigned short, const char *, unsigned short,
                             const char *, unsigned short, char *);
    // Error text: Firebird's bounded fb_interpret, or InterBase's isc_interprete.
    int(ISC_CALL *fb_interpret)(char *, unsigned, const TStatus **);
    TStatus(ISC_CALL *isc_interprete)(char *, const TStatus **);
    // Firebird only: null with InterBase's client.
    TStatus(ISC_CALL *fb_cancel_operation)(TStatus *, THandle *, unsigned short);
};

// The loaded client: its entry points, its flavour and the file it came
// from. Loaded once per process, on first use; a missing library raises a
// French error naming the files looked for.
struct TClient
{
    // Kept loaded for the life of the process; its destructor does not unload.
    std::unique_ptr<QLibrary> Library;
    TEntryPoints Api{};
    const TClientFlavour *Flavour = nullptr;
    QString LibraryFile;
};
const TClient &Client();

// The file names tried, in order, on this system.
QStringList ClientLibraryNames();
// The folders they are looked for in, in order: on Windows the program's own
// folder, those the InterBase and Firebird installers registered, the
// system folder and the path, never the current folder. Empty where the
// system's loader searches by itself.
QStringList ClientLibraryFolders();
// The loaded client's file and its kind, e.g. "/usr/lib/…/libfbclient.so.2
// (Firebird)"; raises EDbError when none can be loaded.
QString ClientDescription();

// Raises EDbError with the client's text when the status reports a failure.
void Check(const TStatusVector &aStatus);
[[noreturn]] void Raise(const TStatusVector &aStatus);
// The client's text for a failure, decoded the one way the layer decodes it.
QString StatusText(const TStatusVector &aStatus);

// Reads a little-endian integer of an information buffer.
qint64 VaxInteger(const char *aBytes, int aLength);

} // namespace Isc
