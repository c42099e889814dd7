#include "data/mouvement/Mouvement.h"

#include "common/uCommun.h"
#include "db/DbError.h"

const QString MouvementInstructionComptage =
    QStringLiteral("SELECT Count(*) AS QTE FROM K WHERE K_UPDATED>=:DEB AND K_UPDATED<=:FIN");

QStringList MouvementNettoyageExact(const QStringList &aLignes)
{
    // The script's clean-up creates, runs and drops a procedure that drops
    // every procedure named like '%IVRO_MVT_%' through EXECUTE STATEMENT:
    // the gap-repair kit's IVRO_MVT_LAME2MAGS goes with it. It becomes one
    // DROP per movement procedure (a missing one counts as done).
    const auto trouve = [&](const QString &aDebut, qsizetype aDepuis) {
        for (qsizetype i = aDepuis; i < aLignes.size(); ++i)
            if (aLignes[i].trimmed().startsWith(aDebut, Qt::CaseInsensitive))
                return i;
        return qsizetype(-1);
    };
    const qsizetype debut = trouve(QStringLiteral("CREATE PROCEDURE TMP_DROP_PROC"), 0);
    const qsizetype suppression = debut < 0 ? -1 : trouve(QStringLiteral("DROP PROCEDURE TMP_DROP_PROC"), debut);
    const qsizetype fin = suppression < 0 ? -1 : trouve(QStringLiteral("^"), suppression);
    if (fin < 0 || !aLignes.mid(debut, suppression - debut).join(QLatin1Char('\n')).contains(QLatin1String("LIKE '%IVRO_MVT_%'")))
        throw EDbError(QStringLiteral("Script de mouvement inattendu : son nettoyage des anciennes procédures est "
                                      "introuvable."));
    QStringList lignes = aLignes.mid(0, debut);
    for (const QString &procedure : MouvementProcedures)
        lignes << QStringLiteral("DROP PROCEDURE %1;").arg(procedure) << QStringLiteral("^");
    lignes << aLignes.mid(fin + 1);
    return lignes;
}

QString MouvementRouteur(TSensMouvement aSens)
{
    switch (aSens) {
    case TSensMouvement::LameVersMag: return QStringLiteral("lame_vers_mags");
    case TSensMouvement::MagVersLame: return QStringLiteral("mags_vers_lame");
    case TSensMouvement::Aucun: break;
    }
    return {};
}

QString MouvementTexteSansSens(const QString &aNoeudLocal, const QString &aGroupe)
{
    if (aNoeudLocal.isEmpty() && aGroupe.isEmpty())
        return QStringLiteral("Aucun sens de mouvement : cette base n'a pas de noeud local (SYM_NODE_IDENTITY et "
                              "SYM_NODE_HOST), ou il n'est ni du groupe \"lame\" ni du groupe \"mags\".");
    return QStringLiteral("Aucun sens de mouvement : le noeud local %1 est du groupe \"%2\", ni \"lame\" ni "
                          "\"mags\".")
        .arg(aNoeudLocal, aGroupe);
}

QString MouvementRefusCible(TSensMouvement aSens, const QString &aGroupeCible, const QString &aNoeud,
                      const QString &aGroupeNoeud)
{
    if (aSens == TSensMouvement::Aucun)
        return MouvementTexteSansSens();
    if (aGroupeCible.isEmpty())
        return QStringLiteral("Le routeur \"%1\" du sens %2 est absent de SYM_ROUTER : aucun noeud ne recevrait "
                              "cet envoi.")
            .arg(MouvementRouteur(aSens), TexteSens(aSens));
    if (aGroupeNoeud != aGroupeCible)
        return QStringLiteral("Le noeud %1 est du groupe \"%2\" ; le sens %3 n'envoie qu'au groupe \"%4\" (routeur "
                              "\"%5\") : les événements n'arriveraient jamais à ce noeud.")
            .arg(aNoeud, aGroupeNoeud, TexteSens(aSens), aGroupeCible, MouvementRouteur(aSens));
    return {};
}

TSensMouvement SensDuGroupe(const QString &aNODE_GROUP_ID)
{
    if (aNODE_GROUP_ID == QLatin1String("lame"))
        return TSensMouvement::LameVersMag;
    if (aNODE_GROUP_ID == QLatin1String("mags"))
        return TSensMouvement::MagVersLame;
    return TSensMouvement::Aucun;
}

QString TexteSens(TSensMouvement aSens)
{
    switch (aSens) {
    case TSensMouvement::LameVersMag: return QStringLiteral("Lame vers Magasin");
    case TSensMouvement::MagVersLame: return QStringLiteral("Magasin vers Lame");
    case TSensMouvement::Aucun: break;
    }
    return {};
}

TSensMouvement SensDuTexte(const QString &aTexte)
{
    if (aTexte == TexteSens(TSensMouvement::LameVersMag))
        return TSensMouvement::LameVersMag;
    if (aTexte == TexteSens(TSensMouvement::MagVersLame))
        return TSensMouvement::MagVersLame;
    return TSensMouvement::Aucun;
}

QString InstructionEnvoi(TSensMouvement aSens)
{
    switch (aSens) {
    case TSensMouvement::LameVersMag: return QStringLiteral("EXECUTE PROCEDURE IVRO_MVT_LAME2MAG_NODE(:DEB,:FIN,:NODE)");
    case TSensMouvement::MagVersLame: return QStringLiteral("EXECUTE PROCEDURE IVRO_MVT_MAG2LAME_NODE(:DEB,:FIN,:NODE)");
    case TSensMouvement::Aucun: break;
    }
    return {};
}

TDateTime MouvementDebutPlage(const TDateTime &aDEB)
{
    return aDEB.TruncDay();
}

TDateTime MouvementFinPlage(const TDateTime &aFIN)
{
    return aFIN.AddDays(1).TruncDay();
}

bool MouvementPlageInversee(const TDateTime &aDebut, const TDateTime &aFin)
{
    return aFin <= aDebut;
}

QString MouvementTextePlage(const TDateTime &aDebut, const TDateTime &aFin)
{
    const QString format = QStringLiteral("dd/MM/yyyy");
    const QString du = aDebut.ToQDate().toString(format);
    const QString au = aFin.ToQDate().addDays(-1).toString(format);
    if (MouvementPlageInversee(aDebut, aFin))
        return QStringLiteral("du %1 au %2 : plage inversée, le dernier jour est avant le premier").arg(du, au);
    return QStringLiteral("du %1 au %2 inclus (lignes mises à jour du %3 jusqu'au %4 compris)")
        .arg(du, au, aDebut.ToString(), aFin.ToString());
}

TMouvementEvaluation MouvementEvalue(qint32 aCount)
{
    TMouvementEvaluation e;
    e.Count = aCount;
    e.NbRec = aCount * MouvementEvenementsParLigne;
    e.EvalTime = FormatDuree(double(e.NbRec / MouvementLignesParSeconde));
    e.Envoyable = aCount > 0 && aCount < MouvementLimiteLignes;
    return e;
}

QString TMouvementEvaluation::Texte() const
{
    return QStringLiteral("%1 Enregistrements \"K\" à repousser donc %2 au total. A la vitesse moyenne de %3 lignes/s, "
                          "cela va prendre %4.")
        .arg(Count).arg(NbRec).arg(MouvementLignesParSeconde).arg(EvalTime);
}

QString MouvementTexteRefus(const TMouvementEvaluation &aEval)
{
    if (aEval.Envoyable)
        return {};
    if (aEval.Count <= 0)
        return QStringLiteral("Aucun enregistrement \"K\" dans cette plage : rien à envoyer.");
    return QStringLiteral("%1 enregistrements \"K\" : l'envoi est limité à moins de %2 enregistrements. "
                          "Choisissez une plage plus courte.")
        .arg(aEval.Count).arg(MouvementLimiteLignes);
}

QString MouvementTexteConfirmation(qint32 aNbRec, const QString &aNoeud, const QString &aEvalTime)
{
    return QStringLiteral("Vous êtes sur le point d'envoyer %1 enregsitrements \r\nau noeud %2. Cela devrait prendre "
                          "environ %3. \r\nVoulez-vous continuer ?")
        .arg(aNbRec).arg(aNoeud, aEvalTime);
}

QString MouvementTexteConfirmationDetaille(qint32 aNbRec, const QString &aNoeud, const QString &aEvalTime,
                                     const QString &aBase, const QDate &aDu, const QDate &aAu, TSensMouvement aSens)
{
    const QString unite = aEvalTime.count(QLatin1Char(':')) >= 2 ? QStringLiteral("heures:minutes:secondes")
                                                                   : QStringLiteral("minutes:secondes");
    return MouvementTexteConfirmation(aNbRec, aNoeud, aEvalTime)
           + QStringLiteral("\r\nBase %1, jours du %2 au %3, sens %4 ; durée en %5.")
                 .arg(aBase, aDu.toString(QStringLiteral("dd/MM/yyyy")), aAu.toString(QStringLiteral("dd/MM/yyyy")),
                      TexteSens(aSens), unite);
}

QString MouvementTexteFin(const QString &aNoeud)
{
    return QStringLiteral("Traitement terminé, Ivro va maintenant repousser les données vers le noeud ") + aNoeud;
}

// Rows were counted and none gave an event: their tables have no capture
// definition on the direction's router.
QString MouvementTexteAucunEvenement(qint32 aCount, TSensMouvement aSens, const QString &aNoeud)
{
    return QStringLiteral("Aucun événement créé pour le noeud %1 : les %2 enregistrements \"K\" de la plage n'ont "
                          "donné aucun événement. Vérifiez que leurs tables sont capturées et routées par \"%3\".")
        .arg(aNoeud).arg(aCount).arg(MouvementRouteur(aSens));
}
