#include "DataModFixture.h"
#include "db/DbError.h"
#include "testdb/IdentityFixture.h"
#include "testdb/TestDatabase.h"

#include <QProcess>
#include <QTest>

using namespace IdentityFixture;

namespace {

void addUrlParam(const TTestDatabase &aDb, int aId, const QString &aUrl, bool aEnabled = true)
{
    AddKeyed(aDb, aId,
             QStringLiteral("INSERT INTO GENPARAM (PRM_ID, PRM_TYPE, PRM_CODE, PRM_INFO, PRM_STRING) "
                            "VALUES (%1, 80, 1, 'URL de synchronisation IVRO', '%2')").arg(aId).arg(aUrl),
             aEnabled);
}

bool shutDown(const TTestDatabase &aDb)
{
    QProcess gfix;
    gfix.start(QStringLiteral("gfix"), {QStringLiteral("-shut"), QStringLiteral("full"), QStringLiteral("-force"),
                                        QStringLiteral("0"), QStringLiteral("-user"), TTestDatabase::User,
                                        QStringLiteral("-password"), TTestDatabase::Password,
                                        QStringLiteral("localhost:") + aDb.Path()});
    return gfix.waitForFinished(30000) && gfix.exitStatus() == QProcess::NormalExit && gfix.exitCode() == 0;
}

} // namespace

class TestReplication : public QObject
{
    Q_OBJECT

private slots:
    void infosReplication_data();
    void infosReplication();
    void replicationRows();
    void updateRepPlacebase();
    void updateRepPlacebaseWithoutRow();
    void setGenParamURL_data();
    void setGenParamURL();
    void deleteGenParamURL();
    void restartDataBase();

private:
    TDataModFixture FDataMod;
};

void TestReplication::infosReplication_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("serveur");
    QTest::newRow("host, port and path") << "http://lame.example:8080/sync/lame" << "lame.example";
    QTest::newRow("host and path") << "http://lame.example/sync" << "lame.example";
    QTest::newRow("host only") << "http://lame.example" << "lame.example";
    QTest::newRow("'|' ends the host") << "http://lame|other" << "lame";
    QTest::newRow("text before the scheme") << "url=http://10.0.0.1:31415/sync" << "10.0.0.1";
    QTest::newRow("https kept whole") << "https://lame.example:8443/sync" << "https://lame.example:8443/sync";
    QTest::newRow("capitals kept whole") << "HTTP://LAME:8080/sync" << "HTTP://LAME:8080/sync";
    QTest::newRow("no host before the port") << "http://:8080/sync" << "";
    QTest::newRow("scheme alone") << "http://" << "";
}

void TestReplication::infosReplication()
{
    QFETCH(QString, url);
    QFETCH(QString, serveur);
    TTestDatabase db;
    AddSites(db);
    AddReplication(db, url);
    const TInfosReplication infos = DataMod->Replication.InfosReplication(db.Path());
    QCOMPARE(infos.NomBase, QStringLiteral("PARIS"));
    QCOMPARE(infos.ServeurReplication, serveur);
}

void TestReplication::replicationRows()
{
    TTestDatabase db;
    AddSites(db);
    // No launch for the local site yet.
    TInfosReplication none = DataMod->Replication.InfosReplication(db.Path());
    QCOMPARE(none.NomBase, QString());
    QCOMPARE(none.ServeurReplication, QString());
    QCOMPARE(DataMod->Replication.GetCheminBaseGENREPLICATION(db.Path()), QString());
    QCOMPARE(DataMod->Replication.GetCheminBaseGENREPLICATION(QString()), QString());

    AddReplication(db, QStringLiteral("http://b-premier:8080/sync"));
    // Order 0 is not a replication entry; a second ordered entry comes after.
    db.Exec(QStringLiteral("INSERT INTO GENREPLICATION (REP_ID, REP_LAUID, REP_ORDRE, REP_URLDISTANT, REP_PLACEBASE) "
                           "VALUES (402, 301, 0, 'http://zero/', 'z:\\zero.ib')"));
    db.Exec(QStringLiteral("INSERT INTO GENREPLICATION (REP_ID, REP_LAUID, REP_ORDRE, REP_URLDISTANT, REP_PLACEBASE) "
                           "VALUES (403, 301, 2, 'http://a-second:8080/sync', 'e:\\second.ib')"));
    QCOMPARE(DataMod->Replication.InfosReplication(db.Path()).ServeurReplication, QStringLiteral("a-second"));
    // The row the location is written to: the first by order.
    QCOMPARE(DataMod->Replication.GetCheminBaseGENREPLICATION(db.Path()), QStringLiteral("d:\\bases\\site.ib"));
    QCOMPARE(DataMod->Replication.PlaceBaseAEcrire(db.Path()).REP_ID, 401);

    // A disabled launch hides its entries.
    db.Exec(QStringLiteral("UPDATE K SET K_ENABLED = 0 WHERE K_ID = 301"));
    QCOMPARE(DataMod->Replication.InfosReplication(db.Path()).NomBase, QString());
    QCOMPARE(DataMod->Replication.GetCheminBaseGENREPLICATION(db.Path()), QString());
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.InfosReplication(QString()));
}

void TestReplication::updateRepPlacebase()
{
    TTestDatabase db;
    AddSites(db);
    AddReplication(db);
    // Asked as it will be stored.
    QCOMPARE(DataMod->Replication.PlaceBaseAEcrire(db.Path(), QStringLiteral("c:\\bases\\x.ib")).Apres,
             QStringLiteral("C:\\BASES\\X.IB"));
    QVERIFY(DataMod->Replication.UpdateREP_PLACEBASE(db.Path(), QStringLiteral("c:\\bases\\site-é.ib")));
    QCOMPARE(DataMod->Replication.GetCheminBaseGENREPLICATION(db.Path()), QStringLiteral("C:\\BASES\\SITE-é.IB"));
    QVERIFY(KVersion(db, 401) > 1); // the change travels
    QCOMPARE(KVersion(db, 0), 1);
    QVERIFY(!DataMod->Replication.UpdateREP_PLACEBASE(QString(), QStringLiteral("c:\\x.ib")));
}

void TestReplication::updateRepPlacebaseWithoutRow()
{
    TTestDatabase db;
    AddSites(db);
    db.Exec(QStringLiteral("INSERT INTO GENREPLICATION (REP_ID, REP_LAUID, REP_ORDRE, REP_PLACEBASE) "
                           "VALUES (0, 0, 0, 'd:\\orphan.ib')"));
    // Nothing to update: no success claimed, and key row 0 stays as it was.
    QVERIFY(!DataMod->Replication.UpdateREP_PLACEBASE(db.Path(), QStringLiteral("c:\\bases\\site.ib")));
    QCOMPARE(KVersion(db, 0), 1);
    QCOMPARE(db.Scalar(QStringLiteral("SELECT REP_PLACEBASE FROM GENREPLICATION WHERE REP_ID = 0")).toString(),
             QStringLiteral("d:\\orphan.ib"));
}

void TestReplication::setGenParamURL_data()
{
    QTest::addColumn<int>("existing");
    QTest::addColumn<bool>("ok");
    QTest::newRow("none: created then set") << 0 << true;
    QTest::newRow("one") << 1 << true;
    QTest::newRow("two: ambiguous, untouched") << 2 << false;
}

void TestReplication::setGenParamURL()
{
    QFETCH(int, existing);
    QFETCH(bool, ok);
    TTestDatabase db;
    addUrlParam(db, 250, QStringLiteral("http://ancienne"), false); // disabled: not the parameter
    for (int i = 0; i < existing; ++i)
        addUrlParam(db, 251 + i, QStringLiteral("http://ancienne"));

    const QString url = QStringLiteral("http://Lame.Example:31415/sync/Lame");
    QCOMPARE(DataMod->Replication.SetGenParamURL(db.Path(), url), ok);
    const QString enabled = QStringLiteral(
        "SELECT PRM_STRING FROM GENPARAM JOIN K ON K_ID = PRM_ID AND K_ENABLED = 1 WHERE PRM_TYPE = 80 AND PRM_CODE = 1");
    if (ok)
        QCOMPARE(db.Rows(enabled), QStringList{url});
    else
        QCOMPARE(db.Rows(enabled), QStringList({QStringLiteral("http://ancienne"), QStringLiteral("http://ancienne")}));
    QCOMPARE(db.Scalar(QStringLiteral("SELECT PRM_STRING FROM GENPARAM WHERE PRM_ID = 250")).toString(),
             QStringLiteral("http://ancienne"));
    QVERIFY_THROWS_EXCEPTION(EDbError, DataMod->Replication.SetGenParamURL(QString(), url));
}

void TestReplication::deleteGenParamURL()
{
    TTestDatabase db;
    addUrlParam(db, 251, QStringLiteral("http://a"));
    addUrlParam(db, 252, QStringLiteral("http://b"), false);
    AddPassage(db);
    qint64 supprimes = -1;
    QVERIFY(DataMod->Replication.DeleteGenParamURL(db.Path(), &supprimes));
    QCOMPARE(supprimes, 2);
    QCOMPARE(db.Rows(QStringLiteral("SELECT PRM_ID FROM GENPARAM")), QStringList{QStringLiteral("201")});
    QCOMPARE(db.Count(QStringLiteral("K WHERE K_ID IN (251, 252)")), 2); // key rows stay
    QVERIFY(DataMod->Replication.DeleteGenParamURL(db.Path(), &supprimes)); // nothing left: still fine
    QCOMPARE(supprimes, 0);

    TTestDatabase empty(TTestDatabase::TSchema::Empty);
    QVERIFY(!DataMod->Replication.DeleteGenParamURL(empty.Path()));
    QVERIFY(!DataMod->Replication.DeleteGenParamURL(QString()));
}

void TestReplication::restartDataBase()
{
    TTestDatabase db(TTestDatabase::TSchema::Empty);
    QVERIFY(!DataMod->Replication.RestartDataBase(db.Path())); // online already: the server refuses
    QVERIFY(shutDown(db));
    QVERIFY_THROWS_EXCEPTION(EDbError, db.Count(QStringLiteral("RDB$DATABASE")));
    QVERIFY(DataMod->Replication.RestartDataBase(db.Path()));
    QCOMPARE(db.Count(QStringLiteral("RDB$DATABASE")), 1);
    QVERIFY(!DataMod->Replication.RestartDataBase(TTestDatabase::Folder() + QStringLiteral("inconnue.fdb")));
    QVERIFY(!DataMod->Replication.RestartDataBase(QString()));
}

QTEST_GUILESS_MAIN(TestReplication)
#include "tst_replication.moc"
