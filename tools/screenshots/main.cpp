// lcdprog-screenshots: builds the programmer's two windows in this process, wired as main() wires
// them, plays a short session through their own handlers (two glyphs, three demo pictures, the
// serial window, ON, a whole programming run against the module behind LCDPROG_PORTS) and saves
// a picture of each window state. Any message box is a failure: it would mean the session did
// not go the way the pictures are meant to show.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "demo_pictures.h"
#include "link/mod_RS232.h"
#include "main_window/frm_Config_LCD.h"
#include "main_window/frm_Da_Carattere.h"
#include "platform/qt/qt_services.h"
#include "preview_window/frm_Anteprima.h"
#include "project/project_state.h"
#include "serial_window/frm_RS232.h"
#include "state/mod_variabili.h"

namespace {

using namespace lcdprog;

// A message box that never waits for anybody: it keeps the text and says it on stderr.
class RecordingMessageBox final : public platform::MessageBox {
  public:
    void Show(const std::string& text, const std::string& title, platform::MessageIcon) override {
        std::string line = title + ": " + text;
        for (auto& c : line) {
            if (c == '\r' || c == '\n') {
                c = ' ';
            }
        }
        std::fprintf(stderr, "lcdprog-screenshots: message box: %s\n", line.c_str());
        shown.push_back(line);
    }
    std::vector<std::string> shown;
};

// The file dialog answers with the paths queued for it, and "cancel" when none is left.
class QueuedFileDialog final : public platform::FileDialog {
  public:
    std::optional<std::string> Show(const platform::FileDialogRequest&) override {
        if (answers.empty()) {
            return std::nullopt;
        }
        std::string path = answers.front();
        answers.pop_front();
        return path;
    }
    std::deque<std::string> answers;
};

class RecordingProgram final : public platform::ProgramControl {
  public:
    void EndNow() override { ended = true; }
    bool ended = false;
};

int Fail(const QString& what) {
    std::fprintf(stderr, "lcdprog-screenshots: %s\n", what.toLocal8Bit().constData());
    return 1;
}

void Settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

bool Save(const QPixmap& picture, const QDir& out, const QString& name, QString* error) {
    const QString path = out.filePath(name);
    if (picture.isNull() || !picture.save(path, "PNG")) {
        *error = QStringLiteral("cannot write ") + path;
        return false;
    }
    std::printf("%s\n", path.toLocal8Bit().constData());
    return true;
}

template <typename T>
T* Child(QWidget* parent, const char* name, QString* error) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        *error = QStringLiteral("the window has no control named ") + QString::fromLatin1(name);
    }
    return child;
}

// The main window with a menu open and its first item highlighted.
QPixmap Grab_With_Menu(QMainWindow* window, QMenu* menu, QString* error) {
    QAction* item = menu->actions().value(0);
    if (item == nullptr) {
        *error = QStringLiteral("the menu ") + menu->objectName() + QStringLiteral(" has no item");
        return {};
    }
    QMenuBar* bar = window->menuBar();
    bar->setActiveAction(menu->menuAction());
    menu->popup(bar->mapToGlobal(bar->actionGeometry(menu->menuAction()).bottomLeft()));
    menu->setActiveAction(item);
    Settle();
    QPixmap picture = window->grab();
    QPainter painter(&picture);
    painter.drawPixmap(window->mapFromGlobal(menu->pos()), menu->grab());
    painter.end();
    menu->hide();
    bar->setActiveAction(nullptr);
    Settle();
    return picture;
}

struct DemoPicture {
    const char* file;
    int width;
    int height;
    const char* zone;
    void (frm_Config_LCD::*mouseDown)(int, Qt::MouseButton);
    ImageSlots* images;
};

int Run(const QDir& out, const QString& imageDump) {
    QString error;
    QTemporaryDir pictures;
    if (!pictures.isValid()) {
        return Fail(QStringLiteral("cannot create a temporary folder: ") + pictures.errorString());
    }

    // The recent projects go to the temporary folder, not to the user's settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, pictures.path());
    platform::QtServices qt;
    RecordingMessageBox messages;
    QueuedFileDialog dialog;
    RecordingProgram program;
    platform::Services services = qt.With(messages, dialog, program);
    // Held on the heap: a fresh one stands in for a program started again, below.
    auto state = std::make_unique<ProgramState>();
    Attach_Receive_Handler(qt.serial, *state);
    // The serial window is its own top-level widget; on every way out of here it goes before
    // the services it talks to.
    struct SerialWindowGuard {
        ~SerialWindowGuard() { delete Current_frm_RS232(); }
    } serialWindowGuard;

    auto window = std::make_unique<frm_Config_LCD>(
        services, *state, [&services, &state] { Show_frm_RS232(services, *state); });
    if (!window->Form_Load() || program.ended) {
        return Fail(QStringLiteral("the main window did not start (are the white backgrounds "
                                   "beside this program in ") +
                    QString::fromStdString(qt.files.ProgramFolder()) + QStringLiteral("?)"));
    }
    window->show();
    Settle();

    // The glyphs, cell by cell through the grid handler, as clicks would set them.
    auto* grid5x8 = Child<QTableWidget>(window.get(), "msh_Font_5x8", &error);
    auto* grid10x16 = Child<QTableWidget>(window.get(), "msh_Font_10x16", &error);
    auto* tabs = Child<QTabWidget>(window.get(), "SST_Select_Image", &error);
    auto* menu = Child<QMenu>(window.get(), "mnu_Comunicazione", &error);
    if (grid5x8 == nullptr || grid10x16 == nullptr || tabs == nullptr || menu == nullptr) {
        return Fail(error);
    }
    for (int r = 0; r < static_cast<int>(screenshots::kGlyph5x8.size()); ++r) {
        for (int c = 0; c < 5; ++c) {
            if (screenshots::kGlyph5x8[r][c] == '#') {
                grid5x8->setCurrentCell(r, c);
                window->msh_Font_5x8_Click();
            }
        }
    }
    for (int r = 0; r < static_cast<int>(screenshots::kGlyph10x16.size()); ++r) {
        for (int c = 0; c < 10; ++c) {
            if (screenshots::kGlyph10x16[r][c] == '#') {
                grid10x16->setCurrentCell(r, c);
                window->msh_Font_10x16_Click();
            }
        }
    }
    if (state->Font_5x8 != screenshots::Glyph_5x8_Columns() ||
        state->Font_10x16 != screenshots::Glyph_10x16_Columns()) {
        return Fail(QStringLiteral("the grid clicks did not set the glyph tables as expected"));
    }
    grid5x8->setCurrentCell(-1, -1);
    grid10x16->setCurrentCell(-1, -1);

    // The demo pictures, chosen with the right button through the picture box handlers.
    const DemoPicture demo[] = {
        {"allarme_128x64.bmp", 128, 64, "Zona 1 - Ingresso",
         &frm_Config_LCD::pct_Image_64128A_MouseDown, &state->Images_64128A},
        {"allarme_240x64.bmp", 240, 64, "Zona 3 - Magazzino",
         &frm_Config_LCD::pct_Image_64240B_MouseDown, &state->Images_64240B},
        {"allarme_240x128.bmp", 240, 128, "Zona 5 - Centrale termica",
         &frm_Config_LCD::pct_Image_128240A_MouseDown, &state->Images_128240A},
    };
    for (const DemoPicture& p : demo) {
        const QString path = QDir(pictures.path()).filePath(QString::fromLatin1(p.file));
        const QImage picture =
            screenshots::Alarm_Picture(p.width, p.height, QString::fromUtf8(p.zone));
        if (!screenshots::Write_Mono_Bitmap(picture, path, &error)) {
            return Fail(QStringLiteral("cannot write a demo picture: ") + error);
        }
        dialog.answers.push_back(path.toStdString());
        (window.get()->*p.mouseDown)(0, Qt::RightButton);
        if (!messages.shown.empty() || (*p.images)[0].FileName != p.file) {
            return Fail(QStringLiteral("the picture box did not take ") + path);
        }
    }
    Settle();

    // Saved as a project, the window closed, a new one started with that project as
    // `lcdprog PROJECT.lcdprj` starts: the rest of the session runs on what the project gave.
    const QString project = QDir(pictures.path()).filePath(QStringLiteral("allarmi.lcdprj"));
    dialog.answers.push_back(project.toStdString());
    if (!window->Save_Project_As() || !messages.shown.empty()) {
        return Fail(QStringLiteral("the project was not saved to ") + project);
    }
    const Project chosen = Capture_Project(*state, services.files);
    window->close();
    window.reset();
    *state = ProgramState{};
    window = std::make_unique<frm_Config_LCD>(
        services, *state, [&services, &state] { Show_frm_RS232(services, *state); });
    if (!window->Form_Load() || program.ended) {
        return Fail(QStringLiteral("the main window did not start again"));
    }
    window->show();
    if (!window->Open_Project(project.toStdString()) || !messages.shown.empty() ||
        !(Capture_Project(*state, services.files) == chosen)) {
        return Fail(QStringLiteral("the project did not give back the session's choices"));
    }
    tabs = Child<QTabWidget>(window.get(), "SST_Select_Image", &error);
    menu = Child<QMenu>(window.get(), "mnu_Comunicazione", &error);
    auto* fileMenu = Child<QMenu>(window.get(), "mnu_File", &error);
    if (tabs == nullptr || menu == nullptr || fileMenu == nullptr) {
        return Fail(error);
    }
    Settle();

    const char* tabFiles[] = {"main-64128A.png", "main-64128E.png", "main-64240B.png",
                              "main-128240A.png", "main-fonts.png"};
    for (int i = 0; i < tabs->count() && i < 5; ++i) {
        tabs->setCurrentIndex(i);
        Settle();
        if (!Save(window->grab(), out, QString::fromLatin1(tabFiles[i]), &error)) {
            return Fail(error);
        }
    }
    tabs->setCurrentIndex(0);
    Settle();
    const QPixmap withMenu = Grab_With_Menu(window.get(), menu, &error);
    if (!error.isEmpty() || !Save(withMenu, out, QStringLiteral("main-menu.png"), &error)) {
        return Fail(error);
    }
    const QPixmap withFileMenu = Grab_With_Menu(window.get(), fileMenu, &error);
    if (!error.isEmpty() ||
        !Save(withFileMenu, out, QStringLiteral("main-project-menu.png"), &error)) {
        return Fail(error);
    }

    // The 10x16 glyph's menu, opened over a cell as the right button opens it, and the dialog
    // "Da carattere..." drawing an "A" into that glyph.
    tabs->setCurrentIndex(4);
    Settle();
    auto* glyphGrid = Child<QTableWidget>(window.get(), "msh_Font_10x16", &error);
    auto* glyphMenu = Child<QMenu>(window.get(), "mnu_Glifo_10x16", &error);
    if (glyphGrid == nullptr || glyphMenu == nullptr) {
        return Fail(error);
    }
    glyphGrid->setFocus();
    glyphGrid->setCurrentCell(4, 6);
    glyphMenu->popup(glyphGrid->viewport()->mapToGlobal(
        glyphGrid->visualRect(glyphGrid->model()->index(4, 6)).center()));
    glyphMenu->setActiveAction(glyphMenu->actions().value(0));
    Settle();
    // The menu reaches below the window: the picture grows to hold it.
    const QPixmap windowPicture = window->grab();
    const QRect menuRect(window->mapFromGlobal(glyphMenu->pos()), glyphMenu->size());
    QPixmap withGlyphMenu(windowPicture.rect().united(menuRect).size());
    withGlyphMenu.fill(window->palette().color(QPalette::Window));
    {
        QPainter painter(&withGlyphMenu);
        painter.drawPixmap(0, 0, windowPicture);
        painter.drawPixmap(menuRect.topLeft(), glyphMenu->grab());
    }
    glyphMenu->hide();
    if (!Save(withGlyphMenu, out, QStringLiteral("main-glyph-menu.png"), &error)) {
        return Fail(error);
    }
    {
        frm_Da_Carattere fromCharacter(kGlyph10x16, window.get());
        fromCharacter.show();
        Settle();
        if (!Save(fromCharacter.grab(), out, QStringLiteral("from-character.png"), &error)) {
            return Fail(error);
        }
    }
    tabs->setCurrentIndex(0);
    Settle();

    // The preview, through its menu command, at one screen pixel per panel pixel so that every
    // panel fits in the picture.
    window->smnu_Anteprima_Click(0);
    frm_Anteprima* preview = window->Preview();
    if (preview == nullptr || !preview->Current()) {
        return Fail(QStringLiteral("the preview did not open on a complete image"));
    }
    preview->Set_Zoom(1);
    preview->resize(760, 1010);
    Settle();
    if (!Save(preview->grab(), out, QStringLiteral("preview.png"), &error)) {
        return Fail(error);
    }

    // The serial window, through the menu command.
    window->smnu_Comunicazione_Click(0);
    Settle();
    frm_RS232* serialWindow = Current_frm_RS232();
    if (serialWindow == nullptr) {
        return Fail(QStringLiteral("the menu command did not open the serial port window"));
    }
    if (!messages.shown.empty()) {
        return Fail(
            QStringLiteral("no usable serial port: is the virtual module running and "
                           "LCDPROG_PORTS set to its device?"));
    }
    auto* combo = Child<QComboBox>(serialWindow, "cmb_RS232", &error);
    auto* on = Child<QPushButton>(serialWindow, "cmd_ON", &error);
    auto* write = Child<QPushButton>(serialWindow, "cmd_Write_RS232", &error);
    auto* exit = Child<QPushButton>(serialWindow, "cmd_Exit", &error);
    auto* trace = Child<QTextEdit>(serialWindow, "rtb_RS232_SPY", &error);
    auto* sent = Child<QLineEdit>(serialWindow, "txt_Send_Packet", &error);
    auto* received = Child<QLineEdit>(serialWindow, "txt_Received_Packet", &error);
    auto* progress = Child<QProgressBar>(serialWindow, "pgb_RS232", &error);
    if (combo == nullptr || on == nullptr || write == nullptr || exit == nullptr ||
        trace == nullptr || sent == nullptr || received == nullptr || progress == nullptr) {
        return Fail(error);
    }
    if (combo->currentText() != QStringLiteral("COM 1")) {
        return Fail(QStringLiteral("the port list shows \"") + combo->currentText() +
                    QStringLiteral("\", not \"COM 1\""));
    }
    if (!Save(serialWindow->grab(), out, QStringLiteral("serial-open.png"), &error)) {
        return Fail(error);
    }

    on->click();
    Settle();
    if (!messages.shown.empty() || !write->isEnabled()) {
        return Fail(QStringLiteral("ON did not open COM 1 (") +
                    QString::fromStdString(qt.serial.DevicePath(1)) + QStringLiteral(")"));
    }

    // Halfway through the EEPROM the window is grabbed from inside the run, as it looks then:
    // at the run's next turn of the event loop, once the bar has been repainted with the rest.
    bool grabbedMidRun = false;
    QString midRunError;
    QObject::connect(progress, &QProgressBar::valueChanged, serialWindow, [&](int value) {
        if (!grabbedMidRun && value >= progress->maximum() / 2) {
            grabbedMidRun = true;
            QTimer::singleShot(0, serialWindow, [&] {
                Save(serialWindow->grab(), out, QStringLiteral("serial-during-run.png"),
                     &midRunError);
            });
        }
    });
    write->click();
    Settle();
    if (!messages.shown.empty()) {
        return Fail(QStringLiteral("the programming run ended with a message (see above)"));
    }
    if (!midRunError.isEmpty()) {
        return Fail(midRunError);
    }
    const QString traceText = trace->toPlainText();
    if (sent->text() != QStringLiteral("514") || received->text() != QStringLiteral("514") ||
        !traceText.contains(QStringLiteral("0xFE; 0x00; 0x01"))) {
        return Fail(QStringLiteral("the run did not end as a whole run does: sent ") +
                    sent->text() + QStringLiteral(", received ") + received->text() +
                    QStringLiteral(", trace \"") + traceText.trimmed() + QStringLiteral("\""));
    }
    if (!Save(serialWindow->grab(), out, QStringLiteral("serial-after-run.png"), &error)) {
        return Fail(error);
    }

    // What the module received is what the preview showed (the script compares the module's
    // EEPROM with the image dumped below).
    if (preview->Image() != state->MemoryImage) {
        return Fail(QStringLiteral("the image sent differs from the preview's"));
    }
    if (!imageDump.isEmpty()) {
        QFile dump(imageDump);
        if (!dump.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            dump.write(reinterpret_cast<const char*>(state->MemoryImage.data()),
                       static_cast<qint64>(state->MemoryImage.size())) !=
                static_cast<qint64>(state->MemoryImage.size()) ||
            !dump.flush()) {
            return Fail(QStringLiteral("cannot write ") + imageDump);
        }
    }

    exit->click();
    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lcdprog-screenshots"));
    // A blinking text cursor would make each run's pictures differ by its phase.
    QApplication::setCursorFlashTime(0);

    QStringList args = QApplication::arguments().mid(1);
    QString imageDump;
    if (args.size() == 3 && args[0] == QStringLiteral("--memory-image")) {
        imageDump = args[1];
        args = args.mid(2);
    }
    if (args.size() != 1 || args[0].startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr,
                     "Usage: lcdprog-screenshots [--memory-image FILE] OUT_DIR\n"
                     "Plays a short session in the programmer's windows against the module "
                     "behind\nLCDPROG_PORTS (COM 1) and saves the windows as PNG files in "
                     "OUT_DIR.\n--memory-image FILE also saves the 65,536-byte image that "
                     "was sent.\n");
        return 2;
    }
    QDir out(args[0]);
    if (!out.mkpath(QStringLiteral("."))) {
        return Fail(QStringLiteral("cannot create ") + args[0]);
    }
    return Run(out, imageDump);
}
