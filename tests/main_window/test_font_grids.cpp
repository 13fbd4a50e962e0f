// The glyph editors: a click or the space key toggles one cell, its bit in the table and its
// colour, taken from the desktop's colour scheme.

#include <gtest/gtest.h>
#include <QTabWidget>
#include <QTest>

#include "main_window/main_window_harness.h"

namespace lcdprog::test {
namespace {

TEST(FontGrids, ClicksAndSpaceToggleOneBitAndTheCellsFollowTheColourScheme) {
    FakeFileService files;
    MainWindowHarness h(files);
    h.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(h.window.get()));
    h.Find<QTabWidget>("SST_Select_Image")->setCurrentIndex(4);
    auto* small = h.Find<QTableWidget>("msh_Font_5x8");
    auto* large = h.Find<QTableWidget>("msh_Font_10x16");
    const auto space = [](QTableWidget* grid, int row, int column) {
        grid->setCurrentCell(row, column);
        QTest::keyClick(grid, Qt::Key_Space);
    };
    // The cell's colour decides, not the table bit: a cell never toggled counts as clear.
    Font_5x8[1] = 0xFF;
    space(small, 0, 1);
    space(small, 0, 1);
    space(small, 7, 4);
    for (int row = 0; row < 16; ++row) {
        space(large, row, 3);
    }
    space(large, 0, 3);
    QTest::mouseClick(large->viewport(), Qt::LeftButton, {},
                      large->visualRect(large->model()->index(15, 9)).center());
    EXPECT_EQ(Font_5x8, (std::array<std::uint8_t, 5>{0, 0xFE, 0, 0, 128}));
    EXPECT_EQ(Font_10x16, (std::array<std::uint16_t, 10>{0, 0, 0, 0xFFFE, 0, 0, 0, 0, 0, 0x8000}));

    QPalette scheme = h.window->palette();
    scheme.setColor(QPalette::Text, QColor(10, 200, 30));
    scheme.setColor(QPalette::Base, QColor(250, 240, 5));  // a never-clicked cell's colour
    h.window->setPalette(scheme);
    const struct {
        QTableWidget* grid;
        int row, column;
        bool set;
    } cells[] = {
        {small, 7, 4, true}, {small, 0, 1, false}, {large, 15, 9, true}, {large, 0, 3, false}};
    for (const auto& c : cells) {
        EXPECT_EQ(c.grid->item(c.row, c.column)->background().color(),
                  c.set ? QColor(10, 200, 30) : QColor(250, 240, 5))
            << c.row << " " << c.column;
    }
}

}  // namespace
}  // namespace lcdprog::test
