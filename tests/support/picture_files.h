#pragma once

// Bitmap files written out from the file format: a 14-byte file header, a 40-byte information
// header, a palette (black, then white) up to 8 bits per pixel, and rows padded to 32-bit words.

#include <cstdint>
#include <string>

namespace lcdprog::test {

struct PictureSpec {
    int width = 128, height = 64, bitCount = 1;
    bool topDown = false;          // a negative height field: rows stored from the top
    std::string signature = "BM";  // the first two bytes
    std::uint8_t pattern = 0x5A;   // the pixel bytes (row y: pattern ^ y)
};

inline std::string Make_Picture(const PictureSpec& spec) {
    const auto rowSize = static_cast<std::uint32_t>((spec.width * spec.bitCount + 31) / 32 * 4);
    const auto colours = spec.bitCount <= 8 ? 1u << spec.bitCount : 0u;
    const std::uint32_t offset = 54 + 4 * colours;
    const std::uint32_t imageSize = rowSize * static_cast<std::uint32_t>(spec.height);
    std::string out = spec.signature;
    const auto put = [&out](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    };
    // The planes and the bit count are the two 16-bit fields, packed as one 32-bit value here.
    for (const std::uint32_t field :
         {offset + imageSize, 0u, offset, 40u, static_cast<std::uint32_t>(spec.width),
          static_cast<std::uint32_t>(spec.topDown ? -spec.height : spec.height),
          1u | (static_cast<std::uint32_t>(spec.bitCount) << 16), 0u, imageSize, 2835u, 2835u,
          colours, colours}) {
        put(field);
    }
    for (std::uint32_t i = 0; i < colours; ++i) {  // black, then white
        put(i == 0 ? 0 : 0xFFFFFF);
    }
    for (int y = 0; y < spec.height; ++y) {
        out.append(rowSize, static_cast<char>(spec.pattern ^ static_cast<std::uint8_t>(y)));
    }
    return out;
}

}  // namespace lcdprog::test
