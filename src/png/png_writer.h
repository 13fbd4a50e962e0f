#pragma once

// PNG files without QtGui: a 1-bit greyscale picture, its rows deflated by qCompress (zlib,
// which QtCore already uses), chunks with their CRC-32. Enough for what a panel shows.

#include <QByteArray>
#include <string>

#include "compiler/image_decoder.h"

namespace lcdprog {

// The picture enlarged `scale` times, a dark pixel black and every other white.
QByteArray Png_Of(const PanelPicture& picture, int scale);

// Writes it atomically (a temporary file renamed over the name). False with a reason.
bool Write_Png(const std::string& path, const PanelPicture& picture, int scale, std::string& error);

}  // namespace lcdprog
