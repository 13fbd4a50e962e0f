#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_service.h"
#include "platform/message_box.h"
#include "platform/result.h"
#include "state/mod_variabili.h"

namespace lcdprog {

// What the compiler reaches the outside through: picture files and the message box.
struct CompilerIo {
    platform::FileService& files;
    platform::MessageBox& messages;
};

// The largest picture the working arrays hold: 128 rows of 32 stored bytes (a 240-wide row with
// its padding), and 240 x 128 / 8 bytes in panel layout.
constexpr int kRasterMaxRows = 128;
constexpr int kRasterMaxRowBytes = 32;
constexpr int kPanelBytesMax = 3840;
// File lengths and positions are 16-bit signed numbers: a longer picture file is refused.
constexpr std::size_t kPictureFileMaxLength = 32767;
// Bytes in front of the pixel rows of a monochrome bitmap file (file header, information header,
// two palette entries). The walk from the end of the file stops at this position.
constexpr int kBitmapHeaderSize = 62;

// The pixel rows of the picture most recently loaded, top row first. Row y, byte b: bit 7 is the
// leftmost of its eight pixels, as in the file. Only `rows` rows of `rowBytes` bytes are in use;
// the rest of the storage is always 0.
struct BitmapRasterArray {
    int rows = 0;
    int rowBytes = 0;
    std::size_t fileLength = 0;  // length of the file the rows were taken from
    std::array<std::array<std::uint8_t, kRasterMaxRowBytes>, kRasterMaxRows> bytes{};
};

// One picture in its panel's layout; `size` bytes are in use (width x height / 8).
struct PanelBytesArray {
    int size = 0;
    std::array<std::uint8_t, kPanelBytesMax> bytes{};
};

// Bytes per row as the file stores it: width / 8 rounded up to whole 32-bit words, except that a
// multiple of 4 is kept as it is (16 for width 128, 32 for width 240).
int Stored_Row_Size(int width);

// Reads the pixel rows of one picture file into `raster` (top row first). Refused, after a
// message naming fileName (the refusal's text is the message's), when the file is missing or
// cannot be read; `raster` then keeps what it held.
platform::Result<> Load_Bitmap_Raster(const CompilerIo& io, BitmapRasterArray& raster,
                                      const std::string& path, const std::string& fileName,
                                      int width, int height);
// The raster -> `panel` in the 128 x 64 panels' page layout.
void Build_Page_Bytes(const BitmapRasterArray& raster, PanelBytesArray& panel, int width,
                      int height);
// The raster -> `panel` in the 240-wide panels' row layout.
void Build_Row_Bytes(const BitmapRasterArray& raster, PanelBytesArray& panel, int width,
                     int height);
// The panel's bytes, complemented, into `image` from base upward.
void Store_Panel_Bytes(const PanelBytesArray& panel, MemoryImageBytes& image, int base);
// All 16 slots and both glyphs of `state` into a new image (0 where nothing is stored). Refused,
// after the message box, when a picture cannot be used: the refusal's text is the message's.
platform::Result<MemoryImageBytes> Compile_Image(const CompilerIo& io, const ProgramState& state);

}  // namespace lcdprog
