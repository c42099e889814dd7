#include "app/DetailEvaluation.h"

#include "app/MouvementDetails.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int KLignesVisibles = 4; // rows shown before the table scrolls

QTableWidgetItem *Cellule(const QString &aTexte, bool aNombre = false)
{
    auto *item = new QTableWidgetItem(aTexte);
    item->setTextAlignment(Qt::AlignVCenter | (aNombre ? Qt::AlignRight : Qt::AlignLeft));
    return item;
}

} // namespace

int TDetailEvaluation::HauteurPour(int aLignes) const
{
    return FTable->horizontalHeader()->sizeHint().height() + 4
           + std::max(1, aLignes) * FTable->verticalHeader()->defaultSectionSize();
}

TDetailEvaluation::TDetailEvaluation(QWidget *aParent) : QWidget(aParent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(1);
    FTitre = new QLabel(this);
    FTitre->setWordWrap(true);
    layout->addWidget(FTitre);
    FTable = new QTableWidget(0, 4, this);
    FTable->setHorizontalHeaderLabels({QStringLiteral("Table"), QStringLiteral("Lignes K"), QStringLiteral("Capturée"),
                                       QStringLiteral("Événements")});
    FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FTable->setSelectionMode(QAbstractItemView::NoSelection);
    FTable->setFocusPolicy(Qt::NoFocus);
    FTable->verticalHeader()->hide();
    FTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    FTable->verticalHeader()->setDefaultSectionSize(FTable->fontMetrics().height() + 4);
    FTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 4; ++c)
        FTable->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    // The window keeps its size: the nodes' grid gives the room, and this
    // table scrolls down to one row.
    FTable->setMinimumHeight(HauteurPour(1));
    layout->addWidget(FTable);
    Efface();
}

void TDetailEvaluation::Montre(const TMouvementContenu &aContenu, TSensMouvement aSens)
{
    const bool sens = aSens != TSensMouvement::Aucun;
    FTable->setRowCount(int(aContenu.Tables.size()));
    for (int r = 0; r < aContenu.Tables.size(); ++r) {
        const TMouvementTableContenu &t = aContenu.Tables[r];
        FTable->setItem(r, 0, Cellule(NomTableDetail(t)));
        FTable->setItem(r, 1, Cellule(QString::number(t.Quantite), true));
        FTable->setItem(r, 2, Cellule(!sens ? QString()
                                      : aContenu.Capturee(aSens, t) ? QStringLiteral("oui")
                                                                    : QStringLiteral("non (ligne K seule)")));
        FTable->setItem(r, 3, Cellule(sens ? QString::number(aContenu.Evenements(aSens, t)) : QString(), true));
    }
    if (aContenu.Tables.isEmpty())
        FTitre->setText(QStringLiteral("Détail par table : aucun enregistrement \"K\" dans cette plage."));
    else if (sens)
        FTitre->setText(QStringLiteral("Détail par table de la plage évaluée : %1 événements prévus (%2).")
                            .arg(aContenu.Evenements(aSens))
                            .arg(TexteSens(aSens)));
    else
        FTitre->setText(QStringLiteral("Détail par table de la plage évaluée (sens inconnu : captures et événements "
                                       "non évalués)."));
    // No taller than its rows: the nodes keep the rest.
    FTable->setMaximumHeight(HauteurPour(std::min<int>(KLignesVisibles, int(aContenu.Tables.size()))));
    FTable->setVisible(!aContenu.Tables.isEmpty());
    FVide = false;
}

void TDetailEvaluation::MontreMessage(const QString &aMessage)
{
    FTable->setRowCount(0);
    FTable->hide();
    FTitre->setText(aMessage);
    FVide = false;
}

void TDetailEvaluation::Efface()
{
    FTable->setRowCount(0);
    FTitre->clear();
    FVide = true;
}
