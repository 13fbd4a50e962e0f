#pragma once

// The glyph editors' tools, on a glyph held as its columns (entry c is column c, bit r is pixel
// row r counted from the top), the same shape as Font_5x8 and Font_10x16. Pure functions: the
// window, the clipboard and the tests all go through them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lcdprog {

using GlyphColumns = std::vector<unsigned>;

struct GlyphSize {
    int columns = 0;
    int rows = 0;
    const char* name = "";  // as the operator reads it: "5x8"
};
inline constexpr GlyphSize kGlyph5x8{5, 8, "5x8"};
inline constexpr GlyphSize kGlyph10x16{10, 16, "10x16"};

enum class GlyphTool {
    Clear,
    Invert,
    MirrorHorizontally,  // left and right change places
    MirrorVertically,    // top and bottom change places
    ShiftUp,
    ShiftDown,
    ShiftLeft,
    ShiftRight,
};

// The glyph after one tool. A shift loses the pixels it pushes over the edge and brings in clear
// ones. Bits above the glyph's rows are dropped.
GlyphColumns Apply_Glyph_Tool(GlyphTool tool, const GlyphColumns& glyph, int rows);

// The glyph `factor` times as large, each pixel a square of factor x factor: a 5x8 glyph twice is
// a 10x16 one, with its baseline where the 10x16 cell has its own.
GlyphColumns Enlarge_Glyph(const GlyphColumns& glyph, int rows, int factor);

// The glyph as rows of '#' (set) and '.' (clear), top row first: the project file's form.
std::vector<std::string> Glyph_Rows(const GlyphColumns& glyph, int rows);

// Rows of '#' and '.' back into columns; nullopt unless there are exactly `size.rows` rows of
// exactly `size.columns` cells each.
std::optional<GlyphColumns> Glyph_From_Rows(const std::vector<std::string>& rows, GlyphSize size);

// The clipboard's form: the rows, each ending in a line break.
std::string Glyph_Text(const GlyphColumns& glyph, int rows);

// The rows a text holds: one per non-blank line, with blanks, quotes and a trailing comma around
// it taken away, so that rows copied out of a project file paste as well.
std::vector<std::string> Rows_Of_Text(std::string_view text);

}  // namespace lcdprog
