#include "common/ErreurSysteme.h"

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
