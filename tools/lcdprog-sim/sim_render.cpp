#include "sim_render.h"

namespace lcdsim {

namespace {

Picture Blank(int width, int height) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.dark.assign(static_cast<std::size_t>(width * height), 0);
    return picture;
}

void Set(Picture& picture, int x, int y, bool dark) {
    picture.dark[static_cast<std::size_t>(y * picture.width + x)] = dark ? 1 : 0;
}

}  // namespace

Picture Render_Background(Memory memory, const PanelType& panel, int slot) {
    Picture picture = Blank(panel.width, panel.height);
    const std::uint32_t size = static_cast<std::uint32_t>(panel.width * panel.height / 8);
    const std::uint32_t base = panel.base + static_cast<std::uint32_t>(slot) * size;
    for (int y = 0; y < panel.height; ++y) {
        for (int x = 0; x < panel.width; ++x) {
            bool dark;
            if (panel.pageLayout) {
                const std::uint8_t byte = memory[base + (y / 8) * panel.width + x];
                dark = (byte >> (y % 8)) & 1;
            } else {
                const std::uint8_t byte = memory[base + y * (panel.width / 8) + x / 8];
                dark = (byte >> (7 - x % 8)) & 1;
            }
            Set(picture, x, y, dark);
        }
    }
    return picture;
}

Picture Render_Glyph_5x8(Memory memory) {
    Picture picture = Blank(5, 8);
    for (int c = 0; c < 5; ++c) {
        for (int r = 0; r < 8; ++r) {
            Set(picture, c, r, (memory[kGlyph5x8 + c] >> r) & 1);
        }
    }
    return picture;
}

Picture Render_Glyph_10x16(Memory memory) {
    Picture picture = Blank(10, 16);
    for (int c = 0; c < 10; ++c) {
        const unsigned column = memory[kGlyph10x16Low + c] | (memory[kGlyph10x16High + c] << 8);
        for (int r = 0; r < 16; ++r) {
            Set(picture, c, r, (column >> r) & 1);
        }
    }
    return picture;
}

std::vector<NamedPicture> Render_All(Memory memory) {
    std::vector<NamedPicture> pictures;
    for (const PanelType& panel : kPanelTypes) {
        for (int slot = 0; slot < kSlots; ++slot) {
            pictures.push_back({std::string(panel.name) + "_" + std::to_string(slot + 1), 2,
                                Render_Background(memory, panel, slot)});
        }
    }
    pictures.push_back({"glyph_5x8", 8, Render_Glyph_5x8(memory)});
    pictures.push_back({"glyph_10x16", 8, Render_Glyph_10x16(memory)});
    return pictures;
}

}  // namespace lcdsim
