#pragma once

// Runs the real ivromvt-cli for the command-line suites. Standard input is
// not a terminal, so no question can be answered: writes need --oui.

#include <QProcess>
#include <QString>
#include <QStringList>

struct TCliRun
{
    int Code = -1; // -1 when the program crashed or had to be stopped
    QString Out;
    QString Err;
};

inline TCliRun RunCli(const QStringList &aArgs, int aTimeoutMs = 120000)
{
    QProcess p;
    p.setProgram(QStringLiteral(IVROMVT_CLI_PATH));
    p.setArguments(aArgs);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    TCliRun r;
    if (!p.waitForFinished(aTimeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.Code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromUtf8(p.readAllStandardOutput());
    r.Err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
