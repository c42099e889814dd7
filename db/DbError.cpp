#include "db/DbError.h"

EDbError::EDbError(const QString &aMessage, QList<qint64> aCodes, QList<qint64> aNumbers,
                   QList<TErreurSysteme> aSysteme)
    : EIvroErreur(aMessage), FCodes(std::move(aCodes)),
      FNumbers(std::move(aNumbers)), FSysteme(std::move(aSysteme))
{
}
