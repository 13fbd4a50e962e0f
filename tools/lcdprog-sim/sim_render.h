#pragma once

// What the panels will show, read back from the EEPROM content by the programmer's own decoder
// (compiler/image_decoder.h), so the virtual module's pictures and the programmer's preview are
// one and the same reading of the memory map.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "compiler/image_decoder.h"

namespace lcdsim {

using Picture = lcdprog::PanelPicture;
using Memory = std::span<const std::uint8_t, 65536>;

struct NamedPicture {
    std::string name;  // file name without extension: "64128A_1" (slot 0) .. "glyph_10x16"
    int scale;         // how much to enlarge it for viewing
    Picture picture;
};

// The 16 backgrounds (slots numbered 1 to 4, as the programmer's labels count them) and the two
// glyphs.
std::vector<NamedPicture> Render_All(Memory memory);

}  // namespace lcdsim
