// The conversion from pixels to a panel picture, checked against results worked out here
// independently, and the file it writes as the compiler reads it.

#include <gtest/gtest.h>

#include <random>

#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "compiler/picture_check.h"
#include "picture/picture.h"
#include "state/mod_variabili.h"
#include "support/bits_rows.h"
#include "support/fakes.h"

namespace lcdprog::test {
namespace {

using picture::Conversion;
using picture::Scaling;

// Pixels given as '#' (black) and '.' (white), one string per row.
picture::Rgba Drawn(const std::vector<std::string>& rows) {
    picture::Rgba image{int(rows[0].size()), int(rows.size()), {}};
    for (const std::string& row : rows) {
        for (char c : row) {
            const std::uint8_t v = c == '#' ? 0 : 255;
            image.pixels.insert(image.pixels.end(), {v, v, v, 255});
        }
    }
    return image;
}

double Black_Share(const picture::Bits& bits) {
    return double(std::count(bits.index.begin(), bits.index.end(), 0)) / double(bits.index.size());
}

// Random colours with random transparency, one pixel per pixel: black exactly where the level
// of the colour composed over white, then brightness and contrast, is below the threshold.
TEST(Picture, ThresholdIsExactOnLevelsOverWhite) {
    std::mt19937 random(26);
    picture::Rgba image{64, 16, {}};
    for (int i = 0; i < 64 * 16 * 4; ++i) {
        image.pixels.push_back(static_cast<std::uint8_t>(random() % 256));
    }
    // Threshold, brightness, contrast, Inverti.
    const int rows[][4] = {{128, 0, 0, 0},  {0, 0, 0, 0},      {255, 0, 0, 0},   {1, 0, 0, 1},
                           {100, 20, 0, 0}, {140, -30, 60, 0}, {128, 0, -100, 0}};
    for (const auto& [threshold, brightness, contrast, invert] : rows) {
        SCOPED_TRACE(threshold);
        picture::Settings s;
        s.scaling = Scaling::Original;
        std::tie(s.threshold, s.brightness, s.contrast) = std::tie(threshold, brightness, contrast);
        s.invert = invert != 0;
        const picture::Bits bits = picture::Convert(image, 64, 16, s);
        for (int i = 0; i < 64 * 16; ++i) {
            const std::uint8_t* p = &image.pixels[std::size_t(i) * 4];
            const auto over = [&](int c) {
                return int(std::lround((c * p[3] + 255.0 * (255 - p[3])) / 255.0));
            };
            const int level = (299 * over(p[0]) + 587 * over(p[1]) + 114 * over(p[2])) / 1000;
            const int adjusted = std::clamp(
                (level - 128) * (100 + contrast) / 100 + 128 + 255 * brightness / 100, 0, 255);
            ASSERT_EQ(bits.index[std::size_t(i)] == 0, (adjusted < threshold) != (invert != 0))
                << i;
        }
    }
}

// A uniform grey g: the error-spreading and ordered dithers make a black share of about
// (255 - g) / 255; Atkinson, which drops a quarter of the error, is half black at 128, darker
// below and lighter above.
TEST(Picture, DithersKeepTheGreyOfAUniformArea) {
    for (int g : {8, 32, 64, 100, 128, 160, 200, 230, 250}) {
        SCOPED_TRACE(g);
        picture::Rgba image{64, 64, {}};
        for (int i = 0; i < 64 * 64; ++i) {
            image.pixels.insert(image.pixels.end(),
                                {std::uint8_t(g), std::uint8_t(g), std::uint8_t(g), 255});
        }
        picture::Settings s;
        for (Conversion c : {Conversion::FloydSteinberg, Conversion::Bayer}) {
            s.conversion = c;
            EXPECT_NEAR(Black_Share(picture::Convert(image, 64, 64, s)), (255.0 - g) / 255,
                        1.0 / 64);
        }
        s.conversion = Conversion::Atkinson;
        const double atkinson = Black_Share(picture::Convert(image, 64, 64, s));
        if (g == 128) {
            EXPECT_NEAR(atkinson, 0.5, 1.0 / 64);
        } else {
            EXPECT_EQ(atkinson > 0.5, g < 128);
        }
    }
}

// Each conversion on a few levels, worked out by hand: errors in sixteenths of a level, each
// share cut towards zero, the threshold 128. The asymmetric picture tells Floyd-Steinberg's
// serpentine from a scan that always goes right (".##" would be "###") and from one that starts
// going left (its first row would be ".#."). The uniform grey checks the shares once more.
TEST(Picture, EachConversionGivesTheHandWorkedPixels) {
    const std::vector<std::uint8_t> steps = {100, 100, 200, 100, 100, 100};
    const std::vector<std::uint8_t> even(6, 100);
    const struct {
        Conversion conversion;
        const std::vector<std::uint8_t>& level;
        std::vector<std::string> expected;
    } rows[] = {
        {Conversion::Threshold, steps, {"##.", "###"}},
        {Conversion::FloydSteinberg, steps, {"#..", ".##"}},
        {Conversion::FloydSteinberg, even, {"#.#", "#.#"}},
        // Six eighths of the error go on, two to the right, one to each of three below and one
        // two rows down.
        {Conversion::Atkinson, steps, {"##.", "#.#"}},
        // Black where 100 < 128 + 255 (2 M + 1) / 128 - 127.5, i.e. M >= 25; 200 needs M >= 50.
        {Conversion::Bayer, steps, {".#.", "#.#"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(picture::kConversionNames[static_cast<int>(row.conversion)]);
        picture::Settings s;
        s.conversion = row.conversion;
        EXPECT_EQ(Rows(picture::Quantise({3, 2, row.level}, s)), row.expected);
        s.invert = true;
        picture::Bits inverted = picture::Quantise({3, 2, row.level}, s);
        for (std::uint8_t& b : inverted.index) {
            b ^= 1;
        }
        EXPECT_EQ(Rows(inverted), row.expected);
    }
}

// Known small patterns for the scalings, the rotations and the mirror.
TEST(Picture, ScalingRotationAndMirrorPlaceTheseExactPixels) {
    struct Row {
        const char* name;
        std::vector<std::string> source;
        int width, height;
        Scaling scaling;
        int rotation;
        bool mirror;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        // Twice as large, centred on white; enlarging interpolates between pixel centres.
        {"fit", {"#."}, 4, 4, Scaling::Fit, 0, false, {"....", "##..", "##..", "...."}},
        // The centre kept: the two black edge columns are cut off.
        {"fill", {"#..#", "#..#"}, 2, 2, Scaling::Fill, 0, false, {"..", ".."}},
        {"stretch", {"#"}, 3, 2, Scaling::Stretch, 0, false, {"###", "###"}},
        // A checkerboard reduced to one pixel averages to level 127: black at 128.
        {"average", {"#.", ".#"}, 1, 1, Scaling::Stretch, 0, false, {"#"}},
        {"original",
         {"#..", "..."},
         5,
         4,
         Scaling::Original,
         0,
         false,
         {".....", ".#...", ".....", "....."}},
        {"original crop", {"#....", ".....", "....#"}, 3, 1, Scaling::Original, 0, false, {"..."}},
        {"90", {"#..", "..."}, 2, 3, Scaling::Original, 90, false, {".#", "..", ".."}},
        {"180", {"#..", "..."}, 3, 2, Scaling::Original, 180, false, {"...", "..#"}},
        {"270", {"#..", "..."}, 2, 3, Scaling::Original, 270, false, {"..", "..", "#."}},
        {"mirror", {"#..", "..."}, 3, 2, Scaling::Original, 0, true, {"..#", "..."}},
        {"90 mirror", {"#..", "..."}, 2, 3, Scaling::Original, 90, true, {"#.", "..", ".."}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        picture::Settings s;
        s.scaling = row.scaling;
        s.rotation = row.rotation;
        s.mirror = row.mirror;
        EXPECT_EQ(Rows(picture::Convert(Drawn(row.source), row.width, row.height, s)),
                  row.expected);
    }
}

// The written file passes the header test and compiles to the picture it was written from, for
// both byte layouts; its reversed twin is found and fixed back to the same bytes.
TEST(Picture, WrittenFileCompilesToThePictureAndReversedPalettesAreFixed) {
    FakeFileService files;
    FakeMessageBox messages;
    const CompilerIo io{files, messages};
    for (int panel : {0, 3}) {
        const PanelLayout& layout = kPanelLayouts[std::size_t(panel)];
        SCOPED_TRACE(layout.name);
        picture::Settings s;
        s.conversion = Conversion::FloydSteinberg;
        picture::Rgba image{37, 23, {}};
        for (int i = 0; i < 37 * 23; ++i) {
            const auto v = static_cast<std::uint8_t>(i * 7);
            image.pixels.insert(image.pixels.end(), {v, std::uint8_t(255 - v), v, 200});
        }
        const picture::Bits bits = picture::Convert(image, layout.width, layout.height, s);
        const std::string file = picture::Bmp_File(bits);
        EXPECT_EQ(file.size(), std::size_t(62 + layout.height * Stored_Row_Size(layout.width)));
        EXPECT_TRUE(Check_Bitmap_Header(file, layout.width, layout.height));
        EXPECT_EQ(file.substr(54, 8), std::string("\0\0\0\0\xFF\xFF\xFF\0", 8));
        EXPECT_FALSE(picture::Has_Reversed_Palette(file));

        files.Put("/p.bmp", file);
        BitmapRasterArray raster;
        PanelBytesArray bytes;
        MemoryImageBytes memory{};
        ASSERT_TRUE(Load_Bitmap_Raster(io, raster, "/p.bmp", "p.bmp", layout.width, layout.height));
        layout.pageLayout ? Build_Page_Bytes(raster, bytes, layout.width, layout.height)
                          : Build_Row_Bytes(raster, bytes, layout.width, layout.height);
        Store_Panel_Bytes(bytes, memory, int(layout.base));
        const PanelPicture shown = Decode_Panel_Picture(ImageView(memory), panel, 0);
        for (int y = 0; y < layout.height; ++y) {
            for (int x = 0; x < layout.width; ++x) {
                ASSERT_EQ(shown.Dark(x, y), bits.Black(x, y)) << x << "," << y;
            }
        }

        // The same picture with the palette the other way round and every bit complemented.
        std::string reversed = file;
        reversed.replace(54, 8, std::string("\xFF\xFF\xFF\0\0\0\0\0", 8));
        for (std::size_t i = 62; i < reversed.size(); ++i) {
            reversed[i] = static_cast<char>(~reversed[i]);
        }
        EXPECT_TRUE(picture::Has_Reversed_Palette(reversed));
        EXPECT_EQ(picture::Fix_Reversed_Palette(reversed, layout.width, layout.height), file);
        EXPECT_EQ(picture::Fix_Reversed_Palette(reversed, layout.width, layout.height + 1),
                  std::nullopt);
    }
    EXPECT_EQ(picture::Output_Name("/a/b/logo.final.png", 240, 64), "logo.final_240x64.bmp");
    EXPECT_EQ(picture::Fixed_Name("/a/Logo.BMP"), "/a/Logo_lcd.bmp");
}

}  // namespace
}  // namespace lcdprog::test
