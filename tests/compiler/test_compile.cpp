// Compile_Image: the 16 slots and both glyphs into the 64 KiB memory image and back through the
// decoder, the pictures it refuses, and the pixel rows it reads from the end of a picture file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace lcdprog {
namespace {

using platform::FileStatus;
using test::ShownMessage;

// The memory map written out on its own: slot i of a panel type at firstBase + i x W x H / 8.
struct Panel {
    int index;  // in the state's slot arrays
    const char* tag;
    int width, height, firstBase;
    bool page;
    int Base(int slot) const { return firstBase + slot * width * height / 8; }
    int Row_Size() const { return (width + 31) / 32 * 4; }
    std::string Path(int slot) const {
        return "/pictures/" + std::string(tag) + "_" + std::to_string(slot) + ".bmp";
    }
};
const Panel kPanels[] = {{0, "64128A", 128, 64, 0x0000, true},
                         {1, "64128E", 128, 64, 0x1000, true},
                         {2, "64240B", 240, 64, 0x2000, false},
                         {3, "128240A", 240, 128, 0x3E00, false}};

// Never 0 and different from its neighbours, so a byte read from the wrong place shows.
std::uint8_t File_Byte(std::size_t i) {
    return static_cast<std::uint8_t>(1 + (i * 37 + i / 251) % 255);
}

// Delivers half of what it claims for one path, as a file that shrinks while it is read.
struct ShrinkingFiles : test::FakeFileService {
    platform::FileContents Read(const std::string& path, std::size_t limit) const override {
        platform::FileContents contents = FakeFileService::Read(path, limit);
        contents.bytes.resize(contents.bytes.size() / (path == shrinking ? 2 : 1));
        return contents;
    }
    std::string shrinking;
};

struct CompileImage : ::testing::Test {
    // Every slot filled with random rows (their padding too), and the pictures' regions as
    // expected from the pixels alone: page layout puts pixel (x, 8p + k) in bit k of byte
    // p x W + x, row layout (8b + j, y) in bit 7 - j of byte y x W / 8 + b, both complemented.
    void SetUp() override {
        state = ProgramState{};
        std::mt19937 random(20240615);
        for (int k = 0; k < 16; ++k) {
            const Panel& panel = kPanels[k / 4];
            const int i = k % 4;
            pictures[k] = test::Make_Picture({panel.width, panel.height}).substr(0, 62);
            while (pictures[k].size() < 62u + panel.Row_Size() * panel.height) {
                pictures[k].push_back(static_cast<char>(random()));
            }
            state.Panel_Slots(panel.index)[i] = {panel.Path(i), files.GetFileName(panel.Path(i)),
                                                 panel.height, panel.width};
            files.Put(panel.Path(i), pictures[k]);
            for (int y = 0; y < panel.height; ++y) {
                for (int x = 0; x < panel.width; ++x) {
                    const int at =
                        panel.page ? (y / 8) * panel.width + x : y * (panel.width / 8) + x / 8;
                    expected[panel.Base(i) + at] |=
                        Index1(k, x, y) ? 0 : 1 << (panel.page ? y % 8 : 7 - x % 8);
                }
            }
        }
    }
    // The palette index of pixel (x, y) of slot k's picture, whose rows are stored bottom-up.
    bool Index1(int k, int x, int y) const {
        const Panel& panel = kPanels[k / 4];
        const auto byte = static_cast<std::uint8_t>(
            pictures[k][62 + (panel.height - 1 - y) * panel.Row_Size() + x / 8]);
        return (byte >> (7 - x % 8)) & 1;
    }

    std::string pictures[16];
    ShrinkingFiles files;
    test::FakeMessageBox messages;
    CompilerIo io{files, messages};
    ProgramState state;
    MemoryImageBytes expected{};
};

// Glyph cell (c, r) goes uncomplemented into bit r % 8 of its column's byte; every byte that no
// picture or glyph covers is 0.
TEST_F(CompileImage, GoldenImageOfSixteenPicturesAndBothGlyphsDecodesBack) {
    for (int c = 0; c < 10; ++c) {
        for (int r = 0; r < 16; ++r) {
            if (c < 5 && r < 8 && (c + r) % 3 == 0) {
                state.Font_5x8[c] |= static_cast<std::uint8_t>(1 << r);
                expected[0x8000 + c] |= 1 << r;
            }
            if ((c * r) % 5 == 1 || r == 15 - c) {
                state.Font_10x16[c] |= static_cast<std::uint16_t>(1 << r);
                expected[(r < 8 ? 0x8005 : 0x800F) + c] |= 1 << (r % 8);
            }
        }
    }
    // What the state held before does not reach the new image.
    state.MemoryImage.fill(0xC3);

    const platform::Result<MemoryImageBytes> compiled = Compile_Image(io, state);
    ASSERT_TRUE(compiled);
    const MemoryImageBytes& image = *compiled;
    const auto differ = std::mismatch(image.begin(), image.end(), expected.begin());
    EXPECT_EQ(differ.first - image.begin(), kMemoryImageSize);

    // The decoder gives back every pixel (palette index 0 is dark) and both glyphs.
    for (int k = 0; k < 16; ++k) {
        const PanelPicture picture = Decode_Panel_Picture(image, k / 4, k % 4);
        ASSERT_EQ(std::pair(picture.width, picture.height),
                  std::pair(kPanels[k / 4].width, kPanels[k / 4].height));
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                ASSERT_EQ(picture.Dark(x, y), !Index1(k, x, y)) << k << ": " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(Decode_Font_5x8(image), state.Font_5x8);
    EXPECT_EQ(Decode_Font_10x16(image), state.Font_10x16);
}

// One message naming the failing slot's file and no image; nothing after that slot is looked at.
TEST_F(CompileImage, StopsAtTheFirstPictureItCannotUse) {
    const std::string tail = "\r\nImpossibile continuare!!";
    const auto size = [&](int w, int h) {
        return "Il file 64240B_1.bmp non può essere letto come immagine di " + std::to_string(w) +
               " x " + std::to_string(h) + " pixel." + tail;
    };
    const struct {
        int panel, slot;
        FileStatus status;
        int length;  // of the file put there when status is Ok; -1 for no file at all
        std::string text;
        int width = 0, height = 0;  // the slot's, when width is not 0
        bool shrink = false;
    } cases[] = {
        {2, 2, FileStatus::Ok, -1, "File 64240B_2.bmp non trovato." + tail},
        {0, 0, FileStatus::Missing, 0, "File 64128A_0.bmp non trovato." + tail},
        {1, 3, FileStatus::NotRegular, 0, "Il file 64128E_3.bmp non è un file regolare." + tail},
        {3, 3, FileStatus::Unreadable, 0,
         "Impossibile leggere il file 128240A_3.bmp.\r\ncannot be read" + tail},
        {0, 1, FileStatus::Ok, 32768, "Il file 64128A_1.bmp supera i 32767 byte." + tail},
        {0, 2, FileStatus::Ok, 1086,
         "Impossibile leggere il file 64128A_2.bmp.\r\nIl file è cambiato durante la lettura." +
             tail,
         0, 0, true},
        {2, 0, FileStatus::Ok, 62,
         "Il file 64240B_0.bmp è vuoto o troppo corto per contenere un'immagine." + tail},
        {2, 1, FileStatus::Ok, 4158, size(7, 64), 7, 64},
        {2, 1, FileStatus::Ok, 4158, size(240, 0), 240, 0},
        {2, 1, FileStatus::Ok, 4158, size(128, 129), 128, 129},
        {2, 1, FileStatus::Ok, 4158, size(264, 64), 264, 64},
    };
    for (const auto& c : cases) {
        const Panel& failing = kPanels[c.panel];
        const std::string path = failing.Path(c.slot);
        SCOPED_TRACE(c.text);
        SetUp();
        messages.shown.clear();
        state.Font_5x8.fill(0x11);
        files.Remove(path);
        if (c.status != FileStatus::Ok) {
            files.PutSpecial(path, c.status);
        } else if (c.length >= 0) {
            files.Put(path, std::string(static_cast<std::size_t>(c.length), '\x01'));
        }
        files.shrinking = c.shrink ? path : "";
        if (c.width != 0) {
            state.Panel_Slots(failing.index)[c.slot].Width = c.width;
            state.Panel_Slots(failing.index)[c.slot].Height = c.height;
        }
        const platform::Result<MemoryImageBytes> compiled = Compile_Image(io, state);
        ASSERT_FALSE(compiled);
        EXPECT_EQ(compiled.Why().text, c.text);

        const ShownMessage shown{c.text, "ERROR", platform::MessageIcon::Critical};
        EXPECT_EQ(messages.shown, std::vector<ShownMessage>{shown});
        EXPECT_EQ(files.existsAsked.back(), path);
    }
}

// Raster byte (y, b) is file byte L - (y + 1) x S + b (zero-based) when that is 61 or more (the
// last palette byte too), else 0, whatever the header says; storage outside the picture is 0.
TEST_F(CompileImage, RasterRowsComeFromTheEndOfTheFileBottomUp) {
    BitmapRasterArray raster;
    std::memset(&raster.bytes, 0xC3, sizeof raster.bytes);  // no load leaves it
    const struct {
        int width, height;
        std::size_t length;
    } cases[] = {{128, 64, 1085},   {128, 64, 1000}, {240, 64, 1086}, {128, 64, 1089},
                 {240, 128, 32767}, {128, 64, 62},   {240, 64, 61},   {240, 128, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << ", " << c.length);
        std::string bytes(c.length, '\0');
        for (std::size_t i = 0; i < c.length; ++i) {
            bytes[i] = static_cast<char>(File_Byte(i));
        }
        files.Put("/p/logo.bmp", bytes);
        ASSERT_TRUE(Load_Bitmap_Raster(io, raster, "/p/logo.bmp", "logo.bmp", c.width, c.height));
        const int s = c.width == 128 ? 16 : 32;
        for (int y = 0; y < kRasterMaxRows; ++y) {
            for (int b = 0; b < kRasterMaxRowBytes; ++b) {
                const long offset = static_cast<long>(c.length) - (y + 1) * s + b;
                const bool inFile = y < c.height && b < s && offset >= 61;
                ASSERT_EQ(raster.bytes[y][b], inFile ? File_Byte(offset) : 0)
                    << "row " << y << " byte " << b;
            }
        }
    }
}

}  // namespace
}  // namespace lcdprog
