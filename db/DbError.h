#pragma once

#include "common/Erreur.h"

#include <QList>
#include <QString>

// The operating system's error the server met (a file it could not open):
// errno of a POSIX server, GetLastError() of a Windows one; through the
// network, where the code does not travel, the system's own text.
struct TErreurSysteme
{
    bool Windows = false;
    qint64 Code = 0;
    QString Texte;
};

// Every failure of the database layer: the server's own text, or ours in
// French. The server's error codes are kept so callers can tell causes apart
// without parsing messages.
class EDbError : public EIvroErreur
{
public:
    explicit EDbError(const QString &aMessage, QList<qint64> aCodes = {}, QList<qint64> aNumbers = {},
                      QList<TErreurSysteme> aSysteme = {});

    const QList<qint64> &Codes() const { return FCodes; }
    bool HasCode(qint64 aCode) const { return FCodes.contains(aCode); }
    // The numbers the server gave with its codes (a concurrent transaction's
    // number, for instance), in their order, whether sent as numbers or as
    // digits.
    const QList<qint64> &Numbers() const { return FNumbers; }
    const QList<TErreurSysteme> &ErreursSysteme() const { return FSysteme; }

private:
    QList<qint64> FCodes;
    QList<qint64> FNumbers;
    QList<TErreurSysteme> FSysteme;
};
