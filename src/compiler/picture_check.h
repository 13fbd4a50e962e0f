#pragma once

// Whether a file can be a slot's picture: the bitmap header test of the picture selection, and
// the whole check a picture named by a project (or an import) goes through before it takes its
// slot. The window, the project reader and the command line all ask here.

#include <string>
#include <string_view>

#include "platform/file_service.h"
#include "platform/result.h"

namespace lcdprog {

// True when the file's bitmap header has exactly the expected width and height, one plane and
// one bit per pixel. Only the first 62 bytes are read; what a shorter or missing file lacks reads
// as 0. "" is never a bitmap.
bool Check_Bitmap_Header(const platform::FileService& files, const std::string& path,
                         int expectedWidth, int expectedHeight);
// The same test on bytes already read from the start of the file.
bool Check_Bitmap_Header(std::string_view bytes, int expectedWidth, int expectedHeight);

// Whether the file at `path` can be a picture of width x height: there, readable, a regular file,
// the right header, and no longer than the compiler reads. A refusal says why in the operator's
// words, as a list line ends ("file non trovato", "supera i 32767 byte", ...).
platform::Result<> Check_Picture_File(const platform::FileService& files, const std::string& path,
                                      int width, int height);

}  // namespace lcdprog
