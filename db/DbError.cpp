#include "db/DbError.h"

EDbError::EDbError(const QString &aMessage, QList<qint64> aCodes, QList<TErreurSysteme> aSysteme)
    : std::runtime_error(aMessage.toStdString()), FMessage(aMessage), FCodes(std::move(aCodes)),
      FSysteme(std::move(aSysteme))
{
}
