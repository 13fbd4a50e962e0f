// lcdprog-screenshots: builds the programmer's two windows in this process, wired as main() wires
// them, plays a short session through their own handlers (two glyphs, three demo pictures, the
// serial window, ON, a whole programming run against the module behind LCDPROG_PORTS) and saves
// a picture of each window state. Any message box is a failure: it would mean the session did
// not go the way the pictures are meant to show.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "demo_pictures.h"
#include "link/mod_RS232.h"
#include "link/run_events.h"
#include "main_window/frm_Config_LCD.h"
#include "main_window/frm_Da_Carattere.h"
#include "main_window/import_dialog.h"
#include "main_window/picture_import.h"
#include "platform/qt/qt_services.h"
#include "preview_window/frm_Anteprima.h"
#include "project/project_state.h"
#include "serial_window/frm_RS232.h"
#include "state/mod_variabili.h"
#include "station/frm_Stazione.h"
#include "station_shot.h"

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

// The recent projects go to a temporary folder, not to the user's settings.
bool Keep_Settings_In(const QTemporaryDir& folder) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    return folder.isValid();
}

// What the serial window's run reported: the tool learns how the run went from its events, as any
// other view of a run does.
struct RunRecord final : RunObserver {
    int sent = 0;
    int replies = 0;
    RunResult result;
    bool ended = false;

    void Packet_Sent(std::string_view) override { ++sent; }
    void Reply_Received(std::string_view, bool) override { ++replies; }
    void Run_Ended(const RunResult& r) override {
        result = r;
        ended = true;
    }
};

// The windows as main() wires them, and the steps of the session. Each step returns false with
// `error` set when the session did not go the way the pictures are meant to show.
class Session {
  public:
    Session() { Attach_Receive_Handler(qt_.serial, *state_); }

    QString error;

    bool Start() {
        if (!picturesReady_) {
            error = QStringLiteral("cannot create a temporary folder: ") + pictures_.errorString();
            return false;
        }
        if (!Start_Main_Window()) {
            error = QStringLiteral(
                        "the main window did not start (are the white backgrounds "
                        "beside this program in ") +
                    QString::fromStdString(qt_.files.ProgramFolder()) + QStringLiteral("?)");
            return false;
        }
        return Set_Glyphs() && Choose_Demo_Pictures() && Reopen_From_Project();
    }

    bool Show_Tab(int index) {
        auto* tabs = Child<QTabWidget>(window_.get(), "SST_Select_Image", &error);
        if (tabs == nullptr || index >= tabs->count()) {
            error = error.isEmpty() ? QStringLiteral("the main window has too few tabs") : error;
            return false;
        }
        tabs->setCurrentIndex(index);
        Settle();
        return true;
    }

    // The main window with the named menu open and its first item highlighted.
    QPixmap Grab_Menu(const char* name) {
        auto* menu = Child<QMenu>(window_.get(), name, &error);
        return menu == nullptr ? QPixmap() : Grab_With_Menu(window_.get(), menu, &error);
    }

    // The 10x16 glyph's menu, opened over a cell as the right button opens it. The menu reaches
    // below the window: the picture grows to hold it.
    QPixmap Grab_Glyph_Menu() {
        auto* grid = Child<QTableWidget>(window_.get(), "msh_Font_10x16", &error);
        auto* menu = Child<QMenu>(window_.get(), "mnu_Glifo_10x16", &error);
        if (grid == nullptr || menu == nullptr) {
            return {};
        }
        grid->setFocus();
        grid->setCurrentCell(4, 6);
        menu->popup(
            grid->viewport()->mapToGlobal(grid->visualRect(grid->model()->index(4, 6)).center()));
        menu->setActiveAction(menu->actions().value(0));
        Settle();
        const QPixmap windowPicture = window_->grab();
        const QRect menuRect(window_->mapFromGlobal(menu->pos()), menu->size());
        QPixmap picture(windowPicture.rect().united(menuRect).size());
        picture.fill(window_->palette().color(QPalette::Window));
        {
            QPainter painter(&picture);
            painter.drawPixmap(0, 0, windowPicture);
            painter.drawPixmap(menuRect.topLeft(), menu->grab());
        }
        menu->hide();
        return picture;
    }

    // The dialog "Da carattere..." drawing an "A" into the 10x16 glyph.
    QPixmap Grab_From_Character() {
        frm_Da_Carattere fromCharacter(kGlyph10x16, window_.get());
        fromCharacter.show();
        Settle();
        return fromCharacter.grab();
    }

    // The dialog "Importa immagine" on a logo in colour for the 240x64 panel's second slot,
    // dithered by Floyd-Steinberg. The dialog is then cancelled: the session's slots stay as
    // they were.
    QPixmap Grab_Import_Dialog() {
        const QString path = QDir(pictures_.path()).filePath(QStringLiteral("logo.png"));
        if (!screenshots::Logo_Picture(360, 96).save(path, "PNG")) {
            error = QStringLiteral("cannot write ") + path;
            return {};
        }
        QPixmap picture;
        const auto run = [this, &picture](frm_Importa_Immagine& dialog) {
            auto* conversion = Child<QComboBox>(&dialog, "cmb_Conversione", &error);
            if (conversion == nullptr) {
                return false;
            }
            conversion->setCurrentText(QStringLiteral("Floyd-Steinberg"));
            dialog.show();
            Settle();
            if (conversion->currentText() == QStringLiteral("Floyd-Steinberg")) {
                picture = dialog.grab();
            } else {
                error = QStringLiteral("the import dialog has no conversion \"Floyd-Steinberg\"");
            }
            dialog.hide();
            return false;
        };
        constexpr int k64240B = 2;
        if (Import_Picture(services_, window_.get(), path.toStdString(), k64240B, 1, {}, run) ||
            !messages_.shown.empty()) {
            error = error.isEmpty() ? QStringLiteral("the import dialog did not open on ") + path
                                    : error;
            return {};
        }
        if (picture.isNull() && error.isEmpty()) {
            error = QStringLiteral("the import dialog did not open on ") + path;
        }
        return picture;
    }

    // The preview, through its menu command, at one screen pixel per panel pixel so that every
    // panel fits in the picture.
    bool Open_Preview() {
        if (!Show_Tab(0)) {
            return false;
        }
        window_->smnu_Anteprima_Click(0);
        preview_ = window_->Preview();
        if (preview_ == nullptr || !preview_->Current()) {
            error = QStringLiteral("the preview did not open on a complete image");
            return false;
        }
        preview_->Set_Zoom(1);
        preview_->resize(760, 1010);
        Settle();
        // Taller by what the fonts' frame still hides, so that no scroll bar is left.
        if (auto* scroll = preview_->findChild<QScrollArea*>(); scroll && scroll->widget()) {
            const int hidden = scroll->widget()->sizeHint().height() - scroll->viewport()->height();
            if (hidden > 0) {
                preview_->resize(760, 1010 + hidden);
                Settle();
            }
        }
        return true;
    }

    bool Open_Serial_Window();
    bool Program_Module();
    bool Check_Image_Sent(const QString& imageDump);

    // The production station on the same project, after the serial window's OFF let the port go.
    bool Program_With_Station() {
        auto* off = Child<QPushButton>(serialWindow_, "cmd_OFF", &error);
        if (off == nullptr) {
            return false;
        }
        off->click();
        station_ = screenshots::Program_With_Station(window_.get(), &error);
        return station_ != nullptr;
    }

    void Finish() {
        if (station_ != nullptr) {
            station_->close();
        }
        if (auto* exit = Child<QPushButton>(serialWindow_, "cmd_Exit", &error)) {
            exit->click();
        }
        window_->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QPixmap Main_Window() const { return window_->grab(); }
    QPixmap Preview() const { return preview_->grab(); }
    QPixmap Serial_Window() const { return serialWindow_->grab(); }
    QPixmap Serial_Window_Mid_Run() const { return midRun_; }
    QPixmap Station() const { return station_->grab(); }

  private:
    bool Start_Main_Window() {
        window_ = std::make_unique<frm_Config_LCD>(services_, *state_, &serialWindowHolder_);
        if (!window_->Form_Load() || program_.ended) {
            return false;
        }
        window_->show();
        Settle();
        return true;
    }

    bool Set_Glyphs();
    bool Choose_Demo_Pictures();
    bool Reopen_From_Project();

    QTemporaryDir pictures_;
    bool picturesReady_ = Keep_Settings_In(pictures_);
    platform::QtServices qt_;
    RecordingMessageBox messages_;
    QueuedFileDialog dialog_;
    RecordingProgram program_;
    platform::Services services_ = qt_.With(messages_, dialog_, program_);
    // Held on the heap: a fresh one stands in for a program started again.
    std::unique_ptr<ProgramState> state_ = std::make_unique<ProgramState>();
    // The serial window is its own top-level widget; on every way out its holder deletes it
    // before the services it talks to go.
    SerialWindowHolder serialWindowHolder_{services_, *state_};
    std::unique_ptr<frm_Config_LCD> window_;
    frm_Anteprima* preview_ = nullptr;
    frm_RS232* serialWindow_ = nullptr;
    QPointer<frm_Stazione> station_;
    bool midRunAsked_ = false;
    QPixmap midRun_;
};

// The glyphs, cell by cell through the grid handler, as clicks would set them.
bool Session::Set_Glyphs() {
    auto* grid5x8 = Child<QTableWidget>(window_.get(), "msh_Font_5x8", &error);
    auto* grid10x16 = Child<QTableWidget>(window_.get(), "msh_Font_10x16", &error);
    if (grid5x8 == nullptr || grid10x16 == nullptr) {
        return false;
    }
    for (int r = 0; r < static_cast<int>(screenshots::kGlyph5x8.size()); ++r) {
        for (int c = 0; c < 5; ++c) {
            if (screenshots::kGlyph5x8[r][c] == '#') {
                grid5x8->setCurrentCell(r, c);
                window_->msh_Font_5x8_Click();
            }
        }
    }
    for (int r = 0; r < static_cast<int>(screenshots::kGlyph10x16.size()); ++r) {
        for (int c = 0; c < 10; ++c) {
            if (screenshots::kGlyph10x16[r][c] == '#') {
                grid10x16->setCurrentCell(r, c);
                window_->msh_Font_10x16_Click();
            }
        }
    }
    if (state_->Font_5x8 != screenshots::Glyph_5x8_Columns() ||
        state_->Font_10x16 != screenshots::Glyph_10x16_Columns()) {
        error = QStringLiteral("the grid clicks did not set the glyph tables as expected");
        return false;
    }
    grid5x8->setCurrentCell(-1, -1);
    grid10x16->setCurrentCell(-1, -1);
    return true;
}

// The demo pictures, chosen with the right button through the picture box handlers.
bool Session::Choose_Demo_Pictures() {
    const DemoPicture demo[] = {
        {"allarme_128x64.bmp", 128, 64, "Zona 1 - Ingresso",
         &frm_Config_LCD::pct_Image_64128A_MouseDown, &state_->Images_64128A},
        {"allarme_240x64.bmp", 240, 64, "Zona 3 - Magazzino",
         &frm_Config_LCD::pct_Image_64240B_MouseDown, &state_->Images_64240B},
        {"allarme_240x128.bmp", 240, 128, "Zona 5 - Centrale termica",
         &frm_Config_LCD::pct_Image_128240A_MouseDown, &state_->Images_128240A},
    };
    for (const DemoPicture& p : demo) {
        const QString path = QDir(pictures_.path()).filePath(QString::fromLatin1(p.file));
        const QImage picture =
            screenshots::Alarm_Picture(p.width, p.height, QString::fromUtf8(p.zone));
        if (!screenshots::Write_Mono_Bitmap(picture, path, &error)) {
            error = QStringLiteral("cannot write a demo picture: ") + error;
            return false;
        }
        dialog_.answers.push_back(path.toStdString());
        (window_.get()->*p.mouseDown)(0, Qt::RightButton);
        if (!messages_.shown.empty() || (*p.images)[0].FileName != p.file) {
            error = QStringLiteral("the picture box did not take ") + path;
            return false;
        }
    }
    Settle();
    return true;
}

// Saved as a project, the window closed, a new one started with that project as
// `lcdprog PROJECT.lcdprj` starts: the rest of the session runs on what the project gave.
bool Session::Reopen_From_Project() {
    const QString project = QDir(pictures_.path()).filePath(QStringLiteral("allarmi.lcdprj"));
    dialog_.answers.push_back(project.toStdString());
    if (!window_->Save_Project_As() || !messages_.shown.empty()) {
        error = QStringLiteral("the project was not saved to ") + project;
        return false;
    }
    const Project chosen = Capture_Project(*state_, services_.files);
    window_->close();
    window_.reset();
    *state_ = ProgramState{};
    if (!Start_Main_Window()) {
        error = QStringLiteral("the main window did not start again");
        return false;
    }
    if (!window_->Open_Project(project.toStdString()) || !messages_.shown.empty() ||
        !(Capture_Project(*state_, services_.files) == chosen)) {
        error = QStringLiteral("the project did not give back the session's choices");
        return false;
    }
    return true;
}

// The serial window, through the menu command, showing the module's port as COM 1.
bool Session::Open_Serial_Window() {
    window_->smnu_Comunicazione_Click(0);
    Settle();
    serialWindow_ = serialWindowHolder_.Window();
    if (serialWindow_ == nullptr) {
        error = QStringLiteral("the menu command did not open the serial port window");
        return false;
    }
    if (!messages_.shown.empty()) {
        error = QStringLiteral(
            "no usable serial port: is the virtual module running and "
            "LCDPROG_PORTS set to its device?");
        return false;
    }
    auto* combo = Child<QComboBox>(serialWindow_, "cmb_RS232", &error);
    if (combo != nullptr && combo->currentText() != QStringLiteral("COM 1")) {
        error = QStringLiteral("the port list shows \"") + combo->currentText() +
                QStringLiteral("\", not \"COM 1\"");
    }
    return error.isEmpty();
}

// ON, then a whole programming run. Halfway through the EEPROM the window is grabbed from inside
// the run, as it looks then: at the run's next turn of the event loop, once the bar has been
// repainted with the rest.
bool Session::Program_Module() {
    auto* on = Child<QPushButton>(serialWindow_, "cmd_ON", &error);
    auto* write = Child<QPushButton>(serialWindow_, "cmd_Write_RS232", &error);
    if (on == nullptr || write == nullptr) {
        return false;
    }
    on->click();
    Settle();
    if (!messages_.shown.empty() || !write->isEnabled()) {
        error = QStringLiteral("ON did not open COM 1 (") +
                QString::fromStdString(qt_.serial.DevicePath(1)) + QStringLiteral(")");
        return false;
    }
    // The picture waits for the bar itself: the controls are repainted in batches, so it is the
    // bar's own change, not the run's block, that says the window shows half the EEPROM.
    auto* progress = Child<QProgressBar>(serialWindow_, "pgb_RS232", &error);
    if (progress == nullptr) {
        return false;
    }
    QObject::connect(progress, &QProgressBar::valueChanged, serialWindow_, [this, progress](int v) {
        if (!midRunAsked_ && v >= progress->maximum() / 2) {
            midRunAsked_ = true;
            QTimer::singleShot(0, serialWindow_, [this] { midRun_ = serialWindow_->grab(); });
        }
    });
    RunRecord run;
    serialWindow_->Run_Feed().Subscribe(run);
    write->click();
    Settle();
    serialWindow_->Run_Feed().Unsubscribe(run);
    if (!messages_.shown.empty()) {
        error = QStringLiteral("the programming run ended with a message (see above)");
        return false;
    }
    // Detection, every block and the reset: one request and one reply each.
    constexpr int kExchanges = kBlocks + 2;
    if (!run.ended || run.result.failure != RunFailure::None || !run.result.resetOk ||
        run.sent != kExchanges || run.replies != kExchanges) {
        error = QStringLiteral(
                    "the run did not end as a whole run does: %1 requests, %2 replies, "
                    "%3 blocks written, reset %4")
                    .arg(run.sent)
                    .arg(run.replies)
                    .arg(run.result.block)
                    .arg(run.result.resetOk ? QStringLiteral("acknowledged")
                                            : QStringLiteral("not acknowledged"));
        return false;
    }
    return true;
}

// What the module received is what the preview showed (the script compares the module's EEPROM
// with the image dumped here).
bool Session::Check_Image_Sent(const QString& imageDump) {
    if (preview_->Image() != state_->MemoryImage) {
        error = QStringLiteral("the image sent differs from the preview's");
        return false;
    }
    if (imageDump.isEmpty()) {
        return true;
    }
    QFile dump(imageDump);
    const auto size = static_cast<qint64>(state_->MemoryImage.size());
    if (!dump.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        dump.write(reinterpret_cast<const char*>(state_->MemoryImage.data()), size) != size ||
        !dump.flush()) {
        error = QStringLiteral("cannot write ") + imageDump;
        return false;
    }
    return true;
}

// One picture: the step that brings the windows to the state it shows (none: as the row before
// left them), then what is grabbed. A new picture is a new row, in session order.
struct Shot {
    const char* file;
    bool (*step)(Session&);
    QPixmap (*grab)(Session&);
};

QPixmap Main_Window(Session& s) {
    return s.Main_Window();
}

const Shot kShots[] = {
    {"main-64128A.png", [](Session& s) { return s.Show_Tab(0); }, Main_Window},
    {"main-64128E.png", [](Session& s) { return s.Show_Tab(1); }, Main_Window},
    {"main-64240B.png", [](Session& s) { return s.Show_Tab(2); }, Main_Window},
    {"main-128240A.png", [](Session& s) { return s.Show_Tab(3); }, Main_Window},
    {"main-fonts.png", [](Session& s) { return s.Show_Tab(4); }, Main_Window},
    {"main-menu.png", [](Session& s) { return s.Show_Tab(0); },
     [](Session& s) { return s.Grab_Menu("mnu_Comunicazione"); }},
    {"main-project-menu.png", nullptr, [](Session& s) { return s.Grab_Menu("mnu_File"); }},
    {"main-glyph-menu.png", [](Session& s) { return s.Show_Tab(4); },
     [](Session& s) { return s.Grab_Glyph_Menu(); }},
    {"from-character.png", nullptr, [](Session& s) { return s.Grab_From_Character(); }},
    {"import-dialog.png", nullptr, [](Session& s) { return s.Grab_Import_Dialog(); }},
    {"preview.png", [](Session& s) { return s.Open_Preview(); },
     [](Session& s) { return s.Preview(); }},
    {"serial-open.png", [](Session& s) { return s.Open_Serial_Window(); },
     [](Session& s) { return s.Serial_Window(); }},
    {"serial-during-run.png", [](Session& s) { return s.Program_Module(); },
     [](Session& s) { return s.Serial_Window_Mid_Run(); }},
    {"serial-after-run.png", nullptr, [](Session& s) { return s.Serial_Window(); }},
    {"station.png", [](Session& s) { return s.Program_With_Station(); },
     [](Session& s) { return s.Station(); }},
};

int Run(const QDir& out, const QString& imageDump) {
    Session session;
    if (!session.Start()) {
        return Fail(session.error);
    }
    for (const Shot& shot : kShots) {
        if (shot.step != nullptr && !shot.step(session)) {
            return Fail(session.error);
        }
        const QPixmap picture = shot.grab(session);
        if (!session.error.isEmpty() ||
            !Save(picture, out, QString::fromLatin1(shot.file), &session.error)) {
            return Fail(session.error);
        }
    }
    if (!session.Check_Image_Sent(imageDump)) {
        return Fail(session.error);
    }
    session.Finish();
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
