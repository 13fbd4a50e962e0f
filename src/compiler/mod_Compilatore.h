#pragma once

#include <string>

#include "platform/file_service.h"
#include "platform/message_box.h"

namespace lcdprog {

// What the compiler reaches the outside through: picture files and the message box.
struct CompilerIo {
    platform::FileService& files;
    platform::MessageBox& messages;
};

// Reads the pixel rows of one picture file into BitmapRaster (top row first). False, after a
// message naming fileName, when the file is missing or cannot be read.
bool Load_Bitmap_Raster(const CompilerIo& io, const std::string& path, const std::string& fileName,
                        int width, int height);
// BitmapRaster -> PanelBytes in the 128 x 64 panels' page layout.
void Build_Page_Bytes(int width, int height);
// BitmapRaster -> PanelBytes in the 240-wide panels' row layout.
void Build_Row_Bytes(int width, int height);
// PanelBytes, complemented, into MemoryImage from base upward.
void Store_Panel_Bytes(int base);
// All 16 slots and both glyphs into MemoryImage. False after a message when a picture failed.
bool Compile_Image(const CompilerIo& io);

}  // namespace lcdprog
