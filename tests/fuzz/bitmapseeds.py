#!/usr/bin/env python3
"""Writes the seed bitmaps of fuzz_bitmap: one small file of each kind the
import meets (palette depths, direct colour, top-down rows, bit fields,
run-length coding, the old core header)."""

import pathlib
import struct
import sys

W, H = 5, 3  # an odd width, so rows are padded


def bmp(header, palette, pixels):
    offset = 14 + len(header) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + palette + pixels


def info(bits, compression=0, height=H, size=0, colours=0, length=40, masks=b""):
    head = struct.pack("<IiiHHIIiiII", length, W, height, 1, bits, compression, size, 2835, 2835, colours, 0)
    return (head + masks).ljust(length, b"\0")


def rows(bits, value):
    stride = (W * bits + 31) // 32 * 4
    return b"".join(bytes(value(x, y) & 0xFF for x in range(stride)) for y in range(H))


def grey(n):
    return b"".join(bytes((i * 255 // (n - 1),) * 3 + (0,)) for i in range(n))


def rle8():
    data = b""
    for y in range(H):
        data += bytes((2, y * 20, 0, 3, 10, 20, 30, 0)) + b"\0\0"  # a run, then three literals
    return data + b"\0\1"


def rle4():
    return b"".join(bytes((W, 0x1F - y)) + b"\0\0" for y in range(H)) + b"\0\1"


seeds = {
    "1bit.bmp": bmp(info(1), grey(2), rows(1, lambda x, y: 0xA5 >> y)),
    "4bit.bmp": bmp(info(4), grey(16), rows(4, lambda x, y: x * 0x23 + y)),
    "8bit-topdown.bmp": bmp(info(8, height=-H), grey(256), rows(8, lambda x, y: x * 50 + y)),
    "16bit.bmp": bmp(info(16), b"", rows(16, lambda x, y: x * 37 + y * 11)),
    "16bit-bitfields.bmp": bmp(
        info(16, 3, masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F)), b"",
        rows(16, lambda x, y: x * 29 + y)),
    "24bit.bmp": bmp(info(24), b"", rows(24, lambda x, y: x * 17 + y * 60)),
    "32bit.bmp": bmp(info(32), b"", rows(32, lambda x, y: x * 13 + y)),
    "32bit-alpha-v5.bmp": bmp(
        info(32, 3, length=124,
             masks=struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0xFF000000)), b"",
        rows(32, lambda x, y: x * 40 + y * 30)),
    "rle8.bmp": bmp(info(8, 1, size=len(rle8()), colours=64), grey(64), rle8()),
    "rle4.bmp": bmp(info(4, 2, size=len(rle4()), colours=16), grey(16), rle4()),
    "core-8bit.bmp": bmp(struct.pack("<IHHHH", 12, W, H, 1, 8),
                         b"".join(bytes((i,) * 3) for i in range(256)),
                         rows(8, lambda x, y: (x + y) % 16)),
}

folder = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent / "corpus/bitmap")
folder.mkdir(parents=True, exist_ok=True)
for name, data in seeds.items():
    (folder / name).write_bytes(data)
