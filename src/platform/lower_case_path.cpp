#include "platform/lower_case_path.h"

namespace lcdprog::platform {
namespace {

// The lower-case partner of a Latin capital letter in U+00C0..U+017F, or 0 when the code point
// is to be kept as it is.
unsigned Lower_Latin(unsigned cp) {
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) {  // À..Þ without ×
        return cp + 0x20;
    }
    if (cp == 0x130 || cp == 0x131 || cp == 0x138 || cp == 0x149 || cp == 0x17F) {
        // İ and ı have no one-to-one partner; ĸ, ŉ and ſ are lower case already.
        return 0;
    }
    if (cp == 0x178) {  // Ÿ -> ÿ
        return 0xFF;
    }
    // Latin Extended-A pairs capitals with the next code point: even capitals up to U+0137 and
    // from U+014A, odd capitals in U+0139..U+0148 and U+0179..U+017E.
    const bool evenRange = (cp >= 0x100 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177);
    const bool oddRange = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
    if ((evenRange && cp % 2 == 0) || (oddRange && cp % 2 == 1)) {
        return cp + 1;
    }
    return 0;
}

}  // namespace

std::string Lower_Case_Path(std::string_view path) {
    std::string out(path);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c - 'A' + 'a');
            continue;
        }
        // A two-byte sequence with lead 0xC3..0xC5 is U+00C0..U+017F; the trail must be
        // 10xxxxxx, otherwise the bytes are not UTF-8 and are left alone.
        if (c >= 0xC3 && c <= 0xC5 && i + 1 < out.size()) {
            const auto trail = static_cast<unsigned char>(out[i + 1]);
            if ((trail & 0xC0) != 0x80) {
                continue;
            }
            const unsigned cp = ((c & 0x1Fu) << 6) | (trail & 0x3Fu);
            const unsigned lower = Lower_Latin(cp);
            if (lower != 0) {
                // Every partner lies in U+00C0..U+017F too, so it takes two bytes as well.
                out[i] = static_cast<char>(0xC0 | (lower >> 6));
                out[i + 1] = static_cast<char>(0x80 | (lower & 0x3F));
            }
            ++i;
        }
    }
    return out;
}

}  // namespace lcdprog::platform
