#pragma once

// A character as a font draws it, put on a baseline: in a glyph cell ("Da carattere...") or on a
// picture (the editor's text tool). A pixel font's glyph (pixel_font.h) and an outline font's
// character that the window has rendered into grey levels take the same steps, so both sit on
// the baseline the same way and neither is ever stretched.

#include <cstdint>
#include <vector>

#include "picture/drawing.h"
#include "picture/picture.h"

namespace lcdprog::picture {

// A canvas the window drew a character on with its pen at (x, y) is the raster with left = -x
// and ascent = y, the advance being the font's for that character.
struct CharacterRaster {
    int width = 0;
    int height = 0;
    // Row-major levels as in `Levels`: 0 is black (all ink) .. 255 white (none). A pixel font's
    // glyph holds 0 and 255 only.
    std::vector<std::uint8_t> level;
    int left = 0;     // columns from the pen position to the raster's left column (may be < 0)
    int ascent = 0;   // rows of the raster above the baseline; the others hang below it
    int advance = 0;  // columns from this character's pen position to the next one's
};

// The ink of a raster: black where the level is below `threshold` (1..255, the rule of "Soglia"
// in the import and in "Da carattere..."), white elsewhere, in a picture of the raster's size.
Bits Ink(const CharacterRaster& character, int threshold);

// Characters one after the other on one baseline, each pen position `advance` after the one
// before, as one raster: a line of text in a pixel font. Where two overlap the darker level wins.
CharacterRaster Join(const std::vector<CharacterRaster>& characters);

// The text tool: the character's ink drawn with `pen` over the picture, its pen position at
// `origin`, on the baseline: origin.y is the first row below the baseline.
Bits Draw_Character(Bits picture, const CharacterRaster& character, int threshold, Point origin,
                    Pen pen);

// A glyph cell: `baseline` rows lie above its baseline, the rest below.
struct Cell {
    int width = 0;
    int height = 0;
    int baseline = 0;
};
// Seven rows above the baseline and one below, as the 5x8 pixel font draws: every glyph of that
// font fits, accents in the top row and the tails of "g", "p", "y" in the bottom one.
inline constexpr Cell kCell5x8{5, 8, 7};
// The 5x8 cell doubled, 14 rows above the baseline and 2 below, so that a 5x8 glyph enlarged
// twice keeps its baseline. Of the pixel fonts near this size, 8x16 fits whole here, and 10x20
// fits more of its glyphs on this row than on any other: all capitals, digits and most symbols.
// Descenders deeper than 2 rows (9x15's and 10x20's "g", "j", "y") are reported, not cut.
inline constexpr Cell kCell10x16{10, 16, 14};

struct CellPlacement {
    Bits cell;           // of the cell's size: the character's ink black, the rest white
    int inkOutside = 0;  // ink pixels that fell outside the cell: when any, it does not fit
};

// The character in the cell as it is, never scaled: its baseline on the cell's baseline, its
// advance centred across the cell (an odd spare column goes to the right, where pixel fonts keep
// their letter spacing). A symbol keeps its place and size: "°" stays small and high.
CellPlacement Place_In_Cell(const CharacterRaster& character, int threshold, Cell cell);

}  // namespace lcdprog::picture
