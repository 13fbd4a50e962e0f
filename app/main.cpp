// The programmer: creates the main window and runs the event loop. Every platform service the
// windows use is made here once and lives until the program ends, so the serial control keeps
// working in the serial port window after the main window has been closed.

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "main_window/frm_Config_LCD.h"
#include "platform/qt/qt_services.h"
#include "serial_window/frm_RS232.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("lcdprog");
    QApplication::setOrganizationName("lcdprog");  // where the recent projects are kept
    QApplication::setApplicationDisplayName("Programmatore LCD grafici");
    QApplication::setDesktopFileName("org.lcdprog.Lcdprog");
    QIcon icon = QIcon::fromTheme("org.lcdprog.Lcdprog");
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/icons/lcdprog-%1.png").arg(size), QSize(size, size));
    }
    QApplication::setWindowIcon(icon);

    // The program speaks Italian, so Qt's own dialogs and buttons (the file dialog, "OK") do
    // too, whatever the desktop's language: Debian's qt6-translations-l10n. Without that package
    // they stay in English, and nothing else changes.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    QTranslator qtTranslations;
    if (qtTranslations.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTranslations);
    }

    using namespace lcdprog;
    platform::QtServices qt;
    platform::Services services = qt.All();

    auto* mainWindow = new frm_Config_LCD(services, [&services] { Show_frm_RS232(services); });
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    if (!mainWindow->Form_Load()) {
        return 1;
    }
    mainWindow->show();
    // `lcdprog PROJECT.lcdprj`: the project opens once the start-up has finished.
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].startsWith(QLatin1Char('-'))) {
            mainWindow->Open_Project(QFile::encodeName(arguments[i]).toStdString());
            break;
        }
    }
    return QApplication::exec();
}
