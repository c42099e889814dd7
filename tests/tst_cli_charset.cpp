// The command line on the databases the sites have: text written and read
// back through ivromvt-cli, tables and JSON, in each database's own bytes.
#include "CliRun.h"
#include "testdb/IdentityFixture.h"
#include "testdb/TestDatabase.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestCliCharset : public QObject
{
    Q_OBJECT
private slots:
    void nameWrittenAndReadBack_data();
    void nameWrittenAndReadBack();
};

void TestCliCharset::nameWrittenAndReadBack_data()
{
    QTest::addColumn<QString>("charSet");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("NONE") << "NONE" << QByteArray("53 E8 54 45 20 80");
    QTest::newRow("WIN1252") << "WIN1252" << QByteArray("53 E8 54 45 20 80");
    QTest::newRow("UTF8") << "UTF8" << QByteArray("53 C3 A8 54 45 20 E2 82 AC");
}

void TestCliCharset::nameWrittenAndReadBack()
{
    QFETCH(QString, charSet);
    QFETCH(QByteArray, stored);
    TTestDatabase db(TTestDatabase::TSchema::Full, charSet);
    IdentityFixture::AddSites(db);
    TCliRun r = RunCli({QStringLiteral("set-nom-pour-nous"), db.Path(), QStringLiteral("Sète €"), QStringLiteral("--oui")});
    QVERIFY2(r.Code == 0, qPrintable(r.Err));
    // Upper-cased A to Z only: "SèTE €".
    QCOMPARE(db.StoredHex(QStringLiteral("BAS_NOMPOURNOUS"), QStringLiteral("GENBASES WHERE BAS_ID = 101")), stored);

    r = RunCli({QStringLiteral("get-nom-pour-nous"), db.Path(), QStringLiteral("--json")});
    QCOMPARE(r.Code, 0);
    const QJsonObject json = QJsonDocument::fromJson(r.Out.toUtf8()).object();
    QCOMPARE(json.value(QStringLiteral("bas_nompournous")).toString(), QStringLiteral("sète €"));
    r = RunCli({QStringLiteral("get-nom-pour-nous"), db.Path()});
    QCOMPARE(r.Code, 0);
    QVERIFY2(r.Out.contains(QStringLiteral("sète €")), qPrintable(r.Out));
}

QTEST_GUILESS_MAIN(TestCliCharset)
#include "tst_cli_charset.moc"
