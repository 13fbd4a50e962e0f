#include "compiler/image_decoder.h"

#include "state/mod_variabili.h"

namespace lcdprog {
namespace {

PanelPicture Blank(int width, int height) {
    PanelPicture picture;
    picture.width = width;
    picture.height = height;
    picture.dark.assign(static_cast<std::size_t>(width * height), 0);
    return picture;
}

template <std::size_t Columns, typename T>
PanelPicture Glyph_Picture(const std::array<T, Columns>& columns, int rows) {
    PanelPicture picture = Blank(static_cast<int>(Columns), rows);
    for (int r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < Columns; ++c) {
            picture.dark[static_cast<std::size_t>(r) * Columns + c] =
                static_cast<std::uint8_t>((static_cast<unsigned>(columns[c]) >> r) & 1u);
        }
    }
    return picture;
}

}  // namespace

PanelPicture Decode_Panel_Picture(ImageView image, int panel, int slot) {
    const PanelLayout& layout = kPanelLayouts[static_cast<std::size_t>(panel)];
    PanelPicture picture = Blank(layout.width, layout.height);
    const std::uint32_t base = layout.Slot_Base(slot);
    for (int y = 0; y < layout.height; ++y) {
        for (int x = 0; x < layout.width; ++x) {
            int bit;
            if (layout.pageLayout) {
                // Page y / 8, column x: bit k is row 8 x page + k.
                bit = (image[base + static_cast<std::uint32_t>((y / 8) * layout.width + x)] >>
                       (y % 8)) &
                      1;
            } else {
                // Row y, byte x / 8: bit 7 is the leftmost of its eight pixels.
                bit = (image[base + static_cast<std::uint32_t>(y * (layout.width / 8) + x / 8)] >>
                       (7 - x % 8)) &
                      1;
            }
            picture.dark[static_cast<std::size_t>(y * layout.width + x)] =
                static_cast<std::uint8_t>(bit);
        }
    }
    return picture;
}

std::array<std::uint8_t, 5> Decode_Font_5x8(ImageView image) {
    std::array<std::uint8_t, 5> font{};
    for (std::size_t c = 0; c < font.size(); ++c) {
        font[c] = image[kGlyph5x8Address + c];
    }
    return font;
}

std::array<std::uint16_t, 10> Decode_Font_10x16(ImageView image) {
    std::array<std::uint16_t, 10> font{};
    for (std::size_t c = 0; c < font.size(); ++c) {
        font[c] = static_cast<std::uint16_t>(image[kGlyph10x16LowAddress + c] |
                                             (image[kGlyph10x16HighAddress + c] << 8));
    }
    return font;
}

PanelPicture Decode_Glyph_5x8(ImageView image) {
    return Glyph_Picture(Decode_Font_5x8(image), 8);
}

PanelPicture Decode_Glyph_10x16(ImageView image) {
    return Glyph_Picture(Decode_Font_10x16(image), 16);
}

std::vector<NamedPicture> Named_Pictures(ImageView image, int panelScale) {
    std::vector<NamedPicture> pictures;
    for (int panel = 0; panel < static_cast<int>(kPanelLayouts.size()); ++panel) {
        for (int slot = 0; slot < kSlotsPerPanel; ++slot) {
            pictures.push_back({std::string(kPanelLayouts[static_cast<std::size_t>(panel)].name) +
                                    "_" + std::to_string(slot + 1),
                                panelScale, Decode_Panel_Picture(image, panel, slot)});
        }
    }
    constexpr int kGlyphScale = 8;
    pictures.push_back({"glyph_5x8", kGlyphScale, Decode_Glyph_5x8(image)});
    pictures.push_back({"glyph_10x16", kGlyphScale, Decode_Glyph_10x16(image)});
    return pictures;
}

}  // namespace lcdprog
