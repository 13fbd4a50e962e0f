#pragma once

// Positions and extents that add up sizes a damaged font or a far-off paste may make huge: kept
// in 64 bits, and cut back to int where they are handed on.

#include <algorithm>
#include <cstdint>
#include <limits>

namespace lcdprog::picture {

using Wide = std::int64_t;

inline int To_Int(Wide v) {
    return static_cast<int>(
        std::clamp<Wide>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace lcdprog::picture
