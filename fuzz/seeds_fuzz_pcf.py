"""Seeds for fuzz_pcf: small fonts written here in each byte order, bit order, row padding and
unit the format allows, with and without compressed metrics, accelerators and a two-byte
encoding; one packed with gzip; and a real Latin-1 font from xfonts-base, packed and not."""
import gzip
import pathlib
import struct

FONTS = pathlib.Path("/usr/share/fonts/X11/misc")

# (code, rows, left bearing, ascent, advance)
GLYPHS = [
    (0x41, [".##.", "#..#", "####", "#..#", "#..#"], 0, 5, 5),
    (0x67, [".###", "#..#", ".###", "...#", ".##."], 0, 3, 5),
    (0xB0, [".#.", "#.#", ".#."], 1, 6, 5),
    (0x20, [], 0, 0, 5),
]
WARNING = (0x26A0, ["..#..", ".#.#.", "#.#.#", "#####"], 0, 4, 6)


def pcf(glyphs, big=True, high_bit=True, pad_shift=2, unit_shift=0, compressed=True,
        charset=("ISO10646", "1"), accelerators=True):
    e = ">" if big else "<"
    low_bits = pad_shift | (4 if big else 0) | (8 if high_bit else 0) | (unit_shift << 4)
    tables = []

    pool = bytearray()
    entries = b""
    for name, value in [("CHARSET_REGISTRY", charset[0]), ("CHARSET_ENCODING", charset[1])]:
        name_at = len(pool)
        pool += name.encode() + b"\0"
        value_at = len(pool)
        pool += value.encode() + b"\0"
        entries += struct.pack(e + "IbI", name_at, 1, value_at)
    tables.append((1, low_bits, struct.pack(e + "I", 2) + entries + b"\0\0"
                   + struct.pack(e + "I", len(pool)) + bytes(pool)))

    if accelerators:
        bounds = struct.pack(e + "hhhhhH", 0, 6, 6, 6, 2, 0)
        tables.append((2, low_bits, b"\0" * 8 + struct.pack(e + "iii", 6, 2, 0) + bounds * 2))

    if compressed:
        metrics = struct.pack(e + "H", len(glyphs))
    else:
        metrics = struct.pack(e + "I", len(glyphs))
    bitmaps = []
    for _, rows, left, ascent, advance in glyphs:
        width = len(rows[0]) if rows else 0
        values = (left, left + width, advance, ascent, len(rows) - ascent)
        if compressed:
            metrics += bytes(v + 0x80 for v in values)
        else:
            metrics += struct.pack(e + "hhhhhH", *values, 0)
        bitmaps.append((rows, width))
    tables.append((4, low_bits | (0x100 if compressed else 0), metrics))

    def data_for(shift):
        pad = 1 << shift
        offsets, data = [], bytearray()
        for rows, width in bitmaps:
            offsets.append(len(data))
            row_bytes = ((width + 7) // 8 + pad - 1) // pad * pad
            for row in rows:
                line = bytearray(row_bytes)
                for x, c in enumerate(row):
                    if c == "#":
                        line[x // 8] |= (0x80 >> (x % 8)) if high_bit else (1 << (x % 8))
                data += line
        unit = 1 << unit_shift
        if big != high_bit:
            for at in range(0, len(data) - unit + 1, unit):
                data[at:at + unit] = data[at:at + unit][::-1]
        return offsets, bytes(data)

    offsets, data = data_for(pad_shift)
    sizes = [len(data_for(s)[1]) for s in range(4)]
    tables.append((8, low_bits, struct.pack(e + "I", len(glyphs))
                   + b"".join(struct.pack(e + "I", o) for o in offsets)
                   + b"".join(struct.pack(e + "I", s) for s in sizes) + data))

    codes = {g[0]: i for i, g in enumerate(glyphs)}
    rows_of = [c >> 8 for c in codes]
    columns = [c & 0xFF for c in codes]
    c0, c1, r0, r1 = min(columns), max(columns), min(rows_of), max(rows_of)
    encoding = struct.pack(e + "HHHHH", c0, c1, r0, r1, 0)
    for r in range(r0, r1 + 1):
        for c in range(c0, c1 + 1):
            encoding += struct.pack(e + "H", codes.get(r << 8 | c, 0xFFFF))
    tables.append((0x20, low_bits, encoding))

    out = bytearray(b"\x01fcp" + struct.pack("<I", len(tables)))
    at = 8 + 16 * len(tables)
    bodies = b""
    for kind, fmt, body in tables:
        body = struct.pack("<I", fmt) + body
        body += b"\0" * (-len(body) % 4)
        out += struct.pack("<IIII", kind, fmt, len(body), at + len(bodies))
        bodies += body
    return bytes(out + bodies)


def seeds():
    plain = pcf(GLYPHS)
    latin1 = gzip.open(FONTS / "5x8-ISO8859-1.pcf.gz").read()
    return [
        plain,
        pcf(GLYPHS, big=False, high_bit=False, pad_shift=0, compressed=False),
        pcf(GLYPHS, big=True, high_bit=False, pad_shift=1, unit_shift=1),
        pcf(GLYPHS, big=False, high_bit=True, pad_shift=3, unit_shift=2, accelerators=False,
            charset=("ISO8859", "1")),
        pcf(GLYPHS + [WARNING]),
        gzip.compress(plain),
        plain[: len(plain) // 2],
        latin1,
        (FONTS / "5x8-ISO8859-1.pcf.gz").read_bytes(),
    ]
