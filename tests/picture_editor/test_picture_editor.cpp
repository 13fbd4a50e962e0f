// The picture editor: gestures turned into drawing steps, the selection that floats, the canvas's
// pixels at each zoom, and the window worked from the keyboard alone.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMimeData>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>
#include <cctype>
#include <functional>
#include <memory>

#include "picture_editor/editor_model.h"
#include "picture_editor/frm_Modifica_Immagine.h"
#include "picture_editor/picture_canvas.h"
#include "platform/qt/crisp_picture.h"
#include "support/bits_rows.h"
#include "support/fakes.h"

namespace lcdprog::test {
namespace {

using picture::Pen;
using picture::Point;
using Pixels = std::vector<std::string>;

// One event of a gesture: 'p' press, 'm' move, 'r' release, in capitals with Shift held; 'c' a
// press with Ctrl.
struct Event {
    char kind;
    Point at;
};

struct GestureCase {
    const char* name;
    DrawingTool tool;
    std::vector<std::string> start;
    std::vector<std::vector<Event>> gestures;
    std::vector<std::string> expected;
    std::vector<std::string> steps;  // the history's names, in order
};

std::vector<std::string> Play(EditorModel& model, const std::vector<std::vector<Event>>& gestures) {
    std::vector<std::string> steps;
    for (const std::vector<Event>& gesture : gestures) {
        for (const Event& e : gesture) {
            const char kind = static_cast<char>(std::tolower(e.kind));
            const GestureKeys keys{kind != e.kind, e.kind == 'c'};
            std::optional<EditorStep> step;
            if (kind == 'm') {
                model.Move(e.at, keys);
            } else if (kind == 'r') {
                step = model.Release(e.at, keys);
            } else {
                step = model.Press(e.at, Pen::Ink, keys);
            }
            if (step) {
                steps.push_back(step->name);
            }
        }
    }
    return steps;
}

TEST(EditorModel, GesturesDrawOneStepEach) {
    const std::vector<std::string> white(4, "........");
    const GestureCase cases[] = {
        {"a stroke joins its points",
         DrawingTool::Pencil,
         white,
         {{{'p', {0, 0}}, {'m', {3, 3}}, {'m', {7, 3}}, {'r', {7, 3}}}},
         {"#.......", ".#......", "..#.....", "...#####"},
         {"matita"}},
        {"the eraser draws paper with the ink button",
         DrawingTool::Eraser,
         std::vector<std::string>(4, "########"),
         {{{'p', {1, 1}}, {'r', {4, 1}}}},
         {"########", "#....###", "########", "########"},
         {"gomma"}},
        {"Shift keeps a line at 45 degrees",
         DrawingTool::Line,
         white,
         {{{'p', {0, 0}}, {'m', {7, 1}}, {'M', {6, 3}}, {'R', {3, 2}}}},
         {"#.......", ".#......", "..#.....", "...#...."},
         {"linea"}},
        {"Shift makes a square",
         DrawingTool::Rectangle,
         white,
         {{{'p', {1, 0}}, {'r', {2, 3}}}, {{'p', {5, 0}}, {'R', {7, 1}}}},
         {".##..###", ".##..#.#", ".##..###", ".##....."},
         {"rettangolo", "rettangolo"}},
        {"a fill is done at the press, bounded by a diagonal",
         DrawingTool::Fill,
         {"...#....", "..#.....", ".#......", "#......."},
         {{{'p', {0, 0}}}},
         {"####....", "###.....", "##......", "#......."},
         {"riempimento"}},
        {"a move leaves paper, and moved again uncovers what it covered",
         DrawingTool::Selection,
         {"##......", "##..#...", "....#...", "........"},
         {{{'p', {0, 0}}, {'r', {1, 1}}},
          {{'p', {0, 0}}, {'r', {3, 1}}},
          {{'p', {3, 1}}, {'r', {5, 2}}}},
         {"........", "....#...", "....###.", ".....##."},
         {"spostamento della selezione", "spostamento della selezione"}},
        {"Ctrl leaves the pixels where they were, too",
         DrawingTool::Selection,
         {"##......", "#.......", "........", "........"},
         {{{'p', {0, 0}}, {'r', {1, 1}}}, {{'c', {0, 0}}, {'r', {6, 2}}}},
         {"##......", "#.......", "......##", "......#."},
         {"copia della selezione"}},
        {"a click outside forgets the selection: a drag where it was draws a new one",
         DrawingTool::Selection,
         {"#.......", "........", "........", "........"},
         {{{'p', {0, 0}}, {'r', {2, 2}}},
          {{'p', {5, 3}}, {'r', {5, 3}}},
          {{'p', {1, 1}}, {'r', {3, 3}}}},
         {"#.......", "........", "........", "........"},
         {}},
    };
    for (const GestureCase& c : cases) {
        SCOPED_TRACE(c.name);
        EditorModel model(Bits_Of(c.start));
        model.Set_Tool(c.tool);
        EXPECT_EQ(Play(model, c.gestures), c.steps);
        EXPECT_EQ(Rows(model.State().picture), c.expected);
        EXPECT_FALSE(model.Drawing());
    }
}

// A pasted piece floats: moved, turned and cut, what it covered comes back each time; undo puts
// back picture, selection and float together; Escape takes back a gesture in progress.
TEST(EditorModel, APastedPieceFloatsUntilSetDown) {
    EditorModel model(Bits_Of({"########", "........", "........"}));
    std::vector<EditorStep> steps;
    const auto keep = [&](std::optional<EditorStep> step) {
        ASSERT_TRUE(step.has_value());
        steps.push_back(*step);
    };
    keep(model.Paste(Bits_Of({"#.", ".."}), {6, 0}));
    EXPECT_EQ(Rows(model.State().picture), (Pixels{"#######.", "........", "........"}));
    model.Set_Tool(DrawingTool::Selection);
    model.Press({6, 0}, Pen::Ink, {});
    model.Move({2, 1}, {});
    EXPECT_EQ(Rows(model.Shown()), (Pixels{"########", "..#.....", "........"}));
    model.Cancel();
    EXPECT_EQ(Rows(model.Shown()), (Pixels{"#######.", "........", "........"}));
    model.Press({6, 0}, Pen::Ink, {});
    keep(model.Release({8, 1}, {}));  // half of it beyond the right edge, kept
    keep(model.Transform(picture::AreaTool::Rotate180, "ruota di 180°"));
    keep(model.Clear("taglia"));
    EXPECT_EQ(Rows(model.State().picture), (Pixels{"########", "........", "........"}));
    EXPECT_FALSE(model.State().selection.has_value());  // nothing of it was on the picture
    model.Restore(steps[2].before);
    EXPECT_EQ(Rows(model.Copy()), (Pixels{"#.", ".."}));
    model.Press({8, 1}, Pen::Ink, {});
    model.Release({0, 1}, {});
    EXPECT_EQ(Rows(model.State().picture), (Pixels{"########", "#.......", "........"}));
    // Drawing sets it down: a move afterwards leaves paper behind.
    model.Set_Tool(DrawingTool::Pencil);
    model.Press({7, 2}, Pen::Ink, {});
    model.Release({7, 2}, {});
    EXPECT_FALSE(model.State().piece.has_value());
    EXPECT_EQ(steps[0].name, "incolla");
}

// Each picture pixel a square of whole device pixels in the module's colours, never smoothed, with
// the grid between the squares from 4x on.
TEST(PictureCanvas, SquaresAndGridAtEachZoom) {
    constexpr QRgb kDark = platform::kLcdDark;
    constexpr QRgb kLit = platform::kLcdLit;
    constexpr QRgb kGrid = 0xFF63782F;  // halfway between the two
    const struct {
        int zoom;
        std::vector<std::pair<QPoint, QRgb>> pixels;
    } cases[] = {
        {1, {{{0, 0}, kDark}, {{1, 0}, kLit}, {{1, 1}, kDark}}},
        {3, {{{2, 2}, kDark}, {{3, 0}, kLit}, {{3, 3}, kDark}, {{5, 5}, kDark}, {{6, 5}, kLit}}},
        {4, {{{3, 3}, kDark}, {{4, 1}, kGrid}, {{1, 4}, kGrid}, {{5, 5}, kDark}, {{5, 1}, kLit}}},
        {16, {{{15, 15}, kDark}, {{16, 3}, kGrid}, {{17, 17}, kDark}, {{47, 31}, kLit}}},
    };
    PictureCanvas canvas;
    canvas.Show_Picture(Bits_Of({"#..", ".#."}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zoom);
        canvas.Set_Zoom(c.zoom);
        const QImage shown = canvas.grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown.size(), QSize(3 * c.zoom, 2 * c.zoom));
        for (const auto& [at, colour] : c.pixels) {
            EXPECT_EQ(shown.pixel(at), colour) << at.x() << "," << at.y();
        }
    }
}

struct EditorWindow : ::testing::Test {
    void SetUp() override {
        editor = std::make_unique<frm_Modifica_Immagine>(
            picture::Blank(16, 8), QStringLiteral("Modifica dell'immagine 1 del 64128A"), messages);
        editor->show();
        editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
        canvas = editor->Canvas();
    }
    void Keys(std::initializer_list<QKeyCombination> keys) const {
        for (const QKeyCombination key : keys) {
            QTest::keyClick(canvas, key.key(), key.keyboardModifiers());
        }
    }
    QString Undo_Text() const {
        return editor->findChild<QAction*>("smnu_Annulla")->text().remove('&');
    }

    FakeMessageBox messages;
    std::unique_ptr<frm_Modifica_Immagine> editor;
    PictureCanvas* canvas = nullptr;
};

// Every tool from the keyboard alone: its shortcut, the arrows, Space to begin and to end, Escape
// to take back; the canvas says where the cursor is and what its pixel holds.
TEST_F(EditorWindow, TheKeyboardDrawsAndTheCanvasSaysWhere) {
    Keys({Qt::Key_L, Qt::Key_Space, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down,
          Qt::Key_Space});
    EXPECT_EQ(
        Rows(editor->Result()),
        (Pixels{"##..............", "..##............", "................", "................",
                "................", "................", "................", "................"}));
    EXPECT_EQ(canvas->accessibleName(), "x 3, y 1: nero");
    EXPECT_EQ(editor->findChild<QLabel*>("lbl_Posizione")->text(), "x 3, y 1: nero");
    EXPECT_EQ(Undo_Text(), "Annulla linea");
    // A filled rectangle begun, then Escape: nothing drawn, nothing recorded, the window open.
    Keys({Qt::Key_R, Qt::Key_F, Qt::Key_Space, QKeyCombination(Qt::CTRL, Qt::Key_Right),
          Qt::Key_Escape});
    EXPECT_EQ(canvas->accessibleName(), "x 11, y 1: bianco");
    EXPECT_EQ(Undo_Text(), "Annulla linea");
    EXPECT_TRUE(editor->isVisible());
    Keys({Qt::Key_Space, Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Return});
    EXPECT_EQ(Rows(editor->Result())[1], "..##.......##...");
    EXPECT_EQ(Rows(editor->Result())[3], "...........##...");
    // The text tool writes on the baseline through the cursor: the last row of "I" in 5x8 is the
    // one above it.
    auto* status = editor->findChild<QLabel*>("lbl_Stato");
    Keys({Qt::Key_T, Qt::Key_Space});
    EXPECT_EQ(status->text(), "Scrivere prima il testo nella casella Testo.");
    editor->Set_Text_Options(QStringLiteral("5x8 (font a pixel)"), 12, false, 128);
    editor->Set_Text(QStringLiteral("I漢"));
    EXPECT_EQ(
        status->text(),
        "Il font 5x8 (font a pixel) non ha 1 dei caratteri del testo: non vengono disegnati.");
    Keys({Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Space, Qt::Key_Space});
    EXPECT_EQ(Undo_Text(), "Annulla testo");
    const Pixels drawn = Rows(editor->Result());
    EXPECT_NE(drawn[6].substr(12), "....");
    EXPECT_EQ(drawn[7].substr(12), "....");
    // Undo and redo, step by step.
    Keys({QKeyCombination(Qt::CTRL, Qt::Key_Z), QKeyCombination(Qt::CTRL, Qt::Key_Z)});
    EXPECT_EQ(Rows(editor->Result())[1], "..##............");
    Keys({QKeyCombination(Qt::CTRL, Qt::Key_Y)});
    EXPECT_EQ(Rows(editor->Result())[1], "..##.......##...");
}

// The mouse: a pixel is the square under the pointer at any zoom; the right button draws with the
// other colour.
TEST_F(EditorWindow, TheMouseDrawsInTheSquareUnderIt) {
    editor->findChild<QSpinBox*>("txt_Zoom")->setValue(5);
    Keys({Qt::Key_L});
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseMove(canvas, QPoint(24, 9));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(24, 9));
    QTest::mousePress(canvas, Qt::RightButton, {}, QPoint(9, 4));
    QTest::mouseRelease(canvas, Qt::RightButton, {}, QPoint(9, 4));
    EXPECT_EQ(Rows(editor->Result())[0], "#.#.............");
    EXPECT_EQ(Rows(editor->Result())[1], "...##...........");
}

// Tools, commands and fields carry their names, a screen reader's name and a description that is
// the tool tip or nothing.
TEST_F(EditorWindow, ControlsCarryTheirNames) {
    for (const char* tool : {"Matita", "Gomma", "Linea", "Rettangolo", "Ellisse", "Riempimento",
                             "Testo", "Selezione"}) {
        SCOPED_TRACE(tool);
        const auto* button = editor->findChild<QToolButton*>(QStringLiteral("cmd_") + tool);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->accessibleName(), tool);
        EXPECT_FALSE(button->defaultAction()->shortcut().isEmpty());
        EXPECT_TRUE(button->accessibleDescription().startsWith(QString(tool) + " ("));
    }
    for (const QWidget* w : editor->findChildren<QWidget*>()) {
        if (!w->objectName().isEmpty()) {
            EXPECT_NE(w->accessibleDescription(), w->objectName());
        }
    }
}

// "Annulla" with changes asks first; the operator's "Annulla" keeps the editor open.
TEST_F(EditorWindow, LeavingWithChangesAsks) {
    Keys({Qt::Key_Space, Qt::Key_Space});
    messages.answer = platform::SaveChoice::Cancel;
    editor->reject();
    EXPECT_EQ(messages.asked,
              "L'immagine è stata modificata. Salvare le modifiche? | Modifica "
              "dell'immagine 1 del 64128A");
    EXPECT_TRUE(editor->isVisible());
    messages.answer = platform::SaveChoice::Discard;
    editor->reject();
    EXPECT_EQ(editor->result(), QDialog::Rejected);
}

// Ctrl+V: the editor's own copy pixel for pixel, another program's picture through the import's
// conversion (and shrunk when too large), anything else refused; it floats at the cursor.
TEST_F(EditorWindow, PasteTakesOwnCopiesAsTheyAreAndPicturesConverted) {
    QImage grey(3, 1, QImage::Format_ARGB32);
    grey.setPixel(0, 0, qRgba(100, 100, 100, 255));
    grey.setPixel(1, 0, qRgba(200, 200, 200, 255));
    grey.setPixel(2, 0, qRgba(0, 0, 0, 0));
    QImage large(64, 32, QImage::Format_RGB32);
    large.fill(Qt::black);
    const struct {
        const char* name;
        std::function<void(QMimeData&)> put;
        std::string row2;  // the picture's third row after the paste at (2, 2)
    } cases[] = {
        {"own copy",
         [](QMimeData& m) {
             m.setData(frm_Modifica_Immagine::kClipboardFormat, QByteArray("3 1\n\0\1\0", 7));
             m.setImageData(QImage());
         },
         "..#.#..........."},
        {"another program's picture", [&](QMimeData& m) { m.setImageData(grey); },
         "..#............."},
        {"larger than the picture", [&](QMimeData& m) { m.setImageData(large); },
         "..##############"},
        {"text", [](QMimeData& m) { m.setText("ciao"); }, "................"},
    };
    const std::vector<ShownMessage> refused{
        {"Gli appunti non contengono un'immagine.", "WARNING", platform::MessageIcon::Exclamation}};
    Keys({Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Right});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* mime = new QMimeData;
        c.put(*mime);
        QApplication::clipboard()->setMimeData(mime);
        messages.shown.clear();
        Keys({QKeyCombination(Qt::CTRL, Qt::Key_V)});
        EXPECT_EQ(Rows(editor->Result())[2], c.row2);
        EXPECT_EQ(messages.shown,
                  c.row2 == "................" ? refused : std::vector<ShownMessage>());
        editor->History()->setIndex(0);
    }
}

}  // namespace
}  // namespace lcdprog::test
