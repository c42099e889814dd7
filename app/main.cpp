#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QStringLiteral("Génération des Mouvements lame vers noeud et noeud vers lame"));
    w.show();
    return app.exec();
}
