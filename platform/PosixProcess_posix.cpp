#include "platform/PosixProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool IsExecutableFile(const QString &aPath)
{
    const QFileInfo info(aPath);
    return info.isFile() && ::access(QFile::encodeName(info.absoluteFilePath()).constData(), X_OK) == 0;
}

// The descriptor is closed on every path out, child or parent.
class TFd
{
public:
    explicit TFd(int aFd = -1) : FFd(aFd) {}
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    ~TFd() { Reset(); }
    int Get() const { return FFd; }
    void Reset(int aFd = -1)
    {
        if (FFd >= 0)
            ::close(FFd);
        FFd = aFd;
    }

private:
    int FFd;
};

bool MakePipe(TFd &aRead, TFd &aWrite)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    aRead.Reset(fds[0]);
    aWrite.Reset(fds[1]);
    return true;
}

// Only async-signal-safe calls from here to exec: the parent may run threads.
[[noreturn]] void RunChild(const char *aProgram, char *const aArgv[], const char *aDirectory,
                           TProcessStreams aStreams, int aOutput, int aReport)
{
    int failure = 0;
    if (aStreams != TProcessStreams::Inherit) {
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::dup2(null, STDIN_FILENO) < 0 || ::dup2(null, STDERR_FILENO) < 0
            || ::dup2(aStreams == TProcessStreams::Capture ? aOutput : null, STDOUT_FILENO) < 0)
            failure = errno;
    }
    if (failure == 0 && aDirectory && ::chdir(aDirectory) != 0)
        failure = errno;
    if (failure == 0) {
        ::execv(aProgram, aArgv);
        failure = errno;
    }
    // The parent reads why the program did not start.
    [[maybe_unused]] const ssize_t written = ::write(aReport, &failure, sizeof failure);
    ::_exit(127);
}

void PumpEvents()
{
    if (QCoreApplication *app = QCoreApplication::instance(); app && app->thread() == QThread::currentThread())
        QCoreApplication::processEvents();
}

// The child's exit status; waits without blocking the caller's events when asked.
int WaitForChild(pid_t aPid, bool aPumpEvents)
{
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(aPid, &status, aPumpEvents ? WNOHANG : 0);
        if (done == aPid)
            break;
        if (done < 0 && errno != EINTR)
            return -1;
        if (done == 0) {
            PumpEvents();
            ::usleep(20000);
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

QString FindProgram(const QString &aProgram)
{
    if (aProgram.isEmpty())
        return {};
    if (aProgram.contains(u'/'))
        return IsExecutableFile(aProgram) ? QFileInfo(aProgram).absoluteFilePath() : QString();
    const QString path = QString::fromLocal8Bit(qgetenv("PATH"));
    for (const QString &folder : path.split(u':', Qt::SkipEmptyParts)) {
        const QString candidate = QDir(folder).filePath(aProgram);
        if (IsExecutableFile(candidate))
            return QFileInfo(candidate).absoluteFilePath();
    }
    return {};
}

TProcessResult RunProgramAndWait(const QString &aProgram, const QStringList &aArguments,
                                 const QString &aDirectory, TProcessStreams aStreams, bool aPumpEvents)
{
    TProcessResult result;
    const QString program = FindProgram(aProgram);
    if (program.isEmpty()) {
        result.Error = QStringLiteral("Programme introuvable : %1").arg(aProgram);
        return result;
    }

    // Everything the child needs is built before fork: it may not allocate.
    std::vector<std::string> texts;
    texts.push_back(QFile::encodeName(program).toStdString());
    for (const QString &argument : aArguments)
        texts.push_back(argument.toLocal8Bit().toStdString());
    std::vector<char *> argv;
    for (std::string &text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    const std::string directory = QFile::encodeName(aDirectory).toStdString();

    TFd reportRead, reportWrite, outputRead, outputWrite;
    if (!MakePipe(reportRead, reportWrite)
        || (aStreams == TProcessStreams::Capture && !MakePipe(outputRead, outputWrite))) {
        result.Error = QStringLiteral("Impossible de lancer %1 : %2").arg(aProgram, QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }

    const pid_t pid = ::fork();
    if (pid < 0) {
        result.Error = QStringLiteral("Impossible de lancer %1 : %2").arg(aProgram, QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    if (pid == 0)
        RunChild(argv[0], argv.data(), directory.empty() ? nullptr : directory.c_str(), aStreams,
                 outputWrite.Get(), reportWrite.Get());

    // The parent keeps only the reading ends: end of file then means the
    // child has exec'ed (close-on-exec) or ended.
    reportWrite.Reset();
    outputWrite.Reset();

    if (aStreams == TProcessStreams::Capture) {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(outputRead.Get(), buffer, sizeof buffer);
            if (got > 0)
                result.Output.append(buffer, got);
            else if (got == 0 || errno != EINTR)
                break;
        }
    }

    int failure = 0;
    ssize_t got = 0;
    do
        got = ::read(reportRead.Get(), &failure, sizeof failure);
    while (got < 0 && errno == EINTR);
    const int exitCode = WaitForChild(pid, aPumpEvents && got <= 0);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        result.Error = QStringLiteral("Impossible de lancer %1 : %2")
                           .arg(aProgram, QString::fromLocal8Bit(std::strerror(failure)));
        result.Output.clear();
        return result;
    }
    result.Started = true;
    result.ExitCode = exitCode;
    return result;
}
