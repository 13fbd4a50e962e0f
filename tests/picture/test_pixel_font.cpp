// Pixel fonts read from the files Debian's xfonts-base installs, and characters put on their
// baseline in glyph cells and on pictures, pixel for pixel.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "picture/character.h"
#include "picture/gzip.h"
#include "picture/pixel_font.h"
#include "support/bits_rows.h"

namespace lcdprog::test {
namespace {

using namespace picture;
using R = std::vector<std::string>;

const std::filesystem::path kFonts = "/usr/share/fonts/X11/misc";

std::string Unpacked(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::optional<std::string> bytes =
        Gunzip(std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_TRUE(bytes) << path;
    return bytes.value_or("");
}

PixelFont Font(const char* name) {
    return PixelFont::Read(Unpacked(kFonts / name)).value();
}

TEST(PixelFont, CharactersFillTheirCellsAsTheFontDrawsThem) {
    struct Row {
        const char* font;
        char32_t character;
        Cell cell;
        R expected;
        int inkOutside;
    };
    const Row rows[] = {
        {"5x8.pcf.gz",
         U'A',
         kCell5x8,
         {".....", ".##..", "#..#.", "#..#.", "####.", "#..#.", "#..#.", "....."},
         0},
        {"5x8.pcf.gz",
         U'8',
         kCell5x8,
         {".....", ".##..", "#..#.", ".##..", "#..#.", "#..#.", ".##..", "....."},
         0},
        // High and small, not stretched: it stays a degree sign and does not read as a zero.
        {"5x8.pcf.gz",
         U'°',
         kCell5x8,
         {".....", "..#..", ".#.#.", "..#..", ".....", ".....", ".....", "....."},
         0},
        // Two of its four rows below the baseline are lost: reported, not squeezed in.
        {"10x20.pcf.gz", U'g', kCell10x16, {}, 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.font + std::string(" ") + char(row.character & 0x7F));
        const CellPlacement placed =
            Place_In_Cell(Font(row.font).Glyph(row.character).value(), 128, row.cell);
        if (!row.expected.empty()) {
            EXPECT_EQ(Rows(placed.cell), row.expected);
        }
        EXPECT_EQ(placed.inkOutside, row.inkOutside);
    }
}

// A character the font lacks is missing: never the font's default glyph, nor the glyph another
// character set keeps at the same code (0xE9 is a Cyrillic letter in KOI8-R).
TEST(PixelFont, AMissingCharacterIsMissingAndMetricsComeFromTheFont) {
    struct Row {
        const char* font;
        std::string charset;
        int ascent, descent;
        char32_t present, missing;
    };
    const Row rows[] = {
        {"5x8.pcf.gz", "ISO10646-1", 7, 1, U'é', U'⚠'},
        {"10x20.pcf.gz", "ISO10646-1", 16, 4, U'⚠', U'\U0001F514'},
        {"5x8-ISO8859-1.pcf.gz", "ISO8859-1", 7, 1, U'é', U'Ā'},
        {"5x8-KOI8-R.pcf.gz", "KOI8-R", 7, 1, U'A', U'é'},
    };
    for (const Row& row : rows) {
        const PixelFont font = Font(row.font);
        EXPECT_EQ(std::tuple(font.Charset(), font.Ascent(), font.Descent()),
                  std::tuple(row.charset, row.ascent, row.descent));
        EXPECT_TRUE(font.Glyph(row.present)) << row.font;
        EXPECT_FALSE(font.Glyph(row.missing)) << row.font;
    }
}

// The 5x8 font's bitmaps stored least significant bit first, in units of 1, 2 or 4 bytes (X11
// compiles a font in the bit order of the machine that made it): its numbers stay high byte
// first, so the bytes of a unit lie end for end. Its glyphs read the same.
std::string Low_Bit_First(std::string font, int unitShift) {
    const auto number = [&](std::size_t at, bool high) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            v |= std::uint32_t(std::uint8_t(font[at + i])) << (high ? 24 - 8 * i : 8 * i);
        }
        return v;
    };
    std::size_t table = 0;
    for (std::size_t entry = 8; entry < 8 + 16 * number(4, false); entry += 16) {
        table = number(entry, false) == 8 ? number(entry + 12, false) : table;
    }
    const std::uint32_t glyphs = number(table + 4, true);
    const std::size_t data = table + 8 + 4 * (glyphs + 4);
    const std::size_t end = data + number(data - 16 + 4 * (number(table, false) & 3), true);
    font[table] = char((font[table] & 0x07) | unitShift << 4);
    for (std::size_t at = data; at < end; ++at) {
        const std::uint64_t b = std::uint8_t(font[at]);
        font[at] = char((b * 0x0202020202ULL & 0x010884422010ULL) % 1023);  // bits reversed
    }
    for (std::size_t at = data; at < end; at += std::size_t{1} << unitShift) {
        std::reverse(&font[at], &font[at] + (1 << unitShift));
    }
    return font;
}

TEST(PixelFont, BitmapsReadTheSameInEveryBitOrderAndUnit) {
    const std::string original = Unpacked(kFonts / "5x8.pcf.gz");
    for (const int unitShift : {0, 1, 2}) {
        const std::optional<PixelFont> font = PixelFont::Read(Low_Bit_First(original, unitShift));
        ASSERT_TRUE(font) << unitShift;
        for (const char32_t c : {U'A', U'°'}) {
            EXPECT_EQ(Rows(Ink(*font->Glyph(c), 128)),
                      Rows(Ink(*PixelFont::Read(original)->Glyph(c), 128)));
        }
    }
}

// A grey raster from an outline font: ink where the level is below the threshold, placed by its
// own bearing and ascent, its advance centred across the cell even when wider than the cell.
TEST(PixelFont, GreyCharactersFollowTheThresholdAndTheirMetrics) {
    const CharacterRaster grey{3, 2, {0, 100, 200, 120, 255, 60}, 1, 1, 4};
    const Cell cell{5, 3, 2};
    EXPECT_EQ(Rows(Place_In_Cell(grey, 128, cell).cell), (R{".....", ".##..", ".#.#."}));
    EXPECT_EQ(Rows(Place_In_Cell(grey, 100, cell).cell), (R{".....", ".#...", "...#."}));
    CharacterRaster wide = grey;
    wide.advance = 7;
    wide.left = 4;
    const CellPlacement placed = Place_In_Cell(wide, 128, cell);
    EXPECT_EQ(Rows(placed.cell), (R{".....", "...##", "...#."}));
    EXPECT_EQ(placed.inkOutside, 1);
}

// The text tool: characters joined on one baseline, drawn with the pen on the baseline's row.
TEST(PixelFont, TextSitsOnTheBaselineAtThePen) {
    const PixelFont font = Font("5x8.pcf.gz");
    const CharacterRaster text = Join({*font.Glyph(U'A'), *font.Glyph(U'g')});
    EXPECT_EQ(Rows(Draw_Character(Blank(12, 9), text, 128, {1, 7}, Pen::Ink)),
              (R{"............", "..##........", ".#..#.......", ".#..#..##...", ".####.#..#..",
                 ".#..#..###..", ".#..#....#..", ".......##...", "............"}));
}

TEST(PixelFont, DamagedOrOversizedPackedFilesAreRefused) {
    std::ifstream in(kFonts / "5x8.pcf.gz", std::ios::binary);
    const std::string packed(std::istreambuf_iterator<char>(in), {});
    EXPECT_FALSE(Gunzip(packed.substr(0, packed.size() / 2)));
    EXPECT_FALSE(Gunzip(packed, 100000));  // it unpacks to 220,992 bytes
}

}  // namespace
}  // namespace lcdprog::test
