// Arbitrary bytes as a pixel font file, packed (gzip) or not: the reader must refuse it or read
// it without reading outside the bytes, and every glyph it gives must be a whole raster of ink
// and paper that the cells and the text tool place without losing count of a pixel.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "picture/character.h"
#include "picture/gzip.h"
#include "picture/pixel_font.h"

namespace {

using namespace lcdprog::picture;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::optional<std::string> unpacked;
    if (bytes.starts_with("\x1f\x8b")) {
        // A small limit: the fuzzer's own inputs are small, and the limit's refusal is covered.
        unpacked = Gunzip(bytes, std::size_t{1} << 20);
        if (!unpacked) {
            return 0;
        }
        bytes = *unpacked;
    }
    const std::optional<PixelFont> font = PixelFont::Read(bytes);
    if (!font) {
        return 0;
    }
    // ASCII and Latin-1, a few codes beyond, and the two bytes at the end of the input.
    std::vector<CharacterRaster> line;
    const char32_t last = size >= 2 ? char32_t(data[size - 2] << 8 | data[size - 1]) : 0;
    for (char32_t c = 0; c < 0x140; ++c) {
        const std::optional<CharacterRaster> glyph = font->Glyph(c < 0x120 ? c : last + c);
        if (!glyph) {
            continue;
        }
        Check(glyph->width >= 0 && glyph->height >= 0 &&
              glyph->level.size() == std::size_t(glyph->width) * std::size_t(glyph->height));
        std::size_t ink = 0;
        for (const std::uint8_t v : glyph->level) {
            Check(v == 0 || v == 255);
            ink += v == 0;
        }
        for (const Cell cell : {kCell5x8, kCell10x16}) {
            const CellPlacement placed = Place_In_Cell(*glyph, 128, cell);
            Check(placed.cell.width == cell.width && placed.cell.height == cell.height);
            const auto inside = std::count(placed.cell.index.begin(), placed.cell.index.end(), 0);
            Check(std::size_t(inside + placed.inkOutside) == ink);
        }
        if (line.size() < 8) {
            line.push_back(*glyph);
        }
    }
    const Bits drawn =
        Draw_Character(Blank(240, 64), Join(line), 128, {3, font->Ascent()}, Pen::Ink);
    Check(drawn.width == 240 && drawn.height == 64 && drawn.index.size() == 240 * 64);
    return 0;
}
