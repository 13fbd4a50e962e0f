#pragma once

// 1-bit pictures written as rows of '#' (black) and '.' (white), top row first, so that a test
// states the exact pixels it expects.

#include <string>
#include <vector>

#include "picture/picture.h"

namespace lcdprog::test {

inline std::vector<std::string> Rows(const picture::Bits& bits) {
    std::vector<std::string> rows;
    for (int y = 0; y < bits.height; ++y) {
        std::string row;
        for (int x = 0; x < bits.width; ++x) {
            row += bits.Black(x, y) ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

inline picture::Bits Bits_Of(const std::vector<std::string>& rows) {
    picture::Bits bits{rows.empty() ? 0 : int(rows[0].size()), int(rows.size()), {}};
    for (const std::string& row : rows) {
        for (const char c : row) {
            bits.index.push_back(c == '#' ? 0 : 1);
        }
    }
    return bits;
}

}  // namespace lcdprog::test
