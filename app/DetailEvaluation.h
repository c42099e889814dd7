#pragma once

// The per-table detail of the last evaluation, shown in the window under
// the nodes when the operator asks for it ("Détail"): what each table of the
// range holds, whether it is captured in the database's direction and the
// events it will give. Read at a glance, without hovering the status bar.

#include "data/mouvement/Mouvement.h"
#include "data/mouvement/MouvementContenu.h"

#include <QWidget>

class QLabel;
class QTableWidget;

class TDetailEvaluation : public QWidget
{
    Q_OBJECT

public:
    explicit TDetailEvaluation(QWidget *aParent = nullptr);

    // Shows the tables of aContenu; without a direction, the capture and
    // event columns stay empty.
    void Montre(const TMouvementContenu &aContenu, TSensMouvement aSens);
    // A line instead of the tables (details unavailable, reading them).
    void MontreMessage(const QString &aMessage);
    // Nothing to show: another database, or an evaluation under way or failed.
    void Efface();
    bool Vide() const { return FVide; }

    QLabel *Titre() const { return FTitre; }
    QTableWidget *Table() const { return FTable; }

private:
    // The table's height for aLignes rows under its header.
    int HauteurPour(int aLignes) const;

    QLabel *FTitre;
    QTableWidget *FTable;
    bool FVide = true;
};
