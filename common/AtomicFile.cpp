#include "common/AtomicFile.h"

#include "common/ErreurSysteme.h"

#include <QFile>

#include <stdexcept>

void WriteFileAtomically(const QString &aPath, const QByteArray &aBytes, TFileAccess aAccess)
{
    TNewFile file(aPath, aAccess);
    file.Write(aBytes);
    file.Commit();
}

void CopyFileAtomically(const QString &aSource, const QString &aTarget, TFileAccess aAccess)
{
    QFile in(aSource);
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Impossible de lire le fichier \"%1\" : %2")
                                     .arg(aSource, TexteErreurFichier(in))
                                     .toStdString());
    TNewFile out(aTarget, aAccess);
    while (!in.atEnd()) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty() && in.error() != QFileDevice::NoError)
            throw std::runtime_error(QStringLiteral("Impossible de lire le fichier \"%1\" : %2")
                                         .arg(aSource, TexteErreurFichier(in))
                                         .toStdString());
        out.Write(block);
    }
    out.Commit();
}

void TNewFile::Fail(const QString &aReason) const
{
    throw std::runtime_error(
        QStringLiteral("Impossible d'écrire le fichier \"%1\" : %2").arg(FTarget, aReason).toStdString());
}
