// Picture of the follow-up for the README: a demo-like central database, a
// sending to one shop made in the window, its events laid out in batches as
// the engine would (loaded, in error, on their way, not routed yet), then
// the follow-up opened from the window and grabbed into a PNG file.
// Usage: capture_suivi FILE.png (on an X display, e.g. under Xvfb).

#include "app/IvroMvt_Frm.h"
#include "app/QtFrancais.h"
#include "app/SuiviPanel.h"
#include "data/uDataMod.h"
#include "testdb/RoutingFixture.h"
#include "testdb/SiteFixture.h"
#include "testdb/TestDatabase.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <functional>

namespace {

bool Attends(const std::function<bool()> &aFait, int aMs)
{
    QElapsedTimer t;
    t.start();
    while (!aFait() && t.elapsed() < aMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return aFait();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage : capture_suivi FICHIER.png\n");
        return 2;
    }
    QTranslator qtFrench;
    InstallQtFrancais(qtFrench);
    Q_INIT_RESOURCE(resources);
    TDataMod dataMod;
    DataMod = &dataMod;
    // The sending goes to a journal of its own, not the user's.
    QTemporaryDir donnees;
    qputenv("XDG_DATA_HOME", QFile::encodeName(donnees.path()));

    try {
        using namespace RoutingFixture;
        TTestDatabase db(TTestDatabase::TSchema::Full, QStringLiteral("NONE"));
        SiteFixture::AddLocalNode(db, QStringLiteral("lame"), QStringLiteral("lame"));
        const TDateTime now = TDateTime::Now();
        for (const char *shop : {"mag-lyon", "mag-nantes", "mag-lille"})
            SiteFixture::AddRemoteNode(db, QString::fromLatin1(shop), QStringLiteral("mags"), now.AddMSecs(-60000));
        SiteFixture::AddCaptureConfig(db);
        SiteFixture::AddKRows(db, 1, 120, now.TruncDay().AddMSecs(9 * 3600000));

        TFrm_IvroMVT w;
        w.show();
        w.LoadIBFile(db.Path());
        w.dtDEB->setDate(QDate::currentDate());
        w.dtFIN->setDate(QDate::currentDate());
        w.BEVALClick();
        Attends([&w] { return w.CanClose(); }, 30000);
        w.cbNode->setCurrentIndex(w.cbNode->findText(QStringLiteral("mag-lyon")));
        QTimer oui;
        QObject::connect(&oui, &QTimer::timeout, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Ok)->click();
        });
        oui.start(50);
        w.BMVTClick();
        Attends([&w] { return w.CanClose(); }, 60000);

        // Batches of twenty: six loaded, one refused by the shop, two on
        // their way, two new; the last twenty wait for the router.
        const qint64 de = db.Scalar(QStringLiteral("SELECT MIN(DATA_ID) FROM SYM_DATA")).toLongLong();
        const char *statuts[] = {"OK", "OK", "OK", "OK", "OK", "OK", "ER", "SE", "SE", "NE", "NE"};
        qint64 lot = 4000;
        for (const char *s : statuts) {
            ++lot;
            const bool erreur = QString::fromLatin1(s) == QLatin1String("ER");
            AddBatch(db, lot, QStringLiteral("mag-lyon"), QString::fromLatin1(s), erreur,
                     erreur ? QStringLiteral("violation of FOREIGN KEY constraint \"FK_TICKET_CLIENT\" on table "
                                             "\"TICKET\"")
                            : QString());
            for (int i = 0; i < 20; ++i)
                AddDataEvent(db, de + (lot - 4001) * 20 + i, lot);
        }
        AddGap(db, de + 220, de + 50000000);

        w.BSUIVI->click();
        auto *panel = w.findChild<TSuiviPanel *>();
        if (!panel)
            throw std::runtime_error("suivi introuvable");
        bool lu = false;
        QObject::connect(panel, &TSuiviPanel::Rafraichi, [&lu] { lu = true; });
        Attends([&lu] { return lu; }, 30000);
        Attends([] { return false; }, 300);
        if (!panel->grab().save(QString::fromLocal8Bit(argv[1]))) {
            std::fprintf(stderr, "Ecriture impossible : %s\n", argv[1]);
            return 1;
        }
        panel->close();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "Capture impossible : %s\n", e.what());
        return 1;
    }
    DataMod = nullptr;
    return 0;
}
