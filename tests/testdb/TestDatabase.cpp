#include "TestDatabase.h"

#include "common/TextFile.h"
#include "db/DbError.h"
#include "db/DbScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QMutex>
#include <QResource>
#include <QUuid>

#include <sys/stat.h>
#include <unistd.h>

const QString TTestDatabase::User = QStringLiteral("SYSDBA");
const QString TTestDatabase::Password = QStringLiteral("tidestone");

namespace {

void createEmptyDatabase(const QString &aPath, const QString &aCharSet)
{
    TDbConnectionParams p;
    p.Database = aPath;
    p.UserName = TTestDatabase::User;
    p.Password = TTestDatabase::Password;
    CreateDatabase(p, aCharSet, false); // test data need not survive a power cut
}

QStringList schemaScripts(TTestDatabase::TSchema aSchema)
{
    QStringList names = QDir(QStringLiteral(":/testdb")).entryList({QStringLiteral("*.sql")}, QDir::Files, QDir::Name);
    if (aSchema == TTestDatabase::TSchema::Empty)
        return {};
    if (aSchema == TTestDatabase::TSchema::RetailOnly)
        names = names.filter(QStringLiteral("retail"));
    return names;
}

TDbConnectionParams paramsFor(const QString &aPath)
{
    TDbConnectionParams p;
    p.Database = aPath;
    p.UserName = TTestDatabase::User;
    p.Password = TTestDatabase::Password;
    return p;
}

// Templates, one per schema, built on first use in this process.
QString templateFor(TTestDatabase::TSchema aSchema, const QString &aCharSet)
{
    static QMutex mutex;
    static QMap<QString, QString> templates;
    QMutexLocker lock(&mutex);
    const QString key = QStringLiteral("%1-%2").arg(int(aSchema)).arg(aCharSet.toLower());
    if (templates.contains(key))
        return templates.value(key);
    const QString path = TTestDatabase::Folder() + QStringLiteral("template-%1-%2.fdb")
                                                       .arg(QCoreApplication::applicationPid()).arg(key);
    QFile::remove(path);
    const TFixtureSql fixture;
    createEmptyDatabase(path, aCharSet);
    {
        TDbConnection cnx(paramsFor(path));
        for (const QString &name : schemaScripts(aSchema)) {
            QFile f(QStringLiteral(":/testdb/") + name);
            f.open(QIODevice::ReadOnly);
            RunChunks(cnx, QString::fromUtf8(f.readAll()));
        }
    }
    templates.insert(key, path);
    // Templates go with the process.
    static struct TCleanup {
        ~TCleanup()
        {
            for (const QString &p : std::as_const(templates))
                QFile::remove(p);
        }
    } cleanup;
    return path;
}

} // namespace

namespace {
QMutex fixtureMutex;
int fixtureDepth = 0;
} // namespace

TFixtureSql::TFixtureSql()
{
    QMutexLocker lock(&fixtureMutex);
    if (fixtureDepth++ == 0)
        qputenv("IVROMVT_IBCLIENT_FIXTURE", "1");
}

TFixtureSql::~TFixtureSql()
{
    QMutexLocker lock(&fixtureMutex);
    // Set to 0 rather than removed: the environment keeps its size while a
    // worker thread may read it.
    if (--fixtureDepth == 0)
        qputenv("IVROMVT_IBCLIENT_FIXTURE", "0");
}

void RunChunks(TDbConnection &aConnection, const QString &aScript)
{
    const TFixtureSql fixture;
    TDbScript runner(&aConnection);
    QString chunk;
    for (const QString &line : aScript.split(QLatin1Char('\n'))) {
        if (line.trimmed() == QLatin1String("^")) {
            runner.ExecuteChunk(chunk);
            chunk.clear();
        } else if (!line.trimmed().startsWith(QLatin1String("--")) || !chunk.trimmed().isEmpty()) {
            chunk += line + QLatin1Char('\n');
        }
    }
    runner.ExecuteChunk(chunk);
}

QString TTestDatabase::Folder()
{
    // Every parent must be enterable by the server's user: not under /root.
    const QString folder = qEnvironmentVariable("IVROMVT_TEST_DB_DIR", QStringLiteral("/var/tmp/ivromvt/tests"));
    QDir().mkpath(folder);
    ::chmod(folder.toLocal8Bit().constData(), 01777);
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

TTestDatabase::TTestDatabase(TSchema aSchema, const QString &aCharSet)
    : FCharSet(aCharSet)
{
    const QString source = templateFor(aSchema, aCharSet);
    FPath = Folder() + QStringLiteral("t-%1.fdb").arg(QUuid::createUuid().toString(QUuid::Id128));
    if (!QFile::copy(source, FPath))
        throw EDbError(QStringLiteral("Copie de la base de test impossible : %1").arg(FPath));
    // The server runs as its own user and must be able to write the copy.
    ::chmod(FPath.toLocal8Bit().constData(), 0666);
}

TTestDatabase::~TTestDatabase()
{
    QFile::remove(FPath);
}

std::unique_ptr<TDbConnection> TTestDatabase::Connect() const
{
    return std::make_unique<TDbConnection>(paramsFor(FPath));
}

void TTestDatabase::Exec(const QString &aSql) const
{
    const TFixtureSql fixture;
    auto cnx = Connect();
    if (aSql.contains(QLatin1String("\n^"))) {
        RunChunks(*cnx, aSql);
        return;
    }
    TDbQuery q(cnx.get());
    q.SetParamCheck(false);
    q.SQL() << aSql;
    q.ExecSQL();
}

QVariant TTestDatabase::Scalar(const QString &aSql) const
{
    const TFixtureSql fixture;
    auto cnx = Connect();
    TDbQuery q(cnx.get());
    q.SQL() << aSql;
    q.Open();
    return q.IsEmpty() ? QVariant() : q.Fields(0).AsVariant();
}

int TTestDatabase::Count(const QString &aFromWhere) const
{
    return Scalar(QStringLiteral("SELECT COUNT(*) FROM ") + aFromWhere).toInt();
}

QByteArray TTestDatabase::StoredHex(const QString &aColumn, const QString &aFromWhere) const
{
    // OCTETS reads back as Windows-1252 text, every byte kept: the five bytes
    // that the code page leaves undefined come as the control characters of
    // the same number, the only characters of 0x80..0x9F that can come.
    const QString raw = Scalar(QStringLiteral("SELECT CAST(%1 AS VARCHAR(4000) CHARACTER SET OCTETS) FROM %2")
                                   .arg(aColumn, aFromWhere)).toString();
    QByteArray bytes;
    for (const QChar c : raw) {
        const char16_t u = c.unicode();
        bytes += (u >= 0x80 && u < 0xA0) ? QByteArray(1, char(u)) : EncodeWindows1252(QString(c));
    }
    return bytes.toHex(' ').toUpper();
}

QStringList TTestDatabase::Rows(const QString &aSql) const
{
    const TFixtureSql fixture;
    auto cnx = Connect();
    TDbQuery q(cnx.get());
    q.SQL() << aSql;
    q.Open();
    QStringList rows;
    for (; !q.Eof(); q.Next()) {
        QStringList cols;
        for (int i = 0; i < q.FieldCount(); ++i)
            cols << q.Fields(i).AsString();
        rows << cols.join(QLatin1Char('|'));
    }
    return rows;
}

bool InterBaseClient()
{
    return DbClientInfo().Flavour == QLatin1String("InterBase");
}
