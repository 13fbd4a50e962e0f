// Reading pixel rows into BitmapRaster, the page and row layouts, and the complemented store.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "compiler/mod_Compilatore.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog {
namespace {

using platform::FileStatus;
using test::FakeFileService;
using test::ShownMessage;

const std::string kPath = "/pictures/logo.bmp";

// Never 0 and different from its neighbours, so a byte read from the wrong place shows.
std::uint8_t File_Byte(std::size_t i) {
    return static_cast<std::uint8_t>(1 + (i * 37 + i / 251) % 255);
}
std::string Numbered_File(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>(File_Byte(i));
    }
    return bytes;
}

// Delivers half of what it claims, as a file that shrinks while it is read.
class ShrinkingFiles : public FakeFileService {
  public:
    platform::FileContents Read(const std::string& path, std::size_t limit) const override {
        platform::FileContents contents = FakeFileService::Read(path, limit);
        contents.bytes.resize(shrink ? contents.bytes.size() / 2 : contents.bytes.size());
        return contents;
    }
    bool shrink = false;
};

class LoadBitmapRaster : public ::testing::Test {
  protected:
    void SetUp() override {
        Reset_Program_State();
        for (auto& row : BitmapRaster.bytes) {
            row.fill(0xC3);  // no correct load leaves this behind
        }
    }
    bool Load(int width, int height) {
        return Load_Bitmap_Raster(io, kPath, "logo.bmp", width, height);
    }

    ShrinkingFiles files;
    test::FakeMessageBox messages;
    CompilerIo io{files, messages};
};

// Raster byte (y, b) is the byte at zero-based offset L - (y + 1) x S + b when that offset is
// 61 or more (one byte short: the last palette byte becomes the bottom row's leftmost byte),
// and 0 otherwise; storage outside the picture stays 0.
TEST_F(LoadBitmapRaster, RowsComeFromTheEndOfTheFileBottomUp) {
    const struct {
        int width, height;
        std::size_t length;
    } cases[] = {{128, 64, 1086}, {240, 64, 2110}, {240, 128, 4158}, {128, 64, 1085},
                 {128, 64, 1000}, {240, 64, 1086}, {128, 64, 1089},  {240, 128, 32767},
                 {128, 64, 62},   {240, 64, 61},   {240, 128, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << ", " << c.length);
        files.Put(kPath, Numbered_File(c.length));
        ASSERT_TRUE(Load(c.width, c.height));
        const int s = c.width == 128 ? 16 : 32;
        for (int y = 0; y < kRasterMaxRows; ++y) {
            for (int b = 0; b < kRasterMaxRowBytes; ++b) {
                const long offset = static_cast<long>(c.length) - (y + 1) * s + b;
                const bool inFile = y < c.height && b < s && offset >= 61;
                ASSERT_EQ(BitmapRaster.bytes[y][b], inFile ? File_Byte(offset) : 0)
                    << "row " << y << " byte " << b;
            }
        }
    }
    EXPECT_TRUE(messages.shown.empty());
}

// One critical message naming the file, false, and the raster as it was. Sizes no slot holds
// are refused before anything is read, and the layouts make nothing of them.
TEST_F(LoadBitmapRaster, FilesThatCannotBeUsedAreReportedOnceAndLeaveTheRasterAlone) {
    const std::string tail = "\r\nImpossibile continuare!!";
    const auto size = [&](int w, int h) {
        return "Il file logo.bmp non può essere letto come immagine di " + std::to_string(w) +
               " x " + std::to_string(h) + " pixel." + tail;
    };
    const struct {
        int width, height;
        FileStatus status;
        int length;  // of the file put there when status is Ok; -1 for no file at all
        std::string text;
        bool shrink = false;
    } cases[] = {
        {240, 64, FileStatus::Ok, -1, "File logo.bmp non trovato." + tail},
        {240, 64, FileStatus::Missing, 0, "File logo.bmp non trovato." + tail},
        {128, 64, FileStatus::NotRegular, 0, "Il file logo.bmp non è un file regolare." + tail},
        {240, 128, FileStatus::Unreadable, 0,
         "Impossibile leggere il file logo.bmp.\r\ncannot be read" + tail},
        {128, 64, FileStatus::Ok, 32768, "Il file logo.bmp supera i 32767 byte." + tail},
        {128, 64, FileStatus::Ok, 1086,
         "Impossibile leggere il file logo.bmp.\r\nIl file è cambiato durante la lettura." + tail,
         true},
        {7, 64, FileStatus::Ok, 4158, size(7, 64)},
        {240, 0, FileStatus::Ok, 4158, size(240, 0)},
        {128, 129, FileStatus::Ok, 4158, size(128, 129)},
        {264, 64, FileStatus::Ok, 4158, size(264, 64)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        files = ShrinkingFiles{};
        messages.shown.clear();
        if (c.status != FileStatus::Ok) {
            files.PutSpecial(kPath, c.status);
        } else if (c.length >= 0) {
            files.Put(kPath, Numbered_File(static_cast<std::size_t>(c.length)));
        }
        files.shrink = c.shrink;
        const BitmapRasterArray before = BitmapRaster;

        EXPECT_FALSE(Load(c.width, c.height));

        EXPECT_EQ(messages.shown,
                  (std::vector<ShownMessage>{{c.text, "ERROR", platform::MessageIcon::Critical}}));
        EXPECT_EQ(BitmapRaster.bytes, before.bytes);
        for (auto build : {Build_Page_Bytes, Build_Row_Bytes}) {
            build(c.width, c.height);
            EXPECT_TRUE(c.text != size(c.width, c.height) || PanelBytes.size == 0);
        }
    }
}

// A base that would reach past either end of the image is clipped, not written out of bounds.
TEST(PanelLayouts, StoreNeverWritesOutsideTheImage) {
    for (const int base : {65536 - 10, -3840 + 5}) {
        Reset_Program_State();
        BitmapRaster.bytes = {};
        Build_Row_Bytes(240, 128);
        Store_Panel_Bytes(base);
        for (int a = 0; a < 65536; ++a) {
            ASSERT_EQ(MemoryImage[a], a >= base && a < base + 3840 ? 0xFF : 0) << a;
        }
    }
}

}  // namespace
}  // namespace lcdprog
