// The picture editor's drawing tools on small pictures, pixel for pixel, and the rules they all
// keep: a line is the same from either end, an ellipse is symmetric and touches its box, a fill
// stops at a diagonal wall, and nothing is drawn differently at an edge than away from it.

#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "picture/drawing.h"
#include "support/bits_rows.h"

namespace lcdprog::test {
namespace {

using namespace picture;

TEST(Drawing, LinesInEveryOctantRunEndToEndOnThePixelsNearestTheLine) {
    const Point c{10, 10};
    // The eight octants, the axes, the diagonals, exact halves (a run of 8 and 4), no length.
    const Point ends[] = {{17, 13}, {13, 17}, {7, 17}, {3, 13},  {3, 7},  {7, 3},   {13, 3},
                          {17, 7},  {18, 10}, {10, 2}, {16, 16}, {4, 16}, {14, 12}, {10, 10}};
    for (const Point end : ends) {
        SCOPED_TRACE(testing::Message() << end.x << "," << end.y);
        const Bits line = Line(Blank(21, 21), c, end, Pen::Ink);
        EXPECT_EQ(line.index, Line(Blank(21, 21), end, c, Pen::Ink).index);
        const int dx = end.x - c.x;
        const int dy = end.y - c.y;
        const bool across = std::abs(dx) >= std::abs(dy);
        const int run = across ? dx : dy;
        const int rise = across ? dy : dx;
        std::vector<bool> seen(std::size_t(std::abs(run)) + 1);
        for (int y = 0; y < 21; ++y) {
            for (int x = 0; x < 21; ++x) {
                if (!line.Black(x, y)) {
                    continue;
                }
                const int along = across ? x - c.x : y - c.y;
                const int side = across ? y - c.y : x - c.x;
                // One pixel per step along the line, between its ends, within half a pixel of it.
                ASSERT_TRUE(along * run >= 0 && std::abs(along) <= std::abs(run)) << x << "," << y;
                EXPECT_FALSE(seen[std::size_t(std::abs(along))]) << x << "," << y;
                seen[std::size_t(std::abs(along))] = true;
                EXPECT_LE(std::abs(2 * (side * run - along * rise)), std::max(std::abs(run), 1));
            }
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), std::abs(run) + 1);
    }
    // An exact half goes up, whichever end the line starts from.
    EXPECT_EQ(Rows(Line(Blank(5, 2), {4, 1}, {0, 0}, Pen::Ink)),
              (std::vector<std::string>{"###..", "...##"}));
}

// Inside the picture every tool draws what it draws on a larger picture around it, with its
// coordinates beyond all four edges: clipping changes no pixel that is shown.
TEST(Drawing, NearTheEdgesToolsDrawWhatTheyDrawOnALargerPicture) {
    const Bits piece = Bits_Of({"#.#", ".##", "#.."});
    struct Row {
        const char* name;
        std::function<Bits(Bits, Point)> draw;  // a picture, and where its (0, 0) is drawn
    };
    const Row rows[] = {
        {"stroke",
         [](Bits p, Point o) {
             return Stroke(std::move(p),
                           {{o.x - 6, o.y + 3}, {o.x + 25, o.y - 4}, {o.x + 9, o.y + 19}},
                           Pen::Ink);
         }},
        {"rectangle",
         [](Bits p, Point o) {
             return Rectangle(std::move(p), {o.x - 3, o.y - 2}, {o.x + 20, o.y + 12},
                              Shape::Outline, Pen::Ink);
         }},
        {"filled rectangle",
         [](Bits p, Point o) {
             return Rectangle(std::move(p), {o.x + 25, o.y + 7}, {o.x + 4, o.y - 9}, Shape::Filled,
                              Pen::Paper);
         }},
        {"ellipse",
         [](Bits p, Point o) {
             return Ellipse(std::move(p), {o.x - 7, o.y - 5}, {o.x + 24, o.y + 14}, Shape::Outline,
                            Pen::Ink);
         }},
        {"filled ellipse",
         [](Bits p, Point o) {
             return Ellipse(std::move(p), {o.x + 12, o.y - 6}, {o.x + 23, o.y + 15}, Shape::Filled,
                            Pen::Ink);
         }},
        {"paste",
         [&](Bits p, Point o) {
             p = Paste(std::move(p), piece, {o.x - 1, o.y - 2});
             return Paste(std::move(p), piece, {o.x + 18, o.y + 10});
         }},
        {"stamp",
         [&](Bits p, Point o) {
             p = Stamp(std::move(p), piece, {o.x - 2, o.y + 10}, Pen::Ink);
             return Stamp(std::move(p), piece, {o.x + 19, o.y - 1}, Pen::Paper);
         }},
    };
    Bits small = Blank(20, 12);
    Bits large = Blank(40, 32);
    small = Line(std::move(small), {0, 11}, {19, 0}, Pen::Ink);
    large = Line(std::move(large), {10, 21}, {29, 10}, Pen::Ink);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Bits shown = Copy_Area(row.draw(large, {10, 10}), {10, 10}, {29, 21});
        EXPECT_EQ(Rows(row.draw(small, {0, 0})), Rows(shown));
    }
}

TEST(Drawing, CoordinatesAtTheEndsOfTheirRangeAreClipped) {
    const Point low{INT_MIN, INT_MIN};
    const Point high{INT_MAX, INT_MAX};
    using R = std::vector<std::string>;
    EXPECT_EQ(Rows(Line(Blank(4, 3), low, high, Pen::Ink)), (R{"#...", ".#..", "..#."}));
    EXPECT_EQ(Rows(Line(Blank(4, 3), {INT_MIN, 1}, {INT_MAX, 1}, Pen::Ink)),
              (R{"....", "####", "...."}));
    EXPECT_EQ(Rows(Rectangle(Blank(3, 2), high, low, Shape::Filled, Pen::Ink)), (R{"###", "###"}));
    EXPECT_EQ(Rows(Rectangle(Blank(3, 2), low, high, Shape::Outline, Pen::Ink)), (R{"...", "..."}));
    EXPECT_EQ(Rows(Ellipse(Blank(3, 2), low, high, Shape::Filled, Pen::Ink)), (R{"###", "###"}));
    EXPECT_EQ(Rows(Paste(Blank(2, 1), Bits_Of({"##"}), {INT_MAX, 0})), (R{".."}));
    EXPECT_EQ(Rows(Move_Area(Bits_Of({"#."}), {0, 0}, {0, 0}, {INT_MAX, 0})), (R{".."}));
    EXPECT_EQ(Square_Corner({-5, 0}, {INT_MAX, 1}), (Point{INT_MAX, INT_MAX}));
}

TEST(Drawing, EllipsesAreSymmetricAndTouchEverySideOfTheirBox) {
    for (const Shape shape : {Shape::Outline, Shape::Filled}) {
        for (int w = 1; w <= 24; ++w) {
            for (int h = 1; h <= 24; ++h) {
                SCOPED_TRACE(testing::Message() << w << "x" << h);
                // The box from (1, 1) to (w, h) in a picture one pixel larger all round.
                const Bits e = Ellipse(Blank(w + 2, h + 2), {w, h}, {1, 1}, shape, Pen::Ink);
                const Bits filled =
                    Ellipse(Blank(w + 2, h + 2), {1, 1}, {w, h}, Shape::Filled, Pen::Ink);
                int left = 0, right = 0, top = 0, bottom = 0;
                for (int y = 0; y < h + 2; ++y) {
                    std::string row;
                    for (int x = 0; x < w + 2; ++x) {
                        const bool ink = e.Black(x, y);
                        row += ink ? '#' : '.';
                        ASSERT_EQ(ink, e.Black(w + 1 - x, y));
                        ASSERT_EQ(ink, e.Black(x, h + 1 - y));
                        ASSERT_TRUE(!ink || filled.Black(x, y));
                        left += ink && x == 1;
                        right += ink && x == w;
                        top += ink && y == 1;
                        bottom += ink && y == h;
                    }
                    // A filled row is one run.
                    if (shape == Shape::Filled && row.find('#') != std::string::npos) {
                        EXPECT_EQ(row.find_last_of('#') - row.find('#') + 1,
                                  std::size_t(std::count(row.begin(), row.end(), '#')));
                    }
                }
                EXPECT_TRUE(left > 0 && right > 0 && top > 0 && bottom > 0);
            }
        }
    }
    EXPECT_EQ(Rows(Ellipse(Blank(8, 6), {0, 0}, {7, 5}, Shape::Outline, Pen::Ink)),
              (std::vector<std::string>{"..####..", ".#....#.", "#......#", "#......#", ".#....#.",
                                        "..####.."}));
}

TEST(Drawing, FillSpreadsThroughSidesOnlyAndStopsAtDiagonalWalls) {
    struct Row {
        const char* name;
        std::vector<std::string> before;
        Point seed;
        Pen pen;
        std::vector<std::string> after;
    };
    const Row rows[] = {
        {"diagonal wall",
         {"...#", "..#.", ".#..", "#..."},
         {0, 0},
         Pen::Ink,
         {"####", "###.", "##..", "#..."}},
        {"black erased", {"##..", "#..#", "...#"}, {1, 0}, Pen::Paper, {"....", "...#", "...#"}},
        {"spiral",
         {"#######", "#.....#", "#.###.#", "#.#.#.#", "#.#...#", "#.#####", "#......"},
         {3, 3},
         Pen::Ink,
         {"#######", "#######", "#######", "#######", "#######", "#######", "#######"}},
        {"same colour", {"#.", ".."}, {1, 1}, Pen::Paper, {"#.", ".."}},
        {"outside", {"#.", ".."}, {2, 0}, Pen::Ink, {"#.", ".."}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Rows(Flood_Fill(Bits_Of(row.before), row.seed, row.pen)), row.after);
    }
}

TEST(Drawing, SelectionStepsMoveExactlyTheBoxInsideThePicture) {
    const Bits p = Bits_Of({"#..#.", "##...", "...##", ".#.#."});
    const Bits two = Bits_Of({"##", "#."});
    struct Row {
        const char* name;
        Bits result;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"copy", Copy_Area(p, {3, 2}, {1, 0}), {"..#", "#..", "..#"}},
        {"copy over an edge", Copy_Area(p, {-3, 2}, {1, 9}), {"..", ".#"}},
        {"paste over the top left", Paste(p, two, {-1, -1}), {"...#.", "##...", "...##", ".#.#."}},
        {"paste over the bottom right",
         Paste(p, two, {4, 3}),
         {"#..#.", "##...", "...##", ".#.##"}},
        {"stamp",
         Stamp(p, Bits_Of({"#.", ".#"}), {3, 0}, Pen::Paper),
         {"#....", "##...", "...##", ".#.#."}},
        {"move", Move_Area(p, {0, 0}, {1, 1}, {2, 1}), {"...#.", "..#..", "..###", ".#.#."}},
        {"move over an edge",
         Move_Area(p, {3, 2}, {4, 3}, {1, 1}),
         {"#..#.", "##...", ".....", ".#..#"}},
        {"invert",
         Transform_Area(p, AreaTool::Invert, {1, 1}, {3, 2}),
         {"#..#.", "#.##.", ".##.#", ".#.#."}},
        {"mirror horizontally",
         Transform_Area(p, AreaTool::MirrorHorizontally, {0, 0}, {4, 1}),
         {".#..#", "...##", "...##", ".#.#."}},
        {"mirror vertically",
         Transform_Area(p, AreaTool::MirrorVertically, {1, 0}, {2, 3}),
         {"##.#.", "#....", ".#.##", "...#."}},
        {"rotate over an edge",
         Transform_Area(p, AreaTool::Rotate180, {2, 1}, {9, 9}),
         {"#..#.", "##.#.", "..##.", ".#..."}},
        {"invert all", Invert_All(p), {".##.#", "..###", "###..", "#.#.#"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Rows(row.result), row.expected);
    }
}

TEST(Drawing, ShiftKeepsLinesAtMultiplesOf45DegreesAndBoxesSquare) {
    struct Row {
        Point to, line, corner;
    };
    const Row rows[] = {
        {{20, 13}, {20, 10}, {20, 20}},  // 16.7 degrees: flat
        {{20, 15}, {20, 20}, {20, 20}},  // 26.6 degrees: diagonal
        {{7, 20}, {10, 20}, {0, 20}},    // 73.3 degrees: upright, towards the pointer
        {{4, 3}, {3, 3}, {3, 3}},        // up and left, the longer side kept
        {{10, 10}, {10, 10}, {10, 10}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.to.x << "," << row.to.y);
        EXPECT_EQ(Snap_Angle({10, 10}, row.to), row.line);
        EXPECT_EQ(Square_Corner({10, 10}, row.to), row.corner);
    }
}

}  // namespace
}  // namespace lcdprog::test
