#pragma once

// X11 bitmap fonts (PCF), such as the public-domain "fixed" fonts of Debian's xfonts-base (5x8,
// 6x13, 10x20, ...): glyphs drawn pixel by pixel for small cells, used exactly as they are. Read
// from the font's bytes (gzip.h unpacks the .pcf.gz files X11 installs); no file access here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "picture/character.h"

namespace lcdprog::picture {

class PixelFont {
  public:
    // The font in `bytes`, or nullopt when they are not a PCF font with glyphs, their metrics and
    // an encoding. Whatever the bytes hold, nothing outside them is read.
    static std::optional<PixelFont> Read(std::string_view bytes);

    // The font's rows above its baseline and below it.
    int Ascent() const { return ascent_; }
    int Descent() const { return descent_; }
    // Its character set as X11 names it: "ISO10646-1", "ISO8859-1", "KOI8-R".
    const std::string& Charset() const { return charset_; }

    // The font's own glyph for a character (a Unicode code point), levels 0 and 255, or nullopt
    // when the font has none: never another glyph in its place, not even the font's default
    // character. A font in a character set other than ISO 10646 and ISO 8859-1 answers for ASCII
    // only, the one range where its codes are sure to be Unicode's.
    std::optional<CharacterRaster> Glyph(char32_t character) const;

  private:
    struct Metrics {
        int left, right, advance, ascent, descent;
    };
    PixelFont() = default;

    int ascent_ = 0;
    int descent_ = 0;
    std::string charset_;
    std::vector<Metrics> metrics_;
    std::vector<std::uint32_t> offsets_;  // of each glyph's bitmap in bitmaps_
    std::string bitmaps_;
    int rowPad_ = 1;           // bytes each bitmap row is padded to
    int swapUnit_ = 1;         // bytes swapped end for end in each group of this many
    bool leftBitHigh_ = true;  // the leftmost pixel of a byte is its bit 7
    int firstRow_ = 0, lastRow_ = 0, firstColumn_ = 0, lastColumn_ = 0;  // the code's two bytes
    std::vector<std::uint16_t> glyphOfCode_;                             // 0xFFFF: none
    char32_t lastCharacter_ = 0;  // beyond it the charset is not Unicode
};

}  // namespace lcdprog::picture
