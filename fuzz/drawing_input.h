#pragma once

// What the drawing fuzzers read their steps with: bytes as points, pens and counts, and the check
// that stops a run at the first broken promise.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "picture/drawing.h"

namespace lcdprog::fuzz {

using picture::Pen;
using picture::Point;

inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A coordinate is one byte (-64..191, near and inside the picture) or, after a byte of 0xF0 and
// above, four bytes of any int at all.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    int Coordinate() {
        const std::uint8_t b = Byte();
        if (b < 0xF0) {
            return int(b) - 64;
        }
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v = v << 8 | Byte();
        }
        return static_cast<int>(v);
    }
    Point Where() {
        const int x = Coordinate();
        return {x, Coordinate()};
    }
    Pen Ink_Or_Paper() { return Byte() % 2 ? Pen::Paper : Pen::Ink; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace lcdprog::fuzz
