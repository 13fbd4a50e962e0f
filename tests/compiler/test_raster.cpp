// Reading the pixel rows of a picture file into BitmapRaster.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "compiler/mod_Compilatore.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog {
namespace {

using platform::FileStatus;
using platform::MessageIcon;
using test::FakeFileService;
using test::FakeMessageBox;
using test::ShownMessage;

const std::string kPath = "/pictures/logo.bmp";
const std::string kName = "logo.bmp";

// Byte i of a test file: never 0, and different from its neighbours, so that a byte read from
// the wrong place, or not read at all, shows.
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

class LoadBitmapRaster : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Program_State(); }

    bool Load(int width, int height) { return Load_Bitmap_Raster(io, kPath, kName, width, height); }

    // A raster that no correct load of the cases below leaves behind.
    void Fill_Raster_With_Marker() {
        for (auto& row : BitmapRaster.bytes) {
            row.fill(0xC3);
        }
        BitmapRaster.rows = 7;
        BitmapRaster.rowBytes = 5;
    }

    FakeFileService files;
    FakeMessageBox messages;
    CompilerIo io{files, messages};
};

struct ReadCase {
    const char* name;
    int width;
    int height;
    std::size_t length;
};

// For every file length, raster byte (y, b) must be the byte at zero-based offset
// L - (y + 1) x S + b when that offset is 61 or more (position 62 is the last one read), and 0
// otherwise; storage outside the picture stays 0.
TEST_F(LoadBitmapRaster, RowsComeFromTheEndOfTheFileBottomUp) {
    const ReadCase cases[] = {
        {"128x64 well formed", 128, 64, 1086},
        {"240x64 well formed", 240, 64, 2110},
        {"240x128 well formed", 240, 128, 4158},
        {"128x64 one byte short", 128, 64, 1085},
        {"128x64 of 1000 bytes", 128, 64, 1000},
        {"240x64 half the rows", 240, 64, 1086},
        {"128x64 with 3 trailing bytes", 128, 64, 1089},
        {"240x128 of the longest length", 240, 128, 32767},
        {"header only, 62 bytes", 128, 64, 62},
        {"shorter than the header", 240, 64, 61},
        {"empty", 240, 128, 0},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Fill_Raster_With_Marker();
        const std::string file = Numbered_File(c.length);
        files.Put(kPath, file);
        ASSERT_TRUE(Load(c.width, c.height));
        const int s = c.width == 128 ? 16 : 32;
        EXPECT_EQ(BitmapRaster.rows, c.height);
        EXPECT_EQ(BitmapRaster.rowBytes, s);
        for (int y = 0; y < kRasterMaxRows; ++y) {
            for (int b = 0; b < kRasterMaxRowBytes; ++b) {
                const long offset = static_cast<long>(c.length) - (y + 1) * s + b;
                std::uint8_t expected = 0;
                if (y < c.height && b < s && offset >= 61) {
                    expected = File_Byte(static_cast<std::size_t>(offset));
                }
                ASSERT_EQ(BitmapRaster.bytes[y][b], expected) << "row " << y << " byte " << b;
            }
        }
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LoadBitmapRaster, WellFormedFilesPlaceTheirFirstAndLastRowsAsDocumented) {
    struct Anchor {
        const char* name;
        int width;
        std::size_t length;
        int row;
        std::size_t firstOffset;
        int count;
    };
    const Anchor anchors[] = {
        {"240x64 row 0", 240, 2110, 0, 2078, 32},
        {"240x64 row 63", 240, 2110, 63, 62, 32},
        {"128x64 row 0", 128, 1086, 0, 1070, 16},
        {"128x64 row 63", 128, 1086, 63, 62, 16},
        // One byte short: the last palette byte becomes the leftmost byte of the bottom row.
        {"1085 bytes row 63", 128, 1085, 63, 61, 16},
        // Trailing bytes shift every row towards the end of the file.
        {"1089 bytes row 0", 128, 1089, 0, 1073, 16},
    };
    for (const Anchor& a : anchors) {
        SCOPED_TRACE(a.name);
        files.Put(kPath, Numbered_File(a.length));
        ASSERT_TRUE(Load(a.width, 64));
        for (int b = 0; b < a.count; ++b) {
            EXPECT_EQ(BitmapRaster.bytes[a.row][b], File_Byte(a.firstOffset + b)) << "byte " << b;
        }
    }
}

TEST_F(LoadBitmapRaster, ThousandByteFileLeavesTheUnreachedBottomRowsZero) {
    files.Put(kPath, Numbered_File(1000));
    ASSERT_TRUE(Load(128, 64));
    for (int b = 0; b < 16; ++b) {
        EXPECT_EQ(BitmapRaster.bytes[57][b], File_Byte(1000 - 58 * 16 + b));
    }
    const std::vector<std::uint8_t> row58(BitmapRaster.bytes[58].begin(),
                                          BitmapRaster.bytes[58].begin() + 16);
    EXPECT_EQ(row58, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, File_Byte(61), File_Byte(62),
                                                File_Byte(63), File_Byte(64), File_Byte(65),
                                                File_Byte(66), File_Byte(67), File_Byte(68),
                                                File_Byte(69), File_Byte(70), File_Byte(71)}));
    for (int y = 59; y < 64; ++y) {
        for (int b = 0; b < 16; ++b) {
            EXPECT_EQ(BitmapRaster.bytes[y][b], 0) << "row " << y << " byte " << b;
        }
    }
}

TEST_F(LoadBitmapRaster, SameFileIsReadAgainOnEveryLoad) {
    files.Put(kPath, Numbered_File(1086));
    ASSERT_TRUE(Load(128, 64));
    files.Put(kPath, std::string(1086, '\x11'));
    ASSERT_TRUE(Load(128, 64));
    EXPECT_EQ(BitmapRaster.bytes[0][0], 0x11);
    EXPECT_EQ(files.reads, (std::vector<std::string>{kPath, kPath}));
}

struct FailureCase {
    const char* name;
    std::function<void(FakeFileService&)> setup;
    int width;
    int height;
    std::string text;
    bool readAttempted;
};

// A file that is missing, cannot be read, is no regular file or is too long: one critical
// message naming the file, false, and the raster exactly as the previous load left it.
TEST_F(LoadBitmapRaster, FilesThatCannotBeUsedAreReportedOnceAndLeaveTheRasterAlone) {
    const std::string tail = "\r\nImpossibile continuare!!";
    const FailureCase cases[] = {
        {"missing", [](FakeFileService&) {}, 240, 64, "File logo.bmp non trovato." + tail, false},
        {"vanished after the existence check",
         [](FakeFileService& f) { f.PutSpecial(kPath, FileStatus::Missing); }, 240, 64,
         "File logo.bmp non trovato." + tail, true},
        {"folder or device",
         [](FakeFileService& f) { f.PutSpecial(kPath, FileStatus::NotRegular); }, 128, 64,
         "Il file logo.bmp non è un file regolare." + tail, true},
        {"unreadable", [](FakeFileService& f) { f.PutSpecial(kPath, FileStatus::Unreadable); }, 240,
         128, "Impossibile leggere il file logo.bmp.\r\ncannot be read" + tail, true},
        {"one byte too long", [](FakeFileService& f) { f.Put(kPath, Numbered_File(32768)); }, 128,
         64, "Il file logo.bmp supera i 32767 byte." + tail, true},
        {"far too long", [](FakeFileService& f) { f.Put(kPath, Numbered_File(100000)); }, 240, 64,
         "Il file logo.bmp supera i 32767 byte." + tail, true},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        files = FakeFileService{};
        messages.shown.clear();
        c.setup(files);
        Fill_Raster_With_Marker();
        const BitmapRasterArray before = BitmapRaster;

        EXPECT_FALSE(Load(c.width, c.height));

        EXPECT_EQ(messages.shown,
                  (std::vector<ShownMessage>{{c.text, "ERROR", MessageIcon::Critical}}));
        EXPECT_EQ(files.reads.size(), c.readAttempted ? 1u : 0u);
        EXPECT_EQ(BitmapRaster.rows, before.rows);
        EXPECT_EQ(BitmapRaster.rowBytes, before.rowBytes);
        EXPECT_EQ(BitmapRaster.bytes, before.bytes);
    }
}

// A file whose length changes while it is read delivers fewer bytes than it claims.
class ShrinkingFileService : public FakeFileService {
  public:
    platform::FileContents Read(const std::string& path, std::size_t limit) const override {
        platform::FileContents contents = FakeFileService::Read(path, limit);
        contents.bytes.resize(contents.bytes.size() / 2);
        return contents;
    }
};

TEST_F(LoadBitmapRaster, FileThatShrinksWhileReadIsReported) {
    ShrinkingFileService shrinking;
    shrinking.Put(kPath, Numbered_File(1086));
    Fill_Raster_With_Marker();
    const BitmapRasterArray before = BitmapRaster;
    const CompilerIo shrinkingIo{shrinking, messages};

    EXPECT_FALSE(Load_Bitmap_Raster(shrinkingIo, kPath, kName, 128, 64));

    EXPECT_EQ(
        messages.shown,
        (std::vector<ShownMessage>{{"Impossibile leggere il file logo.bmp.\r\nIl file è cambiato "
                                    "durante la lettura.\r\nImpossibile continuare!!",
                                    "ERROR", MessageIcon::Critical}}));
    EXPECT_EQ(BitmapRaster.bytes, before.bytes);
}

// Sizes that no slot ever holds are refused before anything is read or written, so no array is
// indexed outside its storage whatever the caller passes.
TEST_F(LoadBitmapRaster, SizesTheWorkingArraysCannotHoldAreRefused) {
    struct SizeCase {
        int width;
        int height;
    };
    const SizeCase cases[] = {{7, 64},   {0, 64},    {-8, 64},  {240, 0},
                              {240, -1}, {240, 129}, {264, 64}, {256, 128}};
    for (const SizeCase& c : cases) {
        const std::string size = std::to_string(c.width) + " x " + std::to_string(c.height);
        SCOPED_TRACE(size);
        files.Put(kPath, Numbered_File(4158));
        messages.shown.clear();
        Fill_Raster_With_Marker();
        const BitmapRasterArray before = BitmapRaster;

        EXPECT_FALSE(Load(c.width, c.height));

        EXPECT_EQ(
            messages.shown,
            (std::vector<ShownMessage>{{"Il file logo.bmp non può essere letto come immagine di " +
                                            size + " pixel.\r\nImpossibile continuare!!",
                                        "ERROR", MessageIcon::Critical}}));
        EXPECT_EQ(BitmapRaster.bytes, before.bytes);

        // The conversions given the same size produce nothing, and storing nothing changes
        // nothing.
        MemoryImage.fill(0x5A);
        Build_Page_Bytes(c.width, c.height);
        EXPECT_EQ(PanelBytes.size, 0);
        Store_Panel_Bytes(0);
        Build_Row_Bytes(c.width, c.height);
        EXPECT_EQ(PanelBytes.size, 0);
        Store_Panel_Bytes(0);
        EXPECT_EQ(MemoryImage[0], 0x5A);
    }
}

}  // namespace
}  // namespace lcdprog
