#pragma once

// Builds monochrome bitmap files for the compiler tests from a pixel predicate, independently of
// the compiler's own code: the file layout is written out here from the file format itself.

#include <cstdint>
#include <functional>
#include <string>

namespace lcdprog::test {

// True where the pixel (x from the left, y from the top) has palette index 1.
using PixelPredicate = std::function<bool(int x, int y)>;

inline void Put_Le(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// A 1-bit Windows bitmap: 14-byte file header, 40-byte information header, a black and a white
// palette entry, then the rows bottom-up, each padded to whole 32-bit words with `padding`.
inline std::string Make_Bmp(int width, int height, const PixelPredicate& index1,
                            std::uint8_t padding = 0x00) {
    const int rowSize = (width + 31) / 32 * 4;
    const std::uint32_t imageSize = static_cast<std::uint32_t>(rowSize * height);
    std::string out;
    out += "BM";
    Put_Le(out, 62 + imageSize, 4);
    Put_Le(out, 0, 4);
    Put_Le(out, 62, 4);
    Put_Le(out, 40, 4);
    Put_Le(out, static_cast<std::uint32_t>(width), 4);
    Put_Le(out, static_cast<std::uint32_t>(height), 4);
    Put_Le(out, 1, 2);
    Put_Le(out, 1, 2);
    Put_Le(out, 0, 4);
    Put_Le(out, imageSize, 4);
    Put_Le(out, 2835, 4);
    Put_Le(out, 2835, 4);
    Put_Le(out, 2, 4);
    Put_Le(out, 2, 4);
    Put_Le(out, 0x00000000, 4);
    Put_Le(out, 0x00FFFFFF, 4);
    for (int y = height - 1; y >= 0; --y) {
        for (int b = 0; b < rowSize; ++b) {
            std::uint8_t byte = 0;
            if (b < width / 8) {
                for (int bit = 0; bit < 8; ++bit) {
                    if (index1(b * 8 + bit, y)) {
                        byte |= static_cast<std::uint8_t>(0x80 >> bit);
                    }
                }
            } else {
                byte = padding;
            }
            out.push_back(static_cast<char>(byte));
        }
    }
    return out;
}

}  // namespace lcdprog::test
