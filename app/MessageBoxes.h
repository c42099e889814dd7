#pragma once

#include <QString>

class QWidget;

// The error box: caption "Erreur", one "OK" button.
void MessageErreur(QWidget *aParent, const QString &aTexte);

// The confirmation box: caption "Avertissement", OK and Annuler, warning
// icon, Annuler by default (Esc and the close button answer it too), above
// every other window. True only when the operator chose OK.
bool ConfirmeAvertissement(QWidget *aParent, const QString &aTexte);
