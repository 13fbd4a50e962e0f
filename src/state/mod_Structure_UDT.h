#pragma once

#include <string>

namespace lcdprog {

// One background picture chosen for one position of one panel type.
struct ImageSlot {
    std::string FullPath;  // as the compiler will open it
    std::string FileName;  // last component of FullPath, quoted in messages
    int Height = 0;        // pixels; always the panel's height
    int Width = 0;         // pixels; always the panel's width
};

}  // namespace lcdprog
