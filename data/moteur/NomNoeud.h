#pragma once

#include <QString>

// A node's name goes into file names, engine names and addresses: only the
// ASCII letters, the digits, "-" and "_" are allowed. An empty name passes.
inline bool NomNoeudValide(const QString &aNom)
{
    for (QChar c : aNom) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9')
                        || u == u'-' || u == u'_';
        if (!ok)
            return false;
    }
    return true;
}
