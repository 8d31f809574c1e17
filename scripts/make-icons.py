#!/usr/bin/env python3
"""Draws the two programs' icons (16 colours, 32x32 and 16x16) and writes them as .ico files.

The icons are committed; run this again only to change them:
    python3 scripts/make-icons.py
"""
import os
import struct

# The standard 16-colour palette (index: (r, g, b)).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DARK_GREY, LIGHT_GREY, WHITE, BLUE, NAVY, RED, MAROON = 0, 8, 7, 15, 12, 4, 9, 1
TRANSPARENT = None


def trash_can(size, body, lid):
    """A waste bin: lid with handle, tapered body with ribs. Returns rows of palette indices."""
    s = size / 32.0
    px = [[TRANSPARENT] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    rect(12, 2, 20, 4, BLACK)        # handle
    rect(13, 3, 19, 5, lid)
    rect(4, 5, 28, 9, BLACK)         # lid outline
    rect(5, 6, 27, 8, lid)
    for row in range(10, 30):         # body, narrowing to the bottom
        inset = (row - 10) // 5
        rect(6 + inset, row, 26 - inset, row + 1, BLACK)
        rect(7 + inset, row, 25 - inset, row + 1, body)
    rect(7, 29, 25, 30, BLACK)
    for x in (11, 16, 21):            # ribs
        rect(x, 12, x + 1, 27, BLACK)
    rect(8, 11, 10, 27, WHITE)        # shine
    return px


def bmp_entry(px):
    size = len(px)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_row = ((size * 4 + 31) // 32) * 4
    and_row = ((size + 31) // 32) * 4
    xor, mask = b'', b''
    for row in reversed(px):  # bottom-up
        nibbles = [0 if c is None else c for c in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += line.ljust(xor_row, b'\0')
        bits = 0
        out = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                out.append(bits)
                bits = 0
        mask += bytes(out).ljust(and_row, b'\0')
    return header + palette + xor + mask


def write_ico(path, images):
    entries, data = b'', b''
    offset = 6 + 16 * len(images)
    for px in images:
        blob = bmp_entry(px)
        size = len(px)
        entries += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset + len(data))
        data += blob
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, len(images)) + entries + data)


root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
write_ico(os.path.join(root, 'Uninst', 'Uninst.ico'), [trash_can(32, BLUE, NAVY), trash_can(16, BLUE, NAVY)])
write_ico(os.path.join(root, 'uninstaller', 'uninstaller.ico'),
          [trash_can(32, RED, MAROON), trash_can(16, RED, MAROON)])
