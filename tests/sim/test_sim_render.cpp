#include <gtest/gtest.h>

#include <array>

#include "sim_render.h"

namespace lcdsim {
namespace {

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
