#include "data/mouvement/MvtContenu.h"

bool TMvtTableContenu::NomValide() const
{
    // The procedures test the name with <> '', which ignores trailing blanks.
    for (const QChar c : KTB_NAME)
        if (c != QLatin1Char(' '))
            return true;
    return false;
}

qint32 TMvtTableContenu::Captures(TSensMvt aSens) const
{
    switch (aSens) {
    case TSensMvt::LameVersMag: return CapturesLame2Mag;
    case TSensMvt::MagVersLame: return CapturesMag2Lame;
    case TSensMvt::Aucun: break;
    }
    return 0;
}

qint32 TMvtContenu::CapturesK(TSensMvt aSens) const
{
    switch (aSens) {
    case TSensMvt::LameVersMag: return CapturesKLame2Mag;
    case TSensMvt::MagVersLame: return CapturesKMag2Lame;
    case TSensMvt::Aucun: break;
    }
    return 0;
}

qint32 TMvtContenu::Quantite() const
{
    qint32 total = 0;
    for (const TMvtTableContenu &t : Tables)
        total += t.Quantite;
    return total;
}

qint64 TMvtContenu::Evenements(TSensMvt aSens, const TMvtTableContenu &aTable) const
{
    if (!aTable.NomValide())
        return 0;
    return qint64(aTable.Quantite) * (CapturesK(aSens) + aTable.Captures(aSens));
}

qint64 TMvtContenu::Evenements(TSensMvt aSens) const
{
    qint64 total = 0;
    for (const TMvtTableContenu &t : Tables)
        total += Evenements(aSens, t);
    return total;
}
