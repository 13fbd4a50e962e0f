// Compile_Image: the 16 slots and both glyphs into the 64 KiB memory image.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "compiler/mod_Compilatore.h"
#include "main_window/picture_files.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog {
namespace {

using platform::FileStatus;
using platform::MessageIcon;
using test::FakeFileService;
using test::ShownMessage;

using Image = std::array<std::uint8_t, kMemoryImageSize>;
using PixelPredicate = std::function<bool(int x, int y)>;  // true: palette index 1

// A 1-bit bitmap: the picture selection tests' header, then rows bottom-up written out here
// from the pixel coordinates, padded to 32-bit words with 0xA5.
std::string Make_Bmp(int width, int height, const PixelPredicate& index1) {
    const int rowSize = (width + 31) / 32 * 4;
    std::string out = test::Make_Picture({width, height, 1}).substr(0, 62);
    for (int y = height - 1; y >= 0; --y) {
        for (int b = 0; b < rowSize; ++b) {
            std::uint8_t byte = b < width / 8 ? 0 : 0xA5;
            for (int bit = 0; bit < 8 && b < width / 8; ++bit) {
                byte |= index1(b * 8 + bit, y) ? static_cast<std::uint8_t>(0x80 >> bit) : 0;
            }
            out.push_back(static_cast<char>(byte));
        }
    }
    return out;
}

// The memory map written out on its own: slot i of a panel type at firstBase + i x W x H / 8.
struct Panel {
    ImageSlots* slots;
    const char* tag;
    int width, height, firstBase;
    bool page;
    int Base(int slot) const { return firstBase + slot * width * height / 8; }
    std::string Path(int slot) const {
        return "/pictures/" + std::string(tag) + "_" + std::to_string(slot) + ".bmp";
    }
};
const Panel kPanels[] = {{&Images_64128A, "64128A", 128, 64, 0x0000, true},
                         {&Images_64128E, "64128E", 128, 64, 0x1000, true},
                         {&Images_64240B, "64240B", 240, 64, 0x2000, false},
                         {&Images_128240A, "128240A", 240, 128, 0x3E00, false}};

PixelPredicate Pattern(int panel, int slot) {
    return [=](int x, int y) {
        return ((x * 7 + y * 13 + panel * 5 + slot * 3) % 11) < 4 || (x == slot && y == panel);
    };
}
PixelPredicate Uniform(bool index1) {
    return [=](int, int) { return index1; };
}

class CompileImage : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Program_State(); }

    void Fill_Slots(const std::function<PixelPredicate(int panel, int slot)>& pixel) {
        for (int p = 0; p < 4; ++p) {
            for (int i = 0; i < kSlotsPerPanel; ++i) {
                const Panel& panel = kPanels[p];
                (*panel.slots)[i] = {panel.Path(i), files.GetFileName(panel.Path(i)), panel.height,
                                     panel.width, 1};
                files.Put(panel.Path(i), Make_Bmp(panel.width, panel.height, pixel(p, i)));
            }
        }
    }

    FakeFileService files;
    test::FakeMessageBox messages;
    CompilerIo io{files, messages};
};

// The first address where the images differ; kMemoryImageSize when they are equal.
std::size_t First_Difference(const Image& actual, const Image& expected) {
    return std::mismatch(actual.begin(), actual.end(), expected.begin()).first - actual.begin();
}

// Expected from pixel coordinates alone: page layout puts pixel (x, 8p + k) in bit k of byte
// p x W + x, row layout (8b + j, y) in bit 7 - j of byte y x W / 8 + b, both complemented;
// glyph cell (c, r) goes uncomplemented into bit r % 8 of its column's byte.
TEST_F(CompileImage, GoldenImageOfSixteenPicturesAndBothGlyphs) {
    Fill_Slots(Pattern);
    Image expected{};
    for (int p = 0; p < 4; ++p) {
        const Panel& panel = kPanels[p];
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            for (int y = 0; y < panel.height; ++y) {
                for (int x = 0; x < panel.width; ++x) {
                    if (!Pattern(p, i)(x, y)) {
                        const int at =
                            panel.page ? (y / 8) * panel.width + x : y * (panel.width / 8) + x / 8;
                        expected[panel.Base(i) + at] |= 1 << (panel.page ? y % 8 : 7 - x % 8);
                    }
                }
            }
        }
    }
    for (int c = 0; c < 10; ++c) {
        for (int r = 0; r < 16; ++r) {
            if (c < 5 && r < 8 && (c + r) % 3 == 0) {
                Font_5x8[c] |= static_cast<std::uint8_t>(1 << r);
                expected[0x8000 + c] |= 1 << r;
            }
            if ((c * r) % 5 == 1 || r == 15 - c) {
                Font_10x16[c] |= static_cast<std::uint16_t>(1 << r);
                expected[(r < 8 ? 0x8005 : 0x800F) + c] |= 1 << (r % 8);
            }
        }
    }

    ASSERT_TRUE(Compile_Image(io));

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(First_Difference(MemoryImage, expected), kMemoryImageSize);
}

// Pictures of one palette index give uniform regions (index 0 -> 0xFF) in every panel type, the
// glyph bytes overwrite what was there, and 0x7A00-0x7FFF and 0x8019 up stay 0x00. Where each
// pixel and glyph cell lands is the golden image's and the decoding property's to check.
TEST_F(CompileImage, UniformPicturesGlyphBytesAndUnwrittenRanges) {
    const struct {
        const char* name;
        bool index1;
        std::array<std::uint8_t, 5> font5;
        std::array<std::uint16_t, 10> font10;
        std::vector<std::pair<int, int>> nonZero;  // every other glyph byte must be 0x00
    } cases[] = {
        {"pictures all index 0", false, {}, {}, {}},
        {"pictures all index 1, glyph bytes overwritten", true, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset_Program_State();
        Fill_Slots([&](int, int) { return Uniform(c.index1); });
        Font_5x8 = c.font5;
        Font_10x16 = c.font10;
        std::fill(&MemoryImage[0x8000], &MemoryImage[0x8019], 0xC3);
        Image expected{};
        std::fill(&expected[0], &expected[0x7A00], c.index1 ? 0x00 : 0xFF);
        for (const auto& [address, value] : c.nonZero) {
            expected[address] = static_cast<std::uint8_t>(value);
        }

        ASSERT_TRUE(Compile_Image(io));

        EXPECT_EQ(First_Difference(MemoryImage, expected), kMemoryImageSize);
    }
}

// A different picture compiled in between leaves no trace once the project is back.
TEST_F(CompileImage, TwoCompilesOfTheSameProjectGiveIdenticalImages) {
    Fill_Slots(Pattern);
    Font_5x8 = {1, 2, 3, 4, 5};
    Font_10x16 = {0xFFFF, 0x0100, 0x8001, 0, 7, 0, 0, 0, 0, 0x4000};
    ASSERT_TRUE(Compile_Image(io));
    const Image first = MemoryImage;
    Images_64128A[0] = {Images_128240A[3].FullPath, "x.bmp", 64, 128, 1};
    ASSERT_TRUE(Compile_Image(io));
    Fill_Slots(Pattern);
    ASSERT_TRUE(Compile_Image(io));
    EXPECT_EQ(First_Difference(MemoryImage, first), kMemoryImageSize);
}

// The compile stops at the first picture it cannot use: one message naming that slot's file,
// false, the earlier regions rewritten and that region, every later one and the glyphs as they
// were; nothing after the failing slot is looked at.
TEST_F(CompileImage, StopsAtTheFirstPictureItCannotUse) {
    const std::string tail = "\r\nImpossibile continuare!!";
    const struct {
        int panel, slot;
        FileStatus status;
        std::string text;
    } cases[] = {
        {2, 2, FileStatus::Missing, "File 64240B_2.bmp non trovato." + tail},
        {0, 0, FileStatus::Missing, "File 64128A_0.bmp non trovato." + tail},
        {3, 3, FileStatus::Unreadable,
         "Impossibile leggere il file 128240A_3.bmp.\r\ncannot be read" + tail},
    };
    for (const auto& c : cases) {
        const Panel& failing = kPanels[c.panel];
        SCOPED_TRACE(failing.Path(c.slot));
        Reset_Program_State();
        files = FakeFileService{};
        messages.shown.clear();
        Fill_Slots([](int, int) { return Uniform(false); });  // every region compiles to 0xFF
        Font_5x8.fill(0x11);
        c.status == FileStatus::Missing ? files.Remove(failing.Path(c.slot))
                                        : files.PutSpecial(failing.Path(c.slot), c.status);
        MemoryImage.fill(0x5A);

        EXPECT_FALSE(Compile_Image(io));

        EXPECT_EQ(messages.shown,
                  (std::vector<ShownMessage>{{c.text, "ERROR", MessageIcon::Critical}}));
        for (int a = 0; a < static_cast<int>(kMemoryImageSize); ++a) {
            ASSERT_EQ(MemoryImage[a], a < failing.Base(c.slot) ? 0xFF : 0x5A) << "address " << a;
        }
        EXPECT_EQ(files.existsAsked.back(), failing.Path(c.slot));
    }
}

}  // namespace
}  // namespace lcdprog
