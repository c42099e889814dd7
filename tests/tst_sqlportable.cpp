// Every SQL text the program sends must be understood by InterBase servers as
// well as by Firebird's: no statement form, function or system-table column
// that only Firebird has. Test fixtures may use what they like; this reads
// the program's own sources and scripts.
#include "data/uDataMod.h"
#include "testdb/TestDatabase.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QtTest>

class TestSqlPortable : public QObject
{
    Q_OBJECT
private slots:
    void programSqlAvoidsFirebirdOnlyForms_data();
    void programSqlAvoidsFirebirdOnlyForms();
};

namespace {

// The string literals of a C++ source file, joined by line breaks (adjacent
// literals of one expression run together, as the compiler joins them).
QString literalsOf(const QString &aSource)
{
    static const QRegularExpression literal(QStringLiteral("\"((?:[^\"\\\\\\n]|\\\\.)*)\""));
    QString out;
    for (auto it = literal.globalMatch(aSource); it.hasNext();)
        out += it.next().captured(1) + QLatin1Char('\n');
    return out;
}

QString readFile(const QString &aPath)
{
    QFile f(aPath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

} // namespace

void TestSqlPortable::programSqlAvoidsFirebirdOnlyForms_data()
{
    Q_INIT_RESOURCE(resources);
    QTest::addColumn<QString>("origin");
    QTest::addColumn<QString>("text");
    const QDir root(QStringLiteral(IVROMVT_SOURCE_DIR));
    for (const char *folder : {"data", "db", "cli", "app", "common"}) {
        QDirIterator it(root.filePath(QLatin1String(folder)), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                        QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            QTest::newRow(qPrintable(root.relativeFilePath(path))) << path << literalsOf(readFile(path));
        }
    }
    // Embedded scripts as the program sends them: the movement script with
    // its install-time rewrites, for a database of each key-names kind.
    QDirIterator res(root.filePath(QStringLiteral("resources")), {QStringLiteral("*.sql")}, QDir::Files);
    while (res.hasNext()) {
        const QString path = res.next();
        if (path.endsWith(QLatin1String("ivro_mvt.sql")))
            continue;
        QTest::newRow(qPrintable(root.relativeFilePath(path))) << path << readFile(path);
    }
    TTestDatabase db;
    TDataMod dm;
    const QStringList lines = QString::fromUtf8(TOperationsMouvement::MouvementScriptResource()).split(QLatin1Char('\n'));
    QTest::newRow("ivro_mvt installé") << QStringLiteral("ivro_mvt") << dm.Mouvement.MouvementScriptPourBase(db.Path(), lines).join(QLatin1Char('\n'));
}

void TestSqlPortable::programSqlAvoidsFirebirdOnlyForms()
{
    QFETCH(QString, origin);
    QFETCH(QString, text);
    // What only Firebird parses or has in its catalogue. (RDB$RELATION_TYPE
    // is read only where the server knows it. EXECUTE STATEMENT is
    // InterBase's too, from XE7 on; the movement script's clean-up that used
    // it gives way to exact DROPs for another reason: it took the gap-repair
    // kit with it.)
    static const QList<QPair<const char *, QRegularExpression>> forbidden = [] {
        QList<QPair<const char *, QRegularExpression>> list;
        const auto add = [&](const char *aName, const char *aPattern) {
            list.append({aName, QRegularExpression(QLatin1String(aPattern), QRegularExpression::CaseInsensitiveOption)});
        };
        add("IIF", "\\bIIF\\s*\\(");
        add("EXECUTE BLOCK", "\\bEXECUTE\\s+BLOCK\\b");
        add("RECREATE", "\\bRECREATE\\s+(TABLE|PROCEDURE|VIEW|TRIGGER|EXCEPTION|SEQUENCE|GENERATOR)\\b");
        add("CREATE OR ALTER", "\\bCREATE\\s+OR\\s+ALTER\\b");
        add("UPDATE OR INSERT", "\\bUPDATE\\s+OR\\s+INSERT\\b");
        add("RETURNING", "\\bRETURNING\\s+\\w");
        add("DATEADD/DATEDIFF", "\\bDATE(ADD|DIFF)\\s*\\(");
        add("LIST()", "\\bLIST\\s*\\(");
        add("context variables", "\\bRDB\\$(GET|SET)_CONTEXT\\b");
        add("sequences", "\\bNEXT\\s+VALUE\\s+FOR\\b|\\bCREATE\\s+SEQUENCE\\b|\\bGEN_UUID\\b");
        add("autonomous transactions", "\\bIN\\s+AUTONOMOUS\\s+TRANSACTION\\b");
        add("string functions", "\\b(TRIM|CHAR_LENGTH|CHARACTER_LENGTH|LPAD|RPAD|OVERLAY|POSITION)\\s*\\(");
        add("SIMILAR TO", "\\bSIMILAR\\s+TO\\b");
        add("Firebird catalogue columns",
            "\\bRDB\\$(PACKAGE_NAME|PROCEDURE_TYPE|VALID_BLR|NULL_FLAG|GENERATOR_INCREMENT|INITIAL_VALUE|ENGINE_NAME|ENTRYPOINT|LEGACY_FLAG|DETERMINISTIC_FLAG|SQL_SECURITY)\\b");
        add("Firebird monitoring tables", "\\bMON\\$\\w+");
        return list;
    }();
    // The flavour table holds each server's own statements, the one sent
    // chosen by the client loaded.
    const bool flavourTable = origin.endsWith(QLatin1String("db/ClientFlavour.cpp"));
    for (const auto &[name, pattern] : forbidden) {
        if (flavourTable && QLatin1String(name) == QLatin1String("Firebird monitoring tables"))
            continue;
        const QRegularExpressionMatch m = pattern.match(text);
        if (m.hasMatch()) {
            const int line = int(text.left(m.capturedStart()).count(QLatin1Char('\n'))) + 1;
            QFAIL(qPrintable(QStringLiteral("%1 : « %2 » (%3), ligne de texte %4").arg(origin, m.captured(), QLatin1String(name)).arg(line)));
        }
    }
}

QTEST_GUILESS_MAIN(TestSqlPortable)
#include "tst_sqlportable.moc"
