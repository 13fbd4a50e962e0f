#pragma once

// Picture files of any common format decoded into 8-bit RGBA, for the import dialog and
// lcdprog-cli convert. Everything after decoding is the Qt-free picture/ library.

#include <QByteArray>
#include <QImage>
#include <string>

#include "picture/picture.h"
#include "platform/result.h"

namespace lcdprog::platform {

// A picture larger than this is refused before it is decoded: the largest a panel could use
// with room to spare, and far below what would exhaust memory (RGBA plus the working copies).
inline constexpr int kImageMaxSide = 16384;
inline constexpr long long kImageMaxPixels = 40'000'000;
// What the decoder itself may allocate for one picture, whatever the file claims.
inline constexpr int kImageAllocationLimitMb = 256;
// A file longer than this is not read at all.
inline constexpr long long kImageMaxFileBytes = 64ll * 1024 * 1024;

// The open dialog's filter: "all files", then every format read here (chosen first).
std::string Image_File_Filter();

// The file at `path`, or a refusal with an Italian sentence naming it, for a missing file, a
// folder, a FIFO or a device, a file that is not a picture, is damaged or truncated, or is too
// large.
[[nodiscard]] Result<picture::Rgba> Read_Image_File(const std::string& path);
// The same for bytes already in memory (the fuzzer feeds these); the refusal's text is the
// reason alone, in lower case, without the file's name.
[[nodiscard]] Result<picture::Rgba> Decode_Image(const QByteArray& bytes);
// A picture already decoded (one on the clipboard), as the decoder hands its pixels on; false
// when there is no memory for the copy.
bool Rgba_Of(const QImage& decoded, picture::Rgba& image);

}  // namespace lcdprog::platform
