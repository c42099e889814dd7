// A stand-in for InterBase's client library, for the tests: it exports only
// the isc_* entry points the database layer uses (no fb_* symbol, so the
// layer takes it for InterBase's client), forwards each call to Firebird's
// client, and translates on the way what the two servers say differently,
// so that the Firebird server can play the InterBase server's part:
//   - the UTF8 character-set number in descriptors (InterBase 59, Firebird 4);
//   - the transaction's lock wait (InterBase's item 23; its 21 means
//     "no savepoint" and has no Firebird counterpart: dropped);
//   - file names, which InterBase's client takes in the ANSI code page
//     (Windows-1252) and Firebird's in UTF-8 with a flag;
//   - the same number where the system tables give it as data
//     (RDB$CHARACTER_SET_ID columns);
//   - the attachments' table: ending one (InterBase's TMP$ATTACHMENTS
//     update, Firebird's MON$ATTACHMENTS delete), whether one is there, who
//     holds a transaction.
// It also answers as an InterBase server of the version in
// IVROMVT_IBCLIENT_VERSION would ("WI-V14.1.0.319", InterBase 2020, when
// unset): that version text for the server's version, and, below version 13
// (InterBase 2017), a refusal of the transaction's lock-wait item as an
// invalid parameter, as XE7 and older do. And it refuses, when preparing or
// running a statement, the SQL forms and catalogue names that InterBase does
// not have (see SqlCheck.h), with InterBase's kind of error, so that every
// statement the program sends is checked for both servers. The tests' own
// fixtures, built with Firebird's PSQL, are let through while the
// environment variable IVROMVT_IBCLIENT_FIXTURE is "1".
// Faults for the tests that need them are injected from Faults.cpp.
// Firebird's client is opened with dlopen, never linked: a lookup of fb_*
// through this library's handle must find nothing.
//
// Plain C++ without Qt: this is a client library, loaded by the layer.

#include "SqlCheck.h"
#include "Faults.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Status = intptr_t;
using Handle = uint64_t;

struct SqlVar
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
struct Sqlda
{
    short version;
    char sqldaid[8];
    int32_t sqldabc;
    short sqln;
    short sqld;
    SqlVar sqlvar[1];
};
struct Teb
{
    Handle *Database;
    intptr_t TpbLength;
    const char *Tpb;
};

constexpr short SqlText = 452, SqlVarying = 448, SqlBlob = 520, SqlShort = 500;
constexpr int IbUtf8 = 59, FbUtf8 = 4;
constexpr unsigned char DpbVersion1 = 1, FbDpbUtf8FileName = 77;
constexpr unsigned char IbTpbNoSavepoint = 21, IbTpbWaitTime = 23, FbTpbLockTimeout = 21;
constexpr unsigned char TpbLockRead = 10, TpbLockWrite = 11;
constexpr unsigned char SpbDbName = 106, FbSpbUtf8FileName = 118;
constexpr unsigned char DpbSetDbCharset = 68; // Firebird's; something else to InterBase
constexpr unsigned char InfoEnd = 1, InfoTruncated = 2, InfoIscVersion = 12, SvcServerVersion = 55;
constexpr Status ArgGds = 1, ArgString = 2, ArgNumber = 4;
constexpr Status isc_bad_dpb_form = 335544326, isc_bad_tpb_content = 335544330;

// The version of the InterBase server played.
const std::string &serverVersion()
{
    static const std::string version = [] {
        const char *v = std::getenv("IVROMVT_IBCLIENT_VERSION");
        return std::string(v && *v ? v : "WI-V14.1.0.319");
    }();
    return version;
}

// Its major number: "WI-V12.0.2.353" gives 12.
int serverMajor()
{
    const std::string &v = serverVersion();
    const size_t dash = v.find('-');
    return dash == std::string::npos ? 0 : std::atoi(v.c_str() + dash + 2);
}

Status fail(Status *aStatus, Status aCode)
{
    aStatus[0] = ArgGds;
    aStatus[1] = aCode;
    aStatus[2] = 0;
    return aCode;
}

// An error the way InterBase's parser reports it: "Dynamic SQL Error", the
// SQL code, the kind of error and the name it stumbled on.
Status failSql(Status *aStatus, const sqlcheck::Refusal &aRefusal)
{
    static thread_local std::string name;
    name = aRefusal.Name;
    constexpr Status isc_dsql_error = 335544569, isc_sqlerr = 335544436, isc_random = 335544382;
    int i = 0;
    aStatus[i++] = ArgGds;
    aStatus[i++] = isc_dsql_error;
    aStatus[i++] = ArgGds;
    aStatus[i++] = isc_sqlerr;
    aStatus[i++] = ArgNumber;
    aStatus[i++] = aRefusal.SqlCode;
    aStatus[i++] = ArgGds;
    aStatus[i++] = aRefusal.Code;
    if (aRefusal.Line > 0) { // "Token unknown - line, column"
        aStatus[i++] = ArgNumber;
        aStatus[i++] = aRefusal.Line;
        aStatus[i++] = ArgNumber;
        aStatus[i++] = aRefusal.Column;
    }
    aStatus[i++] = ArgGds;
    aStatus[i++] = isc_random;
    aStatus[i++] = ArgString;
    aStatus[i++] = reinterpret_cast<Status>(name.c_str());
    aStatus[i] = 0;
    return isc_dsql_error;
}

// The tests' fixtures may use Firebird's own SQL.
bool fixture()
{
    const char *v = std::getenv("IVROMVT_IBCLIENT_FIXTURE");
    return v && v[0] == '1';
}

void *firebird()
{
    static void *library = [] {
        const char *name = std::getenv("IVROMVT_FBCLIENT");
        void *h = dlopen(name && *name ? name : "libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            std::fprintf(stderr, "ibclient stand-in: %s\n", dlerror());
            std::abort();
        }
        return h;
    }();
    return library;
}

template<class F>
F forward(const char *aName)
{
    void *symbol = dlsym(firebird(), aName);
    if (!symbol) {
        std::fprintf(stderr, "ibclient stand-in: %s missing from Firebird's client\n", aName);
        std::abort();
    }
    return reinterpret_cast<F>(symbol);
}

#define FORWARD(name, type) static const auto fb = forward<type>(name)

// Windows-1252 to UTF-8: what an InterBase client on Windows hands its
// server as a file name, in the form Firebird's client takes.
std::string ansiToUtf8(const char *aBytes, size_t aLength)
{
    static const char16_t high[32] = {0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                      0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::string out;
    for (size_t i = 0; i < aLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(aBytes[i]);
        const unsigned u = (c >= 0x80 && c < 0xA0) ? high[c - 0x80] : c;
        if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

// UTF-8 to Windows-1252, for the client's messages: InterBase's client on
// Windows gives them in the ANSI code page. Characters it lacks become '?'.
std::string utf8ToAnsi(const std::string &aText)
{
    static const char16_t high[32] = {0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                      0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::string out;
    for (size_t i = 0; i < aText.size();) {
        const unsigned char c = static_cast<unsigned char>(aText[i]);
        unsigned u = c;
        size_t n = 1;
        if (c >= 0xE0 && c < 0xF0 && i + 2 < aText.size()) {
            u = ((c & 0x0F) << 12) | ((aText[i + 1] & 0x3F) << 6) | (aText[i + 2] & 0x3F);
            n = 3;
        } else if (c >= 0xC0 && c < 0xE0 && i + 1 < aText.size()) {
            u = ((c & 0x1F) << 6) | (aText[i + 1] & 0x3F);
            n = 2;
        } else if (c >= 0x80) {
            u = '?';
            n = c >= 0xF0 ? 4 : 1;
        }
        i += n;
        if (u < 0x80 || (u >= 0xA0 && u < 0x100)) {
            out += char(u);
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k)
            if (high[k] == u)
                mapped = char(0x80 + k);
        out += mapped;
    }
    return out;
}

size_t lengthOf(const char *aText, unsigned short aLength)
{
    return aLength ? aLength : std::strlen(aText);
}

// The attachment's parameters with Firebird's file-name flag added.
std::string withUtf8FileName(const char *aDpb, short aLength)
{
    std::string dpb(aDpb && aLength > 0 ? std::string(aDpb, size_t(aLength)) : std::string(1, char(DpbVersion1)));
    dpb += char(FbDpbUtf8FileName);
    dpb += char(0);
    return dpb;
}

// Firebird's item for a new database's character set: InterBase numbers
// another item 68, so creating a database there must not send it.
bool hasFirebirdCharset(const char *aDpb, short aLength)
{
    for (short i = 1; aDpb && i + 1 < aLength;) {
        if (static_cast<unsigned char>(aDpb[i]) == DpbSetDbCharset)
            return true;
        i += short(2 + static_cast<unsigned char>(aDpb[i + 1]));
    }
    return false;
}

// InterBase's transaction parameters in Firebird's numbering.
std::string translateTpb(const char *aTpb, intptr_t aLength)
{
    std::string out;
    for (intptr_t i = 0; i < aLength;) {
        const unsigned char item = static_cast<unsigned char>(aTpb[i]);
        if (i == 0) { // the version byte
            out += char(item);
            ++i;
            continue;
        }
        if (item == TpbLockRead || item == TpbLockWrite || item == IbTpbWaitTime) {
            const intptr_t length = i + 1 < aLength ? static_cast<unsigned char>(aTpb[i + 1]) : 0;
            out += char(item == IbTpbWaitTime ? FbTpbLockTimeout : item);
            out.append(aTpb + i + 1, size_t(std::min<intptr_t>(length + 1, aLength - i - 1)));
            i += 2 + length;
            continue;
        }
        if (item != IbTpbNoSavepoint)
            out += char(item);
        ++i;
    }
    return out;
}

// Character-set numbers in a descriptor, one way or the other.
void translateCharSets(Sqlda *aSqlda, int aFrom, int aTo)
{
    if (!aSqlda)
        return;
    const int count = std::min(aSqlda->sqln, aSqlda->sqld);
    for (int i = 0; i < count; ++i) {
        SqlVar &v = aSqlda->sqlvar[i];
        const short type = short(v.sqltype & ~1);
        short *set = nullptr;
        if (type == SqlText || type == SqlVarying)
            set = &v.sqlsubtype;
        else if (type == SqlBlob && v.sqlsubtype == 1)
            set = &v.sqlscale; // a text blob's set sits where the scale would be
        if (set && (*set & 0xFF) == aFrom)
            *set = short((*set & ~0xFF) | aTo);
    }
}

// A row read: the system tables' character-set numbers as InterBase's own
// tables hold them.
void translateCharSetColumns(const Sqlda *aSqlda)
{
    if (!aSqlda)
        return;
    static const char column[] = "RDB$CHARACTER_SET_ID";
    const int count = std::min(aSqlda->sqln, aSqlda->sqld);
    for (int i = 0; i < count; ++i) {
        const SqlVar &v = aSqlda->sqlvar[i];
        if ((v.sqltype & ~1) != SqlShort || v.sqlscale != 0 || !v.sqldata
            || v.sqlname_length != short(sizeof column - 1) || std::memcmp(v.sqlname, column, sizeof column - 1) != 0)
            continue;
        if ((v.sqltype & 1) && v.sqlind && *v.sqlind < 0)
            continue;
        short value;
        std::memcpy(&value, v.sqldata, sizeof value);
        if (value == FbUtf8) {
            value = IbUtf8;
            std::memcpy(v.sqldata, &value, sizeof value);
        }
    }
}

// A descriptor the caller passes in, translated for the duration of a call.
struct TranslatedIn
{
    Sqlda *Da;
    explicit TranslatedIn(const Sqlda *aDa)
        : Da(const_cast<Sqlda *>(aDa))
    {
        translateCharSets(Da, IbUtf8, FbUtf8);
    }
    ~TranslatedIn() { translateCharSets(Da, FbUtf8, IbUtf8); }
};

// InterBase ends another attachment through its temporary tables, Firebird
// through its monitoring tables.
std::string translateStatement(const char *aText, unsigned short aLength)
{
    std::string sql(aText, lengthOf(aText, aLength));
    // Each followed by a number: an attachment's or a transaction's.
    static const std::pair<std::string, std::string> forms[] = {
        {"UPDATE TMP$ATTACHMENTS SET TMP$STATE = 'SHUTDOWN' WHERE TMP$ATTACHMENT_ID = ",
         "DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = "},
        {"SELECT COUNT(*) FROM TMP$ATTACHMENTS WHERE TMP$ATTACHMENT_ID = ",
         "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = "},
        {"SELECT A.TMP$ATTACHMENT_ID, A.TMP$USER_IP_ADDR, A.TMP$USER_PROCESS, A.TMP$USER_HOST, A.TMP$TIMESTAMP "
         "FROM TMP$ATTACHMENTS A JOIN TMP$TRANSACTIONS T ON T.TMP$ATTACHMENT_ID = A.TMP$ATTACHMENT_ID "
         "WHERE T.TMP$TRANSACTION_ID = ",
         "SELECT A.MON$ATTACHMENT_ID, A.MON$REMOTE_ADDRESS, CAST(A.MON$REMOTE_PID AS CHAR(31)), A.MON$REMOTE_HOST, "
         "A.MON$TIMESTAMP FROM MON$ATTACHMENTS A JOIN MON$TRANSACTIONS T ON T.MON$ATTACHMENT_ID = A.MON$ATTACHMENT_ID "
         "WHERE T.MON$TRANSACTION_ID = "},
    };
    for (const auto &[ib, fb] : forms)
        if (sql.compare(0, ib.size(), ib) == 0)
            return fb + sql.substr(ib.size());
    return sql;
}

bool isCreateDatabase(const std::string &aSql)
{
    size_t i = aSql.find_first_not_of(" \t\r\n");
    static const char keyword[] = "CREATE DATABASE";
    return i != std::string::npos && strncasecmp(aSql.c_str() + i, keyword, sizeof keyword - 1) == 0;
}

} // namespace

EXPORT Status isc_attach_database(Status *st, short len, const char *path, Handle *db, short dpbLen, const char *dpb)
{
    FORWARD("isc_attach_database", Status (*)(Status *, short, const char *, Handle *, short, const char *));
    Faults::WaitIfFrozen();
    if (Faults::RefuseAttach(st))
        return st[1];
    const std::string name = ansiToUtf8(path, len ? size_t(len) : std::strlen(path));
    const std::string params = withUtf8FileName(dpb, dpbLen);
    return fb(st, short(name.size()), name.c_str(), db, short(params.size()), params.data());
}

EXPORT Status isc_create_database(Status *st, short len, const char *path, Handle *db, short dpbLen, const char *dpb,
                                  short type)
{
    FORWARD("isc_create_database", Status (*)(Status *, short, const char *, Handle *, short, const char *, short));
    if (hasFirebirdCharset(dpb, dpbLen))
        return fail(st, isc_bad_dpb_form);
    const std::string name = ansiToUtf8(path, len ? size_t(len) : std::strlen(path));
    const std::string params = withUtf8FileName(dpb, dpbLen);
    return fb(st, short(name.size()), name.c_str(), db, short(params.size()), params.data(), type);
}

EXPORT Status isc_detach_database(Status *st, Handle *db)
{
    FORWARD("isc_detach_database", Status (*)(Status *, Handle *));
    if (Faults::CutDatabase(st, db))
        return st[1];
    return fb(st, db);
}

EXPORT Status isc_drop_database(Status *st, Handle *db)
{
    FORWARD("isc_drop_database", Status (*)(Status *, Handle *));
    return fb(st, db);
}

// Whether a transaction's parameters hold the lock-wait item.
bool hasWaitTime(const char *aTpb, intptr_t aLength)
{
    for (intptr_t i = 1; i < aLength;) {
        const unsigned char item = static_cast<unsigned char>(aTpb[i]);
        if (item == IbTpbWaitTime)
            return true;
        if (item == TpbLockRead || item == TpbLockWrite)
            i += 2 + (i + 1 < aLength ? static_cast<unsigned char>(aTpb[i + 1]) : 0);
        else
            ++i;
    }
    return false;
}

EXPORT Status isc_start_multiple(Status *st, Handle *tr, short count, Teb *teb)
{
    FORWARD("isc_start_multiple", Status (*)(Status *, Handle *, short, Teb *));
    Faults::WaitIfFrozen();
    // Before InterBase 2017 the server knows only wait and no wait.
    if (serverMajor() < 13)
        for (short k = 0; k < count; ++k)
            if (hasWaitTime(teb[k].Tpb, teb[k].TpbLength))
                return fail(st, isc_bad_tpb_content);
    std::vector<std::string> tpbs;
    std::vector<Teb> tebs(teb, teb + count);
    tpbs.reserve(size_t(count));
    for (Teb &t : tebs) {
        tpbs.push_back(translateTpb(t.Tpb, t.TpbLength));
        t.Tpb = tpbs.back().data();
        t.TpbLength = intptr_t(tpbs.back().size());
    }
    if (count > 0 && Faults::CutDatabase(st, teb[0].Database))
        return st[1];
    const Status r = fb(st, tr, count, tebs.data());
    if (r == 0 && count > 0)
        Faults::Started(tr, teb[0].Database);
    return r;
}

EXPORT Status isc_commit_transaction(Status *st, Handle *tr)
{
    FORWARD("isc_commit_transaction", Status (*)(Status *, Handle *));
    Faults::WaitIfFrozen();
    if (Faults::CutTransaction(st, tr))
        return st[1];
    Status faulted = 0;
    if (Faults::Commit(st, tr, fb, faulted))
        return faulted;
    return fb(st, tr);
}

EXPORT Status isc_rollback_transaction(Status *st, Handle *tr)
{
    FORWARD("isc_rollback_transaction", Status (*)(Status *, Handle *));
    Faults::WaitIfFrozen();
    if (Faults::CutTransaction(st, tr))
        return st[1];
    Faults::RolledBack(tr);
    return fb(st, tr);
}

EXPORT Status isc_dsql_allocate_statement(Status *st, Handle *db, Handle *stmt)
{
    FORWARD("isc_dsql_allocate_statement", Status (*)(Status *, Handle *, Handle *));
    Faults::WaitIfFrozen();
    if (Faults::CutDatabase(st, db))
        return st[1];
    return fb(st, db, stmt);
}

EXPORT Status isc_dsql_prepare(Status *st, Handle *tr, Handle *stmt, unsigned short len, const char *sql,
                               unsigned short dialect, Sqlda *out)
{
    FORWARD("isc_dsql_prepare", Status (*)(Status *, Handle *, Handle *, unsigned short, const char *, unsigned short, Sqlda *));
    Faults::WaitIfFrozen();
    if (Faults::CutTransaction(st, tr))
        return st[1];
    if (!fixture())
        if (const auto refusal = sqlcheck::Check(std::string(sql, lengthOf(sql, len))))
            return failSql(st, *refusal);
    const std::string text = translateStatement(sql, len);
    Faults::Prepared(stmt, text.c_str(), text.size());
    const Status r = fb(st, tr, stmt, (unsigned short)text.size(), text.c_str(), dialect, out);
    translateCharSets(out, FbUtf8, IbUtf8);
    return r;
}

EXPORT Status isc_dsql_describe(Status *st, Handle *stmt, unsigned short version, Sqlda *out)
{
    FORWARD("isc_dsql_describe", Status (*)(Status *, Handle *, unsigned short, Sqlda *));
    const Status r = fb(st, stmt, version, out);
    translateCharSets(out, FbUtf8, IbUtf8);
    return r;
}

EXPORT Status isc_dsql_describe_bind(Status *st, Handle *stmt, unsigned short version, Sqlda *in)
{
    FORWARD("isc_dsql_describe_bind", Status (*)(Status *, Handle *, unsigned short, Sqlda *));
    const Status r = fb(st, stmt, version, in);
    translateCharSets(in, FbUtf8, IbUtf8);
    return r;
}

EXPORT Status isc_dsql_execute2(Status *st, Handle *tr, Handle *stmt, unsigned short version, const Sqlda *in,
                                const Sqlda *out)
{
    FORWARD("isc_dsql_execute2", Status (*)(Status *, Handle *, Handle *, unsigned short, const Sqlda *, const Sqlda *));
    Faults::WaitIfFrozen();
    if (Faults::CutTransaction(st, tr))
        return st[1];
    Faults::Executed(tr, stmt);
    Status r;
    {
        const TranslatedIn i(in), o(out);
        r = fb(st, tr, stmt, version, in, out);
    }
    if (r == 0)
        translateCharSetColumns(out);
    return r;
}

EXPORT Status isc_dsql_fetch(Status *st, Handle *stmt, unsigned short version, const Sqlda *out)
{
    FORWARD("isc_dsql_fetch", Status (*)(Status *, Handle *, unsigned short, const Sqlda *));
    Faults::WaitIfFrozen();
    Status r;
    {
        const TranslatedIn o(out);
        r = fb(st, stmt, version, out);
    }
    if (r == 0)
        translateCharSetColumns(out);
    return r;
}

EXPORT Status isc_dsql_free_statement(Status *st, Handle *stmt, unsigned short option)
{
    FORWARD("isc_dsql_free_statement", Status (*)(Status *, Handle *, unsigned short));
    return fb(st, stmt, option);
}

EXPORT Status isc_dsql_sql_info(Status *st, Handle *stmt, short itemsLen, const char *items, short bufLen, char *buf)
{
    FORWARD("isc_dsql_sql_info", Status (*)(Status *, Handle *, short, const char *, short, char *));
    return fb(st, stmt, itemsLen, items, bufLen, buf);
}

EXPORT Status isc_dsql_execute_immediate(Status *st, Handle *db, Handle *tr, unsigned short len, const char *sql,
                                         unsigned short dialect, const Sqlda *in)
{
    FORWARD("isc_dsql_execute_immediate",
            Status (*)(Status *, Handle *, Handle *, unsigned short, const char *, unsigned short, const Sqlda *));
    Faults::WaitIfFrozen();
    if (Faults::CutDatabase(st, db) || Faults::CutTransaction(st, tr))
        return st[1];
    if (!fixture())
        if (const auto refusal = sqlcheck::Check(std::string(sql, lengthOf(sql, len))))
            return failSql(st, *refusal);
    std::string text = translateStatement(sql, len);
    // A new database's file name arrives in the ANSI code page.
    if (isCreateDatabase(text))
        text = ansiToUtf8(text.data(), text.size());
    const TranslatedIn i(in);
    return fb(st, db, tr, (unsigned short)text.size(), text.c_str(), dialect, in);
}

EXPORT Status isc_create_blob2(Status *st, Handle *db, Handle *tr, Handle *blob, void *id, short bpbLen,
                               const char *bpb)
{
    FORWARD("isc_create_blob2", Status (*)(Status *, Handle *, Handle *, Handle *, void *, short, const char *));
    return fb(st, db, tr, blob, id, bpbLen, bpb);
}

EXPORT Status isc_open_blob2(Status *st, Handle *db, Handle *tr, Handle *blob, void *id, unsigned short bpbLen,
                             const unsigned char *bpb)
{
    FORWARD("isc_open_blob2",
            Status (*)(Status *, Handle *, Handle *, Handle *, void *, unsigned short, const unsigned char *));
    return fb(st, db, tr, blob, id, bpbLen, bpb);
}

EXPORT Status isc_get_segment(Status *st, Handle *blob, unsigned short *got, unsigned short size, char *buf)
{
    FORWARD("isc_get_segment", Status (*)(Status *, Handle *, unsigned short *, unsigned short, char *));
    return fb(st, blob, got, size, buf);
}

EXPORT Status isc_put_segment(Status *st, Handle *blob, unsigned short len, const char *buf)
{
    FORWARD("isc_put_segment", Status (*)(Status *, Handle *, unsigned short, const char *));
    return fb(st, blob, len, buf);
}

EXPORT Status isc_close_blob(Status *st, Handle *blob)
{
    FORWARD("isc_close_blob", Status (*)(Status *, Handle *));
    return fb(st, blob);
}

EXPORT Status isc_cancel_blob(Status *st, Handle *blob)
{
    FORWARD("isc_cancel_blob", Status (*)(Status *, Handle *));
    return fb(st, blob);
}

// The answer to the server-version item: a count, then counted strings
// (the server's, then the remote interface's, as a server answers).
std::string versionClump()
{
    const std::string &v = serverVersion();
    const std::string remote = v + "," + v + "/tcp/P13";
    std::string data(1, char(2));
    data += char(v.size());
    data += v;
    data += char(remote.size());
    data += remote;
    std::string clump(1, char(InfoIscVersion));
    clump += char(data.size() & 0xFF);
    clump += char(data.size() >> 8);
    return clump + data;
}

EXPORT Status isc_database_info(Status *st, Handle *db, short itemsLen, const char *items, short bufLen, char *buf)
{
    FORWARD("isc_database_info", Status (*)(Status *, Handle *, short, const char *, short, char *));
    if (Faults::CutDatabase(st, db))
        return st[1];
    // The server's version is the one played; the rest is Firebird's answer.
    const std::string asked(items, size_t(std::max<short>(itemsLen, 0)));
    if (asked.find(char(InfoIscVersion)) == std::string::npos)
        return fb(st, db, itemsLen, items, bufLen, buf);
    std::string others;
    for (char c : asked)
        if (c != char(InfoIscVersion))
            others += c;
    std::vector<char> answer(size_t(std::max<short>(bufLen, 1)));
    const Status r = fb(st, db, short(others.size()), others.data(), short(answer.size()), answer.data());
    if (r)
        return r;
    std::string out = versionClump();
    // Firebird's clusters up to its end marker.
    for (size_t p = 0; p + 3 <= answer.size() && answer[p] != char(InfoEnd) && answer[p] != char(InfoTruncated);) {
        const size_t n = static_cast<unsigned char>(answer[p + 1]) | (static_cast<unsigned char>(answer[p + 2]) << 8);
        out.append(answer.data() + p, std::min(3 + n, answer.size() - p));
        p += 3 + n;
    }
    out += char(InfoEnd);
    if (out.size() > size_t(bufLen)) {
        std::memset(buf, 0, size_t(bufLen));
        if (bufLen > 0)
            buf[0] = char(InfoTruncated);
        return 0;
    }
    std::memcpy(buf, out.data(), out.size());
    return 0;
}

EXPORT Status isc_service_attach(Status *st, unsigned short len, const char *name, Handle *svc, unsigned short spbLen,
                                 const char *spb)
{
    FORWARD("isc_service_attach",
            Status (*)(Status *, unsigned short, const char *, Handle *, unsigned short, const char *));
    // The file names given to the service arrive in UTF-8 (see isc_service_start).
    std::string params(spb, spbLen);
    params += char(FbSpbUtf8FileName);
    params += char(0);
    return fb(st, len, name, svc, (unsigned short)params.size(), params.data());
}

EXPORT Status isc_service_detach(Status *st, Handle *svc)
{
    FORWARD("isc_service_detach", Status (*)(Status *, Handle *));
    return fb(st, svc);
}

EXPORT Status isc_service_start(Status *st, Handle *svc, Handle *reserved, unsigned short len, const char *spb)
{
    FORWARD("isc_service_start", Status (*)(Status *, Handle *, Handle *, unsigned short, const char *));
    // The database's name (isc_spb_dbname, two-byte length) in UTF-8; the
    // layer sends nothing else after it that holds text.
    std::string out(spb, len);
    if (len > 1) {
        for (size_t i = 1; i + 3 <= out.size();) {
            const unsigned char item = static_cast<unsigned char>(out[i]);
            if (item != SpbDbName)
                break;
            const size_t n = static_cast<unsigned char>(out[i + 1]) | (static_cast<unsigned char>(out[i + 2]) << 8);
            const std::string name = ansiToUtf8(out.data() + i + 3, std::min(n, out.size() - i - 3));
            std::string lengthBytes{char(name.size() & 0xFF), char((name.size() >> 8) & 0xFF)};
            out = out.substr(0, i + 1) + lengthBytes + name + out.substr(std::min(out.size(), i + 3 + n));
            i += 3 + name.size();
        }
    }
    return fb(st, svc, reserved, (unsigned short)out.size(), out.data());
}

EXPORT Status isc_service_query(Status *st, Handle *svc, Handle *reserved, unsigned short sendLen, const char *send,
                                unsigned short reqLen, const char *req, unsigned short bufLen, char *buf)
{
    FORWARD("isc_service_query", Status (*)(Status *, Handle *, Handle *, unsigned short, const char *, unsigned short,
                                            const char *, unsigned short, char *));
    // The server's version, asked alone, is the one played.
    if (reqLen == 1 && static_cast<unsigned char>(req[0]) == SvcServerVersion) {
        const std::string &v = serverVersion();
        if (size_t(bufLen) < v.size() + 4)
            return fb(st, svc, reserved, sendLen, send, reqLen, req, bufLen, buf);
        st[0] = ArgGds;
        st[1] = 0;
        st[2] = 0;
        buf[0] = char(SvcServerVersion);
        buf[1] = char(v.size() & 0xFF);
        buf[2] = char(v.size() >> 8);
        std::memcpy(buf + 3, v.data(), v.size());
        buf[3 + v.size()] = char(InfoEnd);
        return 0;
    }
    return fb(st, svc, reserved, sendLen, send, reqLen, req, bufLen, buf);
}

// InterBase's unbounded form of the error text (Firebird keeps it too).
EXPORT Status isc_interprete(char *buf, const Status **status)
{
    FORWARD("isc_interprete", Status (*)(char *, const Status **));
    const Status r = fb(buf, status);
    const std::string ansi = utf8ToAnsi(buf);
    std::memcpy(buf, ansi.c_str(), ansi.size() + 1); // never longer than the UTF-8 text
    return r;
}
