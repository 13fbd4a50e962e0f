#pragma once

// Bitmap files for the picture selection tests, written out from the file format: a 14-byte
// file header, a 40-byte information header, a palette for 1, 4 and 8 bits per pixel, and the
// rows padded to whole 32-bit words.

#include <cstdint>
#include <string>

namespace lcdprog::test {

inline void Put_Le_Bytes(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

struct PictureSpec {
    int width = 128;
    int height = 64;
    int bitCount = 1;
    bool topDown = false;          // a negative height field: rows stored from the top
    std::string signature = "BM";  // the first two bytes
    std::uint8_t pattern = 0x5A;   // the pixel bytes, so two files can be told apart
};

inline std::string Make_Picture(const PictureSpec& spec) {
    const int rowSize = (spec.width * spec.bitCount + 31) / 32 * 4;
    const std::uint32_t imageSize = static_cast<std::uint32_t>(rowSize * spec.height);
    const int colours = spec.bitCount <= 8 ? 1 << spec.bitCount : 0;
    const std::uint32_t offset = 54 + 4 * static_cast<std::uint32_t>(colours);
    std::string out = spec.signature;
    Put_Le_Bytes(out, offset + imageSize, 4);
    Put_Le_Bytes(out, 0, 4);
    Put_Le_Bytes(out, offset, 4);
    Put_Le_Bytes(out, 40, 4);
    Put_Le_Bytes(out, static_cast<std::uint32_t>(spec.width), 4);
    Put_Le_Bytes(out, static_cast<std::uint32_t>(spec.topDown ? -spec.height : spec.height), 4);
    Put_Le_Bytes(out, 1, 2);
    Put_Le_Bytes(out, static_cast<std::uint32_t>(spec.bitCount), 2);
    Put_Le_Bytes(out, 0, 4);
    Put_Le_Bytes(out, imageSize, 4);
    Put_Le_Bytes(out, 2835, 4);
    Put_Le_Bytes(out, 2835, 4);
    Put_Le_Bytes(out, static_cast<std::uint32_t>(colours), 4);
    Put_Le_Bytes(out, static_cast<std::uint32_t>(colours), 4);
    for (int i = 0; i < colours; ++i) {
        // Black first, then white, then greys.
        const std::uint32_t grey =
            i == 0 ? 0 : (i == 1 ? 0xFF : static_cast<std::uint32_t>(i * 255 / colours));
        Put_Le_Bytes(out, grey | (grey << 8) | (grey << 16), 4);
    }
    for (int y = 0; y < spec.height; ++y) {
        for (int b = 0; b < rowSize; ++b) {
            out.push_back(static_cast<char>(spec.pattern ^ static_cast<std::uint8_t>(y)));
        }
    }
    return out;
}

}  // namespace lcdprog::test
