#pragma once

// What the panels will show, read back from the EEPROM content.
//
// Backgrounds: 64128A and 64128E pictures are in page layout (byte p x 128 + x holds column x of
// rows 8p..8p+7, bit k = row 8p+k); 64240B and 128240A pictures in row layout (30 bytes per
// row, bit 7 = leftmost pixel). A stored 1 is a dark pixel: the programmer stores palette index
// 0 of a picture file (black in the white backgrounds' palette) as 1.
// Glyphs: 5 column bytes at 0x8000, and 10 columns of 16 rows at 0x8005 (rows 0..7) and 0x800F
// (rows 8..15); bit r is row r, a set bit a dark cell.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lcdsim {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> dark;  // row-major, 1 = dark pixel

    bool Dark(int x, int y) const { return dark[static_cast<std::size_t>(y * width + x)] != 0; }
};

struct PanelType {
    const char* name;
    int width;
    int height;
    bool pageLayout;
    std::uint32_t base;  // address of slot 0; slots follow each other
};

inline constexpr PanelType kPanelTypes[] = {
    {"64128A", 128, 64, true, 0x0000},
    {"64128E", 128, 64, true, 0x1000},
    {"64240B", 240, 64, false, 0x2000},
    {"128240A", 240, 128, false, 0x3E00},
};
inline constexpr int kSlots = 4;
inline constexpr std::uint32_t kGlyph5x8 = 0x8000;
inline constexpr std::uint32_t kGlyph10x16Low = 0x8005;
inline constexpr std::uint32_t kGlyph10x16High = 0x800F;

using Memory = std::span<const std::uint8_t, 65536>;

Picture Render_Background(Memory memory, const PanelType& panel, int slot);
Picture Render_Glyph_5x8(Memory memory);
Picture Render_Glyph_10x16(Memory memory);

struct NamedPicture {
    std::string name;  // file name without extension: "64128A_1" (slot 0) .. "glyph_10x16"
    int scale;         // how much to enlarge it for viewing
    Picture picture;
};

// The 16 backgrounds (slots numbered 1 to 4, as the programmer's labels count them) and the two
// glyphs.
std::vector<NamedPicture> Render_All(Memory memory);

}  // namespace lcdsim
