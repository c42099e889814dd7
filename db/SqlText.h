#pragma once

#include <QString>
#include <QStringList>

// A statement with its named parameters turned into the server's "?"
// placeholders; ParamNames[i] is the (upper-case) name of the i-th "?".
struct TParsedSql
{
    QString Sql;
    QStringList ParamNames;
};

// Finds ":NAME" parameters, skipping string literals, quoted identifiers and
// comments, where a colon means nothing.
TParsedSql ParseNamedParams(const QString &aText);

// "stmt ;" runs as "stmt": the server accepts one statement without the
// terminator. Trailing blanks and line breaks go too.
QString StripFinalSemicolon(const QString &aText);

// True when the text holds only blanks, line breaks and comments.
bool IsBlankStatement(const QString &aText);
