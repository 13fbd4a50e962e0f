#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <string>

namespace lcdprog::screenshots {

// A 1-bit Windows bitmap exactly as the module's pictures are stored: 14-byte file header,
// 40-byte information header, palette {black, white} (62 bytes in all), then the rows bottom
// up, each padded to whole 32-bit words; a 1 bit is a white pixel.
std::string Encode_Mono_Bitmap(const QImage& picture);

// Writes Encode_Mono_Bitmap(picture) to `path`; false with `error` set when writing failed.
bool Write_Mono_Bitmap(const QImage& picture, const QString& path, QString* error);

// The demo pictures: an alarm screen of the given panel size (128x64, 240x64 or 240x128), with
// a bell, "ALLARME" and a zone line, drawn black on white without anti-aliasing. Any pixel that
// is not white after drawing counts as black.
QImage Alarm_Picture(int width, int height, const QString& zone);

// A colour logo to import: a ball shaded in greys from a highlight to a dark edge, and a name
// beside it, anti-aliased as any picture from elsewhere would be. The shading is what tells the
// conversions apart.
QImage Logo_Picture(int width, int height);

// The demo glyphs, one string per pixel row from the top, '#' for a set pixel: an "A" in the
// 5x8 cell and a bell in the 10x16 cell.
extern const std::array<const char*, 8> kGlyph5x8;
extern const std::array<const char*, 16> kGlyph10x16;

// The glyph tables those rows give: one entry per column, bit r for row r.
std::array<std::uint8_t, 5> Glyph_5x8_Columns();
std::array<std::uint16_t, 10> Glyph_10x16_Columns();

}  // namespace lcdprog::screenshots
