#pragma once

// PNG files without QtGui: a 1-bit greyscale picture, its rows deflated by qCompress (zlib,
// which QtCore already uses), chunks with their CRC-32. Enough for what a panel shows.

#include <QByteArray>
#include <string>

#include "compiler/image_decoder.h"
#include "platform/result.h"
#include "platform/staged_files.h"

namespace lcdprog {

// The picture enlarged `scale` times, a dark pixel black and every other white.
QByteArray Png_Of(const PanelPicture& picture, int scale);

// Writes it atomically (a temporary file renamed over the name); a refusal names the file.
[[nodiscard]] platform::Result<> Write_Png(const std::string& path, const PanelPicture& picture,
                                           int scale);

// Every picture of `image` (Named_Pictures: the 16 backgrounds one pixel per pixel, the glyphs
// enlarged), each a PNG file named after it in `folder`, staged with the caller's other outputs:
// `lcdprog-cli image --png` and the preview's "Salva immagine PNG..." write the same files. The
// folder is made when missing. Refused, with a reason that starts in lower case and names the
// file or folder, when one cannot be staged.
[[nodiscard]] platform::Result<> Stage_Png_Pictures(ImageView image, const std::string& folder,
                                                    platform::StagedFiles& out);

}  // namespace lcdprog
