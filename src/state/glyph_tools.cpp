#include "state/glyph_tools.h"

#include <algorithm>

namespace lcdprog {

GlyphColumns Apply_Glyph_Tool(GlyphTool tool, const GlyphColumns& glyph, int rows) {
    const unsigned mask = (1u << rows) - 1u;
    GlyphColumns out(glyph.size(), 0);
    const std::size_t n = glyph.size();
    for (std::size_t c = 0; c < n; ++c) {
        const unsigned column = glyph[c] & mask;
        switch (tool) {
            case GlyphTool::Clear:
                break;
            case GlyphTool::Invert:
                out[c] = ~column & mask;
                break;
            case GlyphTool::MirrorHorizontally:
                out[n - 1 - c] = column;
                break;
            case GlyphTool::MirrorVertically:
                for (int r = 0; r < rows; ++r) {
                    if (((column >> r) & 1u) != 0) {
                        out[c] |= 1u << (rows - 1 - r);
                    }
                }
                break;
            case GlyphTool::ShiftUp:
                out[c] = column >> 1;
                break;
            case GlyphTool::ShiftDown:
                out[c] = (column << 1) & mask;
                break;
            case GlyphTool::ShiftLeft:
                if (c > 0) {
                    out[c - 1] = column;
                }
                break;
            case GlyphTool::ShiftRight:
                if (c + 1 < n) {
                    out[c + 1] = column;
                }
                break;
        }
    }
    return out;
}

GlyphColumns Enlarge_Glyph(const GlyphColumns& glyph, int rows, int factor) {
    GlyphColumns large;
    for (const unsigned column : glyph) {
        unsigned tall = 0;
        for (int r = 0; r < rows; ++r) {
            if (((column >> r) & 1u) != 0) {
                tall |= ((1u << factor) - 1u) << (r * factor);
            }
        }
        large.insert(large.end(), static_cast<std::size_t>(factor), tall);
    }
    return large;
}

std::vector<std::string> Glyph_Rows(const GlyphColumns& glyph, int rows) {
    std::vector<std::string> text(static_cast<std::size_t>(rows), std::string(glyph.size(), '.'));
    for (int r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < glyph.size(); ++c) {
            if (((glyph[c] >> r) & 1u) != 0) {
                text[r][c] = '#';
            }
        }
    }
    return text;
}

std::optional<GlyphColumns> Glyph_From_Rows(const std::vector<std::string>& rows, GlyphSize size) {
    if (rows.size() != static_cast<std::size_t>(size.rows)) {
        return std::nullopt;
    }
    GlyphColumns glyph(static_cast<std::size_t>(size.columns), 0);
    for (int r = 0; r < size.rows; ++r) {
        if (rows[r].size() != static_cast<std::size_t>(size.columns)) {
            return std::nullopt;
        }
        for (int c = 0; c < size.columns; ++c) {
            if (rows[r][c] == '#') {
                glyph[c] |= 1u << r;
            } else if (rows[r][c] != '.') {
                return std::nullopt;
            }
        }
    }
    return glyph;
}

std::string Glyph_Text(const GlyphColumns& glyph, int rows) {
    std::string text;
    for (const std::string& row : Glyph_Rows(glyph, rows)) {
        text += row + "\n";
    }
    return text;
}

std::vector<std::string> Rows_Of_Text(std::string_view text) {
    std::vector<std::string> rows;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        const auto trim = [&line](std::string_view chars) {
            while (!line.empty() && chars.find(line.front()) != std::string_view::npos) {
                line.remove_prefix(1);
            }
            while (!line.empty() && chars.find(line.back()) != std::string_view::npos) {
                line.remove_suffix(1);
            }
        };
        trim(" \t\r,");
        trim("\"");
        if (!line.empty()) {
            rows.emplace_back(line);
        }
        start = end + 1;
    }
    return rows;
}

}  // namespace lcdprog
