#include "common/ErreurSysteme.h"

#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

QString TexteErreurSysteme(int aErrno)
{
    switch (aErrno) {
    case ENOENT: return QStringLiteral("fichier ou dossier introuvable");
    case EACCES: return QStringLiteral("accès refusé");
    case EPERM: return QStringLiteral("opération non permise");
    case EEXIST: return QStringLiteral("le fichier existe déjà");
    case ENOTDIR: return QStringLiteral("un élément du chemin n'est pas un dossier");
    case EISDIR: return QStringLiteral("c'est un dossier");
    case ENOSPC: return QStringLiteral("plus de place sur le disque");
    case EROFS: return QStringLiteral("système de fichiers en lecture seule");
    case ENAMETOOLONG: return QStringLiteral("nom de fichier trop long");
    case EBUSY: return QStringLiteral("fichier ou dossier occupé");
    case EIO: return QStringLiteral("erreur d'entrée-sortie du disque");
#ifdef ELOOP
    case ELOOP: return QStringLiteral("trop de liens symboliques, ou un lien refusé");
#endif
#ifdef ENXIO
    case ENXIO: return QStringLiteral("aucun programme ne lit ce fichier spécial");
#endif
#ifdef EDQUOT
    case EDQUOT: return QStringLiteral("quota disque dépassé");
#endif
    default: break;
    }
    return QString::fromLocal8Bit(std::strerror(aErrno));
}

QString TexteErreurFichier(const QFileDevice &aFile)
{
    const QFileDevice::FileError erreur = aFile.error();
    const QString nom = aFile.fileName();
    if ((erreur == QFileDevice::OpenError || erreur == QFileDevice::ReadError) && !nom.isEmpty()) {
        const QFileInfo fi(nom);
        if (!fi.exists() && !fi.isSymLink())
            return TexteErreurSysteme(ENOENT);
        if (fi.isDir())
            return TexteErreurSysteme(EISDIR);
    }
    QString genre;
    switch (erreur) {
    case QFileDevice::OpenError: genre = QStringLiteral("ouverture refusée par le système"); break;
    case QFileDevice::ReadError: genre = QStringLiteral("erreur de lecture"); break;
    case QFileDevice::WriteError: genre = QStringLiteral("erreur d'écriture"); break;
    case QFileDevice::ResourceError:
        genre = QStringLiteral("ressources du système épuisées (disque plein ?)");
        break;
    case QFileDevice::PermissionsError: genre = QStringLiteral("droits refusés"); break;
    case QFileDevice::RemoveError: genre = QStringLiteral("suppression impossible"); break;
    case QFileDevice::RenameError: genre = QStringLiteral("renommage impossible"); break;
    case QFileDevice::ResizeError: genre = QStringLiteral("changement de taille impossible"); break;
    case QFileDevice::PositionError: genre = QStringLiteral("déplacement dans le fichier impossible"); break;
    case QFileDevice::CopyError: genre = QStringLiteral("copie impossible"); break;
    default: genre = QStringLiteral("erreur du système de fichiers"); break;
    }
    const QString systeme = aFile.errorString();
    return systeme.isEmpty() ? genre : QStringLiteral("%1 (%2)").arg(genre, systeme);
}
