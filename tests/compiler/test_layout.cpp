// The page and row layouts built from BitmapRaster, and the complemented store.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "compiler/mod_Compilatore.h"
#include "state/mod_variabili.h"

namespace lcdprog {
namespace {

// Sets raster pixel (x, y): bit 7 - (x mod 8) of row y, byte x / 8.
void Set_Pixel(int x, int y) {
    BitmapRaster.bytes[y][x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
}

void Clear_Raster(int width, int height) {
    BitmapRaster.bytes = {};
    BitmapRaster.rows = height;
    BitmapRaster.rowBytes = width == 128 ? 16 : 32;
}

struct LayoutCase {
    const char* name;
    int width;
    int height;
    bool page;
    std::vector<std::pair<int, int>> pixels;
    std::map<int, std::uint8_t> nonZero;  // every other PanelBytes byte must be 0
};

TEST(PanelLayouts, PixelsLandInTheDocumentedByteAndBit) {
    std::vector<std::pair<int, int>> row0;
    for (int x = 0; x < 8; ++x) {
        row0.push_back({x, 0});
    }
    std::vector<std::pair<int, int>> column0;
    for (int y = 0; y < 8; ++y) {
        column0.push_back({0, y});
    }
    const LayoutCase cases[] = {
        {"page: column 0 of page 0", 128, 64, true, column0, {{0, 0xFF}}},
        {"page: first eight pixels of row 0",
         128,
         64,
         true,
         row0,
         {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}}},
        {"page: top-left", 128, 64, true, {{0, 0}}, {{0, 0x01}}},
        {"page: bottom-right", 128, 64, true, {{127, 63}}, {{1023, 0x80}}},
        {"page: (8, 9) is page 1, column 8, bit 1", 128, 64, true, {{8, 9}}, {{136, 0x02}}},
        {"page: (127, 0) ends page 0", 128, 64, true, {{127, 0}}, {{127, 0x01}}},
        {"page: (0, 8) starts page 1", 128, 64, true, {{0, 8}}, {{128, 0x01}}},
        {"page: (5, 63) and (6, 56)",
         128,
         64,
         true,
         {{5, 63}, {6, 56}},
         {{901, 0x80}, {902, 0x01}}},
        {"row 240x64: top-left", 240, 64, false, {{0, 0}}, {{0, 0x80}}},
        {"row 240x64: bottom-right", 240, 64, false, {{239, 63}}, {{1919, 0x01}}},
        {"row 240x64: (8, 1) starts row 1 byte 1", 240, 64, false, {{8, 1}}, {{31, 0x80}}},
        {"row 240x64: (237, 0)", 240, 64, false, {{237, 0}}, {{29, 0x04}}},
        {"row 240x128: bottom-right", 240, 128, false, {{239, 127}}, {{3839, 0x01}}},
        {"row 240x128: (3, 100)", 240, 128, false, {{3, 100}}, {{3000, 0x10}}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        Clear_Raster(c.width, c.height);
        for (const auto& [x, y] : c.pixels) {
            Set_Pixel(x, y);
        }
        PanelBytes.bytes.fill(0xEE);
        if (c.page) {
            Build_Page_Bytes(c.width, c.height);
        } else {
            Build_Row_Bytes(c.width, c.height);
        }
        ASSERT_EQ(PanelBytes.size, c.width * c.height / 8);
        for (int i = 0; i < kPanelBytesMax; ++i) {
            const auto it = c.nonZero.find(i);
            ASSERT_EQ(PanelBytes.bytes[i], it == c.nonZero.end() ? 0 : it->second) << "byte " << i;
        }
    }
}

TEST(PanelLayouts, RowPaddingNeverReachesPanelBytes) {
    for (const int height : {64, 128}) {
        SCOPED_TRACE(height);
        Clear_Raster(240, height);
        for (int y = 0; y < height; ++y) {
            BitmapRaster.bytes[y][30] = 0xFF;
            BitmapRaster.bytes[y][31] = 0xA5;
        }
        Build_Row_Bytes(240, height);
        ASSERT_EQ(PanelBytes.size, 30 * height);
        for (int i = 0; i < kPanelBytesMax; ++i) {
            ASSERT_EQ(PanelBytes.bytes[i], 0) << "byte " << i;
        }
    }
}

TEST(PanelLayouts, WholePicturesOfOneIndexFillEveryByte) {
    struct WholeCase {
        int width;
        int height;
        bool page;
        std::uint8_t raster;
    };
    const WholeCase cases[] = {{128, 64, true, 0xFF},   {128, 64, true, 0x00},
                               {240, 64, false, 0xFF},  {240, 64, false, 0x00},
                               {240, 128, false, 0xFF}, {240, 128, false, 0x00}};
    for (const WholeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << int{c.raster});
        Clear_Raster(c.width, c.height);
        for (int y = 0; y < c.height; ++y) {
            for (int b = 0; b < c.width / 8; ++b) {
                BitmapRaster.bytes[y][b] = c.raster;
            }
        }
        PanelBytes.bytes.fill(0x5A);
        c.page ? Build_Page_Bytes(c.width, c.height) : Build_Row_Bytes(c.width, c.height);
        ASSERT_EQ(PanelBytes.size, c.width * c.height / 8);
        for (int i = 0; i < PanelBytes.size; ++i) {
            ASSERT_EQ(PanelBytes.bytes[i], c.raster) << "byte " << i;
        }
        for (int i = PanelBytes.size; i < kPanelBytesMax; ++i) {
            ASSERT_EQ(PanelBytes.bytes[i], 0) << "byte " << i;
        }
    }
}

// The store writes exactly size bytes, complemented, from base; nothing before or after.
TEST(PanelLayouts, StoreWritesTheComplementOfExactlyThePanelBytes) {
    struct StoreCase {
        int width;
        int height;
        bool page;
        int base;
        std::pair<int, int> pixel;
        int pixelOffset;
        std::uint8_t pixelStored;
    };
    const StoreCase cases[] = {
        {128, 64, true, 4096, {0, 0}, 0, 0xFE},
        {128, 64, true, 1024, {127, 63}, 1023, 0x7F},
        {240, 64, false, 8192, {0, 0}, 0, 0x7F},
        {240, 64, false, 13952, {239, 63}, 1919, 0xFE},
        {240, 128, false, 27392, {239, 127}, 3839, 0xFE},
    };
    for (const StoreCase& c : cases) {
        SCOPED_TRACE(c.base);
        Reset_Program_State();
        MemoryImage.fill(0x5A);
        Clear_Raster(c.width, c.height);
        Set_Pixel(c.pixel.first, c.pixel.second);
        c.page ? Build_Page_Bytes(c.width, c.height) : Build_Row_Bytes(c.width, c.height);
        Store_Panel_Bytes(c.base);
        const int size = c.width * c.height / 8;
        for (int a = 0; a < static_cast<int>(kMemoryImageSize); ++a) {
            std::uint8_t expected = 0x5A;
            if (a >= c.base && a < c.base + size) {
                expected = a == c.base + c.pixelOffset ? c.pixelStored : 0xFF;
            }
            ASSERT_EQ(MemoryImage[a], expected) << "address " << a;
        }
    }
}

// No region reaches past the image, but a base that would is clipped rather than written out of
// bounds.
TEST(PanelLayouts, StoreNeverWritesOutsideTheImage) {
    Reset_Program_State();
    Clear_Raster(240, 128);
    Build_Row_Bytes(240, 128);
    Store_Panel_Bytes(65536 - 10);
    for (int a = 0; a < 65536 - 10; ++a) {
        ASSERT_EQ(MemoryImage[a], 0) << a;
    }
    for (int a = 65536 - 10; a < 65536; ++a) {
        ASSERT_EQ(MemoryImage[a], 0xFF) << a;
    }
    Reset_Program_State();
    Store_Panel_Bytes(-3840 + 5);
    for (int a = 0; a < 65536; ++a) {
        ASSERT_EQ(MemoryImage[a], a < 5 ? 0xFF : 0) << a;
    }
}

}  // namespace
}  // namespace lcdprog
