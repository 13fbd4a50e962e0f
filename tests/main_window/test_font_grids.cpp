// The glyph editors: a click toggles one cell's colour identifier and one bit of its table.

#include <gtest/gtest.h>
#include <QTest>

#include "main_window/main_window_harness.h"

namespace lcdprog::test {
namespace {

struct Files {
    FakeFileService files;
};
struct Grids : Files, MainWindowHarness {
    Grids() : MainWindowHarness(files) {}
    void Click(bool big, int row, int column) {
        (big ? large : small)->setCurrentCell(row, column);
        big ? window->msh_Font_10x16_Click() : window->msh_Font_5x8_Click();
    }
    QTableWidget* small = Find<QTableWidget>("msh_Font_5x8");
    QTableWidget* large = Find<QTableWidget>("msh_Font_10x16");
};

struct Cell {
    bool large;
    int row;
    int column;
};

// A clicked cell's colour identifier and colour follow its bit in the table.
TEST(FontGrids, ClicksToggleTheBitOfTheirColumnsEntryAndTheCellsColour) {
    const struct {
        const char* name;
        std::vector<Cell> clicks;
        std::array<std::uint8_t, 5> small;
        std::array<std::uint16_t, 10> large;
        int fullColumn = -1;  // every 10x16 cell of this column first
    } cases[] = {
        {"5x8 row 0 column 0 once", {{false, 0, 0}}, {1, 0, 0, 0, 0}, {}},
        {"5x8 row 0 column 0 twice", {{false, 0, 0}, {false, 0, 0}}, {}, {}},
        {"5x8 row 7 column 4", {{false, 7, 4}}, {0, 0, 0, 0, 128}, {}},
        {"5x8 rows 0 and 1 of column 2", {{false, 0, 2}, {false, 1, 2}}, {0, 0, 3, 0, 0}, {}},
        {"10x16 rows 8 and 15",
         {{true, 8, 0}, {true, 15, 9}},
         {},
         {256, 0, 0, 0, 0, 0, 0, 0, 0, 32768}},
        {"10x16 full column", {}, {}, {0, 0, 0, 65535}, 3},
        {"10x16 full column, then row 0", {{true, 0, 3}}, {}, {0, 0, 0, 65534}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Grids g;  // a fresh window: no cell coloured yet
        for (int r = 0; c.fullColumn >= 0 && r < 16; ++r) {
            g.Click(true, r, c.fullColumn);
        }
        for (const Cell& cell : c.clicks) {
            g.Click(cell.large, cell.row, cell.column);
        }
        EXPECT_EQ(Font_5x8, c.small);
        EXPECT_EQ(Font_10x16, c.large);
        for (const Cell& cell : c.clicks) {
            QTableWidget* grid = cell.large ? g.large : g.small;
            const unsigned entry = cell.large ? Font_10x16[cell.column] : Font_5x8[cell.column];
            const bool set = ((entry >> cell.row) & 1) != 0;
            const QTableWidgetItem* item = grid->item(cell.row, cell.column);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->data(frm_Config_LCD::kColourRole),
                      QVariant(set ? 0x80000008u : 0x80000005u));
            EXPECT_EQ(item->background().color(),
                      grid->palette().color(set ? QPalette::Text : QPalette::Base));
        }
    }
}

TEST(FontGrids, TheCellsColourDecidesNotTheTableBitAndANewSchemeRepaintsTheCells) {
    Grids g;
    Font_5x8[1] = 0xFF;  // set behind the grid's back: the uncoloured cell still counts as clear
    g.Click(false, 0, 1);
    EXPECT_EQ(Font_5x8[1], 0xFF);
    g.Click(false, 0, 1);
    EXPECT_EQ(Font_5x8[1], 0xFE);

    g.Click(false, 2, 2);
    g.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(g.window.get()));
    QPalette scheme = g.window->palette();
    scheme.setColor(QPalette::Text, QColor(10, 200, 30));
    scheme.setColor(QPalette::Base, QColor(250, 240, 5));  // the never-clicked cells' colour
    g.window->setPalette(scheme);
    EXPECT_EQ(g.small->item(2, 2)->background().color(), QColor(10, 200, 30));
    EXPECT_EQ(g.small->item(0, 1)->background().color(), QColor(250, 240, 5));
}

TEST(FontGrids, AMouseClickAndTheSpaceKeyReachTheHandler) {
    Grids g;
    g.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(g.window.get()));
    g.Find<QTabWidget>("SST_Select_Image")->setCurrentIndex(4);
    const QRect cell = g.large->visualRect(g.large->model()->index(15, 9));
    QTest::mouseClick(g.large->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Font_10x16[9], 32768);
    g.small->setFocus();
    g.small->setCurrentCell(7, 4);
    QTest::keyClick(g.small, Qt::Key_Space);
    EXPECT_EQ(Font_5x8[4], 128);
}

}  // namespace
}  // namespace lcdprog::test
