#!/usr/bin/env python3
"""Draws the theme's icons and writes them as Windows .ico files.

The mark is a white ring with a tail (a "Q") on a violet disc, drawn with
4x4 supersampling at every size the program asks Windows for (small icon,
large icon, and the sizes the shell uses for shortcuts). Every image is a
32-bit BGRA bitmap with its AND mask, which every Windows version and Wine
read.

    make_icons.py <output dir> <name.ico> [<name.ico> ...]
"""

import math
import os
import struct
import sys

SIZES = (16, 24, 32, 48)
SUPERSAMPLE = 4

TOP_COLOUR = (0x8A, 0x4F, 0xD1)
BOTTOM_COLOUR = (0x45, 0x1B, 0x79)
MARK_COLOUR = (0xFF, 0xFF, 0xFF)


def segment_distance(px, py, ax, ay, bx, by):
    """Distance of point p from the segment a-b."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def sample(u, v):
    """(in disc, in mark) for one point, u and v in -1..1, v downwards."""
    in_disc = u * u + v * v <= 0.94 * 0.94
    r = math.hypot(u, v + 0.06)
    in_ring = 0.30 <= r <= 0.54
    in_tail = segment_distance(u, v, 0.18, 0.22, 0.52, 0.58) <= 0.10
    return in_disc, in_disc and (in_ring or in_tail)


def pixel(size, x, y):
    """Straight-alpha RGBA of pixel (x, y), y downwards."""
    disc = mark = 0
    for sy in range(SUPERSAMPLE):
        for sx in range(SUPERSAMPLE):
            u = ((x + (sx + 0.5) / SUPERSAMPLE) / size) * 2.0 - 1.0
            v = ((y + (sy + 0.5) / SUPERSAMPLE) / size) * 2.0 - 1.0
            d, m = sample(u, v)
            disc += d
            mark += m
    if disc == 0:
        return (0, 0, 0, 0)
    t = y / max(1, size - 1)
    background = [TOP_COLOUR[i] + (BOTTOM_COLOUR[i] - TOP_COLOUR[i]) * t for i in range(3)]
    share = mark / disc
    rgb = [round(background[i] + (MARK_COLOUR[i] - background[i]) * share) for i in range(3)]
    alpha = round(255 * disc / (SUPERSAMPLE * SUPERSAMPLE))
    return (rgb[0], rgb[1], rgb[2], alpha)


def image_bytes(size):
    """BITMAPINFOHEADER, bottom-up BGRA rows, then the 1-bit AND mask."""
    rows = [[pixel(size, x, y) for x in range(size)] for y in range(size)]
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + mask


def icon_file():
    images = [image_bytes(size) for size in SIZES]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    data = icon_file()
    os.makedirs(argv[1], exist_ok=True)
    for name in argv[2:]:
        with open(os.path.join(argv[1], name), 'wb') as f:
            f.write(data)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
