#include "station_shot.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "main_window/frm_Config_LCD.h"
#include "station/frm_Stazione.h"

namespace lcdprog::screenshots {

// Waits in the event loop until `done`, looking now and then; false when two minutes went first.
template <typename Done>
bool Wait_For(Done done) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    poll.start(50);
    loop.exec();
    return done();
}

frm_Stazione* Program_With_Station(frm_Config_LCD* window, QString* error) {
    StationSetup setup;
    setup.projectPath = window->Project_Path();
    setup.cliProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/lcdprog-cli");
    setup.lock = window;
    auto* station = new frm_Stazione(setup);
    station->setAttribute(Qt::WA_DeleteOnClose);
    // Avvia asks who works on which work order: answered as an operator would, without the
    // dialog, which would wait for a person.
    station->askJob = [](const ProductionJob&) {
        return std::optional<ProductionJob>(
            ProductionJob{QStringLiteral("Rossi"), QStringLiteral("C-2026-118"), 50});
    };
    station->show();
    station->resize(980, 720);
    // The image is prepared in the background.
    Wait_For([&] { return !station->Preparing_Image(); });
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
    // Every port ends within a run's worst waits.
    if (!Wait_For([&] { return !station->Running(); })) {
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
