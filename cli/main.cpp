// ivromvt-cli: every operation of the data module from a terminal.
#include "cli/CliCommand.h"
#include "cli/InterruptWatcher.h"
#include "data/uDataMod.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // Before anything else: an interruption is answered from the start.
    Interruption::Start();
    QCoreApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    TDataMod dataMod;
    DataMod = &dataMod;

    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    const int code = RunCli(app.arguments().mid(1), out, err, in, ::isatty(STDIN_FILENO) != 0);
    out.flush();
    err.flush();
    DataMod = nullptr;
    return Interruption::Leave(code);
}
