#pragma once

// The picture editor's drawing tools, each a pure function on a panel's 1-bit picture (`Bits`,
// picture.h: 128 x 64, 240 x 64 or 240 x 128). The picture goes in by value and comes back
// drawn on: a caller that keeps the old one for its undo history copies it in, one that does not
// moves it in, and no tool keeps anything between calls.
//
// Pixels are palette indexes, as everywhere in `Bits`: 0 is black, the dark pixel the module
// shows (the ink), 1 is white (the paper). The pencil draws with `Pen::Ink`, the eraser with
// `Pen::Paper`.
//
// Coordinates are pixels, x to the right and y down from the top-left pixel (0, 0). Every tool
// takes any coordinates at all, negative or huge: what falls outside the picture is dropped,
// nothing is ever written outside it, and the picture keeps its size. Two corners given for a
// box may be in any order and both belong to it. A picture whose pixel vector does not match
// its size comes back unchanged.

#include <cstdint>
#include <vector>

#include "picture/picture.h"

namespace lcdprog::picture {

enum class Pen : std::uint8_t {
    Ink = 0,    // black, palette index 0
    Paper = 1,  // white, palette index 1
};

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(Point, Point) = default;
};

enum class Shape { Outline, Filled };

// A white picture.
Bits Blank(int width, int height);

// The pencil and the eraser: one line from each point to the next (a single point is one pixel).
Bits Stroke(Bits picture, const std::vector<Point>& points, Pen pen);

// The pixels nearest to the straight line from a to b, one per column (or per row when the line
// is steeper than 45 degrees), with both ends drawn. Drawn from b to a it is the same pixels.
Bits Line(Bits picture, Point a, Point b, Pen pen);

// The box with corners a and b: its border one pixel wide, or all of it.
Bits Rectangle(Bits picture, Point a, Point b, Shape shape, Pen pen);

// The ellipse inscribed in the box with corners a and b: it touches all four sides of the box and
// is symmetric about both of the box's axes, for any size (a box one pixel wide is a line).
Bits Ellipse(Bits picture, Point a, Point b, Shape shape, Pen pen);

// The region around `seed` of pixels of the seed's colour, joined through their sides only: a
// diagonal step is a wall, so a line drawn with the line tool holds the fill. A seed outside the
// picture changes nothing.
Bits Flood_Fill(Bits picture, Point seed, Pen pen);

// Shift while drawing a line: the end moved to the nearest direction of 0, 45 or 90 degrees from
// `from`, on the pointer's column or row (whichever is farther from `from`), so the end stays
// under the pointer along the line's main direction.
Point Snap_Angle(Point from, Point to);
// Shift while drawing a rectangle or an ellipse: the corner opposite `from` moved so that the box
// is square, its side the longer of the two, towards the pointer.
Point Square_Corner(Point from, Point to);

// The rectangular selection. Its box is clipped to the picture first; what a step does to the
// clipped box is what the operator sees. A cut is `Copy_Area` followed by a filled paper
// `Rectangle` on the same box.

// The pixels of the box inside the picture (an empty picture when the box misses it); its
// top-left pixel is the box's top-left corner clipped to the picture.
Bits Copy_Area(const Bits& picture, Point a, Point b);
// `piece` laid over the picture with its top-left pixel at `at`, every one of its pixels.
Bits Paste(Bits picture, const Bits& piece, Point at);
// Only the black pixels of `mask`, drawn with `pen`, top-left at `at`: text and other rasters
// drawn over the picture, the rest of it left as it is.
Bits Stamp(Bits picture, const Bits& mask, Point at, Pen pen);
// The box's pixels moved by `offset`; the place they leave becomes paper, and what they cover is
// replaced.
Bits Move_Area(Bits picture, Point a, Point b, Point offset);

enum class AreaTool {
    Invert,
    MirrorHorizontally,  // left and right change places
    MirrorVertically,    // top and bottom change places
    Rotate180,
};
Bits Transform_Area(Bits picture, AreaTool tool, Point a, Point b);

// Black and white exchanged everywhere.
Bits Invert_All(Bits picture);

}  // namespace lcdprog::picture
