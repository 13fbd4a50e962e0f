#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "sim_render.h"

namespace lcdsim {
namespace {

using Image = std::array<std::uint8_t, 65536>;

int Dark_Count(const Picture& picture) {
    int count = 0;
    for (auto d : picture.dark) {
        count += d;
    }
    return count;
}

TEST(SimRender, OneStoredBitIsOneDarkPixelWhereThePanelShowsIt) {
    struct Case {
        int panel;  // index in kPanelTypes
        int slot;
        std::uint32_t address;
        std::uint8_t value;
        int x;
        int y;
    };
    const Case cases[] = {
        // Page layout: bit k of byte p x 128 + x is row 8p + k of column x.
        {0, 0, 0x0000, 0x01, 0, 0},
        {0, 0, 0x03FF, 0x80, 127, 63},
        {0, 3, 0x0C00 + 127, 0x01, 127, 0},
        {1, 0, 0x1000 + 896, 0x80, 0, 63},
        {1, 2, 0x1800 + 128 + 8, 0x02, 8, 9},
        // Row layout: 30 bytes a row, bit 7 the leftmost pixel.
        {2, 0, 0x2000, 0x80, 0, 0},
        {2, 0, 0x2000 + 29, 0x01, 239, 0},
        {2, 3, 0x3DFF, 0x01, 239, 63},
        {3, 0, 0x3E00, 0x80, 0, 0},
        {3, 1, 0x4D00 + 30 * 5 + 2, 0x20, 18, 5},
        {3, 3, 0x79FF, 0x01, 239, 127},
    };
    for (const auto& c : cases) {
        const PanelType& panel = kPanelTypes[c.panel];
        SCOPED_TRACE(::testing::Message()
                     << panel.name << " slot " << c.slot << " address " << c.address);
        Image memory{};
        memory[c.address] = c.value;
        const Picture picture = Render_Background(memory, panel, c.slot);
        ASSERT_EQ(picture.width, panel.width);
        ASSERT_EQ(picture.height, panel.height);
        EXPECT_TRUE(picture.Dark(c.x, c.y));
        EXPECT_EQ(Dark_Count(picture), 1);
        // The neighbouring slots do not see it.
        for (int other = 0; other < kSlots; ++other) {
            if (other != c.slot) {
                EXPECT_EQ(Dark_Count(Render_Background(memory, panel, other)), 0) << other;
            }
        }
    }
}

TEST(SimRender, BlankEepromIsAllDarkAndZerosAllLight) {
    Image blank;
    blank.fill(0xFF);
    Image zeros{};
    for (const auto& panel : kPanelTypes) {
        EXPECT_EQ(Dark_Count(Render_Background(blank, panel, 3)), panel.width * panel.height);
        EXPECT_EQ(Dark_Count(Render_Background(zeros, panel, 3)), 0);
    }
}

TEST(SimRender, GlyphBitsAreCellsColumnByColumn) {
    struct Case {
        bool big;
        std::uint32_t address;
        std::uint8_t value;
        int x;
        int y;
    };
    const Case cases[] = {
        {false, 0x8000, 0x01, 0, 0}, {false, 0x8004, 0x80, 4, 7}, {false, 0x8002, 0x10, 2, 4},
        {true, 0x8005, 0x01, 0, 0},  {true, 0x800E, 0x80, 9, 7},  {true, 0x800F, 0x01, 0, 8},
        {true, 0x8011, 0x02, 2, 9},  {true, 0x8018, 0x80, 9, 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "address " << c.address);
        Image memory{};
        memory[c.address] = c.value;
        const Picture picture = c.big ? Render_Glyph_10x16(memory) : Render_Glyph_5x8(memory);
        EXPECT_EQ(picture.width, c.big ? 10 : 5);
        EXPECT_EQ(picture.height, c.big ? 16 : 8);
        EXPECT_TRUE(picture.Dark(c.x, c.y));
        EXPECT_EQ(Dark_Count(picture), 1);
    }
}

TEST(SimRender, AllPicturesNamedAsTheProgrammerCountsSlots) {
    Image memory{};
    const auto all = Render_All(memory);
    const char* names[] = {"64128A_1",  "64128A_2",  "64128A_3",   "64128A_4",  "64128E_1",
                           "64128E_2",  "64128E_3",  "64128E_4",   "64240B_1",  "64240B_2",
                           "64240B_3",  "64240B_4",  "128240A_1",  "128240A_2", "128240A_3",
                           "128240A_4", "glyph_5x8", "glyph_10x16"};
    ASSERT_EQ(all.size(), std::size(names));
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].name, names[i]);
        EXPECT_EQ(all[i].scale, i < 16 ? 2 : 8) << names[i];
    }
    EXPECT_EQ(all[15].picture.width, 240);
    EXPECT_EQ(all[15].picture.height, 128);
    EXPECT_EQ(all[17].picture.height, 16);
}

}  // namespace
}  // namespace lcdsim
