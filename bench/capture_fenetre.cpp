// Picture of the main window for the README: a site database made like the
// demo's (central server, a few shops, K rows over the last days), loaded
// and evaluated, its detail per table opened ("Détail"), a target chosen,
// then the window grabbed into a PNG file.
// Usage: capture_fenetre FILE.png [BASE] [--details | --envoi | --refus] (on an X
// display, e.g. under Xvfb); with BASE, that database is loaded and evaluated
// over its last ten days instead. --details: the screen around the window
// with the evaluation's details shown; --envoi: the window after a sending
// to the chosen shop, its progress bar holding the range of the events
// created; --refus: a range of 200000 rows and more, refused, its reason
// beside the grey send button.

#include "app/IvroMvt_Frm.h"
#include "app/QtFrancais.h"
#include "data/uDataMod.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include "app/StatusPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QString base;
    QString mode;
    for (int i = 2; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        (a.startsWith(QLatin1String("--")) ? mode : base) = a;
    }
    if (argc < 2 || argc > 4
        || !(mode.isEmpty() || mode == QLatin1String("--details") || mode == QLatin1String("--envoi")
             || mode == QLatin1String("--refus"))) {
        std::fprintf(stderr, "Usage : capture_fenetre FICHIER.png [BASE] [--details | --envoi | --refus]\n");
        return 2;
    }
    QTranslator qtFrench;
    InstallQtFrancais(qtFrench);
    Q_INIT_RESOURCE(resources);
    TDataMod dataMod;
    DataMod = &dataMod;

    try {
        TTestDatabase db(TTestDatabase::TSchema::Full, QStringLiteral("NONE"));
        SiteFixture::AddLocalNode(db, QStringLiteral("lame"), QStringLiteral("lame"));
        const TDateTime now = TDateTime::Now();
        const char *shops[] = {"mag-lyon", "mag-nantes", "mag-lille", "mag-bordeaux", "mag-rennes"};
        int minutes = 1;
        for (const char *shop : shops) {
            SiteFixture::AddRemoteNode(db, QString::fromLatin1(shop), QStringLiteral("mags"),
                                       now.AddMSecs(-qint64(minutes) * 60000));
            minutes *= 3;
        }
        SiteFixture::AddCaptureConfig(db);
        const TDateTime today = now.TruncDay();
        for (int day = 0; day < 10; ++day)
            SiteFixture::AddKRows(db, 1 + day * 1000, 250 + 37 * day, today.AddDays(-day).AddMSecs(11 * 3600000));
        if (mode == QLatin1String("--refus"))
            SiteFixture::AddKRows(db, 100000, 200000, today.AddDays(-1).AddMSecs(9 * 3600000));

        TFrm_IvroMVT w;
        w.show();
        if (!base.isEmpty()) {
            w.LoadIBFile(base);
            w.dtDEB->setDate(QDate::currentDate().addDays(-9));
            w.dtFIN->setDate(QDate::currentDate());
        } else {
            w.LoadIBFile(db.Path());
            if (mode == QLatin1String("--refus"))
                w.dtDEB->setDate(QDate::currentDate().addDays(-1));
        }
        w.BEVALClick();
        QElapsedTimer attente;
        attente.start();
        while (!w.CanClose() && attente.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        w.cbNode->setCurrentIndex(1);
        // The evaluation's detail per table, shown in the window as the
        // operator opens it.
        if (mode.isEmpty())
            w.BDETAIL->setChecked(true);
        QCoreApplication::processEvents();
        QPixmap image = w.grab();
        if (mode == QLatin1String("--envoi")) {
            // The confirmation is answered as the operator would.
            QTimer oui;
            QObject::connect(&oui, &QTimer::timeout, [] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                    box->button(QMessageBox::Ok)->click();
            });
            oui.start(50);
            w.BMVTClick();
            attente.restart();
            while (!w.CanClose() && attente.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::processEvents();
            image = w.grab();
        } else if (mode == QLatin1String("--details")) {
            TStatusPanel *panel = w.Panel(1);
            QToolTip::showText(panel->mapToGlobal(QPoint(20, 0)), panel->toolTip(), panel);
            attente.restart();
            while (attente.elapsed() < 1000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const QRect zone = w.frameGeometry().adjusted(-20, -20, 320, 320);
            image = w.screen()->grabWindow(0, zone.x(), zone.y(), zone.width(), zone.height());
        }
        if (!image.save(QString::fromLocal8Bit(argv[1]))) {
            std::fprintf(stderr, "Ecriture impossible : %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "Capture impossible : %s\n", e.what());
        return 1;
    }
    DataMod = nullptr;
    return 0;
}
