#include "common/uCommun.h"

#include "platform/MachineInfo.h"

#include <QLocale>

#include <cmath>

QString FormatDuree(double aSecondes)
{
    // The remainder of the day is taken before narrowing to int, so that a
    // value beyond 32 bits cannot overflow; below that it changes nothing.
    // fmod keeps the sign of its first operand, as the integer remainder does.
    const double truncated = std::isnan(aSecondes) ? 0.0 : std::trunc(aSecondes);
    const int r = std::isinf(truncated) ? 0 : static_cast<int>(std::fmod(truncated, 86400.0));
    const int h = r / 3600;
    const int m = (r % 3600) / 60;
    const int s = (r % 3600) % 60;
    if (h > 0)
        return QString::asprintf("%.2d:%.2d:%.2d", h, m, s);
    return QString::asprintf("%.2d:%.2d", m, s);
}

QString NombreFrancais(qint64 aNombre)
{
    // The French locale, whatever the process's: a C locale groups with commas.
    QLocale francais(QLocale::French, QLocale::France);
    francais.setNumberOptions(francais.numberOptions() & ~QLocale::OmitGroupSeparator);
    return francais.toString(aNombre);
}

bool LitNombreFrancais(const QString &aTexte, qint64 &aNombre)
{
    QString chiffres = aTexte.trimmed();
    chiffres.remove(QChar(0x202F)).remove(QChar(0x00A0)).remove(QLatin1Char(' '));
    bool ok = false;
    aNombre = chiffres.toLongLong(&ok);
    return ok;
}

QString LowerAsciiLetters(QString aText)
{
    for (QChar &c : aText)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return aText;
}

QString UpperAsciiLetters(QString aText)
{
    for (QChar &c : aText)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    return aText;
}

namespace {

void ReplaceFirst(QString &aText, QStringView aWhat, QStringView aBy)
{
    const qsizetype at = aText.indexOf(aWhat);
    if (at >= 0)
        aText.replace(at, aWhat.size(), aBy.toString());
}

} // namespace

QString CalculeSymNode(const QString &aBAS_SENDER)
{
    QString s = LowerAsciiLetters(aBAS_SENDER);
    if (s.endsWith(u"-sec")) {
        ReplaceFirst(s, u"serveur", u"");
        s.prepend(u"sec");
    }
    ReplaceFirst(s, u"serveur", u"s");
    ReplaceFirst(s, u"portable", u"p");
    ReplaceFirst(s, u"-sync", u"-s");
    return s.left(30);
}

QString GetNewGUID()
{
    return PlatformNewGuid();
}

QString GetNomMachine()
{
    return PlatformComputerName();
}
