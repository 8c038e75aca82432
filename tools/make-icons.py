#!/usr/bin/env python3
"""Draws data/icons/chatterwick-N.png at the sizes desktops ask for, from the
same shapes as data/icons/chatterwick.svg (kept by hand in step with it), so
that no SVG renderer is needed to build or install."""
import os, struct, zlib

TEAL, WHITE, GOLD = (0x1f, 0x6f, 0x78), (0xff, 0xff, 0xff), (0xf2, 0xc1, 0x4e)

def inside_round_rect(x, y, x0, y0, w, h, r):
    cx = min(max(x, x0 + r), x0 + w - r)
    cy = min(max(y, y0 + r), y0 + h - r)
    return x0 <= x <= x0 + w and y0 <= y <= y0 + h and (x - cx) ** 2 + (y - cy) ** 2 <= r * r

def inside_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1

def inside_triangle(x, y, a, b, c):
    def side(p, q):
        return (x - q[0]) * (p[1] - q[1]) - (p[0] - q[0]) * (y - q[1])
    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    return not ((d1 < 0 or d2 < 0 or d3 < 0) and (d1 > 0 or d2 > 0 or d3 > 0))

def colour_at(x, y):
    """The colour at a point of the 256 x 256 drawing, or None outside it."""
    colour = None
    if inside_round_rect(x, y, 8, 8, 240, 240, 44): colour = TEAL
    if inside_ellipse(x, y, 112, 104, 76, 54) or inside_triangle(x, y, (64, 140), (52, 184), (100, 152)):
        colour = WHITE
    if inside_ellipse(x, y, 160, 164, 58, 40) or inside_triangle(x, y, (196, 190), (214, 222), (176, 198)):
        colour = GOLD
    for cx in (82, 112, 142):
        if (x - cx) ** 2 + (y - 104) ** 2 <= 81: colour = TEAL
    return colour

def png(size):
    n = 4  # samples a side for each pixel: smooth edges
    rows = []
    for py in range(size):
        row = bytearray([0])
        for px in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((px + (sx + 0.5) / n) * 256 / size, (py + (sy + 0.5) / n) * 256 / size)
                    if c:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            row += bytes([r // a, g // a, b // a, a * 255 // (n * n)] if a else [0, 0, 0, 0])
        rows.append(bytes(row))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "icons")
for size in (16, 24, 32, 48, 64, 128, 256):
    with open(os.path.join(here, "chatterwick-%d.png" % size), "wb") as f:
        f.write(png(size))
