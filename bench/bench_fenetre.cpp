// Start-up of the main window: from the window's creation to its first
// paint. Run under QT_QPA_PLATFORM=offscreen or on an X display (Xvfb).
// The first window pays for fonts and styles; the following ones show the
// steady cost.

#include "app/IvroMvt_Frm.h"
#include "app/QtFrancais.h"
#include "data/uDataMod.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTranslator>

#include <algorithm>
#include <cstdio>

namespace {

class TPremierePeinture : public QObject
{
public:
    bool Peint = false;

protected:
    bool eventFilter(QObject *aWatched, QEvent *aEvent) override
    {
        if (aEvent->type() == QEvent::Paint)
            Peint = true;
        return QObject::eventFilter(aWatched, aEvent);
    }
};

double demarrage()
{
    TPremierePeinture peinture;
    QElapsedTimer chrono;
    chrono.start();
    TFrm_IvroMVT w;
    w.installEventFilter(&peinture);
    w.show();
    while (!peinture.Peint && chrono.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return double(chrono.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer processus;
    processus.start();
    QApplication app(argc, argv);
    QTranslator qtFrench;
    InstallQtFrancais(qtFrench);
    Q_INIT_RESOURCE(resources);
    TDataMod dataMod;
    DataMod = &dataMod;
    const double application = double(processus.nsecsElapsed()) / 1e6;

    const double premiere = demarrage();
    constexpr int KTours = 20;
    std::vector<double> suivantes;
    for (int i = 0; i < KTours; ++i)
        suivantes.push_back(demarrage());
    std::sort(suivantes.begin(), suivantes.end());

    std::printf("Plateforme : %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("Application prête        : %8.1f ms\n", application);
    std::printf("Première fenêtre peinte  : %8.1f ms (création -> première peinture)\n", premiere);
    std::printf("Fenêtres suivantes       : %8.1f ms médiane, %.1f ms min, %.1f ms max (%d tours)\n",
                suivantes[suivantes.size() / 2], suivantes.front(), suivantes.back(), KTours);
    DataMod = nullptr;
    return 0;
}
