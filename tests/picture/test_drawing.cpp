// The picture editor's drawing tools on small pictures, pixel for pixel: lines on the nearest
// pixels from either end, ellipses of every parity, fills stopped by diagonal walls, the
// selection's steps, and nothing drawn differently at an edge than away from it. The fuzzer
// checks the same rules over random sequences of steps.

#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "picture/drawing.h"
#include "support/bits_rows.h"

namespace lcdprog::test {
namespace {

using namespace picture;
using R = std::vector<std::string>;

TEST(Drawing, LinesInEveryOctantRunEndToEndOnThePixelsNearestTheLine) {
    const Point c{10, 10};
    // The eight octants, the axes, the diagonals, exact halves (runs of 8 and 4), no length.
    const Point ends[] = {{17, 13}, {13, 17}, {7, 17}, {3, 13},  {3, 7},  {7, 3},   {13, 3},
                          {17, 7},  {18, 10}, {10, 2}, {16, 16}, {4, 16}, {14, 12}, {10, 10}};
    for (const Point end : ends) {
        SCOPED_TRACE(testing::Message() << end.x << "," << end.y);
        const Bits line = Line(Blank(21, 21), c, end, Pen::Ink);
        EXPECT_EQ(line.index, Line(Blank(21, 21), end, c, Pen::Ink).index);
        const bool across = std::abs(end.x - c.x) >= std::abs(end.y - c.y);
        const int run = across ? end.x - c.x : end.y - c.y;
        const int rise = across ? end.y - c.y : end.x - c.x;
        std::vector<int> perStep(std::size_t(std::abs(run)) + 1);
        for (int y = 0; y < 21; ++y) {
            for (int x = 0; x < 21; ++x) {
                const int along = across ? x - c.x : y - c.y;
                const int side = across ? y - c.y : x - c.x;
                if (line.Black(x, y)) {
                    // Between the ends, within half a pixel of the line.
                    ASSERT_TRUE(along * run >= 0 && std::abs(along) <= std::abs(run));
                    ++perStep[std::size_t(std::abs(along))];
                    EXPECT_LE(std::abs(2 * (side * run - along * rise)),
                              std::max(std::abs(run), 1));
                }
            }
        }
        EXPECT_EQ(perStep, std::vector<int>(perStep.size(), 1));
    }
    // An exact half goes up, whichever end the line starts from.
    EXPECT_EQ(Rows(Line(Blank(5, 2), {4, 1}, {0, 0}, Pen::Ink)), (R{"###..", "...##"}));
}

// Inside the picture a shape is what it is on a larger picture around it, its coordinates beyond
// all four edges or at the ends of int's range: clipping changes no pixel that is shown.
TEST(Drawing, ClippingAtEveryEdgeChangesNoPixelInside) {
    const std::function<Bits(Bits, int)> shapes[] = {
        [](Bits p, int o) {
            return Stroke(std::move(p), {{o - 6, o + 3}, {o + 25, o - 4}, {o + 9, o + 19}},
                          Pen::Ink);
        },
        [](Bits p, int o) {
            return Rectangle(std::move(p), {o - 3, o - 2}, {o + 20, o + 12}, Shape::Outline,
                             Pen::Ink);
        },
        [](Bits p, int o) {
            return Ellipse(std::move(p), {o - 7, o - 5}, {o + 24, o + 14}, Shape::Outline,
                           Pen::Ink);
        },
        [](Bits p, int o) {
            return Ellipse(std::move(p), {o + 12, o - 6}, {o + 23, o + 15}, Shape::Filled,
                           Pen::Ink);
        },
    };
    for (const auto& shape : shapes) {
        EXPECT_EQ(Rows(shape(Blank(20, 12), 0)),
                  Rows(Copy_Area(shape(Blank(40, 32), 10), {10, 10}, {29, 21})));
    }
    const Point low{INT_MIN, INT_MIN};
    const Point high{INT_MAX, INT_MAX};
    EXPECT_EQ(Rows(Line(Blank(4, 3), low, high, Pen::Ink)), (R{"#...", ".#..", "..#."}));
    EXPECT_EQ(Rows(Rectangle(Blank(3, 2), high, low, Shape::Filled, Pen::Ink)), (R{"###", "###"}));
    EXPECT_EQ(Rows(Rectangle(Blank(3, 2), low, high, Shape::Outline, Pen::Ink)), (R{"...", "..."}));
    EXPECT_EQ(Rows(Ellipse(Blank(3, 2), low, high, Shape::Filled, Pen::Ink)), (R{"###", "###"}));
    EXPECT_EQ(Rows(Move_Area(Bits_Of({"#."}), {0, 0}, {0, 0}, {INT_MAX, 0})), (R{".."}));
    EXPECT_EQ(Square_Corner({-5, 0}, {INT_MAX, 1}), high);
}

// Symmetric about both axes of the box and touching all four of its sides, for even and odd
// sizes down to one pixel.
TEST(Drawing, EllipsesFillTheirBoxSymmetrically) {
    struct Row {
        int width, height;
        Shape shape;
        R expected;
    };
    const Row rows[] = {
        {8,
         6,
         Shape::Outline,
         {"..####..", ".#....#.", "#......#", "#......#", ".#....#.", "..####.."}},
        {7, 5, Shape::Outline, {"..###..", ".#...#.", "#.....#", ".#...#.", "..###.."}},
        {6, 4, Shape::Filled, {".####.", "######", "######", ".####."}},
        {7, 2, Shape::Outline, {"#######", "#######"}},
        {1, 3, Shape::Outline, {"#", "#", "#"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height);
        const Bits e = Ellipse(Blank(row.width, row.height), {row.width - 1, row.height - 1},
                               {0, 0}, row.shape, Pen::Ink);
        EXPECT_EQ(Rows(e), row.expected);
    }
}

TEST(Drawing, FillSpreadsThroughSidesOnlyAndStopsAtDiagonalWalls) {
    struct Row {
        R before;
        Point seed;
        Pen pen;
        R after;
    };
    const Row rows[] = {
        {{"...#", "..#.", ".#..", "#..."}, {0, 0}, Pen::Ink, {"####", "###.", "##..", "#..."}},
        {{"##..", "#..#", "...#"}, {1, 0}, Pen::Paper, {"....", "...#", "...#"}},
        // Runs found above and below, to the left and to the right of the one being filled.
        {{"#####", "#...#", "#.#.#", "#.#..", "#.###", "#...."},
         {3, 2},
         Pen::Ink,
         {"#####", "#####", "#####", "#####", "#####", "#####"}},
        {{"#.", ".."}, {1, 1}, Pen::Paper, {"#.", ".."}},
        {{"#.", ".."}, {2, 0}, Pen::Ink, {"#.", ".."}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Rows(Flood_Fill(Bits_Of(row.before), row.seed, row.pen)), row.after);
    }
}

TEST(Drawing, SelectionStepsChangeExactlyTheBoxInsideThePicture) {
    const Bits p = Bits_Of({"#..#.", "##...", "...##", ".#.#."});
    const Bits two = Bits_Of({"##", "#."});
    const std::pair<Bits, R> rows[] = {
        {Copy_Area(p, {3, 2}, {1, 0}), {"..#", "#..", "..#"}},
        {Copy_Area(p, {-3, 2}, {1, 9}), {"..", ".#"}},
        {Paste(p, two, {-1, -1}), {"...#.", "##...", "...##", ".#.#."}},
        {Paste(p, two, {4, 3}), {"#..#.", "##...", "...##", ".#.##"}},
        {Stamp(p, Bits_Of({"#.", ".#"}), {3, 0}, Pen::Paper), {"#....", "##...", "...##", ".#.#."}},
        {Move_Area(p, {0, 0}, {1, 1}, {2, 1}), {"...#.", "..#..", "..###", ".#.#."}},
        {Move_Area(p, {3, 2}, {4, 3}, {1, 1}), {"#..#.", "##...", ".....", ".#..#"}},
        {Transform_Area(p, AreaTool::Invert, {1, 1}, {3, 2}), {"#..#.", "#.##.", ".##.#", ".#.#."}},
        {Transform_Area(p, AreaTool::MirrorHorizontally, {0, 0}, {4, 1}),
         {".#..#", "...##", "...##", ".#.#."}},
        {Transform_Area(p, AreaTool::MirrorVertically, {1, 0}, {2, 3}),
         {"##.#.", "#....", ".#.##", "...#."}},
        {Transform_Area(p, AreaTool::Rotate180, {2, 1}, {9, 9}),
         {"#..#.", "##.#.", "..##.", ".#..."}},
        {Invert_All(p), {".##.#", "..###", "###..", "#.#.#"}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(Rows(rows[i].first), rows[i].second) << "row " << i;
    }
}

TEST(Drawing, ShiftKeepsLinesAtMultiplesOf45DegreesAndBoxesSquare) {
    struct Row {
        Point to, line, corner;
    };
    const Row rows[] = {
        {{20, 13}, {20, 10}, {20, 20}},  // 16.7 degrees: flat
        {{20, 15}, {20, 20}, {20, 20}},  // 26.6 degrees: diagonal
        {{7, 20}, {10, 20}, {0, 20}},    // 73.3 degrees: upright; the square towards the pointer
        {{4, 3}, {3, 3}, {3, 3}},        // up and left: the longer side kept
        {{10, 10}, {10, 10}, {10, 10}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Snap_Angle({10, 10}, row.to), row.line) << row.to.x << "," << row.to.y;
        EXPECT_EQ(Square_Corner({10, 10}, row.to), row.corner) << row.to.x << "," << row.to.y;
    }
}

}  // namespace
}  // namespace lcdprog::test
