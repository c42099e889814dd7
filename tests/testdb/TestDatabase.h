#pragma once

#include "db/DbConnection.h"
#include "db/DbQuery.h"

#include <QString>
#include <QVariant>

#include <memory>

// A fresh site database for one test, on the local server, dropped when the
// object goes. It is a copy of a template built once per test process from
// the schema scripts embedded under :/testdb (retail tables and the
// SymmetricDS tables), so each test starts from the same known state.
class TTestDatabase
{
public:
    enum class TSchema {
        Full,     // retail tables + SymmetricDS tables
        RetailOnly, // no SymmetricDS table at all
        Empty     // a bare database
    };

    // aCharSet: the database's default character set (NONE, WIN1252, UTF8).
    // NONE unless a case is about character sets: the sites' databases are.
    explicit TTestDatabase(TSchema aSchema = TSchema::Full, const QString &aCharSet = QStringLiteral("NONE"));
    ~TTestDatabase();
    TTestDatabase(const TTestDatabase &) = delete;
    TTestDatabase &operator=(const TTestDatabase &) = delete;

    // The database path on the server, as the program's callers give it.
    const QString &Path() const { return FPath; }
    const QString &CharSet() const { return FCharSet; }

    // A connection of its own as SYSDBA; the caller owns it.
    std::unique_ptr<TDbConnection> Connect() const;

    // Runs statements given in the "^" chunk convention (or one statement).
    void Exec(const QString &aSql) const;
    // The first column of the first row of a query, NULL as an invalid QVariant.
    QVariant Scalar(const QString &aSql) const;
    int Count(const QString &aFromWhere) const; // SELECT COUNT(*) FROM <aFromWhere>
    // The bytes stored in a text column, as hex: aColumn FROM aFromWhere, one row.
    QByteArray StoredHex(const QString &aColumn, const QString &aFromWhere) const;
    // Every row of a query, each as its columns' text joined by "|".
    QStringList Rows(const QString &aSql) const;

    // Folder the server can write, where test databases are made.
    static QString Folder();
    static const QString User;
    static const QString Password;

private:
    QString FPath;
    QString FCharSet;
};

// Whether this process talks through InterBase's client (the suites run a
// second time through a stand-in for it): for the few cases that can hold
// on one client only, which then say so with a skip.
bool InterBaseClient();

// Runs a script in the "^" chunk convention through the given connection.
void RunChunks(TDbConnection &aConnection, const QString &aScript);

// While one lives, the stand-in for InterBase's client lets through the
// Firebird-only SQL of the tests' own fixtures (Firebird's PSQL functions,
// EXECUTE BLOCK...): the program's statements are checked, not the tests'.
// TTestDatabase's own statements and RunChunks make one themselves.
class TFixtureSql
{
public:
    TFixtureSql();
    ~TFixtureSql();
    TFixtureSql(const TFixtureSql &) = delete;
    TFixtureSql &operator=(const TFixtureSql &) = delete;
};
