#include "db/IscApi.h"

#include "db/DbError.h"
#include "db/TextCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QMutex>
#include <QSettings>
#include <QStringList>

#ifndef Q_OS_WIN
#include <dlfcn.h>
#endif

#include <atomic>
#include <memory>
#include <mutex>

namespace Isc {

QStringList ClientLibraryNames()
{
#ifdef Q_OS_WIN
    // InterBase's own client first: Firebird's can't reach an InterBase server.
    return {QStringLiteral("ibclient64.dll"), QStringLiteral("gds32.dll"), QStringLiteral("fbclient.dll")};
#else
    return {QStringLiteral("libgds.so"), QStringLiteral("libfbclient.so.2")};
#endif
}

QStringList ClientLibraryFolders()
{
#ifdef Q_OS_WIN
    QStringList folders;
    auto add = [&folders](const QString &aFolder) {
        // Only absolute folders: a relative one would be the current folder,
        // where anybody may have dropped a library.
        if (aFolder.isEmpty() || QDir::isRelativePath(aFolder))
            return;
        const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(aFolder));
        if (!folders.contains(clean, Qt::CaseInsensitive))
            folders << clean;
    };
    add(QCoreApplication::applicationDirPath());
    // Where the servers' installers register themselves.
    const QString hklm = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\");
    for (const QString &key : {QStringLiteral("Embarcadero\\InterBase\\Servers\\gds_db"),
                               QStringLiteral("Borland\\InterBase\\CurrentVersion")}) {
        const QSettings interbase(hklm + key, QSettings::NativeFormat);
        const QString root = interbase.value(QStringLiteral("RootDirectory")).toString();
        if (!root.isEmpty())
            add(root + QStringLiteral("/bin"));
    }
    const QSettings firebird(hklm + QStringLiteral("Firebird Project\\Firebird Server\\Instances"),
                             QSettings::NativeFormat);
    add(firebird.value(QStringLiteral("DefaultInstance")).toString());
    // Then the system's folder and the path.
    add(qEnvironmentVariable("SystemRoot") + QStringLiteral("/System32"));
    for (const QString &folder : qEnvironmentVariable("PATH").split(QLatin1Char(';'), Qt::SkipEmptyParts))
        add(folder);
    return folders;
#else
    // The system's loader search (LD_LIBRARY_PATH, then its cache), which
    // never looks in the current folder unless told to.
    return {};
#endif
}

namespace {

template<class F>
bool resolve(QLibrary &aLibrary, const char *aName, F &aSlot)
{
    aSlot = reinterpret_cast<F>(aLibrary.resolve(aName));
    return aSlot != nullptr;
}

std::unique_ptr<TClient> load()
{
    auto client = std::make_unique<TClient>();
    const QStringList names = ClientLibraryNames();
    const QStringList folders = ClientLibraryFolders();
    QStringList candidates;
    if (folders.isEmpty())
        candidates = names;
    for (const QString &folder : folders)
        for (const QString &name : names)
            candidates << QDir(folder).filePath(name);
    for (const QString &candidate : candidates) {
        if (!folders.isEmpty() && !QFileInfo::exists(candidate))
            continue;
        auto library = std::make_unique<QLibrary>(candidate);
        if (!library->load())
            continue;
        TEntryPoints &a = client->Api;
        bool ok = resolve(*library, "isc_attach_database", a.attach_database)
               && resolve(*library, "isc_detach_database", a.detach_database)
               && resolve(*library, "isc_create_database", a.create_database)
               && resolve(*library, "isc_start_multiple", a.start_multiple)
               && resolve(*library, "isc_commit_transaction", a.commit_transaction)
               && resolve(*library, "isc_rollback_transaction", a.rollback_transaction)
               && resolve(*library, "isc_dsql_allocate_statement", a.dsql_allocate_statement)
               && resolve(*library, "isc_dsql_prepare", a.dsql_prepare)
               && resolve(*library, "isc_dsql_describe", a.dsql_describe)
               && resolve(*library, "isc_dsql_describe_bind", a.dsql_describe_bind)
               && resolve(*library, "isc_dsql_execute2", a.dsql_execute2)
               && resolve(*library, "isc_dsql_fetch", a.dsql_fetch)
               && resolve(*library, "isc_dsql_free_statement", a.dsql_free_statement)
               && resolve(*library, "isc_dsql_sql_info", a.dsql_sql_info)
               && resolve(*library, "isc_dsql_execute_immediate", a.dsql_execute_immediate)
               && resolve(*library, "isc_create_blob2", a.create_blob2)
               && resolve(*library, "isc_open_blob2", a.open_blob2)
               && resolve(*library, "isc_get_segment", a.get_segment)
               && resolve(*library, "isc_put_segment", a.put_segment)
               && resolve(*library, "isc_close_blob", a.close_blob)
               && resolve(*library, "isc_cancel_blob", a.cancel_blob)
               && resolve(*library, "isc_drop_database", a.drop_database)
               && resolve(*library, "isc_database_info", a.database_info)
               && resolve(*library, "isc_service_attach", a.service_attach)
               && resolve(*library, "isc_service_detach", a.service_detach)
               && resolve(*library, "isc_service_start", a.service_start)
               && resolve(*library, "isc_service_query", a.service_query);
        // Firebird's client is told by what only it exports.
        const bool firebird = library->resolve("fb_interpret") || library->resolve("fb_get_master_interface");
        if (firebird) {
            ok = ok && resolve(*library, "fb_interpret", a.fb_interpret);
            resolve(*library, "fb_cancel_operation", a.fb_cancel_operation);
        } else {
            ok = ok && resolve(*library, "isc_interprete", a.isc_interprete);
        }
        if (!ok) {
            library->unload();
            client->Api = {};
            continue;
        }
        client->Flavour = firebird ? &FirebirdFlavour() : &InterBaseFlavour();
        client->LibraryFile = QDir::toNativeSeparators(library->fileName());
#ifndef Q_OS_WIN
        // The file the loader chose, not the name it was asked for.
        Dl_info info{};
        if (dladdr(reinterpret_cast<void *>(a.attach_database), &info) && info.dli_fname)
            client->LibraryFile = QFile::decodeName(info.dli_fname);
#endif
        client->Library = std::move(library);
        return client;
    }
    QString where = names.join(QStringLiteral(", "));
    if (!folders.isEmpty())
        where += QStringLiteral(" ; dossiers : ") + QDir::toNativeSeparators(folders.join(QStringLiteral(" ; ")));
    throw EDbError(QStringLiteral("Bibliothèque cliente introuvable : ni celle d'InterBase ni celle de Firebird "
                                  "(fichiers cherchés : %1).").arg(where));
}

} // namespace

const TClient &Client()
{
    // Read on every value: once loaded, no lock. A failed load is tried
    // again on the next use: the operator may install the client meanwhile.
    static std::atomic<const TClient *> loaded{nullptr};
    if (const TClient *client = loaded.load(std::memory_order_acquire))
        return *client;
    static std::unique_ptr<TClient> client;
    static QBasicMutex mutex;
    const std::lock_guard<QBasicMutex> lock(mutex);
    if (!client)
        client = load();
    loaded.store(client.get(), std::memory_order_release);
    return *client;
}

QString ClientDescription()
{
    const TClient &client = Client();
    return QStringLiteral("%1 (%2)").arg(client.LibraryFile, QLatin1String(client.Flavour->Name));
}

QString StatusText(const TStatusVector &aStatus)
{
    const TClient &client = Client();
    QStringList lines;
    const TStatus *pv = aStatus.V;
    char buffer[1024];
    for (;;) {
        buffer[0] = '\0';
        const bool more = client.Api.fb_interpret ? client.Api.fb_interpret(buffer, sizeof buffer, &pv) != 0
                                                  : client.Api.isc_interprete(buffer, &pv) != 0;
        if (!more)
            break;
        lines << DecodeClientText(QByteArray(buffer));
    }
    return lines.join(QLatin1Char('\n')).trimmed();
}

void Raise(const TStatusVector &aStatus)
{
    QList<qint64> codes;
    QList<qint64> numbers;
    QList<TErreurSysteme> systeme;
    const TStatus *v = aStatus.V;
    for (int i = 0; i < StatusLength - 1 && v[i] != ArgEnd;) {
        const TStatus kind = v[i];
        if (kind == ArgGds)
            codes << qint64(v[i + 1]);
        else if (kind == ArgNumber)
            numbers << qint64(v[i + 1]);
        // Numbers too wide for a status word (transaction numbers, on
        // Firebird) come as text.
        else if (kind == ArgString && v[i + 1] != 0) {
            bool ok = false;
            const qint64 n = QByteArray(reinterpret_cast<const char *>(v[i + 1])).toLongLong(&ok);
            if (ok)
                numbers << n;
        } else if (kind == ArgUnix || kind == ArgWin32)
            systeme << TErreurSysteme{kind == ArgWin32, qint64(v[i + 1]), {}};
        // Through the network the server's errno arrives as its text only.
        else if (kind == ArgInterpreted && v[i + 1])
            systeme << TErreurSysteme{false, 0,
                                      DecodeClientText(QByteArray(reinterpret_cast<const char *>(v[i + 1])))};
        i += (kind == ArgCstring) ? 3 : 2;
    }
    throw EDbError(StatusText(aStatus), codes, numbers, systeme);
}

void Check(const TStatusVector &aStatus)
{
    if (aStatus.Failed())
        Raise(aStatus);
}

qint64 VaxInteger(const char *aBytes, int aLength)
{
    quint64 value = 0;
    for (int i = 0; i < aLength && i < 8; ++i)
        value |= quint64(static_cast<unsigned char>(aBytes[i])) << (8 * i);
    // Sign-extend from the width given.
    if (aLength > 0 && aLength < 8 && (value >> (8 * aLength - 1)) & 1)
        value |= ~quint64(0) << (8 * aLength);
    return qint64(value);
}

} // namespace Isc
