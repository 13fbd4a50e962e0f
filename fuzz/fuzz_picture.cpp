// Arbitrary bytes as a picture to import. The first eight bytes choose the panel and the
// settings; the rest is, with QtGui, a picture file for the reader (which must refuse or decode
// it without crashing, hanging or reading out of bounds), and always raw RGBA pixels for the
// conversion. Whatever is converted must write a standard file that the header test accepts,
// whose palette is not reversed, and whose bytes, read back as the compiler reads them, are the
// picture; the same bytes as a 1-bit file go through the reversed-palette check and fix.
// Floyd-Steinberg's serpentine must be the same scan seen in a mirror: see Check_Serpentine.

#include <cstddef>
#include <cstdint>
#include <string>

#include "compiler/image_decoder.h"
#include "compiler/picture_check.h"
#include "picture/picture.h"
#ifdef LCDPROG_FUZZ_READER
#include <QGuiApplication>

#include "platform/qt/qt_image_reader.h"
#endif

namespace {

using namespace lcdprog;

// A panel picture's pixels are few; a large decoded picture only makes each run slow.
constexpr long long kMostPixels = 1 << 20;

// Floyd-Steinberg goes right on even rows and left on odd ones, and its shares and their
// rounding (towards zero) do not depend on the side. So the mirrored levels, scanned starting
// to the left, give exactly the mirrored pixels. A white first row starts that scan: it leaves
// no error behind, and moves every row to the other parity.
void Check_Serpentine(const picture::Levels& levels, int threshold) {
    const int w = levels.width;
    const int h = levels.height;
    picture::Levels mirrored{w, h + 1, std::vector<std::uint8_t>(static_cast<std::size_t>(w), 255)};
    for (int y = 0; y < h; ++y) {
        for (int x = w - 1; x >= 0; --x) {
            mirrored.level.push_back(levels.level[static_cast<std::size_t>(y * w + x)]);
        }
    }
    picture::Settings s;
    s.conversion = picture::Conversion::FloydSteinberg;
    s.threshold = threshold;
    const picture::Bits bits = picture::Quantise(levels, s);
    const picture::Bits back = picture::Quantise(mirrored, s);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (bits.Black(x, y) != back.Black(w - 1 - x, y + 1)) {
                __builtin_trap();
            }
        }
    }
}

void Check(const picture::Rgba& image, int panel, const picture::Settings& settings) {
    if (image.width <= 0 || image.height <= 0 ||
        static_cast<long long>(image.width) * image.height > kMostPixels) {
        return;
    }
    const PanelLayout& layout = kPanelLayouts[static_cast<std::size_t>(panel)];
    const picture::Levels levels =
        picture::Place(picture::Prepare(image), layout.width, layout.height, settings);
    const picture::Bits bits = picture::Quantise(levels, settings);
    if (bits.index != picture::Convert(image, layout.width, layout.height, settings).index) {
        __builtin_trap();
    }
    Check_Serpentine(levels, settings.threshold);
    const std::string file = picture::Bmp_File(bits);
    if (!Check_Bitmap_Header(file, layout.width, layout.height) ||
        picture::Has_Reversed_Palette(file)) {
        __builtin_trap();
    }
    // Complemented twice is the same file.
    std::string reversed = file;
    reversed.replace(54, 8, std::string("\xFF\xFF\xFF\0\0\0\0\0", 8));
    for (std::size_t i = 62; i < reversed.size(); ++i) {
        reversed[i] = static_cast<char>(~reversed[i]);
    }
    if (picture::Fix_Reversed_Palette(reversed, layout.width, layout.height) != file) {
        __builtin_trap();
    }
}

}  // namespace

#ifdef LCDPROG_FUZZ_READER
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // SVG pictures are drawn with QtGui's painter, which needs a GUI application; the minimal
    // platform shows nothing, and without its system fonts (text is drawn as boxes) so that
    // fontconfig's caches, which it keeps for the life of the process, never count as leaks.
    qputenv("QT_QPA_PLATFORM", "minimal");
    static QGuiApplication app(*argc, *argv);
    return 0;
}
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) {
        return 0;
    }
    const int panel = data[0] % 4;
    picture::Settings s;
    s.scaling = static_cast<picture::Scaling>(data[1] % 4);
    s.rotation = data[2] % 4 * 90;
    s.mirror = (data[3] & 1) != 0;
    s.invert = (data[3] & 2) != 0;
    s.conversion = static_cast<picture::Conversion>(data[4] % 4);
    s.threshold = data[5];
    s.brightness = data[6] % 201 - 100;
    s.contrast = data[7] % 201 - 100;
    if (!picture::Check_Settings(s).empty()) {
        __builtin_trap();
    }
    const std::string_view rest(reinterpret_cast<const char*>(data + 8), size - 8);
    (void)picture::Has_Reversed_Palette(rest);
    (void)picture::Fix_Reversed_Palette(rest, 128, 64);
#ifdef LCDPROG_FUZZ_READER
    const platform::Result<picture::Rgba> decoded =
        platform::Decode_Image(QByteArray(rest.data(), static_cast<qsizetype>(rest.size())));
    if (decoded) {
        Check(*decoded, panel, s);
    } else if (decoded.Text().empty()) {
        __builtin_trap();
    }
#endif
    // The same bytes as raw pixels: the first byte sets the width.
    if (!rest.empty()) {
        picture::Rgba raw;
        raw.width = 1 + static_cast<std::uint8_t>(rest[0]) % 64;
        raw.height = static_cast<int>((rest.size() - 1) / 4 / static_cast<std::size_t>(raw.width));
        raw.pixels.assign(
            rest.begin() + 1,
            rest.begin() + 1 + static_cast<std::ptrdiff_t>(raw.width) * raw.height * 4);
        Check(raw, panel, s);
    }
    return 0;
}
