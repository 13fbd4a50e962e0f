// The glyph editors: a click toggles one cell's colour identifier and one bit of its table.

#include <gtest/gtest.h>
#include <QTest>

#include "main_window/main_window_harness.h"

namespace lcdprog::test {
namespace {

class FontGrids : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const std::string& name : {kWhite128x64, kWhite240x64, kWhite240x128}) {
            files.Put(kFolder + "/" + name, White_File(name));
        }
        ASSERT_TRUE(h.window->Form_Load());
        small = h.Find<QTableWidget>("msh_Font_5x8");
        large = h.Find<QTableWidget>("msh_Font_10x16");
        ASSERT_NE(small, nullptr);
        ASSERT_NE(large, nullptr);
    }
    void Click(QTableWidget* grid, int row, int column) {
        grid->setCurrentCell(row, column);
        if (grid == small) {
            h.window->msh_Font_5x8_Click();
        } else {
            h.window->msh_Font_10x16_Click();
        }
    }
    static QVariant Colour(QTableWidget* grid, int row, int column) {
        QTableWidgetItem* item = grid->item(row, column);
        return item == nullptr ? QVariant() : item->data(frm_Config_LCD::kColourRole);
    }

    FakeFileService files;
    MainWindowHarness h{files};
    QTableWidget* small = nullptr;
    QTableWidget* large = nullptr;
};

struct Cell {
    bool large;
    int row;
    int column;
};

TEST_F(FontGrids, ClicksSetAndClearBitsOfTheirColumnsEntry) {
    const struct {
        const char* name;
        std::vector<Cell> clicks;
        std::array<std::uint8_t, 5> small;
        std::array<std::uint16_t, 10> large;
    } cases[] = {
        {"5x8 row 0 column 0 once", {{false, 0, 0}}, {1, 0, 0, 0, 0}, {}},
        {"5x8 row 0 column 0 twice", {{false, 0, 0}, {false, 0, 0}}, {0, 0, 0, 0, 0}, {}},
        {"5x8 row 7 column 4", {{false, 7, 4}}, {0, 0, 0, 0, 128}, {}},
        {"5x8 rows 0 and 1 of column 2", {{false, 0, 2}, {false, 1, 2}}, {0, 0, 3, 0, 0}, {}},
        {"10x16 row 8 column 0", {{true, 8, 0}}, {}, {256, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"10x16 row 15 column 9", {{true, 15, 9}}, {}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 32768}},
        {"10x16 both corners",
         {{true, 8, 0}, {true, 15, 9}},
         {},
         {256, 0, 0, 0, 0, 0, 0, 0, 0, 32768}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset_Program_State();
        // A fresh window: no cell coloured yet.
        MainWindowHarness fresh(files);
        ASSERT_TRUE(fresh.window->Form_Load());
        auto* s = fresh.Find<QTableWidget>("msh_Font_5x8");
        auto* l = fresh.Find<QTableWidget>("msh_Font_10x16");
        for (const Cell& cell : c.clicks) {
            (cell.large ? l : s)->setCurrentCell(cell.row, cell.column);
            if (cell.large) {
                fresh.window->msh_Font_10x16_Click();
            } else {
                fresh.window->msh_Font_5x8_Click();
            }
        }
        EXPECT_EQ(Font_5x8, c.small);
        EXPECT_EQ(Font_10x16, c.large);
    }
}

TEST_F(FontGrids, TheCellsColourFollowsTheBitAndUsesThePalettesColours) {
    Click(small, 0, 0);
    EXPECT_EQ(Colour(small, 0, 0), QVariant(0x80000008u));
    EXPECT_EQ(small->item(0, 0)->background().color(),
              small->palette().color(QPalette::WindowText));
    Click(small, 0, 0);
    EXPECT_EQ(Colour(small, 0, 0), QVariant(0x80000005u));
    EXPECT_EQ(small->item(0, 0)->background().color(), small->palette().color(QPalette::Window));
    EXPECT_EQ(Font_5x8[0], 0);
    // Neighbours keep no colour of their own.
    EXPECT_FALSE(Colour(small, 1, 0).isValid());
    EXPECT_FALSE(Colour(small, 0, 1).isValid());
}

TEST_F(FontGrids, AFullColumnThenOneCellClearedGives65535Then65534) {
    for (int r = 0; r < 16; ++r) {
        Click(large, r, 3);
    }
    EXPECT_EQ(Font_10x16[3], 65535);
    Click(large, 0, 3);
    EXPECT_EQ(Font_10x16[3], 65534);
    for (int c = 0; c < 10; ++c) {
        if (c != 3) {
            EXPECT_EQ(Font_10x16[c], 0) << "entry " << c;
        }
    }
}

TEST_F(FontGrids, TheCellsColourDecidesNotTheTableBit) {
    // A table bit set behind the grid's back: the uncoloured cell still counts as clear, so the
    // first click sets (no change to the entry) and the second one clears.
    Font_5x8[1] = 0xFF;
    Click(small, 0, 1);
    EXPECT_EQ(Font_5x8[1], 0xFF);
    EXPECT_EQ(Colour(small, 0, 1), QVariant(0x80000008u));
    Click(small, 0, 1);
    EXPECT_EQ(Font_5x8[1], 0xFE);
}

TEST_F(FontGrids, AMouseClickAndTheSpaceKeyReachTheHandler) {
    h.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(h.window.get()));
    h.window->findChild<QTabWidget*>("SST_Select_Image")->setCurrentIndex(4);
    const QRect cell = large->visualRect(large->model()->index(15, 9));
    QTest::mouseClick(large->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Font_10x16[9], 32768);

    small->setFocus();
    small->setCurrentCell(7, 4);
    QTest::keyClick(small, Qt::Key_Space);
    EXPECT_EQ(Font_5x8[4], 128);
}

TEST_F(FontGrids, ANewColourSchemeRepaintsTheColouredCells) {
    Click(small, 2, 2);
    Click(large, 5, 5);
    Click(large, 5, 5);
    QPalette scheme = h.window->palette();
    scheme.setColor(QPalette::WindowText, QColor(10, 200, 30));
    scheme.setColor(QPalette::Window, QColor(250, 240, 5));
    h.window->setPalette(scheme);
    EXPECT_EQ(small->item(2, 2)->background().color(), QColor(10, 200, 30));
    EXPECT_EQ(large->item(5, 5)->background().color(), QColor(250, 240, 5));
}

}  // namespace
}  // namespace lcdprog::test
