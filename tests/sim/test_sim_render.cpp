#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "sim_render.h"

namespace lcdsim {
namespace {

int Dark_Count(const Picture& picture) {
    return static_cast<int>(std::count(picture.dark.begin(), picture.dark.end(), 1));
}

// One stored bit is one dark pixel where the panel (or glyph) shows it, and nowhere else.
TEST(SimRender, OneStoredBitIsOneDarkPixelInItsPicture) {
    const struct {
        int picture;  // index in Render_All: panel x 4 + slot, 16 and 17 the glyphs
        std::uint32_t address;
        std::uint8_t value;
        int x, y;
    } cases[] = {
        // Page layout: bit k of byte p x 128 + x is row 8p + k of column x.
        {0, 0x03FF, 0x80, 127, 63},
        {6, 0x1800 + 128 + 8, 0x02, 8, 9},
        // Row layout: 30 bytes a row, bit 7 the leftmost pixel.
        {11, 0x3DFF, 0x01, 239, 63},
        {13, 0x4D00 + 30 * 5 + 2, 0x20, 18, 5},
        {15, 0x79FF, 0x01, 239, 127},
        {16, 0x8004, 0x80, 4, 7},
        {17, 0x800F, 0x01, 0, 8},
        {17, 0x8018, 0x80, 9, 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "address " << c.address);
        std::array<std::uint8_t, 65536> memory{};
        memory[c.address] = c.value;
        const auto all = Render_All(memory);
        for (std::size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(Dark_Count(all[i].picture), static_cast<int>(i) == c.picture) << i;
        }
        EXPECT_TRUE(all[c.picture].picture.Dark(c.x, c.y));
    }
}

TEST(SimRender, PicturesNamedAsTheProgrammerCountsSlots) {
    const std::array<std::uint8_t, 65536> memory{};
    std::vector<std::string> names;
    for (const auto& named : Render_All(memory)) {
        names.push_back(named.name + "*" + std::to_string(named.scale));
    }
    EXPECT_EQ(names, (std::vector<std::string>{
                         "64128A_1*2", "64128A_2*2", "64128A_3*2", "64128A_4*2", "64128E_1*2",
                         "64128E_2*2", "64128E_3*2", "64128E_4*2", "64240B_1*2", "64240B_2*2",
                         "64240B_3*2", "64240B_4*2", "128240A_1*2", "128240A_2*2", "128240A_3*2",
                         "128240A_4*2", "glyph_5x8*8", "glyph_10x16*8"}));
}

}  // namespace
}  // namespace lcdsim
