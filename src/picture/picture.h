#pragma once

// Any picture -> a panel's 1-bit picture, and the standard 1-bit file that a slot takes. No
// window system and no file access here: the reader decodes a file into RGBA pixels, and the
// import dialog, lcdprog-cli convert, the tests and the fuzzer all run the same steps from there,
// so that the same source and settings give the same bytes everywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lcdprog::picture {

// 8-bit RGBA, not premultiplied, row-major, 4 bytes per pixel.
struct Rgba {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

enum class Scaling {
    Fit,      // "Adatta": the whole picture inside, proportions kept, centred on white
    Fill,     // "Riempi": covers the panel, proportions kept, the centre kept
    Stretch,  // "Estendi": the picture's edges on the panel's edges
    Original  // "Originale": one pixel per pixel, centred, cropped
};

enum class Conversion {
    Threshold,       // "Soglia"
    FloydSteinberg,  // "Floyd-Steinberg"
    Atkinson,        // "Atkinson"
    Bayer            // "Ordinato (Bayer 8x8)"
};

inline constexpr int kBrightnessLimit = 100;
inline constexpr int kContrastLimit = 100;

struct Settings {
    Scaling scaling = Scaling::Fit;
    int rotation = 0;  // degrees clockwise: 0, 90, 180 or 270
    bool mirror = false;
    Conversion conversion = Conversion::Threshold;
    int threshold = 128;  // 0..255: a level below it is black
    int brightness = 0;   // -100..100
    int contrast = 0;     // -100..100
    bool invert = false;
    bool operator==(const Settings&) const = default;
};

// The words the command line's options and the project files use for the scalings and the
// conversions, in the order of their enums.
inline constexpr const char* kScalingNames[] = {"fit", "fill", "stretch", "original"};
inline constexpr const char* kConversionNames[] = {"threshold", "floyd-steinberg", "atkinson",
                                                   "bayer"};

// A panel-sized picture of levels 0 (black) .. 255 (white), row-major.
struct Levels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> level;
};

// The 1-bit result, row-major: 0 is palette index 0 (black, a dark pixel on the module), 1 is
// index 1 (white).
struct Bits {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> index;
    bool Black(int x, int y) const { return index[static_cast<std::size_t>(y * width + x)] == 0; }
};

// The source composed over white, its level sums kept at full precision so that scaling can be
// done once on one channel: 299 R + 587 G + 114 B per pixel (0..255000), which is linear in the
// colours, so the average of these sums is exactly the sum of the averaged colours.
struct Prepared {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> sum;
};

// Settings outside their ranges: an Italian reason, or "" when they are all right.
std::string Check_Settings(const Settings& settings);

Prepared Prepare(const Rgba& source);
// Scaling, rotation and mirror onto the panel, then the levels with brightness and contrast.
Levels Place(const Prepared& source, int panelWidth, int panelHeight, const Settings& settings);
// Threshold or dither, then Inverti.
Bits Quantise(const Levels& levels, const Settings& settings);
// The three steps in one. The source must not be empty, the panel at least 1 x 1.
Bits Convert(const Rgba& source, int panelWidth, int panelHeight, const Settings& settings);

// The standard file of a 1-bit picture: a 62-byte header (14-byte file header, 40-byte
// information header, palette index 0 black, index 1 white), rows bottom-up padded to 4 bytes.
std::string Bmp_File(const Bits& bits);

// The level of a colour: (299 R + 587 G + 114 B) / 1000, rounded down.
inline int Level(int r, int g, int b) {
    return (299 * r + 587 * g + 114 * b) / 1000;
}

// A 1-bit file whose palette entry 0 is lighter than entry 1 shows on the module as its
// negative, since the module lights pixels by palette index. True for such a file.
bool Has_Reversed_Palette(std::string_view file);
// The same picture with the standard palette: the pixel bytes (where the compiler takes them,
// the file's last rows) complemented, under the standard header. Nothing when the file is not a
// width x height 1-bit picture.
std::optional<std::string> Fix_Reversed_Palette(std::string_view file, int width, int height);

// What the operator is told about such a picture (the file named without its folder).
std::string Reversed_Palette_Text(const std::string& fileName);

// "logo.png" on a 240 x 64 panel: "logo_240x64.bmp" (the source's folder and extension gone).
std::string Output_Name(const std::string& sourcePath, int width, int height);
// The corrected copy's path: "x.bmp" -> "x_lcd.bmp", beside it.
std::string Fixed_Name(const std::string& path);

}  // namespace lcdprog::picture
