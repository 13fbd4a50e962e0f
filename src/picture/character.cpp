#include "picture/character.h"

#include <algorithm>
#include <limits>

#include "picture/wide.h"

namespace lcdprog::picture {
namespace {

bool Valid(const CharacterRaster& c) {
    return c.width >= 0 && c.height >= 0 &&
           c.level.size() == static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height);
}

// Floor division, for a spare width that may be negative.
Wide Half_Down(Wide n) {
    return n >= 0 ? n / 2 : -((1 - n) / 2);
}

}  // namespace

Bits Ink(const CharacterRaster& character, int threshold) {
    if (!Valid(character)) {
        return {};
    }
    Bits ink{character.width, character.height, {}};
    ink.index.reserve(character.level.size());
    for (const std::uint8_t level : character.level) {
        ink.index.push_back(level < threshold ? 0 : 1);
    }
    return ink;
}

CharacterRaster Join(const std::vector<CharacterRaster>& characters) {
    std::vector<Wide> pens;
    Wide pen = 0;
    Wide left = 0;
    Wide right = 0;
    Wide ascent = 0;
    Wide descent = 0;
    bool any = false;
    for (const CharacterRaster& c : characters) {
        pens.push_back(pen);
        if (Valid(c) && c.width > 0 && c.height > 0) {
            left = any ? std::min(left, pen + c.left) : pen + c.left;
            right = any ? std::max(right, pen + c.left + c.width) : pen + c.left + c.width;
            ascent = any ? std::max<Wide>(ascent, c.ascent) : c.ascent;
            descent = any ? std::max<Wide>(descent, c.height - Wide{c.ascent})
                          : c.height - Wide{c.ascent};
            any = true;
        }
        pen += c.advance;
    }
    CharacterRaster line;
    line.advance = To_Int(pen);
    // Glyphs far above, below or beside each other only come from a damaged font: such a line
    // is left without pixels rather than taking gigabytes.
    constexpr Wide kMost = Wide{1} << 24;
    const auto far = [](Wide v) { return v < -kMost || v > kMost; };
    if (!any || far(left) || far(right) || far(ascent) || far(descent) ||
        (right - left) * (ascent + descent) > kMost) {
        return line;
    }
    line.width = int(right - left);
    line.height = int(ascent + descent);
    line.left = int(left);
    line.ascent = int(ascent);
    line.level.assign(static_cast<std::size_t>(line.width) * std::size_t(line.height), 255);
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const CharacterRaster& c = characters[i];
        if (!Valid(c)) {
            continue;
        }
        const Wide x0 = pens[i] + c.left - left;
        const Wide y0 = ascent - c.ascent;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                std::uint8_t& out =
                    line.level[static_cast<std::size_t>((y0 + y) * line.width + x0 + x)];
                out = std::min(out, c.level[static_cast<std::size_t>(y * c.width + x)]);
            }
        }
    }
    return line;
}

Bits Draw_Character(Bits picture, const CharacterRaster& character, int threshold, Point origin,
                    Pen pen) {
    return Stamp(
        std::move(picture), Ink(character, threshold),
        {To_Int(Wide{origin.x} + character.left), To_Int(Wide{origin.y} - character.ascent)}, pen);
}

CellPlacement Place_In_Cell(const CharacterRaster& character, int threshold, Cell cell) {
    CellPlacement placed;
    const Point origin{To_Int(Half_Down(Wide{cell.width} - character.advance)), cell.baseline};
    placed.cell =
        Draw_Character(Blank(cell.width, cell.height), character, threshold, origin, Pen::Ink);
    const Bits ink = Ink(character, threshold);
    placed.inkOutside =
        static_cast<int>(std::count(ink.index.begin(), ink.index.end(), 0) -
                         std::count(placed.cell.index.begin(), placed.cell.index.end(), 0));
    return placed;
}

}  // namespace lcdprog::picture
