// Glyph tools, the history behind "Modifica", the grids' keys, a font's character fitted into a
// glyph, and every accessible object of the main window answering every question.

#include <gtest/gtest.h>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QUndoStack>
#include <bit>
#include <functional>
#include <random>

#include "main_window/frm_Da_Carattere.h"
#include "main_window/glyph_grid.h"
#include "main_window/main_window_harness.h"
#include "platform/qt/character_fonts.h"
#include "state/glyph_tools.h"
#include "support/screen_reader.h"

namespace lcdprog::test {
namespace {

using Rows = std::vector<std::string>;

TEST(GlyphTools, EachToolOnOneGlyph) {
    const Rows start = {"##...", "#.#..", "#..#.", "#...#", ".....", ".....", ".....", "....#"};
    const std::pair<GlyphTool, Rows> cases[] = {
        {GlyphTool::Clear, Rows(8, ".....")},
        {GlyphTool::Invert,
         {"..###", ".#.##", ".##.#", ".###.", "#####", "#####", "#####", "####."}},
        {GlyphTool::MirrorHorizontally,
         {"...##", "..#.#", ".#..#", "#...#", ".....", ".....", ".....", "#...."}},
        {GlyphTool::MirrorVertically,
         {"....#", ".....", ".....", ".....", "#...#", "#..#.", "#.#..", "##..."}},
        {GlyphTool::ShiftUp,
         {"#.#..", "#..#.", "#...#", ".....", ".....", ".....", "....#", "....."}},
        {GlyphTool::ShiftDown,
         {".....", "##...", "#.#..", "#..#.", "#...#", ".....", ".....", "....."}},
        {GlyphTool::ShiftLeft,
         {"#....", ".#...", "..#..", "...#.", ".....", ".....", ".....", "...#."}},
        {GlyphTool::ShiftRight,
         {".##..", ".#.#.", ".#..#", ".#...", ".....", ".....", ".....", "....."}},
    };
    const GlyphColumns glyph = *Glyph_From_Rows(start, kGlyph5x8);
    for (const auto& [tool, rows] : cases) {
        SCOPED_TRACE(static_cast<int>(tool));
        EXPECT_EQ(Glyph_Rows(Apply_Glyph_Tool(tool, glyph, 8), 8), rows);
    }
    // The clipboard's text reads back, also as copied out of a project file.
    EXPECT_EQ(Rows_Of_Text(Glyph_Text(glyph, 8)), start);
    EXPECT_EQ(Rows_Of_Text("  \"##...\",\r\n\"#.#..\"\n\n"), (Rows{"##...", "#.#.."}));
}

struct EditingWindow : ::testing::Test {
    void SetUp() override {
        for (int w = 0; w < 3; ++w) {
            files.Put(kFolder + "/" + kWhites[w], White_File(w));
        }
        files.Put("/p/a.bmp", Make_Picture({240, 64, 1, false, "BM", 0x11}));
        files.Put("/p/b.bmp", Make_Picture({240, 64, 1, false, "BM", 0x77}));
        h = std::make_unique<MainWindowHarness>(files);
        ASSERT_TRUE(h->window->Form_Load());
        h->window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(h->window.get()));
        h->Find<QTabWidget>("SST_Select_Image")->setCurrentIndex(4);
    }
    using State = std::tuple<std::array<std::pair<ImageSlot, QImage>, 16>,
                             std::array<std::uint8_t, 5>, std::array<std::uint16_t, 10>>;
    State Now() const { return {h->Take(), h->state.Font_5x8, h->state.Font_10x16}; }
    QAction* Menu(const char* name) const { return h->Find<QAction>(name); }

    FakeFileService files;
    std::unique_ptr<MainWindowHarness> h;
};

// The keys reach every edge of a grid and Space toggles the cursor cell, as a click would.
TEST_F(EditingWindow, KeysMoveTheCursorAndSpaceTogglesIt) {
    auto* grid = h->Find<QTableWidget>("msh_Font_10x16");
    grid->setFocus();
    grid->setCurrentCell(0, 0);
    const std::pair<QKeyCombination, std::pair<int, int>> keys[] = {
        {Qt::CTRL | Qt::Key_End, {15, 9}},         {Qt::Key_Up | Qt::KeypadModifier, {14, 9}},
        {QKeyCombination(Qt::Key_Home), {14, 0}},  {Qt::CTRL | Qt::Key_Down, {15, 0}},
        {QKeyCombination(Qt::Key_Right), {15, 1}}, {QKeyCombination(Qt::Key_End), {15, 9}},
        {Qt::CTRL | Qt::Key_Up, {0, 9}},           {Qt::CTRL | Qt::Key_Left, {0, 0}},
    };
    std::array<std::uint16_t, 10> expected{};
    for (const auto& [key, cell] : keys) {
        QTest::keyClick(grid, key.key(), key.keyboardModifiers());
        ASSERT_EQ(std::pair(grid->currentRow(), grid->currentColumn()), cell);
        QTest::keyClick(grid, Qt::Key_Space);
        expected[cell.second] ^= static_cast<std::uint16_t>(1u << cell.first);
    }
    EXPECT_EQ(h->state.Font_10x16, expected);
    EXPECT_EQ(grid->item(15, 9)->data(Qt::AccessibleTextRole), "riga 16, colonna 10, spento");
    EXPECT_EQ(grid->item(15, 1)->data(Qt::AccessibleTextRole), "riga 16, colonna 2, acceso");
}

// Random clicks, tools, pastes and picture choices, each one step: undone all the way they give
// the start (with no unsaved mark), redone the end.
TEST_F(EditingWindow, RandomEditsUndoneGiveTheStartAndRedoneTheEnd) {
    const State start = Now();
    std::mt19937 random(25);
    QTableWidget* grids[] = {h->Find<QTableWidget>("msh_Font_5x8"),
                             h->Find<QTableWidget>("msh_Font_10x16")};
    int steps = 0;
    for (int i = 0; i < 60; ++i) {
        const int g = static_cast<int>(random() % 2);
        const int edit = static_cast<int>(random() % 4);
        if (edit == 0) {
            grids[g]->setCurrentCell(static_cast<int>(random() % grids[g]->rowCount()),
                                     static_cast<int>(random() % grids[g]->columnCount()));
            QTest::keyClick(grids[g], Qt::Key_Space);
        } else if (edit == 1) {
            h->window->Glyph_Command(g, static_cast<GlyphCommand>(1 + random() % 7));
        } else if (edit == 2) {
            QApplication::clipboard()->setText(QString::fromStdString(
                Glyph_Text(GlyphColumns(5, static_cast<unsigned>(random() % 256)), 8)));
            h->window->Glyph_Command(0, GlyphCommand::Paste);
        } else {
            h->dialog.answer = random() % 2 == 0 ? "/p/a.bmp" : "/p/b.bmp";
            h->window->pct_Image_64240B_MouseDown(1, Qt::RightButton);
        }
        steps = h->window->History()->index();
    }
    ASSERT_TRUE(h->messages.shown.empty());
    ASSERT_GT(steps, 30);
    const State end = Now();
    EXPECT_TRUE(h->window->Modified());
    EXPECT_TRUE(h->window->windowTitle().startsWith("senza nome* "));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(h->window.get())->text(QAccessible::Name),
              h->window->windowTitle());
    while (Menu("smnu_Annulla")->isEnabled()) {
        Menu("smnu_Annulla")->trigger();
    }
    EXPECT_TRUE(Now() == start);
    EXPECT_FALSE(h->window->Modified());
    for (int i = 0; i < steps; ++i) {
        Menu("smnu_Ripeti")->trigger();
    }
    EXPECT_TRUE(Now() == end);

    // Each step says what it undoes; the menu comes after "&Comunicazione".
    h->dialog.answer = "/p/a.bmp";
    h->window->pct_Image_64240B_MouseDown(1, Qt::RightButton);
    EXPECT_EQ(Menu("smnu_Annulla")->text(), "&Annulla Scelta dell'immagine 2 del 64240B");
    QApplication::clipboard()->setText(QString::fromStdString(Glyph_Text({1, 0, 0, 0, 0}, 8)));
    h->window->Glyph_Command(0, GlyphCommand::Paste);
    h->window->Glyph_Command(0, GlyphCommand::MirrorHorizontally);
    EXPECT_EQ(Menu("smnu_Annulla")->text(), "&Annulla Specchia orizzontalmente del glifo 5x8");
    EXPECT_EQ(h->window->History()->undoText(), "Specchia orizzontalmente del glifo 5x8");
    const QList<QAction*> menus = h->window->menuBar()->actions();
    EXPECT_EQ(menus.indexOf(h->Find<QMenu>("mnu_Modifica")->menuAction()),
              menus.indexOf(h->Find<QMenu>("mnu_Comunicazione")->menuAction()) + 1);
}

// Heard without moving: Space says the cell's new state, a grid's command and undo and redo the
// step, at once; and a glyph edit renames nothing (the picture boxes keep their names).
TEST_F(EditingWindow, SpaceCommandsUndoAndRedoAreHeardAndRenameNothing) {
    ScreenReader reader;
    auto* grid = h->Find<QTableWidget>("msh_Font_5x8");
    grid->setFocus();
    grid->setCurrentCell(2, 3);
    const std::pair<std::function<void()>, std::string> rows[] = {
        {[&] { QTest::keyClick(grid, Qt::Key_Space); }, "acceso"},
        {[&] { QTest::keyClick(grid, Qt::Key_H); }, "Specchia orizzontalmente del glifo 5x8"},
        {[&] { Menu("smnu_Annulla")->trigger(); },
         "Annullato: Specchia orizzontalmente del glifo 5x8"},
        {[&] { Menu("smnu_Ripeti")->trigger(); },
         "Ripetuto: Specchia orizzontalmente del glifo 5x8"},
        {[&] { QTest::keyClick(grid, Qt::Key_Space); }, "acceso"},
        {[&] { QTest::keyClick(grid, Qt::Key_Space); }, "spento"},
    };
    for (const auto& [act, heard] : rows) {
        SCOPED_TRACE(heard);
        reader.Clear();
        act();
        EXPECT_EQ(reader.Announced(), std::vector<std::string>{heard});
        for (const auto& event : reader.Events()) {
            EXPECT_NE(event.type, QAccessible::NameChanged) << event.id << ": " << event.name;
        }
    }
}

// A 10x16 glyph does not paste into the 5x8 grid; a 5x8 one pastes into the 10x16 grid twice as
// large when the operator says so, and otherwise changes nothing.
TEST_F(EditingWindow, PastingAGlyphOfAnotherSize) {
    QApplication::clipboard()->setText(QString::fromStdString(Glyph_Text(GlyphColumns(10, 1), 16)));
    const State before = Now();
    h->window->Glyph_Command(0, GlyphCommand::Paste);
    EXPECT_TRUE(Now() == before);
    EXPECT_EQ(h->messages.shown,
              (std::vector<ShownMessage>{
                  {"Gli appunti non contengono un glifo 5x8: servono 8 righe di 5 caratteri "
                   "'#' o '.'.",
                   "WARNING", platform::MessageIcon::Exclamation}}));
    QApplication::clipboard()->setText(QString::fromStdString(Glyph_Text({0x81, 0, 0, 0, 0}, 8)));
    h->window->Glyph_Command(1, GlyphCommand::Paste);
    EXPECT_EQ(h->messages.asked,
              "Gli appunti contengono un glifo 5x8. Incollarlo nel glifo 10x16 ingrandito 2 "
              "volte, ogni punto come un quadrato di 2x2? | Incolla | Ingrandisci / Annulla");
    EXPECT_TRUE(Now() == before);
    EXPECT_FALSE(h->window->History()->canUndo());
    h->messages.takeFirst = true;
    h->window->Glyph_Command(1, GlyphCommand::Paste);
    EXPECT_EQ(h->state.Font_10x16, (std::array<std::uint16_t, 10>{0xC003, 0xC003}));
    EXPECT_EQ(h->window->History()->undoText(), "Incolla ingrandito del glifo 10x16");
}

// Pressed and dragged, the pointer turns every cell it crosses the way the pressed cell turned,
// however far it jumps between two moves: one step. A press and release on one cell stays a
// click.
TEST_F(EditingWindow, ADragPaintsEveryCellItCrossesInOneStep) {
    auto* grid = h->Find<QTableWidget>("msh_Font_5x8");
    const auto At = [&](int r, int c) {
        return grid->visualRect(grid->model()->index(r, c)).center();
    };
    const auto Send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, grid->viewport()->mapToGlobal(at), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &event);
    };
    Send(QEvent::MouseButtonPress, At(0, 0), Qt::LeftButton);
    Send(QEvent::MouseMove, At(0, 4), Qt::LeftButton);
    Send(QEvent::MouseMove, At(7, 4), Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, At(7, 4), Qt::NoButton);
    EXPECT_EQ(h->state.Font_5x8, (std::array<std::uint8_t, 5>{1, 1, 1, 1, 0xFF}));
    EXPECT_EQ(h->window->History()->undoText(), "Tratto del glifo 5x8");
    EXPECT_EQ(grid->item(7, 4)->data(Qt::AccessibleTextRole), "riga 8, colonna 5, acceso");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, At(0, 2));
    EXPECT_EQ(h->state.Font_5x8[2], 0);
    h->window->History()->undo();
    h->window->History()->undo();
    EXPECT_EQ(h->state.Font_5x8, (std::array<std::uint8_t, 5>{}));
}

// On a large window the grids' cells grow, square, and stay inside the Fonts tab.
TEST_F(EditingWindow, TheGridsGrowWithTheWindow) {
    h->window->resize(1200, 900);
    QApplication::processEvents();
    for (const char* name : {"msh_Font_5x8", "msh_Font_10x16"}) {
        auto* grid = h->Find<QTableWidget>(name);
        EXPECT_GE(grid->columnWidth(0), 25) << name;
        EXPECT_EQ(grid->columnWidth(0), grid->rowHeight(0));
        const QRect inside(grid->mapTo(grid->window(), QPoint()), grid->size());
        const QWidget* page = h->Find<QWidget>("fra_Font_64128A_64128E")->parentWidget();
        EXPECT_TRUE(QRect(page->mapTo(page->window(), QPoint()), page->size()).contains(inside));
    }
}

// A pixel font's character lands in the cell exactly as the font draws it, on the cell's
// baseline; an outline font's keeps its own size and place; what cannot be a clean glyph is
// refused with the reason, never replaced by another font's character or by the first of two.
TEST(FromCharacter, EachCharacterAsItsFontDrawsItOnTheBaselineOrTheReason) {
    CharacterFont pixel{"5x8 (font a pixel)", "", ""};
    for (const platform::PixelFontFile& file : platform::Pixel_Font_Files()) {
        pixel.pixelFile = file.name == "5x8" ? file.path : pixel.pixelFile;
    }
    const std::optional<picture::PixelFont> five = platform::Load_Pixel_Font(pixel.pixelFile);
    ASSERT_TRUE(five) << "xfonts-base";
    const CharacterFont outline{"DejaVu Sans", "", "DejaVu Sans"};
    const struct {
        const CharacterFont& font;
        GlyphSize size;
        QString character;
        Rows rows;  // none: refused
        QString said;
    } cases[] = {
        {pixel,
         kGlyph5x8,
         "A",
         {".....", ".##..", "#..#.", "#..#.", "####.", "#..#.", "#..#.", "....."},
         "Glifo 5x8: 14 punti accesi."},
        {pixel,
         kGlyph5x8,
         "8",
         {".....", ".##..", "#..#.", ".##..", "#..#.", "#..#.", ".##..", "....."},
         "Glifo 5x8: 12 punti accesi."},
        {pixel,
         kGlyph5x8,
         "°",
         {".....", "..#..", ".#.#.", "..#..", ".....", ".....", ".....", "....."},
         "Glifo 5x8: 4 punti accesi."},
        {pixel, kGlyph5x8, "⚠", {}, "Il font 5x8 (font a pixel) non ha il carattere «⚠»."},
        {pixel, kGlyph5x8, "AB", {}, "Un solo carattere alla volta: «AB» ne ha 2."},
        {pixel, kGlyph5x8, "", {}, "Scrivere un carattere."},
        {outline,
         kGlyph10x16,
         "°",
         {"..........", "..........", "..........", "..........", "...##.....", "..#..#....",
          "..#..#....", "...##.....", "..........", "..........", "..........", "..........",
          "..........", "..........", "..........", ".........."},
         "Glifo 10x16: 8 punti accesi."},
        {outline,
         kGlyph10x16,
         "g",
         {},
         "Il carattere «g» del font DejaVu Sans non entra nella cella 10x16: 4 punti "
         "resterebbero fuori."},
        {outline, kGlyph10x16, "漢", {}, "Il font DejaVu Sans non ha il carattere «漢»."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.font.name.toStdString() + " " + c.character.toStdString());
        const CharacterGlyph glyph = Character_Glyph(
            c.font, c.font.pixelFile.empty() ? nullptr : &*five, c.character, 128, c.size);
        EXPECT_EQ(glyph.glyph ? Glyph_Rows(*glyph.glyph, c.size.rows) : Rows{}, c.rows);
        EXPECT_EQ(glyph.said, c.said);
    }
    // The list shows each family once, by its name alone.
    const QStringList families = platform::Outline_Families();
    EXPECT_EQ(families.count("DejaVu Sans"), 1);
    EXPECT_EQ(families.filter("[").size(), 0);
}

// "Usa" keeps the font, the character and the threshold for the next time, for that grid only.
TEST(FromCharacter, TheDialogStartsWhereItWasLeft) {
    const auto Fields = [](const frm_Da_Carattere& d) {
        return std::tuple(d.findChild<QComboBox*>("cmb_Font")->currentText(),
                          d.findChild<QLineEdit*>("txt_Carattere")->text(),
                          d.findChild<QSlider*>("sld_Soglia")->value());
    };
    frm_Da_Carattere first(kGlyph5x8, nullptr);
    EXPECT_EQ(Fields(first), std::tuple("5x8 (font a pixel)", "A", 128));
    first.findChild<QComboBox*>("cmb_Font")->setCurrentText("DejaVu Sans");
    first.findChild<QLineEdit*>("txt_Carattere")->setText("°");
    first.findChild<QSlider*>("sld_Soglia")->setValue(200);
    first.findChild<QPushButton*>("cmd_Usa")->click();
    EXPECT_EQ(Fields(frm_Da_Carattere(kGlyph5x8, nullptr)), std::tuple("DejaVu Sans", "°", 200));
    EXPECT_EQ(Fields(frm_Da_Carattere(kGlyph10x16, nullptr)),
              std::tuple("10x20 (font a pixel)", "A", 128));
}

// Every accessible object of the window answers every text, its role and its state; the grid's
// cells and the picture boxes say where they are and what they hold.
int Ask_Everything(QAccessibleInterface* object, int depth) {
    if (object == nullptr || !object->isValid() || depth > 40) {
        return 0;
    }
    for (int t = QAccessible::Name; t <= QAccessible::UserText; ++t) {
        object->text(static_cast<QAccessible::Text>(t)).size();
    }
    object->role();
    object->state();
    object->rect();
    // (Not the header cells: Qt hands those out new, for the caller to delete.)
    if (QAccessibleTableCellInterface* cell = object->tableCellInterface()) {
        cell->rowIndex();
        cell->columnIndex();
        cell->isSelected();
    }
    int asked = 1;
    for (int i = 0; i < object->childCount(); ++i) {
        asked += Ask_Everything(object->child(i), depth + 1);
    }
    return asked;
}

TEST_F(EditingWindow, EveryAccessibleObjectAnswers) {
    h->window->Glyph_Command(0, GlyphCommand::Invert);
    EXPECT_GT(Ask_Everything(QAccessible::queryAccessibleInterface(h->window.get()), 0), 300);
    for (QObject* object : h->window->findChildren<QObject*>()) {
        Ask_Everything(QAccessible::queryAccessibleInterface(object), 40);
    }
    QAccessibleInterface* grid =
        QAccessible::queryAccessibleInterface(h->Find<QTableWidget>("msh_Font_5x8"));
    EXPECT_EQ(grid->tableInterface()->cellAt(7, 4)->text(QAccessible::Name),
              "riga 8, colonna 5, acceso");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(h->Box(2, 3))->text(QAccessible::Name),
              "Immagine numero 4: Sfondo_Bianco_240x64.bmp, display 64240B");
}

}  // namespace
}  // namespace lcdprog::test
