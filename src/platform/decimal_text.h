#pragma once

#include <cmath>
#include <string>

namespace lcdprog::platform {

// A number as the operator reads it, with the Italian decimal comma and `decimals` digits after
// it ("3,5"); the C library's "%.1f" would give "3.5" whatever the locale, and the window and
// the command line must agree. Machine-read output (--json) keeps JSON's own numbers.
inline std::string Decimal_Text(double value, int decimals) {
    double scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    const long long scaled = std::llround(std::fabs(value) * scale);
    const long long whole = scaled / static_cast<long long>(scale);
    // Appended piece by piece: GCC 12 at -O3 sees a false overlap (-Wrestrict) in
    // `const char* + std::string` once this is inlined.
    std::string text;
    if (value < 0 && scaled != 0) {
        text += '-';
    }
    text += std::to_string(whole);
    if (decimals > 0) {
        std::string fraction = std::to_string(scaled % static_cast<long long>(scale));
        fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
        text += ',';
        text += fraction;
    }
    return text;
}

}  // namespace lcdprog::platform
