#include "common/AtomicFile.h"

#include "common/Erreur.h"
#include "common/ErreurSysteme.h"

#include <QFile>

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
        throw EIvroErreur(QStringLiteral("Impossible de lire le fichier \"%1\" : %2")
                              .arg(aSource, TexteErreurFichier(in)));
    TNewFile out(aTarget, aAccess);
    while (!in.atEnd()) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty() && in.error() != QFileDevice::NoError)
            throw EIvroErreur(QStringLiteral("Impossible de lire le fichier \"%1\" : %2")
                                  .arg(aSource, TexteErreurFichier(in)));
        out.Write(block);
    }
    out.Commit();
}

void TNewFile::Fail(const QString &aReason) const
{
    throw EIvroErreur(QStringLiteral("Impossible d'écrire le fichier \"%1\" : %2").arg(FTarget, aReason));
}
