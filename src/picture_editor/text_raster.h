#pragma once

// What the text tool writes with: the X11 pixel fonts (each glyph as it was drawn, for small
// labels) and the installed outline fonts, each rendered into one raster per line of text.

#include <QString>
#include <vector>

#include "picture/character.h"

namespace lcdprog {

struct TextFont {
    QString name;       // as the list shows it: "6x13 (pixel)", "DejaVu Sans"
    QString pixelFile;  // a pixel font's file; empty for an outline family
    QString boldFile;   // its bold cut, where the font has one
    bool Pixel() const { return !pixelFile.isEmpty(); }
};

// The pixel fonts of the fixed family, smallest first, then every installed family once.
std::vector<TextFont> Text_Fonts();

// One line of text, its pen position at the start of its baseline. A pixel font draws at its
// own size; an outline font at `pixelSize`, hinted fully and without grey edges, so that a
// threshold cuts it exactly where its pixels are. Characters the font lacks are left out and
// counted in `missing`: no other font stands in for them.
picture::CharacterRaster Text_Raster(const TextFont& font, const QString& text, int pixelSize,
                                     bool bold, int& missing);

}  // namespace lcdprog
