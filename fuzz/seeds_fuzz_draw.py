"""Seeds for fuzz_draw: byte 0 picks the panel (mod 3), then steps, each a tool byte (mod 12)
and its arguments. A coordinate is one byte (value - 64) or 0xF0 and four bytes of an int."""
import struct


def near(v):
    return bytes([v + 64])


def far(v):
    return b"\xf0" + struct.pack(">i", v)


def point(x, y):
    return (near(x) if -64 <= x < 176 else far(x)) + (near(y) if -64 <= y < 176 else far(y))


STROKE, LINE, RECTANGLE, ELLIPSE, FILL, SHIFT, COPY_PASTE, STAMP, MOVE, AREA, INVERT, TEXT = \
    range(12)
INK, PAPER = b"\0", b"\1"


def seeds():
    frame = (bytes([RECTANGLE]) + point(2, 2) + point(125, 61) + b"\0" + INK
             + bytes([ELLIPSE]) + point(10, 10) + point(50, 40) + b"\1" + INK
             + bytes([FILL]) + point(5, 5) + INK)
    lines = b"".join(bytes([LINE]) + point(60, 30) + point(x, y) + INK
                     for x, y in [(90, 35), (65, 60), (55, 60), (30, 35), (30, 25), (55, 0),
                                  (65, 0), (90, 25)])
    selection = (bytes([STROKE, 4]) + point(0, 0) + point(20, 9) + point(3, 30) + point(40, 40)
                 + INK + bytes([COPY_PASTE]) + point(0, 0) + point(30, 30) + point(-10, 50)
                 + bytes([MOVE]) + point(5, 5) + point(25, 25) + point(100, -3)
                 + b"".join(bytes([AREA, t]) + point(-5, 3) + point(40, 70) for t in range(4))
                 + bytes([INVERT]) + bytes([STAMP, 3, 2, 1, 0, 1, 0, 1, 1]) + point(238, 62) + PAPER)
    far_out = (bytes([LINE]) + point(-2**31, -2**31) + point(2**31 - 1, 2**31 - 1) + INK
               + bytes([ELLIPSE]) + point(-2**31, 5) + point(2**31 - 1, 60) + b"\0" + INK
               + bytes([RECTANGLE]) + point(-70000, -3) + point(300000, 130) + b"\1" + PAPER
               + bytes([SHIFT]) + point(2**31 - 1, 0) + point(-2**31, 7))
    # A 3 x 2 raster (left 0, ascent 5, advance 4), three of its pixels grey, threshold 128.
    text = (bytes([TEXT, 3, 2, 0, 1, 0, 1, 0, 1]) + near(0) + near(5) + near(4)
            + bytes([10, 200, 30, 128]) + point(4, 20) + INK)
    return [b"\0" + frame, b"\1" + lines, b"\2" + selection, b"\1" + far_out, b"\0" + text, b"\2"]
