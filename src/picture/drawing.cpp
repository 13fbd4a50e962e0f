#include "picture/drawing.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

#include "picture/wide.h"

namespace lcdprog::picture {
namespace {

bool Valid(const Bits& p) {
    return p.width > 0 && p.height > 0 &&
           p.index.size() == static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
}

std::uint8_t Value(Pen pen) {
    return static_cast<std::uint8_t>(pen);
}

std::uint8_t& At(Bits& p, Wide x, Wide y) {
    return p.index[static_cast<std::size_t>(y * p.width + x)];
}

const std::uint8_t& At(const Bits& p, Wide x, Wide y) {
    return p.index[static_cast<std::size_t>(y * p.width + x)];
}

bool Inside(const Bits& p, Wide x, Wide y) {
    return x >= 0 && y >= 0 && x < p.width && y < p.height;
}

void Put(Bits& p, Wide x, Wide y, std::uint8_t v) {
    if (Inside(p, x, y)) {
        At(p, x, y) = v;
    }
}

// Pixels x0..x1 of row y, as far as they are inside.
void Span(Bits& p, Wide y, Wide x0, Wide x1, std::uint8_t v) {
    if (y < 0 || y >= p.height) {
        return;
    }
    x0 = std::max<Wide>(x0, 0);
    x1 = std::min<Wide>(x1, p.width - 1);
    if (x0 <= x1) {
        std::fill(&At(p, x0, y), &At(p, x1, y) + 1, v);
    }
}

// A box's pixels, both corners included.
struct Box {
    Wide left, top, right, bottom;
    bool Empty() const { return left > right || top > bottom; }
};

Box Box_Of(Point a, Point b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

Box Clipped(const Bits& p, Box b) {
    return {std::max<Wide>(b.left, 0), std::max<Wide>(b.top, 0),
            std::min<Wide>(b.right, p.width - 1), std::min<Wide>(b.bottom, p.height - 1)};
}

std::uint64_t Magnitude(Wide v) {
    return static_cast<std::uint64_t>(v < 0 ? -v : v);
}

// The whole number nearest to from + step x rise / run (run not 0), exactly for any int inputs:
// step and rise reach 2^32, so their product needs all 64 unsigned bits. An exact half goes to the
// smaller number; that depends only on the value, so a line is the same drawn from either end.
Wide Nearest(Wide from, Wide step, Wide rise, Wide run) {
    const bool negative = ((step < 0) != (rise < 0)) != (run < 0);
    const std::uint64_t n = Magnitude(step) * Magnitude(rise);
    const std::uint64_t d = Magnitude(run);
    std::uint64_t q = n / d;
    const std::uint64_t r = n % d;
    if (r > d - r || (r == d - r && negative)) {
        ++q;
    }
    return negative ? from - static_cast<Wide>(q) : from + static_cast<Wide>(q);
}

// One pixel per column of the line's longer direction, found directly rather than stepped to, so
// a line with ends far outside costs only the columns (or rows) inside the picture.
void Draw_Line(Bits& p, Point a, Point b, std::uint8_t v) {
    const Wide dx = Wide{b.x} - a.x;
    const Wide dy = Wide{b.y} - a.y;
    if (dx == 0 && dy == 0) {
        Put(p, a.x, a.y, v);
    } else if (Magnitude(dx) >= Magnitude(dy)) {
        const Wide last = std::min<Wide>(std::max(a.x, b.x), p.width - 1);
        for (Wide x = std::max<Wide>(std::min(a.x, b.x), 0); x <= last; ++x) {
            Put(p, x, Nearest(a.y, x - a.x, dy, dx), v);
        }
    } else {
        const Wide last = std::min<Wide>(std::max(a.y, b.y), p.height - 1);
        for (Wide y = std::max<Wide>(std::min(a.y, b.y), 0); y <= last; ++y) {
            Put(p, Nearest(a.x, y - a.y, dx, dy), y, v);
        }
    }
}

// An ellipse's box is cut back to this many pixels beyond the picture before it is drawn, which
// bounds the work and keeps the step arithmetic far from overflow. Only an ellipse reaching
// farther out than that is drawn flatter than it is; the editor's pointer never gets there.
constexpr Wide kReach = Wide{1} << 14;

// The midpoint ellipse of a box with even or odd sides (after A. Zingl, "A Rasterizing Algorithm
// for Drawing Curves", 2012): it starts at the middle row or two, where the ellipse touches the
// box's sides, and steps both halves outwards together, so every pixel comes with its three
// mirror images. A filled ellipse fills each row pair once, at its widest (its first) step.
void Draw_Ellipse(Bits& p, Point c0, Point c1, bool filled, std::uint8_t v) {
    const auto clamp = [](Wide value, Wide size) {
        return std::clamp<Wide>(value, -kReach, size - 1 + kReach);
    };
    const Box box = Box_Of(c0, c1);
    Wide x0 = clamp(box.left, p.width);
    Wide x1 = clamp(box.right, p.width);
    const Wide top = clamp(box.top, p.height);
    const Wide b = clamp(box.bottom, p.height) - top;
    Wide a = x1 - x0;
    Wide b1 = b & 1;
    Wide dx = 4 * (1 - a) * b * b;
    Wide dy = 4 * (b1 + 1) * a * a;
    Wide err = dx + dy + b1 * a * a;
    Wide y0 = top + (b + 1) / 2;
    Wide y1 = y0 - b1;
    a *= 8 * a;
    b1 = 8 * b * b;
    Wide filledRow = top - 1;
    const auto plot = [&](Wide left, Wide right) {
        if (!filled) {
            Put(p, left, y0, v);
            Put(p, right, y0, v);
            Put(p, left, y1, v);
            Put(p, right, y1, v);
        } else if (y0 != filledRow) {
            Span(p, y0, left, right, v);
            Span(p, y1, left, right, v);
            filledRow = y0;
        }
    };
    do {
        plot(x0, x1);
        const Wide e2 = 2 * err;
        if (e2 <= dy) {
            ++y0;
            --y1;
            dy += a;
            err += dy;
        }
        if (e2 >= dx || 2 * err > dy) {
            ++x0;
            --x1;
            dx += b1;
            err += dx;
        }
    } while (x0 <= x1);
    // A flat ellipse runs out of columns before it reaches the top and bottom rows: its tips.
    while (y0 - y1 <= b) {
        plot(x0 - 1, x1 + 1);
        ++y0;
        --y1;
    }
}

// Each pixel of `piece` that lands inside the picture, with its top-left pixel at (x, y), given to
// `lay` with the picture's pixel it lands on.
template <typename Lay>
void Lay_Over(Bits& p, const Bits& piece, Wide x, Wide y, Lay lay) {
    if (!Valid(piece)) {
        return;
    }
    const Box inside = Clipped(p, {x, y, x + piece.width - 1, y + piece.height - 1});
    for (Wide row = inside.top; row <= inside.bottom; ++row) {
        for (Wide column = inside.left; column <= inside.right; ++column) {
            lay(At(p, column, row),
                piece.index[static_cast<std::size_t>((row - y) * piece.width + (column - x))]);
        }
    }
}

std::uint8_t Inverted(std::uint8_t index) {
    return index == 0 ? 1 : 0;
}

}  // namespace

Bits Blank(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    return {width, height, std::vector<std::uint8_t>(std::size_t(width) * std::size_t(height), 1)};
}

Bits Stroke(Bits picture, const std::vector<Point>& points, Pen pen) {
    if (!Valid(picture) || points.empty()) {
        return picture;
    }
    Put(picture, points[0].x, points[0].y, Value(pen));
    for (std::size_t i = 1; i < points.size(); ++i) {
        Draw_Line(picture, points[i - 1], points[i], Value(pen));
    }
    return picture;
}

Bits Line(Bits picture, Point a, Point b, Pen pen) {
    if (Valid(picture)) {
        Draw_Line(picture, a, b, Value(pen));
    }
    return picture;
}

Bits Rectangle(Bits picture, Point a, Point b, Shape shape, Pen pen) {
    if (!Valid(picture)) {
        return picture;
    }
    const Box box = Box_Of(a, b);
    const Box inside = Clipped(picture, box);
    for (Wide y = inside.top; y <= inside.bottom; ++y) {
        if (shape == Shape::Filled || y == box.top || y == box.bottom) {
            Span(picture, y, box.left, box.right, Value(pen));
        } else {
            Put(picture, box.left, y, Value(pen));
            Put(picture, box.right, y, Value(pen));
        }
    }
    return picture;
}

Bits Ellipse(Bits picture, Point a, Point b, Shape shape, Pen pen) {
    if (Valid(picture)) {
        Draw_Ellipse(picture, a, b, shape == Shape::Filled, Value(pen));
    }
    return picture;
}

// Row by row: each popped seed is widened to its whole run in its row, which is filled, and the
// first pixel of every matching run touching it above and below becomes a seed.
Bits Flood_Fill(Bits picture, Point seed, Pen pen) {
    if (!Valid(picture) || !Inside(picture, seed.x, seed.y)) {
        return picture;
    }
    const std::uint8_t target = At(picture, seed.x, seed.y);
    const std::uint8_t v = Value(pen);
    if (target == v) {
        return picture;
    }
    std::vector<Point> seeds{seed};
    while (!seeds.empty()) {
        const Point s = seeds.back();
        seeds.pop_back();
        if (At(picture, s.x, s.y) != target) {
            continue;
        }
        int left = s.x;
        int right = s.x;
        while (left > 0 && At(picture, left - 1, s.y) == target) {
            --left;
        }
        while (right < picture.width - 1 && At(picture, right + 1, s.y) == target) {
            ++right;
        }
        Span(picture, s.y, left, right, v);
        for (const int y : {s.y - 1, s.y + 1}) {
            if (y < 0 || y >= picture.height) {
                continue;
            }
            for (int x = left; x <= right; ++x) {
                if (At(picture, x, y) == target && (x == left || At(picture, x - 1, y) != target)) {
                    seeds.push_back({x, y});
                }
            }
        }
    }
    return picture;
}

Point Snap_Angle(Point from, Point to) {
    const Wide dx = Wide{to.x} - from.x;
    const Wide dy = Wide{to.y} - from.y;
    const Wide ax = std::abs(dx);
    const Wide ay = std::abs(dy);
    // The borders between the directions lie half-way, at 22.5 degrees: tan 22.5 = 0.4142.
    if (ay * 10000 <= ax * 4142) {
        return {to.x, from.y};
    }
    if (ax * 10000 <= ay * 4142) {
        return {from.x, to.y};
    }
    const Wide d = std::max(ax, ay);
    return {To_Int(from.x + (dx < 0 ? -d : d)), To_Int(from.y + (dy < 0 ? -d : d))};
}

Point Square_Corner(Point from, Point to) {
    const Wide dx = Wide{to.x} - from.x;
    const Wide dy = Wide{to.y} - from.y;
    const Wide d = std::max(std::abs(dx), std::abs(dy));
    return {To_Int(from.x + (dx < 0 ? -d : d)), To_Int(from.y + (dy < 0 ? -d : d))};
}

Bits Copy_Area(const Bits& picture, Point a, Point b) {
    if (!Valid(picture)) {
        return {};
    }
    const Box inside = Clipped(picture, Box_Of(a, b));
    if (inside.Empty()) {
        return {};
    }
    Bits piece = Blank(int(inside.right - inside.left + 1), int(inside.bottom - inside.top + 1));
    std::uint8_t* out = piece.index.data();
    for (Wide y = inside.top; y <= inside.bottom; ++y) {
        out = std::copy(&At(picture, inside.left, y), &At(picture, inside.right, y) + 1, out);
    }
    return piece;
}

Bits Paste(Bits picture, const Bits& piece, Point at) {
    if (Valid(picture)) {
        Lay_Over(picture, piece, at.x, at.y,
                 [](std::uint8_t& to, std::uint8_t from) { to = from; });
    }
    return picture;
}

Bits Stamp(Bits picture, const Bits& mask, Point at, Pen pen) {
    if (Valid(picture)) {
        Lay_Over(picture, mask, at.x, at.y, [v = Value(pen)](std::uint8_t& to, std::uint8_t from) {
            if (from == 0) {
                to = v;
            }
        });
    }
    return picture;
}

Bits Move_Area(Bits picture, Point a, Point b, Point offset) {
    const Bits piece = Copy_Area(picture, a, b);
    if (piece.index.empty()) {
        return picture;
    }
    const Box inside = Clipped(picture, Box_Of(a, b));
    for (Wide y = inside.top; y <= inside.bottom; ++y) {
        Span(picture, y, inside.left, inside.right, Value(Pen::Paper));
    }
    Lay_Over(picture, piece, inside.left + offset.x, inside.top + offset.y,
             [](std::uint8_t& to, std::uint8_t from) { to = from; });
    return picture;
}

Bits Transform_Area(Bits picture, AreaTool tool, Point a, Point b) {
    if (!Valid(picture)) {
        return picture;
    }
    const Box inside = Clipped(picture, Box_Of(a, b));
    if (inside.Empty()) {
        return picture;
    }
    const bool across = tool == AreaTool::MirrorHorizontally || tool == AreaTool::Rotate180;
    const bool down = tool == AreaTool::MirrorVertically || tool == AreaTool::Rotate180;
    for (Wide y = inside.top; y <= inside.bottom; ++y) {
        for (Wide x = inside.left; x <= inside.right; ++x) {
            std::uint8_t& pixel = At(picture, x, y);
            if (tool == AreaTool::Invert) {
                pixel = Inverted(pixel);
                continue;
            }
            const Wide mx = across ? inside.left + inside.right - x : x;
            const Wide my = down ? inside.top + inside.bottom - y : y;
            // Each pair changes places once: from the member that comes first in reading order.
            if (my > y || (my == y && mx > x)) {
                std::swap(pixel, At(picture, mx, my));
            }
        }
    }
    return picture;
}

Bits Invert_All(Bits picture) {
    for (std::uint8_t& pixel : picture.index) {
        pixel = Inverted(pixel);
    }
    return picture;
}

}  // namespace lcdprog::picture
