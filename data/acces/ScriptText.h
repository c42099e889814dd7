#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Walks a script held as lines, chunk by chunk: a line beginning with "^"
// ends the current chunk, a line holding "^" elsewhere is dropped, and text
// after the last "^" line never runs. aRun gets each chunk as its lines, every
// one preceded by CR LF; it returns false to stop the walk.
void ForEachScriptChunk(const QStringList &aLines, const std::function<bool(const QString &aChunk)> &aRun);

// The text without the characters of code 32 or less at either end.
inline QString TrimBlanks(const QString &aText)
{
    qsizetype from = 0;
    qsizetype to = aText.size();
    while (from < to && aText[from].unicode() <= 32)
        ++from;
    while (to > from && aText[to - 1].unicode() <= 32)
        --to;
    return aText.mid(from, to - from);
}
