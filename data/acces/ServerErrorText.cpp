#include "data/acces/ServerErrorText.h"

#include "db/DbError.h"

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
    {{isc_network_error, isc_net_connect_err, isc_net_connect_listen_err, isc_net_lookup_err},
     u"Le serveur de bases de données est injoignable : vérifiez son nom, qu'il est démarré et que son port (3050 "
     u"sauf indication contraire dans le chemin) est ouvert."},
    // What the client says of a server that accepted the connection and then
    // did not answer within the connect time-out.
    {{isc_connect_reject},
     u"Le serveur n'a pas répondu à la connexion dans le délai imparti : vérifiez que c'est bien un serveur de "
     u"bases de données qui écoute à cette adresse et sur ce port, et qu'il n'est pas surchargé."},
    {{isc_shutdown}, u"La base est arrêtée sur le serveur : remettez-la en ligne avant de vous en servir."},
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

QString TexteErreurServeur(const EDbError &aError)
{
    const QString phrase = PhraseErreurServeur(aError.Codes());
    return phrase.isEmpty() ? aError.Message() : phrase + QLatin1Char('\n') + aError.Message();
}
