#include "data/replication/SeedLine.h"

namespace {

// A cursor over one line; every reader returns "" on success, the reason
// otherwise.
class TLecteur
{
public:
    explicit TLecteur(const QString &aLine) : FLine(aLine) {}

    QString Lit()
    {
        if (FLine.trimmed().isEmpty())
            return QStringLiteral("ligne vide");
        for (;;) {
            Blancs();
            if (Fin() || Car() == QLatin1Char(','))
                return QStringLiteral("valeur manquante avant %1").arg(Fin() ? QStringLiteral("la fin de la ligne")
                                                                            : QStringLiteral("une virgule"));
            const QString refus = Valeur();
            if (!refus.isEmpty())
                return refus;
            Blancs();
            if (Fin())
                return {};
            if (Car() != QLatin1Char(','))
                return QStringLiteral("%1 : une virgule est attendue entre deux valeurs").arg(Extrait());
            ++FPos;
        }
    }

private:
    bool Fin() const { return FPos >= FLine.size(); }
    QChar Car(qsizetype aDecalage = 0) const
    {
        return FPos + aDecalage < FLine.size() ? FLine[FPos + aDecalage] : QChar();
    }
    void Blancs()
    {
        while (!Fin() && (Car() == QLatin1Char(' ') || Car() == QLatin1Char('\t')))
            ++FPos;
    }
    static bool Chiffre(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
    static bool Lettre(QChar c)
    {
        return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
               || c == QLatin1Char('_') || c == QLatin1Char('$') || Chiffre(c);
    }

    // The offending text, up to the next comma, for the operator to find it.
    QString Extrait() const
    {
        qsizetype fin = FLine.indexOf(QLatin1Char(','), FPos + 1);
        if (fin < 0)
            fin = FLine.size();
        QString texte = FLine.mid(FPos, fin - FPos).trimmed();
        if (texte.size() > 40)
            texte = texte.left(40) + QStringLiteral("…");
        return QStringLiteral("« %1 »").arg(texte);
    }

    QString PasUneValeur() const
    {
        return QStringLiteral("%1 n'est pas une valeur simple (nombre, texte entre apostrophes, NULL ou date "
                              "typée comme DATE '2024-01-31')")
            .arg(Extrait());
    }

    QString Valeur()
    {
        const QChar c = Car();
        if (c == QLatin1Char('\''))
            return Texte();
        if ((c == QLatin1Char('q') || c == QLatin1Char('Q')) && Car(1) == QLatin1Char('\''))
            return TexteQ();
        if (Chiffre(c) || c == QLatin1Char('.') || c == QLatin1Char('+') || c == QLatin1Char('-'))
            return Nombre();
        if (Lettre(c)) {
            const qsizetype debut = FPos;
            while (!Fin() && Lettre(Car()))
                ++FPos;
            const QString mot = FLine.mid(debut, FPos - debut).toUpper();
            if (mot == QLatin1String("NULL"))
                return {};
            if (mot == QLatin1String("DATE") || mot == QLatin1String("TIME") || mot == QLatin1String("TIMESTAMP")) {
                Blancs();
                if (Car() == QLatin1Char('\''))
                    return Texte();
            }
            FPos = debut;
        }
        return PasUneValeur();
    }

    // 'text', a doubled quote standing for one.
    QString Texte()
    {
        const qsizetype debut = FPos++;
        while (!Fin()) {
            if (Car() == QLatin1Char('\'')) {
                if (Car(1) != QLatin1Char('\'')) {
                    ++FPos;
                    return {};
                }
                ++FPos;
            }
            ++FPos;
        }
        FPos = debut;
        return QStringLiteral("%1 : texte entre apostrophes sans apostrophe de fin").arg(Extrait());
    }

    // q'<open>…<close>' : the text ends at the first <close> followed by a
    // quote, whatever it holds before.
    QString TexteQ()
    {
        const qsizetype debut = FPos;
        FPos += 2;
        const QChar ouvrant = Car();
        if (Fin() || ouvrant.isSpace() || ouvrant == QLatin1Char('\'')) {
            FPos = debut;
            return QStringLiteral("%1 : délimiteur de texte q'…' invalide").arg(Extrait());
        }
        QChar fermant = ouvrant;
        if (ouvrant == QLatin1Char('('))
            fermant = QLatin1Char(')');
        else if (ouvrant == QLatin1Char('['))
            fermant = QLatin1Char(']');
        else if (ouvrant == QLatin1Char('{'))
            fermant = QLatin1Char('}');
        else if (ouvrant == QLatin1Char('<'))
            fermant = QLatin1Char('>');
        const qsizetype fin = FLine.indexOf(QString(fermant) + QLatin1Char('\''), FPos + 1);
        if (fin < 0) {
            FPos = debut;
            return QStringLiteral("%1 : texte q'%2…%3' sans fin").arg(Extrait(), ouvrant, fermant);
        }
        FPos = fin + 2;
        return {};
    }

    // [+|-] digits [. digits] [E [+|-] digits], or [+|-] . digits [...]
    QString Nombre()
    {
        const qsizetype debut = FPos;
        if (Car() == QLatin1Char('+') || Car() == QLatin1Char('-'))
            ++FPos;
        qsizetype chiffres = 0;
        while (Chiffre(Car()))
            ++FPos, ++chiffres;
        if (Car() == QLatin1Char('.')) {
            ++FPos;
            while (Chiffre(Car()))
                ++FPos, ++chiffres;
        }
        if (chiffres > 0 && (Car() == QLatin1Char('e') || Car() == QLatin1Char('E'))) {
            ++FPos;
            if (Car() == QLatin1Char('+') || Car() == QLatin1Char('-'))
                ++FPos;
            qsizetype exposant = 0;
            while (Chiffre(Car()))
                ++FPos, ++exposant;
            chiffres = exposant > 0 ? chiffres : 0;
        }
        // A number glued to a name or a bracket is an expression.
        if (chiffres == 0 || Lettre(Car()) || Car() == QLatin1Char('(') || Car() == QLatin1Char('.')) {
            FPos = debut;
            return PasUneValeur();
        }
        return {};
    }

    const QString &FLine;
    qsizetype FPos = 0;
};

} // namespace

QString RefusLigneDeValeurs(const QString &aLine)
{
    return TLecteur(aLine).Lit();
}
