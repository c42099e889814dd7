#pragma once

#include <QByteArray>
#include <QString>

// Writes aBytes to aPath so that nothing another user planted under that
// name is followed or opened: the bytes go to a new file, created
// exclusively under a random name in the same folder, which then replaces
// aPath in one rename (a link at aPath is replaced, not followed). Raises
// std::runtime_error with a French message when the folder can't take it;
// aPath is then left as it was.
void WriteFileAtomically(const QString &aPath, const QByteArray &aBytes);
