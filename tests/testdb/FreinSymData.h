#pragma once

// Holds a sending inside its range procedure for as long as a test needs:
// every event of table K inserted into SYM_DATA first updates a row that
// the test keeps locked, so the procedure waits there (up to the layer's
// lock wait). Release() lets it go on, as if nothing had happened.

#include "testdb/TestDatabase.h"

#include <QString>

#include <memory>

class TFreinSymData
{
public:
    explicit TFreinSymData(const TTestDatabase &aDb) : FDb(aDb)
    {
        aDb.Exec(QStringLiteral(
            "CREATE TABLE FREIN (N INTEGER)\n^\n"
            "INSERT INTO FREIN VALUES (0)\n^\n"
            "CREATE TRIGGER TRG_FREIN FOR SYM_DATA ACTIVE BEFORE INSERT POSITION 10 AS BEGIN "
            "IF (NEW.TABLE_NAME = 'K') THEN UPDATE FREIN SET N = N + 1; END\n^\n"));
    }
    ~TFreinSymData() { Release(); }

    // From now on a sending stops at its first event.
    void Hold()
    {
        FCnx = FDb.Connect();
        FCnx->StartTransaction();
        TDbQuery update(FCnx.get());
        update.SQL() << QStringLiteral("UPDATE FREIN SET N = N");
        update.ExecSQL();
        FDepart = Generateur();
    }
    // The sending has numbered its first event: it is inside its
    // procedure, waiting, its own transaction started.
    bool Held() const { return Generateur() > FDepart; }
    // Rolled back, so that the sending's own update meets no newer version.
    void Release()
    {
        if (FCnx && FCnx->InTransaction())
            FCnx->Rollback();
        FCnx.reset();
    }

private:
    qint64 Generateur() const
    {
        return FDb.Scalar(QStringLiteral("SELECT GEN_ID(GEN_SYM_DATA_DATA_ID, 0) FROM RDB$DATABASE")).toLongLong();
    }

    const TTestDatabase &FDb;
    std::unique_ptr<TDbConnection> FCnx;
    qint64 FDepart = 0;
};
