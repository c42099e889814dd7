#include "platform/SymmetricDS.Commun.h"

void ClearInfoSurService(TInfoSurService &aInfo)
{
    aInfo = TInfoSurService();
}
