// Picture of the main window for the README: a site database made like the
// demo's (central server, a few shops, K rows over the last days), loaded
// and evaluated, a target chosen, then the window grabbed into a PNG file.
// Usage: capture_fenetre FILE.png [BASE] (on an X display, e.g. under Xvfb);
// with BASE, that database is loaded and evaluated over its last ten days
// instead.

#include "app/IvroMvt_Frm.h"
#include "app/QtFrancais.h"
#include "data/uDataMod.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTranslator>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "Usage : capture_fenetre FICHIER.png [BASE]\n");
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

        TFrm_IvroMVT w;
        w.show();
        if (argc == 3) {
            w.LoadIBFile(QString::fromLocal8Bit(argv[2]));
            w.dtDEB->setDate(QDate::currentDate().addDays(-9));
            w.dtFIN->setDate(QDate::currentDate());
        } else {
            w.LoadIBFile(db.Path());
        }
        w.BEVALClick();
        QElapsedTimer attente;
        attente.start();
        while (!w.CanClose() && attente.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        w.cbNode->setCurrentIndex(1);
        QCoreApplication::processEvents();
        if (!w.grab().save(QString::fromLocal8Bit(argv[1]))) {
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
