#!/usr/bin/env python3
"""Writes resources/mivo.ico from its text source, resources/mivo_icon.txt.

The source holds two pictures, each drawn by hand: 32 lines of 32
characters, then 16 lines of 16, top row first. Each character is an index
into the standard 16-colour palette as one hexadecimal digit (0-9, A-F) or
"." for a transparent pixel. Lines that start with "#" are comments.

The icon file holds one image of each size with 4 bits per pixel, large
first: the icon directory, then per image one BITMAPINFOHEADER (the height
doubled: colour bitmap and mask), the 16-entry palette, the colour bitmap
bottom-up and the AND mask bottom-up.

Usage: make_icon.py [--check]
With --check nothing is written; the exit code tells whether the icon file
in the tree is what the source gives.
"""

import os
import struct
import sys

SIZES = (32, 16)
TRANSPARENT = "."

# The standard Windows 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 maroon
    (0x00, 0x80, 0x00),  # 2 green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # A lime
    (0xFF, 0xFF, 0x00),  # B yellow
    (0x00, 0x00, 0xFF),  # C blue
    (0xFF, 0x00, 0xFF),  # D fuchsia
    (0x00, 0xFF, 0xFF),  # E aqua
    (0xFF, 0xFF, 0xFF),  # F white
]

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = os.path.join(ROOT, "resources", "mivo_icon.txt")
TARGET = os.path.join(ROOT, "resources", "mivo.ico")


def read_pictures(path):
    """Returns the pictures, each as its rows, top row first, as lists of
    indices (None for transparent)."""
    pictures, sizes = [], iter(SIZES)
    with open(path, encoding="ascii") as source:
        for number, line in enumerate(source, 1):
            line = line.rstrip("\n")
            if line.startswith("#"):
                continue
            if not pictures or len(pictures[-1]) == len(pictures[-1][0]):
                pictures.append([])
                size = next(sizes, 0)
            if len(line) != size:
                raise ValueError(f"{path}:{number}: {len(line)} characters, want {size}")
            row = []
            for column, char in enumerate(line, 1):
                if char == TRANSPARENT:
                    row.append(None)
                elif char in "0123456789ABCDEF":
                    row.append(int(char, 16))
                else:
                    raise ValueError(f"{path}:{number}:{column}: {char!r} is no palette index")
            pictures[-1].append(row)
    found = [len(rows) for rows in pictures]
    if found != [len(rows[0]) for rows in pictures] or found != list(SIZES):
        raise ValueError(f"{path}: pictures of {found} lines, want {list(SIZES)}")
    return pictures


def padded(row_bytes):
    # Every bitmap row takes a multiple of four bytes.
    return bytes(row_bytes) + bytes(-len(row_bytes) % 4)


def image_bytes(rows):
    size = len(rows)
    # Colour bitmap: two pixels a byte, left one in the high nibble. A
    # transparent pixel is black there, so that mask and colour together
    # leave the screen as it is.
    colour = bytearray()
    for row in reversed(rows):
        indices = [0 if index is None else index for index in row]
        colour += padded([left << 4 | right for left, right in zip(indices[0::2], indices[1::2])])
    # AND mask: one bit a pixel, most significant bit first, 1 = transparent.
    mask = bytearray()
    for row in reversed(rows):
        bits = 0
        for index in row:
            bits = bits << 1 | (index is None)
        mask += padded(bits.to_bytes(size // 8, "big"))

    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack(
        "<IiiHHIIiiII",
        40,  # biSize
        size,  # biWidth
        2 * size,  # biHeight: colour bitmap and mask
        1,  # biPlanes
        4,  # biBitCount
        0,  # biCompression: BI_RGB
        len(colour) + len(mask),  # biSizeImage
        0,
        0,
        0,
        0,
    )
    return header + palette + bytes(colour) + bytes(mask)


def icon_bytes(pictures):
    images = [image_bytes(rows) for rows in pictures]
    directory = struct.pack("<HHH", 0, 1, len(images))  # reserved, type icon, images
    offset = len(directory) + 16 * len(images)  # where the first image starts
    for rows, image in zip(pictures, images):
        directory += struct.pack(
            "<BBBBHHII",
            len(rows),  # width
            len(rows),  # height
            16,  # colours
            0,  # reserved
            1,  # planes
            4,  # bits per pixel
            len(image),
            offset,
        )
        offset += len(image)
    return directory + b"".join(images)


def main(argv):
    check = argv[1:] == ["--check"]
    if argv[1:] and not check:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        wanted = icon_bytes(read_pictures(SOURCE))
    except (OSError, ValueError) as error:
        print(error, file=sys.stderr)
        return 1
    if check:
        try:
            with open(TARGET, "rb") as icon:
                present = icon.read()
        except OSError as error:
            print(f"cannot read {TARGET}: {error}", file=sys.stderr)
            return 1
        if present != wanted:
            print(f"{TARGET} is not what {SOURCE} gives; run scripts/make_icon.py",
                  file=sys.stderr)
            return 1
        print(f"{TARGET}: up to date ({len(present)} bytes)")
        return 0
    with open(TARGET, "wb") as icon:
        icon.write(wanted)
    print(f"wrote {TARGET} ({len(wanted)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
