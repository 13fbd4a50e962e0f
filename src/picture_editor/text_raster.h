#pragma once

// What the text tool writes with: the fonts "Da carattere..." offers (the X11 pixel fonts, each
// glyph as it was drawn, and the installed outline families, hinted fully and never smoothed),
// each turned into one raster per line of text.

#include <QString>
#include <string>
#include <vector>

#include "picture/character.h"
#include "picture/pixel_font.h"
#include "platform/qt/character_fonts.h"

namespace lcdprog {

struct TextFont {
    QString name;           // as the list shows it: "6x13 (font a pixel)", "DejaVu Sans"
    std::string pixelFile;  // a pixel font's file; empty for an outline family
    std::string boldFile;   // a pixel font's bold cut ("6x13B"), where there is one
    bool Pixel() const { return !pixelFile.empty(); }
};

class TextFonts {
  public:
    // The pixel fonts, narrowest and lowest first, then the outline families, each once.
    TextFonts();
    const std::vector<TextFont>& List() const { return fonts_; }

    // A line of text in font `index` of the list, its pen position at the start of its baseline:
    // a pixel font at its own size, an outline family at `pixelSize`. Characters the font lacks
    // are left out and counted in `missing`: no other font stands in for them.
    picture::CharacterRaster Line(std::size_t index, const QString& text, int pixelSize, bool bold,
                                  int& missing);

  private:
    std::vector<TextFont> fonts_;
    platform::PixelFontCache pixelFonts_;
};

}  // namespace lcdprog
