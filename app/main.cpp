// The programmer: creates the main window and runs the event loop. Every platform service the
// windows use is made here once and lives until the program ends, so the serial control keeps
// working in the serial port window after the main window has been closed.

#include <QApplication>
#include <QIcon>

#include "main_window/frm_Config_LCD.h"
#include "platform/qt/qt_services.h"
#include "serial_window/frm_RS232.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("lcdprog");
    QApplication::setApplicationDisplayName("Programmatore LCD grafici");
    QApplication::setDesktopFileName("org.lcdprog.Lcdprog");
    QIcon icon = QIcon::fromTheme("org.lcdprog.Lcdprog");
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/icons/lcdprog-%1.png").arg(size), QSize(size, size));
    }
    QApplication::setWindowIcon(icon);

    using namespace lcdprog;
    platform::QtServices qt;
    platform::Services services = qt.All();

    auto* mainWindow = new frm_Config_LCD(services, [&services] { Show_frm_RS232(services); });
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    if (!mainWindow->Form_Load()) {
        return 1;
    }
    mainWindow->show();
    return QApplication::exec();
}
