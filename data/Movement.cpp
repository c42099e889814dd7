#include "data/Movement.h"

#include "common/uCommun.h"
#include "db/DbError.h"

const QString MvtInstructionComptage =
    QStringLiteral("SELECT Count(*) AS QTE FROM K WHERE K_UPDATED>=:DEB AND K_UPDATED<=:FIN");

const QStringList MvtProcedures = {QStringLiteral("IVRO_MVT_LAME2MAG_NODE"), QStringLiteral("IVRO_MVT_MAG2LAME_NODE"),
                                   QStringLiteral("IVRO_MVT_LAME2MAG"), QStringLiteral("IVRO_MVT_MAG2LAME")};

QStringList MvtNettoyageExact(const QStringList &aLignes)
{
    const QString large = QStringLiteral("rdb$procedure_name LIKE '%IVRO_MVT_%'");
    const QString exact = QStringLiteral("rdb$procedure_name IN ('%1')").arg(MvtProcedures.join(QStringLiteral("', '")));
    QStringList lignes = aLignes;
    int remplacees = 0;
    for (QString &ligne : lignes)
        if (ligne.contains(large)) {
            ligne.replace(large, exact);
            ++remplacees;
        }
    if (remplacees != 1)
        throw EDbError(QStringLiteral("Script de mouvement inattendu : son nettoyage des anciennes procédures est "
                                      "introuvable."));
    return lignes;
}

TSensMvt SensDuGroupe(const QString &aNODE_GROUP_ID)
{
    if (aNODE_GROUP_ID == QLatin1String("lame"))
        return TSensMvt::LameVersMag;
    if (aNODE_GROUP_ID == QLatin1String("mags"))
        return TSensMvt::MagVersLame;
    return TSensMvt::Aucun;
}

QString TexteSens(TSensMvt aSens)
{
    switch (aSens) {
    case TSensMvt::LameVersMag: return QStringLiteral("Lame vers Magasin");
    case TSensMvt::MagVersLame: return QStringLiteral("Magasin vers Lame");
    case TSensMvt::Aucun: break;
    }
    return {};
}

TSensMvt SensDuTexte(const QString &aTexte)
{
    if (aTexte == TexteSens(TSensMvt::LameVersMag))
        return TSensMvt::LameVersMag;
    if (aTexte == TexteSens(TSensMvt::MagVersLame))
        return TSensMvt::MagVersLame;
    return TSensMvt::Aucun;
}

QString InstructionEnvoi(TSensMvt aSens)
{
    switch (aSens) {
    case TSensMvt::LameVersMag: return QStringLiteral("EXECUTE PROCEDURE IVRO_MVT_LAME2MAG_NODE(:DEB,:FIN,:NODE)");
    case TSensMvt::MagVersLame: return QStringLiteral("EXECUTE PROCEDURE IVRO_MVT_MAG2LAME_NODE(:DEB,:FIN,:NODE)");
    case TSensMvt::Aucun: break;
    }
    return {};
}

TDateTime MvtDebutPlage(const TDateTime &aDEB)
{
    return aDEB.TruncDay();
}

TDateTime MvtFinPlage(const TDateTime &aFIN)
{
    return aFIN.AddDays(1).TruncDay();
}

TMvtEvaluation MvtEvalue(qint32 aCount)
{
    TMvtEvaluation e;
    e.Count = aCount;
    e.NbRec = aCount * MvtEvenementsParLigne;
    e.EvalTime = FormatDuree(double(e.NbRec / MvtLignesParSeconde));
    e.Envoyable = aCount > 0 && aCount < MvtLimiteLignes;
    return e;
}

QString TMvtEvaluation::Texte() const
{
    return QStringLiteral("%1 Enregistrements \"K\" à repousser donc %2 au total. A la vitesse moyenne de %3 lignes/s, "
                          "cela va prendre %4.")
        .arg(Count).arg(NbRec).arg(MvtLignesParSeconde).arg(EvalTime);
}

QString MvtTexteConfirmation(qint32 aNbRec, const QString &aNoeud, const QString &aEvalTime)
{
    return QStringLiteral("Vous êtes sur le point d'envoyer %1 enregsitrements \r\nau noeud %2. Cela devrait prendre "
                          "environ %3. \r\nVoulez-vous continuer ?")
        .arg(aNbRec).arg(aNoeud, aEvalTime);
}

QString MvtTexteFin(const QString &aNoeud)
{
    return QStringLiteral("Traitement terminé, Ivro va maintenant repousser les données vers le noeud ") + aNoeud;
}

