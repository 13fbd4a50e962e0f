#pragma once

namespace lcdprog::platform {

// Layouts are drawn in twips; at the classic 96 dpi screen a pixel is 15 twips.
constexpr int Twips(int twips) {
    return twips / 15;
}

}  // namespace lcdprog::platform
