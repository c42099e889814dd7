#pragma once

class QTranslator;

// Loads Qt's own French texts into aTranslator and installs it, so that
// standard buttons read "Annuler". The translator must outlive its use.
// False when the translation is not installed on this machine.
bool InstallQtFrancais(QTranslator &aTranslator);
