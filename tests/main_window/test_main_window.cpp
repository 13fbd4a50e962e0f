// The main window: start-up from the white backgrounds, the glyph editors, Esci, pictures chosen
// on the real file service, and both windows walked as a screen reader would.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

#include "compiler/picture_check.h"
#include "main_window/import_dialog.h"
#include "main_window/main_window_harness.h"
#include "platform/posix_file_service.h"
#include "platform/qt/accessibility_bus.h"
#include "platform/qt/crisp_picture.h"
#include "preview_window/frm_Anteprima.h"
#include "serial_window/frm_RS232.h"

namespace lcdprog::test {
namespace {

namespace fs = std::filesystem;
using Path = const std::string&;

TEST(StartUp, EveryPanelGetsItsWhiteBackgroundOrTheFirstBadFileEndsTheProgramAfterOneMessage) {
    // Each file white (w), missing (m) or not a picture (g).
    for (const std::string files : {"www", "mww", "wwm", "wgw"}) {
        SCOPED_TRACE(files);
        FakeFileService fs;
        for (int i = 0; i < 3; ++i) {
            if (files[i] != 'm') {
                fs.Put(kFolder + "/" + kWhites[i], files[i] == 'w' ? White_File(i) : "BM?");
            }
        }
        MainWindowHarness h(fs);
        int endedWhenShown = -1;
        h.messages.onShow = [&] { endedWhenShown = h.program.ended; };
        const std::size_t failing = files.find_first_not_of('w');
        EXPECT_EQ(h.window->Form_Load(), failing == std::string::npos);
        const std::set<std::string> asked(fs.existsAsked.begin(), fs.existsAsked.end());
        EXPECT_EQ(asked.size(), std::min<std::size_t>(failing, 2) + 1);  // no further
        if (failing != std::string::npos) {
            const std::string why = files[failing] == 'm' ? "trovato" : "leggibile come immagine";
            const ShownMessage shown{
                "File " + kWhites[failing] + " non " + why + ". Impossibile continuare", "ERROR",
                platform::MessageIcon::Critical};
            EXPECT_EQ(h.messages.shown, std::vector<ShownMessage>{shown});
            EXPECT_EQ(endedWhenShown, 0);  // the message first, then the end
            EXPECT_EQ(h.program.ended, 1);
            continue;
        }
        EXPECT_TRUE(h.messages.shown.empty() && h.program.ended == 0);
        for (int k = 0; k < 16; ++k) {
            const int p = k / 4, white = p == 0 ? 0 : p - 1;  // both 128 x 64 panels share one
            const ImageSlot slot{kFolder + "/" + kWhites[white], kWhites[white], p == 3 ? 128 : 64,
                                 p < 2 ? 128 : 240};
            EXPECT_TRUE(h.Take()[k] == std::pair(slot, Decode(White_File(white)))) << k;
        }
    }
}

// A click or the space key toggles one cell and its bit; a cell never toggled is clear, whatever
// the table bit. Esci waits for a programming run to end.
TEST(MainWindow, GlyphCellsToggleOneBitAndEsciWaitsForARun) {
    FakeFileService files;
    MainWindowHarness h(files);
    h.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(h.window.get()));
    h.Find<QTabWidget>("SST_Select_Image")->setCurrentIndex(4);
    auto* small = h.Find<QTableWidget>("msh_Font_5x8");
    auto* large = h.Find<QTableWidget>("msh_Font_10x16");
    h.state.Font_5x8[1] = 0xFF;
    const std::tuple<QTableWidget*, int, int> presses[] = {
        {small, 0, 1}, {small, 0, 1}, {small, 7, 4}, {large, 0, 3}, {large, 0, 3}, {large, 8, 3}};
    for (const auto& [grid, row, column] : presses) {
        grid->setCurrentCell(row, column);
        QTest::keyClick(grid, Qt::Key_Space);
    }
    QTest::mouseClick(large->viewport(), Qt::LeftButton, {},
                      large->visualRect(large->model()->index(15, 9)).center());
    EXPECT_EQ(h.state.Font_5x8, (std::array<std::uint8_t, 5>{0, 0xFE, 0, 0, 128}));
    EXPECT_EQ(h.state.Font_10x16,
              (std::array<std::uint16_t, 10>{0, 0, 0, 0x100, 0, 0, 0, 0, 0, 0x8000}));
    for (const bool run : {true, false}) {
        h.serialWindow.running = run;
        h.Find<QAction>("smnu_File_0")->trigger();
        EXPECT_EQ(h.window->isVisible(), run);
        EXPECT_EQ(h.window->windowTitle().endsWith(QString::fromUtf8(kWaitForRunText)), run);
    }
}

const auto Write = [](Path path, Path bytes) { std::ofstream(path, std::ios::binary) << bytes; };

// A FIFO must never be opened: an open would wait for a writer, and a read for its bytes. The
// test is that writer, holding as many bytes as the FIFO takes, so that a program that opens and
// reads it goes on, and the bytes that are gone tell that it did.
int fifoWriter = -1;
std::size_t fifoHeld = 0;
void Make_Fifo_Held_Full(Path path, Path) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    fifoWriter = ::open(path.c_str(), O_RDWR | O_NONBLOCK);  // no wait for a reader
    ASSERT_GE(fifoWriter, 0);
    const std::string block(4096, 'B');
    for (ssize_t n; (n = ::write(fifoWriter, block.data(), block.size())) > 0;) {
        fifoHeld += static_cast<std::size_t>(n);
    }
}
std::size_t Fifo_Still_Held() {
    int held = 0;
    ::ioctl(fifoWriter, FIONREAD, &held);
    ::close(fifoWriter);
    fifoWriter = -1;
    return static_cast<std::size_t>(held);
}

// The header test alone, each field read whole at its offset: 4-byte width and height, 2-byte
// planes and bit count.
TEST(PicturesOnDisk, TheHeaderTestReadsEachFieldWhole) {
    const std::string good = Make_Picture({240, 64, 1, false, "BM", 0xC3});
    for (const auto& [at, value] :
         {std::pair{18, 240 + 65536}, {22, 64 + 65536}, {26, 2}, {26, 257}, {28, 4}, {28, 257}}) {
        std::string bytes = good.substr(0, 62);
        for (int i = 0; i < (at < 26 ? 4 : 2); ++i) {
            bytes[at + i] = static_cast<char>(value >> (8 * i));
        }
        EXPECT_FALSE(Check_Bitmap_Header(bytes, 240, 64)) << at << " " << value;
    }
}

// A right-clicked box; the dialog answers with `file`, made in a folder of its own.
struct PictureCase {
    const char* name;
    int panel, index;
    const char* file;  // nullptr: the dialog is cancelled
    std::string bytes;
    std::vector<ShownMessage> says;
    const char* readError = "";  // what the file service says of a hostile entry
    void (*make)(Path path, Path bytes) = Write;
};

void Expect_Right_Click(MainWindowHarness& h, const platform::PosixFileService& files,
                        const std::string& folder, const PictureCase& c) {
    ASSERT_TRUE(h.window->Form_Load());
    std::optional<std::string> answer;
    if (c.file != nullptr) {
        answer = folder + "/" + c.file;
        fs::create_directories(fs::path(*answer).parent_path());
        c.make(*answer, c.bytes);
    }
    h.messages.shown.clear();
    h.dialog.answer = answer;
    auto expected = h.Take();
    const int yields = h.pump.yields;
    // The locked file is tried as the effective user "nobody": CI runs as root.
    const bool nobody = std::string_view(c.name).ends_with("as nobody") && ::geteuid() == 0;
    ASSERT_TRUE(!nobody || ::seteuid(65534) == 0);
    QTest::mousePress(h.Box(c.panel, c.index), Qt::RightButton);
    const std::string readError = *c.readError ? files.Read(*answer, 62).error : "";
    ASSERT_TRUE(!nobody || ::seteuid(0) == 0);
    if (fifoWriter >= 0) {
        EXPECT_EQ(Fifo_Still_Held(), std::exchange(fifoHeld, 0));
    }
    EXPECT_EQ(readError, c.readError);
    const platform::FileDialogRequest& r = h.dialog.requests.back();
    const char* const types[] = {"64128A", "64128E", "64240B", "128240A"};
    EXPECT_EQ(
        std::tuple(r.filter, r.filterIndex, r.flags, r.saveForm, r.cancelError, r.purpose,
                   r.keepTitle),
        std::tuple("Tutti i file |*.*| Messaggio (*.bmp) | *.bmp", 2, 1, false, true,
                   "Scegli l'immagine " + std::to_string(c.index + 1) + " del " + types[c.panel],
                   true));
    EXPECT_EQ(h.pump.yields, yields + 1);  // the window system's turn after the dialog
    EXPECT_EQ(h.messages.shown, c.says);
    if (c.says.empty()) {
        auto& [slot, box] = expected[c.panel * 4 + c.index];
        slot.FullPath = platform::Lower_Case_Path(*answer);
        slot.FileName = files.GetFileName(slot.FullPath);
        // What the module shows: the compiler takes the rows from the end of the file.
        box = h.Module_View(c.panel * 4 + c.index);
    }
    EXPECT_TRUE(h.Take() == expected);
}

// A right click, the dialog's answer, then the name, header and load tests: box and slot change
// together or not at all.
TEST(PicturesOnDisk, OnlyAPictureOfThePanelsSizeIsTakenAndARefusalChangesNothing) {
    const QTemporaryDir temporary;
    const std::string dir = temporary.path().toStdString();
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);  // "nobody" must reach its case's file
    platform::PosixFileService files(dir);
    for (int w = 0; w < 3; ++w) {
        Write(dir + "/" + kWhites[w], White_File(w));
    }
    MainWindowHarness h(files);
    ASSERT_TRUE(h.window->Form_Load());
    // The context-menu key counts as the right button; the event after a mouse press does not.
    QTest::mousePress(h.Box(0, 1), Qt::LeftButton);
    QTest::mousePress(h.Box(0, 1), Qt::MiddleButton);
    for (const auto reason : {QContextMenuEvent::Keyboard, QContextMenuEvent::Mouse}) {
        QContextMenuEvent event(reason, QPoint(1, 1), h.Box(0, 1)->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(h.Box(0, 1), &event);
    }
    EXPECT_EQ(h.dialog.requests.size(), 1u);
    const std::string mono = Make_Picture({128, 64, 1, false, "BM", 0x33});
    const std::string good = Make_Picture({240, 64, 1, false, "BM", 0xC3});
    const ShownMessage invalid{"Selezionata immagine non valida", "ERROR",
                               platform::MessageIcon::Critical};
    const std::vector<ShownMessage> taken{};
    // The fixed message, with the reason behind "Mostra dettagli...".
    const auto refused = [&](const std::string& why) {
        return std::vector<ShownMessage>{{invalid.text, invalid.title, invalid.icon, why}};
    };
    const char* const notRegular =
        "Non è un file normale (è una cartella, un dispositivo, una FIFO o un socket).";
    // clang-format off
    const PictureCase cases[] = {
        {"the same file for 64240B", 2, 1, "alarm.bmp", mono, refused("alarm.bmp: non è un'immagine bitmap di 240 x 64 pixel a 1 bit.")},
        {"1-bit 240x128 for 128240A", 3, 3, "tall.bmp", Make_Picture({240, 128}), taken},
        {"top-down 128x64", 0, 0, "top.bmp", Make_Picture({128, 64, 1, true}),
         refused("top.bmp: non è un'immagine bitmap di 128 x 64 pixel a 1 bit.")},
        // Neither the header test nor the compiler reads the signature, so neither does the box.
        {"no BM signature", 0, 1, "nosig.bmp", Make_Picture({128, 64, 1, false, "XY"}), taken},
        {"a bitmap named notes.txt in a folder named bmp", 1, 2, "bmp/notes.txt", mono, taken},
        {"a name without bmp", 1, 0, "alarm.png", mono,
         {{"Estensione file non valida!", "WARNING", platform::MessageIcon::Exclamation},
          {invalid.text, invalid.title, invalid.icon, "Nessun file bitmap scelto."}}},
        {"cancel", 1, 0, nullptr, "", refused("Nessun file bitmap scelto.")},
        {"Logo.BMP, kept as logo.bmp", 2, 2, "Logo.BMP", good, taken},
        {"a good picture named 0xFF 0xFE .bmp", 2, 2, "\xff\xfe.bmp", good, taken},
        {"the largest file the compiler takes", 2, 2, "x.bmp",
         good + std::string(32767 - good.size(), '\0'), taken},
        {"too long for it", 2, 2, "x.bmp", good + std::string(40000, '\0'),
         refused("x.bmp: supera i 32767 byte.")},
        {"a FIFO named x.bmp", 2, 2, "x.bmp", "", refused("x.bmp: non è un file regolare."), notRegular,
         Make_Fifo_Held_Full},
        {"x.bmp -> /dev/zero", 2, 2, "x.bmp", "", refused("x.bmp: non è un file regolare."), notRegular,
         [](Path p, Path) { fs::create_symlink("/dev/zero", p); }},
        {"x.bmp -> y.bmp -> x.bmp", 2, 2, "x.bmp", "", refused("x.bmp: file non trovato."),
         "Troppi collegamenti simbolici (forse un ciclo).",
         [](Path p, Path) { fs::create_symlink(p, p + ".y"), fs::create_symlink(p + ".y", p); }},
        {"chmod 000, tried as nobody", 2, 2, "x.bmp", good,
         refused("x.bmp: file non leggibile: Accesso negato."), "Accesso negato.",
         [](Path p, Path b) { Write(p, b), fs::permissions(p, fs::perms::none); }},
    };
    // clang-format on
    int folder = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Expect_Right_Click(h, files, dir + "/case" + std::to_string(folder++), c);
    }
}

// The AccessibleIds a screen reader's tools find in `window`'s accessibility tree, as the
// accessibility bus hands them out.
std::set<std::string> Ids_In(QAccessibleInterface* object, int depth = 0) {
    std::set<std::string> ids;
    if (object == nullptr || depth > 30) {
        return ids;
    }
    ids.insert(platform::Accessible_Id(object->object()).toStdString());
    for (int i = 0; i < object->childCount(); ++i) {
        ids.merge(Ids_In(object->child(i), depth + 1));
    }
    return ids;
}

// A window as a screen reader meets it: a window named by its title; every control of the
// program's own with a spoken name (no "&", no blank at either end, a text box's from its label)
// and a description that is its tool tip or nothing, never a control's name; every Tab stop
// named; every caption shown whole. Returns how many controls it met.
int Walk(QWidget* window) {
    static const QRegularExpression control("^(SST|fra|lbl|txt|cmb|cmd|pct|msh|rtb|pgb|scr)_");
    QAccessibleInterface* self = QAccessible::queryAccessibleInterface(window);
    EXPECT_EQ(self->role(), QAccessible::Window);
    EXPECT_EQ(self->text(QAccessible::Name), window->windowTitle());
    int walked = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        QAccessibleInterface* object = QAccessible::queryAccessibleInterface(w);
        const QString spoken = object->text(QAccessible::Name);
        SCOPED_TRACE(name.toStdString());
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(window) && !w->focusProxy()) {
            EXPECT_FALSE(spoken.isEmpty());
        }
        const QString description = object->text(QAccessible::Description);
        EXPECT_TRUE(name.isEmpty() ||
                    (description != name && description != platform::Accessible_Id(w)));
        // A tab page is announced by its tab.
        if (!control.match(name).hasMatch() || qobject_cast<QStackedWidget*>(w->parentWidget())) {
            continue;
        }
        ++walked;
        // As a screen reader gets it: a label with text is read as that text.
        EXPECT_FALSE(spoken.isEmpty() || spoken.contains('&') || spoken != spoken.trimmed());
        EXPECT_EQ(w->accessibleDescription(), w->toolTip());
        QString caption;
        if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            caption = frame->title();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            caption = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            caption = label->text();
            // A picture box adds its file and panel to its label's words.
            EXPECT_TRUE(!label->buddy() || label->buddy()->accessibleName().startsWith(caption));
            if (name.startsWith("pct_Image_")) {  // a pixel of border around the panel's picture
                EXPECT_EQ(label->size(), label->pixmap().size() + QSize(2, 2));
            }
        } else if (auto* grid = qobject_cast<QTableWidget*>(w)) {
            EXPECT_EQ(grid->columnWidth(0), grid->rowHeight(0));
            EXPECT_LE(grid->horizontalHeader()->length() + 2 * grid->frameWidth(), grid->width());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            EXPECT_NE(edit->accessibleName(), edit->text());
        }
        EXPECT_LE(w->fontMetrics().horizontalAdvance(caption.remove('&')), w->width());
    }
    return walked;
}

// The specified control names, each found in its window's accessibility tree as an AccessibleId.
std::set<std::string> Specified_Main_Window_Ids() {
    std::set<std::string> ids = {"frm_Config_LCD", "SST_Select_Image", "fra_Font_64128A_64128E",
                                 "fra_5x8",        "msh_Font_5x8",     "fra_10x16",
                                 "msh_Font_10x16"};
    for (const char* type : {"64128A", "64128E", "64240B", "128240A"}) {
        ids.insert(std::string("fra_Select_Image_") + type);
        for (int i = 0; i < 4; ++i) {
            for (const char* kind : {"pct_Image_", "lbl_Image_"}) {
                ids.insert(kind + std::string(type) + "(" + std::to_string(i) + ")");
            }
        }
    }
    return ids;
}
const std::set<std::string> kSerialWindowIds = {"frm_RS232",
                                                "fra_Select_RS232",
                                                "fra_RS232",
                                                "cmb_RS232",
                                                "fra_Speed",
                                                "lbl_Baud_Rates",
                                                "lbl_Lenght_Byte",
                                                "lbl_Parity_Bit",
                                                "lbl_Stop_Bit",
                                                "txt_Baud_Rates",
                                                "txt_Lenght_Byte",
                                                "txt_Parity_Bit",
                                                "txt_Stop_Bit",
                                                "fra_Set_Port",
                                                "cmd_ON",
                                                "cmd_OFF",
                                                "fra_Comandi",
                                                "cmd_Write_RS232",
                                                "rtb_RS232_SPY",
                                                "lbl_Send_Packet",
                                                "lbl_Received_Packet",
                                                "txt_Send_Packet",
                                                "txt_Received_Packet",
                                                "cmd_Stop_RS232",
                                                "pgb_RS232",
                                                "cmd_Exit"};

// The labels a control is labelled by, as a screen reader reads them out with its name.
QStringList Labels_Of(QWidget* w) {
    QStringList labels;
    for (const auto& [label, relation] :
         QAccessible::queryAccessibleInterface(w)->relations(QAccessible::Label)) {
        labels << label->text(QAccessible::Name);
    }
    return labels;
}

TEST(ScreenReaderWalk, EveryControlOfTheWindowsIsFoundNamedDescribedAndShownWhole) {
    FakeFileService files;
    for (int w = 0; w < 3; ++w) {
        files.Put(kFolder + "/" + kWhites[w], White_File(w));
    }
    MainWindowHarness h(files);
    ASSERT_TRUE(h.window->Form_Load());
    h.window->show();
    EXPECT_GE(Walk(h.window.get()), 42);
    std::set<std::string> missing;
    std::ranges::set_difference(Specified_Main_Window_Ids(),
                                Ids_In(QAccessible::queryAccessibleInterface(h.window.get())),
                                std::inserter(missing, missing.end()));
    EXPECT_TRUE(missing.empty()) << *missing.begin();
    h.serial.ports[1] = FakeSerialControl::Port::Free;
    frm_RS232 serial(h.services, h.state);
    serial.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&serial));
    EXPECT_GE(Walk(&serial), 25);
    missing.clear();
    std::ranges::set_difference(kSerialWindowIds,
                                Ids_In(QAccessible::queryAccessibleInterface(&serial)),
                                std::inserter(missing, missing.end()));
    EXPECT_TRUE(missing.empty()) << *missing.begin();
    // A frame's caption labels only what it names: the port list's frame its list, and none of
    // the controls that merely stand inside the outer frame.
    EXPECT_EQ(Labels_Of(serial.findChild<QWidget*>("cmb_RS232")).join('|'), "Porte disponibili:");
    EXPECT_EQ(Labels_Of(serial.findChild<QWidget*>("txt_Baud_Rates")).join('|'), "Baud Rates:");
    for (const char* alone : {"cmd_Stop_RS232", "cmd_Exit", "pgb_RS232", "rtb_RS232_SPY"}) {
        EXPECT_TRUE(Labels_Of(serial.findChild<QWidget*>(alone)).isEmpty()) << alone;
    }
    frm_Anteprima preview(h.services, h.state);
    preview.show();
    EXPECT_GE(Walk(&preview), 2);
    // It closes from the keyboard even with no window manager to do it: Escape, or "Chiudi".
    preview.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
    QTest::keyClick(&preview, Qt::Key_Escape);
    EXPECT_FALSE(preview.isVisible());
    preview.show();
    preview.findChild<QPushButton*>("cmd_Chiudi")->click();
    EXPECT_FALSE(preview.isVisible());
    // The status line is read as what it says now.
    auto* status = serial.findChild<QLabel*>("lbl_Stato");
    status->setText("Modulo non trovato");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(status)->text(QAccessible::Name),
              "Modulo non trovato");
    // Tab stops on the commands only; the read-only boxes are passed by, the trace comes last.
    QStringList tabStops;
    QWidget* w = serial.findChild<QWidget*>("cmb_RS232");
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->focusProxy() == nullptr &&
            w->objectName().contains('_')) {
            tabStops << w->objectName();
        }
        w = w->nextInFocusChain();
    } while (w->objectName() != "cmb_RS232");
    EXPECT_EQ(tabStops.join(' '),
              "cmb_RS232 cmd_ON cmd_OFF cmd_Write_RS232 cmd_Stop_RS232 cmd_Exit rtb_RS232_SPY");
    // Stop is drawn over the command frame but is not inside it, so it stays usable while the
    // frame is disabled (as it is until a port is opened).
    auto* frame = serial.findChild<QGroupBox*>("fra_Comandi");
    auto* stop = serial.findChild<QWidget*>("cmd_Stop_RS232");
    EXPECT_TRUE(!frame->isEnabled() && !frame->isAncestorOf(stop) && stop->isEnabled());
    EXPECT_EQ(stop->parentWidget()->childAt(stop->geometry().center()), stop);
}

// What a widget paints on an image of `ratio` (a screen at 100, 125, 150 or 200 %): the colours
// inside its contents, and how many device pixels wide the picture is in its middle row.
std::pair<std::set<QRgb>, int> Drawn(QWidget* widget, qreal ratio) {
    QImage target((QSizeF(widget->size()) * ratio).toSize(), QImage::Format_ARGB32);
    target.setDevicePixelRatio(ratio);
    target.fill(Qt::transparent);
    widget->render(&target, QPoint(), QRegion(), QWidget::DrawChildren);
    // The device pixels wholly inside the contents: the frame around them is the style's.
    const QRect inside = widget->contentsRect();
    const QRect pixels = QRect(QPoint(static_cast<int>(std::ceil(inside.left() * ratio)),
                                      static_cast<int>(std::ceil(inside.top() * ratio))),
                               QPoint(static_cast<int>((inside.right() + 1) * ratio) - 1,
                                      static_cast<int>((inside.bottom() + 1) * ratio) - 1))
                             .intersected(target.rect());
    std::set<QRgb> colours;
    int wide = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QRgb c = target.pixel(x, y);
            if (qAlpha(c) != 0) {
                colours.insert(c);
                wide += y == pixels.center().y() ? 1 : 0;
            }
        }
    }
    return {colours, wide};
}

// The preview, the import dialog and the picture boxes draw each dot as whole device pixels,
// never blended: two colours in, two colours out, at every scale factor.
TEST(Crisp, EveryPictureStaysTwoColouredAtEveryScale) {
    FakeFileService files;
    for (int w = 0; w < 3; ++w) {
        files.Put(kFolder + "/" + kWhites[w], White_File(w));
    }
    MainWindowHarness h(files);
    ASSERT_TRUE(h.window->Form_Load());
    h.window->smnu_Anteprima_Click(0);
    picture::Rgba ramp{240, 16, {}};
    for (int i = 0; i < 240 * 16; ++i) {
        const auto grey = static_cast<std::uint8_t>(i % 240);
        ramp.pixels.insert(ramp.pixels.end(), {grey, grey, grey, 255});
    }
    frm_Importa_Immagine dialog(ramp, "ramp.png", 0, 0);
    dialog.findChild<QComboBox*>("cmb_Conversione")->setCurrentIndex(1);
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    const std::set<QRgb> lcd = {platform::kLcdDark, platform::kLcdLit};
    const struct {
        QWidget* widget;
        int dots;  // across, in the middle row
        std::set<QRgb> colours;
    } rows[] = {
        {h.window->Preview()->findChild<QWidget*>("pct_Anteprima_64128A_0"), 128, lcd},
        {h.window->Preview()->findChild<QWidget*>("pct_Anteprima_Font_0"), 5, lcd},
        {dialog.findChild<QWidget*>("pct_Anteprima"), 128, lcd},
        {h.Box(2, 3), 240, {black, white}},
    };
    h.state.Font_5x8 = {0x11, 0, 0, 0, 0};
    h.window->Preview()->Refresh();
    for (const qreal ratio : {1.0, 1.25, 1.5, 2.0}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.widget->objectName().toStdString() + " at " + std::to_string(ratio));
            auto* picture = static_cast<platform::CrispPicture*>(row.widget);
            // Without its frame, whose edge the style may draw into the picture's first pixel.
            picture->setFrameStyle(QFrame::NoFrame);
            picture->resize(picture->sizeHint());
            const auto [colours, wide] = Drawn(picture, ratio);
            EXPECT_EQ(colours, row.colours);
            EXPECT_EQ(wide, row.dots * platform::Device_Pixels_Per_Dot(picture->Zoom(), ratio));
        }
    }
}

}  // namespace
}  // namespace lcdprog::test
