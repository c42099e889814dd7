#include "app/IvroMvt_Frm.h"
#include "app/QtFrancais.h"
#include "data/uDataMod.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

#include <memory>

// VGSE is already filled here: its static initialiser ran before main().
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));

    // Qt's own texts in French, so that standard buttons read "Annuler".
    QTranslator qtFrench;
    InstallQtFrancais(qtFrench);

    Q_INIT_RESOURCE(resources);

    // The window first, then the data module: the window's creation does
    // not touch the database.
    auto window = std::make_unique<TFrm_IvroMVT>();
    Frm_IvroMVT = window.get();
    auto dataMod = std::make_unique<TDataMod>();
    DataMod = dataMod.get();

    window->show();
    const int code = QApplication::exec();

    Frm_IvroMVT = nullptr;
    window.reset();
    DataMod = nullptr;
    return code;
}
