// The programmer: creates the main window and runs the event loop. Every platform service the
// windows use is made here once and lives until the program ends, so the serial control keeps
// working in the serial port window after the main window has been closed.

#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "link/mod_RS232.h"
#include "main_window/frm_Config_LCD.h"
#include "platform/qt/accessibility_bus.h"
#include "platform/qt/application_identity.h"
#include "platform/qt/qt_services.h"
#include "serial_window/frm_RS232.h"

namespace {

const char kHelp[] =
    "Uso: lcdprog [OPZIONE]... [PROGETTO.lcdprj]\n"
    "Programmatore per moduli LCD grafici gestione allarmi: scrive sedici immagini di sfondo e\n"
    "due font nella EEPROM del modulo attraverso una linea seriale RS-232.\n"
    "\n"
    "  PROGETTO.lcdprj   apre il progetto all'avvio\n"
    "  -h, --help        mostra questo aiuto ed esce\n"
    "      --version     mostra la versione ed esce\n"
    "\n"
    "Sono accettate anche le opzioni di Qt (per esempio -platform offscreen, -style fusion).\n"
    "\n"
    "Ambiente:\n"
    "  LCDPROG_PORTS     i dispositivi seriali da elencare, separati da \":\"; il primo è\n"
    "                    \"COM 1\" (senza: le porte seriali presenti sul computer)\n"
    "\n"
    "I file Sfondo_Bianco_128x64.bmp, Sfondo_Bianco_240x64.bmp e Sfondo_Bianco_240x128.bmp\n"
    "sono cercati nella cartella del programma, poi in ../share/lcdprog accanto a essa.\n"
    "Stato di uscita: 0 alla chiusura, 1 se un file di sfondo manca o non è un'immagine.\n";

// --help and --version answer on the terminal before Qt starts, so they work with no display.
// Everything else (Qt's own options, a project) is left to QApplication and the main window.
bool Answer_Info_Option(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("lcdprog " LCDPROG_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (Answer_Info_Option(argc, argv)) {
        return 0;
    }
    QApplication app(argc, argv);
    lcdprog::platform::Set_Application_Identity();
    lcdprog::platform::Guard_Accessibility_Bus();

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
    // The program's variables, for both windows and the link, until the program ends.
    static ProgramState state;
    Attach_Receive_Handler(qt.serial, state);

    auto* mainWindow =
        new frm_Config_LCD(services, state, [&services] { Show_frm_RS232(services, state); });
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
