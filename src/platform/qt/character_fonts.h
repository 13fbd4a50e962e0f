#pragma once

// The fonts a character can be taken from, for "Da carattere..." and the picture editor's text
// tool alike, so that both draw a character the same way: X11 pixel fonts, used pixel for pixel,
// and the system's outline fonts, drawn at a fixed size with full hinting and no smoothing. A
// font that lacks a character says so: no other font is ever put in its place.

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "picture/character.h"
#include "picture/pixel_font.h"

namespace lcdprog::platform {

// Where Debian's xfonts-base installs the public-domain "fixed" fonts (5x8, 6x13, 10x20, ...).
inline constexpr const char* kPixelFontFolder = "/usr/share/fonts/X11/misc";

// A pixel font file: its name as the list shows it ("5x8", "7x13B") and its path.
struct PixelFontFile {
    QString name;
    std::string path;
};

// The fixed cell fonts of `folder` that cover Unicode ("5x8.pcf.gz", not the ISO 8859 and KOI8
// copies of the same drawings nor the Japanese and Korean ones), the narrowest and lowest first.
std::vector<PixelFontFile> Pixel_Font_Files(const std::string& folder = kPixelFontFolder);

// The font in a .pcf or .pcf.gz file; nothing when the file cannot be read or is not one.
std::optional<picture::PixelFont> Load_Pixel_Font(const std::string& path);

// A pixel font's entry in a list of fonts: its name and " (font a pixel)", so that "5x8" reads
// as a cell font.
QString Pixel_Font_Label(const QString& name);

// Pixel fonts read once per file while the cache lives: the operator goes back and forth over
// the same few fonts, character after character.
class PixelFontCache {
  public:
    // The font in `path`, read the first time it is asked for; nullptr when it is not a font.
    const picture::PixelFont* Font(const std::string& path);

  private:
    std::map<std::string, std::optional<picture::PixelFont>> read_;
};

// The scalable font families of the system, each once, by its name alone ("C059" rather than
// "C059 [UKWN]" and "C059 [urw]", which are the same letters from two foundries), sorted.
QStringList Outline_Families();

// The pixel size an outline family is drawn at for `rows` rows: the largest whose line (the
// font's ascent and descent) is no taller than the rows, so that a capital and a descender both
// have their room, as a pixel font of that height gives them. At least 1.
int Outline_Pixel_Size(const QString& family, int rows);

// One character (a Unicode code point) of an outline family at `pixels` (its pixel size), with
// full hinting and no smoothing (levels 0 and 255, unless the font engine smooths regardless),
// as a raster on its baseline; its bold cut when `bold`. Nothing when the family itself has no
// glyph for it (or there is no such family).
std::optional<picture::CharacterRaster> Outline_Character(const QString& family, int pixels,
                                                          char32_t character, bool bold = false);

}  // namespace lcdprog::platform
