#include "common/AtomicFile.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace {

[[noreturn]] void Fail(const QString &aPath, const QString &aReason)
{
    throw std::runtime_error(
        QStringLiteral("Impossible d'écrire le fichier \"%1\" : %2").arg(aPath, aReason).toStdString());
}

} // namespace

void WriteFileAtomically(const QString &aPath, const QByteArray &aBytes)
{
    const QFileInfo target(aPath);
    QTemporaryFile file(target.absolutePath() + QStringLiteral("/.") + target.fileName()
                        + QStringLiteral(".XXXXXX"));
    if (!file.open())
        Fail(aPath, file.errorString());
    if (file.write(aBytes) != aBytes.size() || !file.flush())
        Fail(aPath, file.errorString());
    file.close();
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(file.fileName().toStdU16String()),
                            std::filesystem::path(target.absoluteFilePath().toStdU16String()), error);
    if (error)
        Fail(aPath, QString::fromLocal8Bit(error.message()));
    // Renamed: nothing is left to remove under the temporary name.
    file.setAutoRemove(false);
}
