"""Seeds for fuzz_raster: byte 0 picks the panel size (0: 128x64, 1: 240x64, 2: 240x128, mod 3)
and the slot (byte 0 / 3, mod 4); the rest is the picture file."""
import pathlib

ASSETS = pathlib.Path(__file__).resolve().parent.parent / "assets"


def seeds():
    white128 = (ASSETS / "Sfondo_Bianco_128x64.bmp").read_bytes()
    white240x64 = (ASSETS / "Sfondo_Bianco_240x64.bmp").read_bytes()
    white240x128 = (ASSETS / "Sfondo_Bianco_240x128.bmp").read_bytes()
    checker = bytearray(white240x64)
    for i in range(62, len(checker)):
        checker[i] = 0xAA if (i // 32) % 2 else 0x55
    return [
        b"\x00" + white128,
        b"\x04" + white240x64,
        b"\x0b" + white240x128,
        b"\x01" + bytes(checker),
        b"\x00" + white128[:1000],  # short: the bottom rows stay 0
        b"\x00" + white128[:1085],  # one byte short: the last palette byte is read
        b"\x00" + white128 + b"\x01\x02\x03",  # trailing bytes: rows read shifted
        b"\x02" + white240x128[:62],  # header only
        b"\x01" + white240x64[:40],  # shorter than the header
        b"\x00",  # empty file
        b"",
    ]
