// The programmer: creates the main window and runs the event loop. Every platform service the
// windows use is made here once and lives until the program ends, so the serial control keeps
// working in the serial port window after the main window has been closed.

#include <cstdio>
#include <string>

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QTranslator>

#include "link/mod_RS232.h"
#include "main_window/frm_Config_LCD.h"
#include "platform/qt/accessibility_bus.h"
#include "platform/qt/application_identity.h"
#include "platform/qt/command_line.h"
#include "platform/qt/log.h"
#include "platform/qt/qt_services.h"
#include "platform/result.h"
#include "serial_window/frm_RS232.h"
#include "station/frm_Stazione.h"

namespace {

const char kHelp[] =
    "Uso: lcdprog [OPZIONE]... [PROGETTO.lcdprj]\n"
    "Programmatore per moduli LCD grafici gestione allarmi: scrive sedici immagini di sfondo e\n"
    "due font nella EEPROM del modulo attraverso una linea seriale RS-232.\n"
    "\n"
    "  PROGETTO.lcdprj   apre il progetto all'avvio\n"
    "  -h, --help        mostra questo aiuto ed esce\n"
    "      --version     mostra la versione ed esce\n"
    "      --verbose     scrive su standard error il registro di quello che fa (per segnalare\n"
    "                    un problema)\n"
    "\n"
    "Sono accettate anche le opzioni di Qt (per esempio -platform offscreen, -style fusion).\n"
    "\n"
    "Ambiente:\n"
    "  LCDPROG_PORTS     i dispositivi seriali da elencare, separati da \":\"; il primo è\n"
    "                    \"COM 1\" (senza: le porte seriali presenti sul computer)\n"
    "\n"
    "I file Sfondo_Bianco_128x64.bmp, Sfondo_Bianco_240x64.bmp e Sfondo_Bianco_240x128.bmp\n"
    "sono cercati nella cartella del programma, poi in ../share/lcdprog accanto a essa.\n"
    "Stato di uscita: 0 alla chiusura, 1 se un file di sfondo manca o non è un'immagine,\n"
    "2 se la riga di comando è sbagliata.\n";

const QCommandLineOption kHelpOption(QStringList{"h", "help"});
const QCommandLineOption kVersionOption(QStringList{"version"});

QStringList Arguments_Of(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

// Parses the command line; a refusal carries the operator's message.
// Single-dash words are whole options, as Qt's own (-platform, -style) are.
lcdprog::platform::Result<> Parse_Line(QCommandLineParser& parser, const QStringList& arguments) {
    using namespace lcdprog::platform;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addPositionalArgument(QStringLiteral("progetto"), QString());
    if (Result<> parsed =
            Parse_Options(parser, {kHelpOption, kVersionOption, Verbose_Option()}, arguments);
        !parsed) {
        return parsed;
    }
    if (parser.positionalArguments().size() > 1) {
        return Refusal{RefusalKind::Invalid, "argomento in più: \"" +
                                                 parser.positionalArguments()[1].toStdString() +
                                                 "\" (si apre un progetto alla volta)"};
    }
    return lcdprog::platform::kDone;
}

// --help and --version answer on the terminal before Qt starts, so they work with no display;
// Qt's own options are not known yet here, so nothing else is judged.
bool Answer_Info_Option(int argc, char** argv) {
    QCommandLineParser parser;
    // Whatever is wrong is said once Qt has taken its own options out, below: here only
    // --help and --version count.
    static_cast<void>(Parse_Line(parser, Arguments_Of(argc, argv)));
    if (parser.isSet(kHelpOption)) {
        std::fputs(kHelp, stdout);
        return true;
    }
    if (parser.isSet(kVersionOption)) {
        std::puts("lcdprog " LCDPROG_VERSION);
        return true;
    }
    return false;
}

// "Stazione di produzione...": the one station, kept in `station`, made for the main window's
// project on first call and brought to the front after. The main window is its project lock.
void Show_Station(QPointer<lcdprog::frm_Stazione>& station, lcdprog::frm_Config_LCD* mainWindow) {
    using lcdprog::frm_Stazione;
    if (station == nullptr) {
        lcdprog::StationSetup setup;
        setup.projectPath = mainWindow->Project_Path();
        setup.unsavedChanges = mainWindow->Modified();
        // lcdprog-cli lies beside lcdprog, in the build tree and in an installed tree alike.
        setup.cliProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/lcdprog-cli");
        setup.lock = mainWindow;
        station = new frm_Stazione(setup);
        station->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(mainWindow, &lcdprog::frm_Config_LCD::projectChanged, station,
                         &frm_Stazione::Project_Changed);
        // Closed while unlocked, the main window goes before the station may.
        QObject::connect(mainWindow, &QObject::destroyed, station,
                         &frm_Stazione::Project_Window_Gone);
    }
    station->show();
    station->raise();
    station->activateWindow();
}

}  // namespace

int main(int argc, char** argv) {
    lcdprog::platform::Set_Log_Format();
    if (Answer_Info_Option(argc, argv)) {
        return 0;
    }
    QApplication app(argc, argv);
    // QApplication has taken its own options out by now: what is left is ours to judge.
    QCommandLineParser parser;
    if (const auto parsed = Parse_Line(parser, QApplication::arguments()); !parsed) {
        std::fprintf(stderr, "lcdprog: %s\nPer l'aiuto: lcdprog --help\n", parsed.Text().c_str());
        return 2;
    }
    if (parser.isSet(lcdprog::platform::Verbose_Option())) {
        lcdprog::platform::Enable_Verbose_Log();
    }
    lcdprog::platform::Set_Application_Identity();
    const lcdprog::platform::AccessibilityBusGuard busGuard;

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
    ProgramState state;
    Attach_Receive_Handler(qt.serial, state);
    // Declared after the state and the services: the serial port window goes before them.
    SerialWindowHolder serialWindow(services, state);

    auto* mainWindow = new frm_Config_LCD(services, state, &serialWindow);
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frm_Stazione> station;
    QObject::connect(mainWindow, &frm_Config_LCD::stationRequested, mainWindow,
                     [&station, mainWindow] { Show_Station(station, mainWindow); });
    if (!mainWindow->Form_Load()) {
        return 1;
    }
    mainWindow->show();
    // For timing the start-up (README, "How long the first start takes"): the program ends once
    // its window has been shown and the events of the start have been handled.
    if (qEnvironmentVariableIsSet("LCDPROG_EXIT_WHEN_SHOWN")) {
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    }
    // `lcdprog PROJECT.lcdprj`: the project opens once the start-up has finished.
    if (!parser.positionalArguments().isEmpty()) {
        mainWindow->Open_Project(
            QFile::encodeName(parser.positionalArguments().front()).toStdString());
    }
    return QApplication::exec();
}
