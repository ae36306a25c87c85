#!/usr/bin/env python3
"""Writes the library's two annotation cursors (32 x 32, hot spot at 0, 0).

marker.cur: 256 colours, a filled arrow; highlight.cur: 16 colours, a
framed box. Run from the repository root; the results are committed in
src/resources/ so the build needs no Python.
"""
import struct

SIZE = 32


def cursor(path, bits, palette, pixels):
    """pixels[y][x]: palette index, or None for transparent (top-down)."""
    row_bytes = ((SIZE * bits + 31) // 32) * 4
    mask_row_bytes = 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        row = [pixels[y][x] or 0 for x in range(SIZE)]
        packed = bytearray(row_bytes)
        for x, value in enumerate(row):
            if bits == 8:
                packed[x] = value
            else:
                packed[x // 2] |= value << (4 if x % 2 == 0 else 0)
        xor += packed
        m = 0
        for x in range(SIZE):
            m = (m << 1) | (1 if pixels[y][x] is None else 0)
        mask += struct.pack(">I", m)[:mask_row_bytes]
    colours = len(palette)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, colours, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    image = header + table + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0 if colours == 256 else colours, 0,
                        0, 0, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


def marker():
    palette = [(0, 0, 0)] * 256
    palette[1] = (255, 255, 255)
    palette[2] = (255, 0, 0)
    px = [[None] * SIZE for _ in range(SIZE)]
    for y in range(20):
        for x in range(y + 1):
            if x < 14:
                px[y][x] = 1 if x in (0, y) or y == 19 else 2
    return palette, px


def highlight():
    palette = [(0, 0, 0)] * 16
    palette[1] = (255, 255, 255)
    palette[4] = (0, 0, 255)
    px = [[None] * SIZE for _ in range(SIZE)]
    for i in range(16):
        px[0][i] = px[15][i] = px[i][0] = px[i][15] = 4
    for i in range(1, 15):
        px[1][i] = px[14][i] = px[i][1] = px[i][14] = 1
    return palette, px


if __name__ == "__main__":
    cursor("src/resources/marker.cur", 8, *marker())
    cursor("src/resources/highlight.cur", 4, *highlight())
