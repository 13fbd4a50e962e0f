#pragma once

// The memory image read back into what the panels and glyphs show: the exact inverse of the
// compiler's panel byte layouts and glyph bytes. The preview, the command line's pictures and
// the virtual module's pictures all come from here, so they show what the module will show.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "state/memory_image.h"

namespace lcdprog {

// Where each panel type's four pictures lie and how their bytes are laid out. A picture region
// is width x height / 8 bytes; slot i starts at base + i x that size.
struct PanelLayout {
    const char* name;
    int width;
    int height;
    bool pageLayout;  // 8-row pages of column bytes (bit 0 on top); else rows of bytes (bit 7 left)
    std::uint32_t base;
    int Region_Size() const { return width * height / 8; }
    std::uint32_t Slot_Base(int slot) const {
        return base + static_cast<std::uint32_t>(slot * Region_Size());
    }
};

inline constexpr std::array<PanelLayout, 4> kPanelLayouts = {{
    {"64128A", 128, 64, true, 0x0000},
    {"64128E", 128, 64, true, 0x1000},
    {"64240B", 240, 64, false, 0x2000},
    {"128240A", 240, 128, false, 0x3E00},
}};
inline constexpr std::uint32_t kGlyph5x8Address = 0x8000;
inline constexpr std::uint32_t kGlyph10x16LowAddress = 0x8005;
inline constexpr std::uint32_t kGlyph10x16HighAddress = 0x800F;

using ImageView = std::span<const std::uint8_t, kMemoryImageSize>;

// One decoded picture or glyph, row-major. A dark pixel is a stored 1 bit: in a picture, a pixel
// of palette index 0 in its file (black in the white backgrounds' palette), since pictures are
// stored complemented; in a glyph, a set cell.
struct PanelPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> dark;

    bool Dark(int x, int y) const { return dark[static_cast<std::size_t>(y * width + x)] != 0; }
};

// Picture `slot` (0..3) of panel type `panel` (index into kPanelLayouts).
PanelPicture Decode_Panel_Picture(ImageView image, int panel, int slot);
// The glyphs as the font tables hold them (one entry per column, bit r = row r) ...
std::array<std::uint8_t, 5> Decode_Font_5x8(ImageView image);
std::array<std::uint16_t, 10> Decode_Font_10x16(ImageView image);
// ... and as pictures, a set cell dark.
PanelPicture Decode_Glyph_5x8(ImageView image);
PanelPicture Decode_Glyph_10x16(ImageView image);

// Every picture the image holds, as the command line and the virtual module write them out.
struct NamedPicture {
    std::string name;  // file name without extension: "64128A_1" (slot 0) .. "glyph_10x16"
    int scale;         // how much to enlarge it for viewing
    PanelPicture picture;
};

// The 16 backgrounds (slots numbered 1 to 4, as the programmer's labels count them) enlarged
// `panelScale` times, then the two glyphs enlarged so that their cells can be seen.
std::vector<NamedPicture> Named_Pictures(ImageView image, int panelScale);

}  // namespace lcdprog
