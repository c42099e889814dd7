#include "app/MouvementDetails.h"

namespace {

constexpr int KTablesMax = 20; // rows of the tooltip; the rest summed up

QString Cellule(const QString &aText, bool aNombre = false)
{
    return QStringLiteral("<td%1>%2</td>")
        .arg(aNombre ? QStringLiteral(" align=\"right\"") : QString(), aText.toHtmlEscaped());
}

} // namespace

QString NomTableDetail(const TMouvementTableContenu &aTable)
{
    if (aTable.NomValide())
        return aTable.KTB_NAME;
    if (aTable.KTB_IDNul)
        return QStringLiteral("(sans KTB_ID)");
    return QStringLiteral("(KTB_ID %1 sans nom)").arg(aTable.KTB_ID);
}

QString DetailsContenuHtml(const TMouvementContenu &aContenu, TSensMouvement aSens)
{
    if (aContenu.Tables.isEmpty())
        return QStringLiteral("<p>") + QStringLiteral("Aucun enregistrement \"K\" dans cette plage.").toHtmlEscaped()
               + QStringLiteral("</p>");
    const bool sens = aSens != TSensMouvement::Aucun;
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\"><tr><th align=\"left\">Table</th>"
                                  "<th align=\"right\">Lignes K</th>");
    if (sens)
        html += QStringLiteral("<th align=\"left\">Capturée</th><th align=\"right\">Événements</th>");
    html += QStringLiteral("</tr>");
    qint64 autresLignes = 0;
    for (int i = 0; i < aContenu.Tables.size(); ++i) {
        const TMouvementTableContenu &t = aContenu.Tables[i];
        if (i >= KTablesMax) {
            autresLignes += t.Quantite;
            continue;
        }
        html += QStringLiteral("<tr>") + Cellule(NomTableDetail(t)) + Cellule(QString::number(t.Quantite), true);
        if (sens)
            html += Cellule(aContenu.Capturee(aSens, t) ? QStringLiteral("oui") : QStringLiteral("non (ligne K seule)"))
                    + Cellule(QString::number(aContenu.Evenements(aSens, t)), true);
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    if (aContenu.Tables.size() > KTablesMax)
        html += QStringLiteral("<p>… et %1 autres tables (%2 lignes K).</p>")
                    .arg(aContenu.Tables.size() - KTablesMax)
                    .arg(autresLignes);
    if (sens)
        html += QStringLiteral("<p>%1 événements prévus (%2).</p>")
                    .arg(QString::number(aContenu.Evenements(aSens)), TexteSens(aSens).toHtmlEscaped());
    return html;
}

QString DetailsEnvoi(const TMouvementEvenements &aCrees, const QString &aBase, const QString &aNoeud)
{
    if (aCrees.Nombre == 0)
        return QStringLiteral("Aucun événement créé pour le noeud %1.").arg(aNoeud);
    // One arg() call: a name holding "%1" stays as it is.
    return QStringLiteral("%1 événements créés pour le noeud %2, DATA_ID %3 à %4.\n"
                          "Suivi : ivromvt-cli suivi \"%5\" --noeud %2 --de %3 --a %4")
        .arg(QString::number(aCrees.Nombre), aNoeud, QString::number(aCrees.PremierDataId),
             QString::number(aCrees.DernierDataId), aBase);
}
