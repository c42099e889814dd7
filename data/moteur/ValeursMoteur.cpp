#include "data/moteur/ValeursMoteur.h"

#include "db/DbError.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool AsciiLetterOrDigit(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// A refused character as the message shows it: one that can't be seen
// between « » is named.
QString CaractereAffichable(QChar c)
{
    switch (c.unicode()) {
    case 0x20: return QStringLiteral("espace");
    case 0x09: return QStringLiteral("tabulation");
    case 0xA0: return QStringLiteral("espace insécable");
    case 0x202F: return QStringLiteral("espace fine insécable");
    default: break;
    }
    if (c.isSpace())
        return QStringLiteral("espace U+%1").arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0'));
    return ValeurAffichable(QString(c));
}

// Letters, digits and the few marks a name may hold.
QString RefusNom(const QString &aValue, qsizetype aMax)
{
    if (aValue.isEmpty())
        return QStringLiteral("valeur vide");
    if (aValue.size() > aMax)
        return QStringLiteral("plus de %1 caractères").arg(aMax);
    if (!AsciiLetterOrDigit(aValue.front()))
        return QStringLiteral("doit commencer par une lettre sans accent ou un chiffre");
    for (QChar c : aValue)
        if (!AsciiLetterOrDigit(c) && c != u'-' && c != u'_' && c != u'.')
            return QStringLiteral("caractère « %1 » refusé ; permis : lettres sans accent, chiffres, - _ et .")
                .arg(CaractereAffichable(c));
    return {};
}

bool Ipv4(const QString &aValue)
{
    const QStringList parts = aValue.split(u'.');
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (QChar c : part)
            if (c < u'0' || c > u'9')
                return false;
        if (part.toInt() > 255)
            return false;
    }
    return true;
}

bool Ipv6(const QString &aValue)
{
    if (aValue.size() < 2 || aValue.size() > 45 || !aValue.contains(u':'))
        return false;
    for (QChar c : aValue)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':'
              || c == u'.'))
            return false;
    return aValue.count(QStringLiteral("::")) <= 1;
}

bool Rfc1123(const QString &aValue)
{
    if (aValue.isEmpty() || aValue.size() > 253)
        return false;
    for (const QString &label : aValue.split(u'.')) {
        if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
            return false;
        for (QChar c : label)
            if (!AsciiLetterOrDigit(c) && c != u'-')
                return false;
    }
    // All digits and dots would be a malformed address, not a name.
    for (QChar c : aValue)
        if (!(c >= u'0' && c <= u'9') && c != u'.')
            return true;
    return false;
}

} // namespace

QString ValeurAffichable(const QString &aValue)
{
    QString shown;
    for (QChar c : aValue.left(80)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x%1").arg(uint(c.unicode()), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return aValue.size() > 80 ? shown + QStringLiteral("…") : shown;
}

QString RefusNomService(const QString &aValue)
{
    return RefusNom(aValue, 80);
}

QString RefusIdentifiant(const QString &aValue)
{
    return RefusNom(aValue, 50);
}

QString RefusHote(const QString &aValue)
{
    if (aValue.isEmpty())
        return QStringLiteral("valeur vide");
    if (aValue.startsWith(u'[') && aValue.endsWith(u']'))
        return Ipv6(aValue.mid(1, aValue.size() - 2)) ? QString() : QStringLiteral("adresse IPv6 invalide");
    if (Ipv4(aValue) || Rfc1123(aValue))
        return {};
    return QStringLiteral("ni un nom d'hôte (lettres sans accent, chiffres, - et . ; 253 caractères au plus), ni une "
                          "adresse IPv4, ni une adresse IPv6 entre crochets");
}

QString RefusUrl(const QString &aValue)
{
    const qsizetype scheme = aValue.indexOf(QLatin1String("://"));
    const QString name = aValue.left(scheme);
    if (scheme < 0 || (name != QLatin1String("http") && name != QLatin1String("https")))
        return QStringLiteral("doit commencer par http:// ou https://");
    const QString rest = aValue.mid(scheme + 3);
    const qsizetype slash = rest.indexOf(u'/');
    const QString authority = slash < 0 ? rest : rest.left(slash);
    const QString path = slash < 0 ? QString() : rest.mid(slash);

    QString host = authority;
    const qsizetype colon = authority.lastIndexOf(u':');
    if (colon >= 0 && colon > authority.lastIndexOf(u']')) {
        host = authority.left(colon);
        bool ok = false;
        const int port = authority.mid(colon + 1).toInt(&ok, 10);
        if (!ok || port < 1 || port > 65535 || authority.mid(colon + 1).startsWith(u'+'))
            return QStringLiteral("port invalide : \"%1\"").arg(ValeurAffichable(authority.mid(colon + 1)));
    }
    const QString hostRefusal = RefusHote(host);
    if (!hostRefusal.isEmpty())
        return QStringLiteral("hôte \"%1\" : %2").arg(ValeurAffichable(host), hostRefusal);
    if (path.contains(QLatin1String("..")) || path.contains(QLatin1String("//")))
        return QStringLiteral("chemin avec \"..\" ou \"//\"");
    for (QChar c : path)
        if (!AsciiLetterOrDigit(c) && !QStringView(u"-._~/").contains(c))
            return QStringLiteral("caractère « %1 » refusé dans le chemin ; permis : lettres sans accent, chiffres, "
                                  "- . _ ~ et /")
                .arg(CaractereAffichable(c));
    if (aValue.size() > 2000)
        return QStringLiteral("plus de 2000 caractères");
    return {};
}

QString RefusControle(const QString &aValue)
{
    for (QChar c : aValue)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("caractère de contrôle « %1 » refusé").arg(ValeurAffichable(QString(c)));
    return {};
}

QString RefusChemin(const QString &aValue)
{
    if (aValue.isEmpty())
        return QStringLiteral("valeur vide");
    if (const QString refusal = RefusControle(aValue); !refusal.isEmpty())
        return refusal;
    if (aValue.contains(u'"'))
        return QStringLiteral("guillemet refusé");
    if (aValue.size() > 1000)
        return QStringLiteral("plus de 1000 caractères");
    return {};
}

QString RefusDossier(const QString &aValue, bool aMustExist)
{
    if (const QString refusal = RefusChemin(aValue); !refusal.isEmpty())
        return refusal;
    if (!QDir::isAbsolutePath(aValue))
        return QStringLiteral("chemin relatif : donnez un chemin absolu");
    if (aMustExist && !QFileInfo(aValue).isDir())
        return QStringLiteral("ce dossier n'existe pas");
    return {};
}

void ExigeValeur(const QString &aWhat, const QString &aValue, const QString &aRefusal)
{
    if (!aRefusal.isEmpty())
        throw EDbError(QStringLiteral("%1 refusé : \"%2\" (%3) ; rien n'a été fait.")
                           .arg(aWhat, ValeurAffichable(aValue), aRefusal));
}
