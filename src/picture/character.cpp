#include "picture/character.h"

#include <algorithm>
#include <limits>

namespace lcdprog::picture {
namespace {

bool Valid(const CharacterRaster& c) {
    return c.width >= 0 && c.height >= 0 &&
           c.level.size() == static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height);
}

// Floor division, for a spare width that may be negative.
int Half_Down(int n) {
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
    int pen = 0;
    int left = 0;
    int right = 0;
    int ascent = 0;
    int descent = 0;
    bool any = false;
    for (const CharacterRaster& c : characters) {
        if (Valid(c) && c.width > 0 && c.height > 0) {
            left = any ? std::min(left, pen + c.left) : pen + c.left;
            right = any ? std::max(right, pen + c.left + c.width) : pen + c.left + c.width;
            ascent = any ? std::max(ascent, c.ascent) : c.ascent;
            descent = any ? std::max(descent, c.height - c.ascent) : c.height - c.ascent;
            any = true;
        }
        pen += c.advance;
    }
    CharacterRaster line;
    line.advance = pen;
    // Glyphs far above, below or beside each other only come from a damaged font: such a line
    // is left without pixels rather than taking gigabytes.
    constexpr std::int64_t kMostPixels = std::int64_t{1} << 24;
    if (!any || std::int64_t{right - left} * (ascent + descent) > kMostPixels) {
        return line;
    }
    line.width = right - left;
    line.height = ascent + descent;
    line.left = left;
    line.ascent = ascent;
    line.level.assign(static_cast<std::size_t>(line.width) * line.height, 255);
    pen = 0;
    for (const CharacterRaster& c : characters) {
        if (Valid(c)) {
            const int x0 = pen + c.left - left;
            const int y0 = ascent - c.ascent;
            for (int y = 0; y < c.height; ++y) {
                for (int x = 0; x < c.width; ++x) {
                    std::uint8_t& out =
                        line.level[static_cast<std::size_t>((y0 + y) * line.width + x0 + x)];
                    out = std::min(out, c.level[static_cast<std::size_t>(y * c.width + x)]);
                }
            }
        }
        pen += c.advance;
    }
    return line;
}

Bits Draw_Character(Bits picture, const CharacterRaster& character, int threshold, Point origin,
                    Pen pen) {
    const auto shifted = [](int a, int b) {
        return static_cast<int>(std::clamp<std::int64_t>(
            std::int64_t{a} + b, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    };
    return Stamp(std::move(picture), Ink(character, threshold),
                 {shifted(origin.x, character.left), shifted(origin.y, -character.ascent)}, pen);
}

CellPlacement Place_In_Cell(const CharacterRaster& character, int threshold, Cell cell) {
    CellPlacement placed;
    const Point origin{Half_Down(cell.width - character.advance), cell.baseline};
    placed.cell =
        Draw_Character(Blank(cell.width, cell.height), character, threshold, origin, Pen::Ink);
    const Bits ink = Ink(character, threshold);
    placed.inkOutside =
        static_cast<int>(std::count(ink.index.begin(), ink.index.end(), 0) -
                         std::count(placed.cell.index.begin(), placed.cell.index.end(), 0));
    return placed;
}

}  // namespace lcdprog::picture
