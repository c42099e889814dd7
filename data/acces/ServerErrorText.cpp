#include "data/acces/ServerErrorText.h"

#include "common/Erreur.h"
#include "db/DbError.h"

#include <QStringList>

#include <initializer_list>

namespace {

// The server's error codes (gds codes) that the sentences rest on.
constexpr qint64 isc_bad_db_format = 335544323;
constexpr qint64 isc_deadlock = 335544336;
constexpr qint64 isc_io_error = 335544344;
constexpr qint64 isc_lock_conflict = 335544345;
constexpr qint64 isc_unavailable = 335544375;
constexpr qint64 isc_wrong_ods = 335544379;
constexpr qint64 isc_update_conflict = 335544451;
constexpr qint64 isc_connect_reject = 335544421;
constexpr qint64 isc_login = 335544472;
constexpr qint64 isc_lock_timeout = 335544510;
constexpr qint64 isc_shutdown = 335544528;
constexpr qint64 isc_dsql_relation_err = 335544580;
constexpr qint64 isc_dsql_procedure_err = 335544581;
constexpr qint64 isc_net_lookup_err = 335544704;
constexpr qint64 isc_network_error = 335544721;
constexpr qint64 isc_net_connect_err = 335544722;
constexpr qint64 isc_net_connect_listen_err = 335544723;
constexpr qint64 isc_net_read_err = 335544726;
constexpr qint64 isc_net_write_err = 335544727;
constexpr qint64 isc_read_only_database = 335544765;
constexpr qint64 isc_io_open_err = 335544734;
constexpr qint64 isc_no_priv = 335544352;

struct TPhrase
{
    std::initializer_list<qint64> Codes;
    const char16_t *Texte;
};

// In order of precedence: a refused login or a server out of reach explains
// everything that follows it in the same error.
const TPhrase Phrases[] = {
    {{isc_login},
     u"Le serveur a refusé la connexion : le compte SYSDBA ou son mot de passe n'est pas celui de ce serveur."},
    // Once connected: the same network error, with how it ended.
    {{isc_net_read_err, isc_net_write_err},
     u"La connexion au serveur de bases de données a été coupée (réseau interrompu, ou serveur arrêté)."},
    {{isc_network_error, isc_net_connect_err, isc_net_connect_listen_err, isc_net_lookup_err},
     u"Le serveur de bases de données est injoignable : vérifiez son nom, qu'il est démarré et que son port (3050 "
     u"sauf indication contraire dans le chemin) est ouvert."},
    // What the client says of a server that turned the connection down, at
    // once or after its connect time-out: no time-out is assumed.
    {{isc_connect_reject},
     u"Le serveur n'a pas accepté la connexion (refusée aussitôt, ou restée sans réponse jusqu'au délai de "
     u"connexion) : vérifiez que c'est bien un serveur de bases de données qui écoute à cette adresse et sur ce "
     u"port, et qu'il n'est pas surchargé."},
    {{isc_shutdown}, u"La base est arrêtée sur le serveur : remettez-la en ligne avant de vous en servir."},
    {{isc_no_priv},
     u"Accès refusé par le serveur : droits insuffisants sur la base ou sur l'un de ses objets (un fichier de base "
     u"que le compte du serveur ne peut qu'ouvrir en lecture est refusé ainsi)."},
    {{isc_read_only_database},
     u"La base est en lecture seule : le serveur ne peut pas y écrire (fichier ou base marqués en lecture seule)."},
    {{isc_io_open_err},
     u"Base introuvable ou illisible : le serveur ne peut pas ouvrir son fichier. Vérifiez le chemin tel que le "
     u"serveur le voit, et que le compte du serveur a le droit de lire et d'écrire ce fichier."},
    {{isc_io_error, isc_bad_db_format, isc_wrong_ods, isc_unavailable},
     u"Base introuvable, ou ce fichier n'est pas une base InterBase ou Firebird que ce serveur sait ouvrir : vérifiez le chemin "
     u"tel que le serveur le voit."},
    {{isc_lock_conflict, isc_deadlock, isc_update_conflict, isc_lock_timeout},
     u"Des lignes sont verrouillées par un autre programme, et le sont restées pendant toute l'attente : "
     u"réessayez plus tard."},
    {{isc_dsql_relation_err, isc_dsql_procedure_err},
     u"Table ou procédure inconnue dans cette base : ce n'est pas une base du réseau, ou il lui manque une partie "
     u"de son schéma."},
};

} // namespace

QString PhraseErreurServeur(const QList<qint64> &aCodes)
{
    for (const TPhrase &phrase : Phrases)
        for (qint64 code : phrase.Codes)
            if (aCodes.contains(code))
                return QString::fromUtf16(phrase.Texte);
    return {};
}

namespace {

// What the system told the server about the file, when it says more than
// "could not open": the cause the operator must act on.
QString PhraseFichier(const EDbError &aError)
{
    // errno of a POSIX server, GetLastError() of a Windows one.
    constexpr qint64 enoent = 2, eacces = 13, eperm = 1;
    constexpr qint64 fileNotFound = 2, pathNotFound = 3, accessDenied = 5, sharingViolation = 32;
    // A remote server sends the system's message instead of its code: the
    // usual wordings of POSIX servers and of English and French Windows.
    static const QStringList textesAbsent = {QStringLiteral("No such file or directory"),
                                             QStringLiteral("The system cannot find the file specified"),
                                             QStringLiteral("The system cannot find the path specified"),
                                             QStringLiteral("Le fichier spécifié est introuvable"),
                                             QStringLiteral("Le chemin d'accès spécifié est introuvable")};
    static const QStringList textesRefus = {QStringLiteral("Permission denied"),
                                            QStringLiteral("Operation not permitted"),
                                            QStringLiteral("Access is denied"),
                                            QStringLiteral("Accès refusé")};
    const auto parmi = [](const QString &aTexte, const QStringList &aTextes) {
        for (const QString &t : aTextes)
            if (aTexte.trimmed().startsWith(t, Qt::CaseInsensitive))
                return true;
        return false;
    };
    for (const TErreurSysteme &e : aError.ErreursSysteme()) {
        const bool absent = !e.Texte.isEmpty() ? parmi(e.Texte, textesAbsent)
                            : e.Windows        ? (e.Code == fileNotFound || e.Code == pathNotFound)
                                               : e.Code == enoent;
        const bool refuse = !e.Texte.isEmpty() ? parmi(e.Texte, textesRefus)
                            : e.Windows        ? (e.Code == accessDenied || e.Code == sharingViolation)
                                               : (e.Code == eacces || e.Code == eperm);
        if (absent)
            return QStringLiteral("Base introuvable : aucun fichier à ce chemin tel que le serveur le voit (sur le "
                                  "serveur, pas sur ce poste) ; vérifiez le chemin.");
        if (refuse)
            return QStringLiteral("Le serveur n'a pas le droit d'ouvrir ce fichier (accès refusé par le système) : "
                                  "donnez au compte sous lequel tourne le serveur de bases de données le droit de "
                                  "lire et d'écrire la base et son dossier.");
    }
    return {};
}

} // namespace

QString PhraseErreurServeur(const EDbError &aError)
{
    if (aError.HasCode(isc_io_error) && !aError.HasCode(isc_login)) {
        const QString fichier = PhraseFichier(aError);
        if (!fichier.isEmpty())
            return fichier;
    }
    return PhraseErreurServeur(aError.Codes());
}

QString TexteErreurServeur(const EDbError &aError)
{
    const QString phrase = PhraseErreurServeur(aError);
    return phrase.isEmpty() ? aError.Message() : phrase + QLatin1Char('\n') + aError.Message();
}

QString TexteErreurServeur(const std::exception &aError)
{
    if (const auto *db = dynamic_cast<const EDbError *>(&aError))
        return TexteErreurServeur(*db);
    return TexteErreur(aError);
}
