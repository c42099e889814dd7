#pragma once

// Whole-file reads and writes for the suites that check files byte for byte.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// Fails the calling test when the file can't be written whole.
inline void WriteFile(const QString &aPath, const QByteArray &aContent)
{
    QFile file(aPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(aContent), aContent.size());
}

// "<absent>" when the file can't be read.
inline QByteArray ReadFile(const QString &aPath)
{
    QFile file(aPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}
