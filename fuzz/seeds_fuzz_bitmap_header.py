"""Seeds for fuzz_bitmap_header: whole bitmap files, bare headers and near misses."""
import struct


def bitmap(width, height, bits=1, signature=b"BM", top_down=False, pixels=True):
    colours = 1 << bits if bits <= 8 else 0
    row = (width * bits + 31) // 32 * 4
    offset = 54 + 4 * colours
    size = row * abs(height)
    out = signature + struct.pack("<IHHI", offset + size, 0, 0, offset)
    out += struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits, 0,
                       size, 2835, 2835, colours, colours)
    out += b"".join(struct.pack("<I", 0xFFFFFF * (i % 2)) for i in range(colours))
    if pixels:
        out += bytes([0xFF]) * size
    return out


def seeds():
    out = []
    for width, height in ((128, 64), (240, 64), (240, 128)):
        out.append(bitmap(width, height))
        out.append(bitmap(width, height, pixels=False))
        out.append(bitmap(width, height, top_down=True, pixels=False))
        out.append(bitmap(width, height, signature=b"XY", pixels=False))
    for bits in (4, 8, 24):
        out.append(bitmap(240, 64, bits=bits, pixels=False))
    header = bitmap(128, 64, pixels=False)
    out += [header[:n] for n in (0, 2, 18, 22, 26, 28, 29, 30)]
    out.append(b"just some notes\n")
    return out
