#include "data/mouvement/MouvementContenu.h"

bool TMouvementTableContenu::NomValide() const
{
    // The procedures test the name with <> '', which ignores trailing blanks.
    for (const QChar c : KTB_NAME)
        if (c != QLatin1Char(' '))
            return true;
    return false;
}

qint32 TMouvementTableContenu::Captures(TSensMouvement aSens) const
{
    switch (aSens) {
    case TSensMouvement::LameVersMag: return CapturesLame2Mag;
    case TSensMouvement::MagVersLame: return CapturesMag2Lame;
    case TSensMouvement::Aucun: break;
    }
    return 0;
}

qint32 TMouvementContenu::CapturesK(TSensMouvement aSens) const
{
    switch (aSens) {
    case TSensMouvement::LameVersMag: return CapturesKLame2Mag;
    case TSensMouvement::MagVersLame: return CapturesKMag2Lame;
    case TSensMouvement::Aucun: break;
    }
    return 0;
}

qint32 TMouvementContenu::Quantite() const
{
    qint32 total = 0;
    for (const TMouvementTableContenu &t : Tables)
        total += t.Quantite;
    return total;
}

qint64 TMouvementContenu::Evenements(TSensMouvement aSens, const TMouvementTableContenu &aTable) const
{
    if (!aTable.NomValide())
        return 0;
    return qint64(aTable.Quantite) * (CapturesK(aSens) + aTable.Captures(aSens));
}

qint64 TMouvementContenu::Evenements(TSensMouvement aSens) const
{
    qint64 total = 0;
    for (const TMouvementTableContenu &t : Tables)
        total += Evenements(aSens, t);
    return total;
}
