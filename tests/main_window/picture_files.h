#pragma once

// Bitmap files written out from the file format: a 14-byte file header, a 40-byte information
// header, a palette up to 8 bits per pixel, and the rows padded to whole 32-bit words.

#include <cstdint>
#include <string>

namespace lcdprog::test {

struct PictureSpec {
    int width = 128;
    int height = 64;
    int bitCount = 1;
    bool topDown = false;          // a negative height field: rows stored from the top
    std::string signature = "BM";  // the first two bytes
    std::uint8_t pattern = 0x5A;   // the pixel bytes, so two files can be told apart
};

inline std::string Make_Picture(const PictureSpec& spec) {
    const auto rowSize = static_cast<std::uint32_t>((spec.width * spec.bitCount + 31) / 32 * 4);
    const auto colours = spec.bitCount <= 8 ? 1u << spec.bitCount : 0u;
    const std::uint32_t offset = 54 + 4 * colours;
    const auto height = static_cast<std::uint32_t>(spec.topDown ? -spec.height : spec.height);
    std::string out = spec.signature;
    const auto put = [&out](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    };
    const std::uint32_t imageSize = rowSize * static_cast<std::uint32_t>(spec.height);
    const auto bitCount = static_cast<std::uint32_t>(spec.bitCount);
    // Planes (1) and the bit count are the two 16-bit fields, packed as one 32-bit value here.
    for (const std::uint32_t field :
         {offset + imageSize, 0u, offset, 40u, static_cast<std::uint32_t>(spec.width), height,
          1u | (bitCount << 16), 0u, imageSize, 2835u, 2835u, colours, colours}) {
        put(field);
    }
    for (std::uint32_t i = 0; i < colours; ++i) {  // black, white, then greys
        const std::uint32_t grey = i == 0 ? 0 : (i == 1 ? 0xFF : i * 255 / colours);
        put(grey | (grey << 8) | (grey << 16));
    }
    for (int y = 0; y < spec.height; ++y) {
        out.append(rowSize, static_cast<char>(spec.pattern ^ static_cast<std::uint8_t>(y)));
    }
    return out;
}

}  // namespace lcdprog::test
