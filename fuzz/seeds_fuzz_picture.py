"""Seeds for fuzz_picture: eight bytes of settings (panel, scaling, rotation, mirror and invert,
conversion, threshold, brightness, contrast), then a small picture file of each format the
reader knows; the same bytes also serve as raw pixels."""
import pathlib
import struct
import zlib

ASSETS = pathlib.Path(__file__).resolve().parent.parent / "assets"


def png(width, height, rows, colour_type=2):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


def seeds():
    gradient = png(16, 8, [bytes((x * 16) % 256 for x in range(16) for _ in range(3))] * 8)
    alpha = png(4, 4, [bytes([0, 0, 0, y * 80]) * 4 for y in range(4)], colour_type=6)
    settings = [bytes([p, s, r, m, c, 128, 100, 100]) for p, s, r, m, c in
                [(0, 0, 0, 0, 0), (1, 1, 1, 1, 1), (2, 2, 2, 2, 2), (3, 3, 3, 3, 3)]]
    files = [
        gradient,
        alpha,
        gradient[: len(gradient) // 2],
        b"P2\n4 2\n255\n0 64 128 255\n255 128 64 0\n",
        b"P4\n8 2\n\xAA\x55",
        b'/* XPM */\nstatic char *x[] = {"2 2 2 1", "a c #000000", "b c #FFFFFF", "ab", "ba"};\n',
        b'<svg xmlns="http://www.w3.org/2000/svg" width="8" height="4"><rect width="4" height="4"/>'
        b'<text x="4" y="4">A</text></svg>',
        b"GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff,\x00\x00\x00\x00\x01\x00\x01"
        b"\x00\x00\x02\x02D\x01\x00;",
        (ASSETS / "Sfondo_Bianco_128x64.bmp").read_bytes(),
        b"",
    ]
    return [settings[i % 4] + f for i, f in enumerate(files)]
