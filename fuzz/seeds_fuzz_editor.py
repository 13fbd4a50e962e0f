"""Seeds for fuzz_editor: byte 0 picks the panel (mod 3), then actions, each a pen byte, an
action byte (mod 13) and its arguments. A coordinate is one byte (value - 64)."""

TOOL, SHAPE, PRESS, MOVE, RELEASE, CANCEL, SELECT, CLEAR, PASTE, TRANSFORM, INVERT, NEW, \
    RESTORE = range(13)
PENCIL, ERASER, LINE, RECTANGLE, ELLIPSE, FILL, TEXT, SELECTION = range(8)
INK, PAPER = 0, 1


def point(x, y):
    return bytes([x + 64, y + 64])


def act(action, *args, pen=INK):
    return bytes([pen, action]) + b"".join(bytes([a]) if isinstance(a, int) else a for a in args)


def drag(a, b, keys=0):
    return act(PRESS, point(*a), keys) + act(MOVE, point(*b), keys) + act(RELEASE, point(*b), keys)


def seeds():
    shapes = (act(TOOL, RECTANGLE) + drag((2, 2), (125, 61)) + act(SHAPE, 1)
              + act(TOOL, ELLIPSE) + drag((10, 10), (50, 40), 1) + act(TOOL, FILL)
              + act(PRESS, point(5, 5), 0) + act(TOOL, LINE) + drag((0, 0), (70, 20), 1)
              + act(RESTORE, 1, 0) + act(RESTORE, 1, 1))
    selection = (act(TOOL, PENCIL) + drag((0, 0), (20, 9)) + act(TOOL, SELECTION)
                 + drag((0, 0), (30, 30)) + drag((5, 5), (60, -10)) + drag((60, 0), (100, 40), 2)
                 + act(TRANSFORM, 3) + act(CLEAR) + act(RESTORE, 2, 0))
    paste = (act(PASTE, 4, 3, 0b1010, 0b0101, 0b1111, point(170, 60)) + act(TOOL, SELECTION)
             + act(PRESS, point(171, 61), 0) + act(MOVE, point(100, 20), 0) + act(CANCEL)
             + drag((171, 61), (175, 70)) + act(TRANSFORM, 0) + drag((175, 70), (5, 5))
             + act(INVERT) + act(NEW) + act(RESTORE, 0, 0))
    return [b"\0" + shapes, b"\1" + selection, b"\2" + paste]
