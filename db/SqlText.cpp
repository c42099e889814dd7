#include "db/SqlText.h"

namespace {

bool isIdentStart(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        || c == QLatin1Char('_');
}

bool isIdentChar(QChar c)
{
    return isIdentStart(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('$');
}

// Index just past the literal, identifier or comment starting at i, or i
// itself when none starts there.
qsizetype skipInert(const QString &s, qsizetype i)
{
    const qsizetype n = s.size();
    const QChar c = s[i];
    if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
        qsizetype j = i + 1;
        while (j < n) {
            if (s[j] == c) {
                if (j + 1 < n && s[j + 1] == c) { // doubled quote inside
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    }
    if (c == QLatin1Char('-') && i + 1 < n && s[i + 1] == QLatin1Char('-')) {
        const qsizetype eol = s.indexOf(QLatin1Char('\n'), i);
        return eol < 0 ? n : eol;
    }
    if (c == QLatin1Char('/') && i + 1 < n && s[i + 1] == QLatin1Char('*')) {
        const qsizetype end = s.indexOf(QLatin1String("*/"), i + 2);
        return end < 0 ? n : end + 2;
    }
    return i;
}

} // namespace

TParsedSql ParseNamedParams(const QString &aText)
{
    TParsedSql result;
    result.Sql.reserve(aText.size());
    const qsizetype n = aText.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype past = skipInert(aText, i);
        if (past != i) {
            result.Sql += QStringView(aText).mid(i, past - i);
            i = past;
            continue;
        }
        if (aText[i] == QLatin1Char(':') && i + 1 < n && isIdentStart(aText[i + 1])) {
            qsizetype j = i + 1;
            while (j < n && isIdentChar(aText[j]))
                ++j;
            result.ParamNames << aText.mid(i + 1, j - i - 1).toUpper();
            result.Sql += QLatin1Char('?');
            i = j;
            continue;
        }
        result.Sql += aText[i];
        ++i;
    }
    return result;
}

QString StripFinalSemicolon(const QString &aText)
{
    qsizetype end = aText.size();
    auto trimEnd = [&] {
        while (end > 0 && aText[end - 1].unicode() <= 32)
            --end;
    };
    trimEnd();
    if (end > 0 && aText[end - 1] == QLatin1Char(';')) {
        --end;
        trimEnd();
    }
    return aText.left(end);
}

bool IsBlankStatement(const QString &aText)
{
    const qsizetype n = aText.size();
    qsizetype i = 0;
    while (i < n) {
        if (aText[i].unicode() <= 32) {
            ++i;
            continue;
        }
        const qsizetype past = skipInert(aText, i);
        const bool comment = past != i && aText[i] != QLatin1Char('\'') && aText[i] != QLatin1Char('"');
        if (!comment)
            return false;
        i = past;
    }
    return true;
}
