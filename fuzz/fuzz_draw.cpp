// Arbitrary bytes as a sequence of drawing steps on a panel's picture. After every step the
// picture keeps its size and holds only black and white, and each step keeps its own promise: a
// line is the same from either end, mirrors, rotation and inversions undone by themselves, a copy
// pasted back where it came from changes nothing, an ellipse is symmetric and touches its box, the
// Shift helpers give 0/45/90 degrees and squares, a fill colours its seed.
//
// Input: byte 0 picks the panel size (mod 3); then steps, each a tool byte and its arguments.
// A coordinate is one byte (-64..191, near and inside the picture) or, after a byte of 0xF0 and
// above, four bytes of any int at all.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "drawing_input.h"
#include "picture/character.h"
#include "picture/drawing.h"

namespace {

using namespace lcdprog::picture;
using lcdprog::fuzz::Check;
using lcdprog::fuzz::Input;

// A helper's result may be cut at the ends of int's range; only one that was not must be exact.
bool Near(Point p) {
    return std::abs(p.x) < (1 << 30) && std::abs(p.y) < (1 << 30);
}

void Check_Size(const Bits& p, int width, int height) {
    Check(p.width == width && p.height == height &&
          p.index.size() == std::size_t(width) * std::size_t(height));
}

bool Inside(const Bits& p, Point q) {
    return q.x >= 0 && q.y >= 0 && q.x < p.width && q.y < p.height;
}

// An ellipse alone on a picture that holds its box: symmetric about both of the box's axes,
// inside the box, touching each of its four sides.
void Check_Ellipse(const Bits& e, Point a, Point b) {
    const int left = std::min(a.x, b.x);
    const int right = std::max(a.x, b.x);
    const int top = std::min(a.y, b.y);
    const int bottom = std::max(a.y, b.y);
    bool sides[4] = {};
    for (int y = 0; y < e.height; ++y) {
        for (int x = 0; x < e.width; ++x) {
            if (!e.Black(x, y)) {
                continue;
            }
            Check(x >= left && x <= right && y >= top && y <= bottom);
            Check(e.Black(left + right - x, y) && e.Black(x, top + bottom - y));
            sides[0] |= x == left;
            sides[1] |= x == right;
            sides[2] |= y == top;
            sides[3] |= y == bottom;
        }
    }
    Check(sides[0] && sides[1] && sides[2] && sides[3]);
}

Bits Small_Raster(Input& in) {
    const int w = in.Byte() % 9;
    const int h = in.Byte() % 9;
    Bits mask = Blank(w, h);
    for (std::uint8_t& v : mask.index) {
        v = in.Byte() % 2;
    }
    return mask;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr Point kSizes[] = {{128, 64}, {240, 64}, {240, 128}};
    Input in(data, size);
    const Point panel = kSizes[in.Byte() % 3];
    Bits p = Blank(panel.x, panel.y);
    for (int step = 0; step < 64 && !in.Done(); ++step) {
        switch (in.Byte() % 12) {
            case 0: {
                std::vector<Point> points(in.Byte() % 8);
                for (Point& q : points) {
                    q = in.Where();
                }
                const Pen pen = in.Ink_Or_Paper();
                p = Stroke(std::move(p), points, pen);
                for (const Point q : points) {
                    Check(!Inside(p, q) || p.index[std::size_t(q.y * p.width + q.x)] ==
                                               static_cast<std::uint8_t>(pen));
                }
                break;
            }
            case 1: {
                const Point a = in.Where();
                const Point b = in.Where();
                const Pen pen = in.Ink_Or_Paper();
                const Bits there = Line(p, a, b, pen);
                Check(there.index == Line(p, b, a, pen).index);
                p = there;
                break;
            }
            case 2: {
                const Point a = in.Where();
                const Point b = in.Where();
                const Shape shape = in.Byte() % 2 ? Shape::Filled : Shape::Outline;
                p = Rectangle(std::move(p), a, b, shape, in.Ink_Or_Paper());
                break;
            }
            case 3: {
                const Point a = in.Where();
                const Point b = in.Where();
                const Shape shape = in.Byte() % 2 ? Shape::Filled : Shape::Outline;
                const Pen pen = in.Ink_Or_Paper();
                if (Inside(p, a) && Inside(p, b)) {
                    Check_Ellipse(Ellipse(Blank(p.width, p.height), a, b, shape, Pen::Ink), a, b);
                }
                p = Ellipse(std::move(p), a, b, shape, pen);
                break;
            }
            case 4: {
                const Point seed = in.Where();
                const Pen pen = in.Ink_Or_Paper();
                p = Flood_Fill(std::move(p), seed, pen);
                Check(!Inside(p, seed) || p.index[std::size_t(seed.y * p.width + seed.x)] ==
                                              static_cast<std::uint8_t>(pen));
                break;
            }
            case 5: {
                const Point from = in.Where();
                const Point to = in.Where();
                const Point line = Snap_Angle(from, to);
                const Point corner = Square_Corner(from, to);
                const long long dx = (long long)line.x - from.x;
                const long long dy = (long long)line.y - from.y;
                Check(!Near(line) || dx == 0 || dy == 0 || std::llabs(dx) == std::llabs(dy));
                Check(!Near(corner) || std::llabs((long long)corner.x - from.x) ==
                                           std::llabs((long long)corner.y - from.y));
                p = Line(std::move(p), from, line, Pen::Ink);
                break;
            }
            case 6: {
                const Point a = in.Where();
                const Point b = in.Where();
                const Bits piece = Copy_Area(p, a, b);
                const Point at{std::max(std::min(a.x, b.x), 0), std::max(std::min(a.y, b.y), 0)};
                Check(piece.index.empty() || Paste(p, piece, at).index == p.index);
                p = Paste(std::move(p), piece, in.Where());
                break;
            }
            case 7: {
                const Bits mask = Small_Raster(in);
                const Point at = in.Where();
                p = Stamp(std::move(p), mask, at, in.Ink_Or_Paper());
                break;
            }
            case 8: {
                const Point a = in.Where();
                const Point b = in.Where();
                p = Move_Area(std::move(p), a, b, in.Where());
                break;
            }
            case 9: {
                const auto tool = static_cast<AreaTool>(in.Byte() % 4);
                const Point a = in.Where();
                const Point b = in.Where();
                const Bits once = Transform_Area(p, tool, a, b);
                Check(Transform_Area(once, tool, a, b).index == p.index);
                p = once;
                break;
            }
            case 10: {
                const Bits once = Invert_All(p);
                Check(Invert_All(once).index == p.index);
                p = once;
                break;
            }
            default: {
                // A character raster of grey levels, as the text tool gets it from a font.
                const Bits shape = Small_Raster(in);
                CharacterRaster c{shape.width,     shape.height,    {},
                                  in.Coordinate(), in.Coordinate(), in.Coordinate()};
                for (const std::uint8_t v : shape.index) {
                    c.level.push_back(v ? in.Byte() : 0);
                }
                const int threshold = in.Byte();
                p = Draw_Character(std::move(p), Join({c, c}), threshold, in.Where(),
                                   in.Ink_Or_Paper());
                const CellPlacement cell = Place_In_Cell(c, threshold, kCell5x8);
                Check_Size(cell.cell, kCell5x8.width, kCell5x8.height);
                Check(cell.inkOutside >= 0);
                break;
            }
        }
        Check_Size(p, panel.x, panel.y);
    }
    for (const std::uint8_t v : p.index) {
        Check(v <= 1);
    }
    return 0;
}
