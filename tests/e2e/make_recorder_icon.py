#!/usr/bin/env python3
"""Writes the recorder's icon: one 32 x 32 image with 16 colours, four
coloured quarters, so that it cannot be mistaken for any other icon."""

import struct
import sys

SIZE = 32
# Palette index of each quarter: top left, top right, bottom left, bottom right.
QUARTERS = ((1, 2), (3, 4))
PALETTE = [(0, 0, 0), (220, 20, 20), (250, 220, 0), (20, 40, 220), (20, 170, 40)]


def icon_bytes():
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    palette += b"\0" * (16 * 4 - len(palette))
    xor_rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(0, SIZE, 2):
            left = QUARTERS[y * 2 // SIZE][x * 2 // SIZE]
            right = QUARTERS[y * 2 // SIZE][(x + 1) * 2 // SIZE]
            row.append(left << 4 | right)
        xor_rows.append(bytes(row))
    and_mask = b"\0" * (SIZE * 4)  # 32 bits a row: every pixel opaque
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    image = header + palette + b"".join(xor_rows) + and_mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_recorder_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as out:
        out.write(icon_bytes())


if __name__ == "__main__":
    main()
