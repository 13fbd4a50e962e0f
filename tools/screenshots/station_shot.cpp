#include "station_shot.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "station/frm_Stazione.h"

namespace lcdprog::screenshots {

frm_Stazione* Program_With_Station(frm_Config_LCD* window, QString* error) {
    frm_Stazione* station = Show_frm_Stazione(window);
    station->resize(980, 720);
    auto* start = station->findChild<QPushButton*>(QStringLiteral("cmd_Avvia"));
    if (start == nullptr || !start->isEnabled()) {
        const auto* note = station->findChild<QLabel*>(QStringLiteral("lbl_Avviso"));
        *error = QStringLiteral("the station cannot start: ") +
                 (note != nullptr ? note->text() : QStringLiteral("no Avvia button"));
        return nullptr;
    }
    const QList<QCheckBox*> boxes = station->findChildren<QCheckBox*>();
    for (QCheckBox* box : boxes) {
        if (box->objectName().startsWith(QStringLiteral("chk_Porta_"))) {
            box->setChecked(true);
        }
    }
    start->click();
    // Every port ends within a run's worst waits; the station is looked at now and then.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!station->Running()) {
            loop.quit();
        }
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    poll.start(50);
    loop.exec();
    if (station->Running()) {
        *error = QStringLiteral("the station's ports did not end within two minutes");
        return nullptr;
    }
    // The last refresh of the panels.
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    return station;
}

}  // namespace lcdprog::screenshots
