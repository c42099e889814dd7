#include "common/IniProfile.h"

#include "common/TextFile.h"

namespace {

struct TLine
{
    qsizetype Start;     // first byte
    qsizetype TextEnd;   // first byte of the line end
    qsizetype End;       // first byte of the next line
};

// Lines end at CR LF, LF or a lone CR, as the profile functions read them.
QList<TLine> SplitLines(const QByteArray &aContent, qsizetype aFrom)
{
    QList<TLine> lines;
    qsizetype start = aFrom;
    while (start < aContent.size()) {
        qsizetype end = start;
        while (end < aContent.size() && aContent[end] != '\r' && aContent[end] != '\n')
            ++end;
        qsizetype next = end;
        if (next < aContent.size() && aContent[next] == '\r')
            ++next;
        if (next < aContent.size() && aContent[next] == '\n' && (next == end || aContent[next - 1] == '\r'))
            ++next;
        lines.append({start, end, next});
        start = next;
    }
    return lines;
}

bool HasLineBreak(const QString &aText)
{
    return aText.contains(u'\r') || aText.contains(u'\n') || aText.contains(QChar(0));
}

} // namespace

QString IniRefusal(const QString &aSection, const QString &aKey, const QString &aValue)
{
    if (aSection.trimmed().isEmpty())
        return QStringLiteral("nom de section vide");
    if (HasLineBreak(aSection) || aSection.contains(u']'))
        return QStringLiteral("le nom de section \"%1\" contient un saut de ligne ou un \"]\"").arg(aSection);
    if (aKey.trimmed().isEmpty())
        return QStringLiteral("nom de clé vide");
    if (HasLineBreak(aKey) || aKey.contains(u'=') || aKey.trimmed().startsWith(u'[') || aKey.trimmed().startsWith(u';'))
        return QStringLiteral("le nom de clé \"%1\" contient un saut de ligne, un \"=\", ou commence par \"[\" ou \";\"")
            .arg(aKey);
    if (HasLineBreak(aValue))
        return QStringLiteral("la valeur de %1 contient un saut de ligne").arg(aKey);
    // A "?" in its place would name another service or database.
    for (const QString &text : {aSection, aKey, aValue})
        if (const QChar c = FirstNonWindows1252(text); !c.isNull())
            return QStringLiteral("le caractère U+%1 de \"%2\" n'existe pas dans le jeu de caractères du fichier "
                                  "INI (Windows-1252)")
                .arg(uint(c.unicode()), 4, 16, QLatin1Char('0'))
                .arg(text);
    return {};
}

bool IniSetValue(QByteArray &aContent, const QString &aSection, const QString &aKey, const QString &aValue)
{
    if (!IniRefusal(aSection, aKey, aValue).isEmpty())
        return false;
    if (aContent.startsWith("\xFF\xFE") || aContent.startsWith("\xFE\xFF"))
        return false;
    // A UTF-8 mark stays where it is, out of the first line's text.
    const qsizetype from = aContent.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const QString section = aSection.trimmed();
    const QString key = aKey.trimmed();
    const QByteArray value = EncodeWindows1252(aValue);

    bool inSection = false;
    qsizetype insertAt = -1; // after the last non-blank line of the section
    for (const TLine &line : SplitLines(aContent, from)) {
        // One byte per character: indexes in the text are byte offsets.
        const QString text = DecodeWindows1252(aContent.mid(line.Start, line.TextEnd - line.Start));
        const QString trimmed = text.trimmed();
        if (trimmed.startsWith(u'[')) {
            if (inSection)
                break;
            const qsizetype close = trimmed.indexOf(u']');
            const QString name = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
            // The first section of that name is the one the functions read.
            if (insertAt < 0 && name.compare(section, Qt::CaseInsensitive) == 0) {
                inSection = true;
                insertAt = line.End;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!trimmed.isEmpty())
            insertAt = line.End;
        if (trimmed.startsWith(u';'))
            continue;
        const qsizetype equal = text.indexOf(u'=');
        if (equal >= 0 && text.left(equal).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            // The name and its "=" stay as written; the value is replaced.
            aContent.replace(line.Start + equal + 1, line.TextEnd - line.Start - equal - 1, value);
            return true;
        }
    }

    const QByteArray keyLine = EncodeWindows1252(key) + '=' + value + "\r\n";
    const auto endsLine = [&aContent](qsizetype aAt) {
        return aAt <= 0 || aContent[aAt - 1] == '\n' || aContent[aAt - 1] == '\r';
    };
    if (insertAt >= 0) {
        aContent.insert(insertAt, (endsLine(insertAt) ? QByteArray() : QByteArray("\r\n")) + keyLine);
        return true;
    }
    if (aContent.size() > from && !endsLine(aContent.size()))
        aContent += "\r\n";
    aContent += '[' + EncodeWindows1252(section) + "]\r\n" + keyLine;
    return true;
}
