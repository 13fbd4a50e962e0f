#include "sim_render.h"

namespace lcdsim {

std::vector<NamedPicture> Render_All(Memory memory) {
    std::vector<NamedPicture> pictures;
    for (int panel = 0; panel < static_cast<int>(lcdprog::kPanelLayouts.size()); ++panel) {
        for (int slot = 0; slot < 4; ++slot) {
            pictures.push_back(
                {std::string(lcdprog::kPanelLayouts[static_cast<std::size_t>(panel)].name) + "_" +
                     std::to_string(slot + 1),
                 2, lcdprog::Decode_Panel_Picture(memory, panel, slot)});
        }
    }
    pictures.push_back({"glyph_5x8", 8, lcdprog::Decode_Glyph_5x8(memory)});
    pictures.push_back({"glyph_10x16", 8, lcdprog::Decode_Glyph_10x16(memory)});
    return pictures;
}

}  // namespace lcdsim
