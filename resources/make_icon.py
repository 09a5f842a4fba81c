#!/usr/bin/env python3
"""Draws Brindlecap's icon and writes it as a Windows .ico file.

The picture is a small mushroom whose cap is streaked like a brindle coat: a
tan cap with dark radial streaks, a black outline, a pale shaded stem. Both images
use the classic 16-colour palette, 4 bits a pixel, with a 1-bit transparency
mask, so the icon looks the same on every Windows version the program runs on.

Everything is computed from fixed numbers, so the output is the same byte for
byte on every run:

    python3 resources/make_icon.py            # writes resources/brindlecap.ico
    python3 resources/make_icon.py OUT.ico    # writes OUT.ico
    python3 resources/make_icon.py --png OUT.png   # an 8x enlarged preview
"""

import math
import os
import struct
import sys
import zlib

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, OLIVE, SILVER, GREY, YELLOW, WHITE = 0, 1, 3, 7, 8, 11, 15
CLEAR = None  # transparent: colour 0 under a set mask bit


def draw(size):
    """Returns size rows of size pixels, each a palette index or CLEAR."""
    u = size / 32.0  # every measure below is in 32-pixel units
    cx = size / 2.0  # the picture's vertical axis, between two pixel columns
    # Cap: the upper part of an ellipse, cut off by a gently curved rim.
    cap_top, cap_rx, cap_ry = 3 * u, 14.5 * u, 14.5 * u
    rim = 16.5 * u
    # Stem: a column that widens a little towards its foot.
    stem_top, stem_foot, stem_half = 15 * u, 29 * u, (3.6 if u >= 1 else 4.2) * u

    def in_cap(x, y):
        dx = (x - cx) / cap_rx
        dy = (y - (cap_top + cap_ry)) / cap_ry
        lower = rim + 1.6 * u * (1.0 - dx * dx)  # the rim sags towards the middle
        return dx * dx + dy * dy <= 1.0 and y <= lower

    def in_stem(x, y):
        if y < stem_top or y > stem_foot:
            return False
        t = (y - stem_top) / (stem_foot - stem_top)
        half = stem_half + 1.3 * u * t * t
        if y > stem_foot - 1.5 * u:  # round the foot off
            half -= 1.0 * u
        return abs(x - cx) <= half

    def inside(px, py):
        x, y = px + 0.5, py + 0.5
        return in_cap(x, y) or in_stem(x, y)

    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            x, y = px + 0.5, py + 0.5
            if not inside(px, py):
                row.append(CLEAR)
                continue
            edge = any(not (0 <= qx < size and 0 <= qy < size) or not inside(qx, qy)
                       for qx, qy in ((px - 1, py), (px + 1, py), (px, py - 1), (px, py + 1)))
            if edge:
                row.append(BLACK)
            elif in_cap(x, y):
                row.append(cap_colour(x, y, cx, u))
            else:
                row.append(stem_colour(x, y, cx, u, in_cap))
        pixels.append(row)
    return pixels


def cap_colour(x, y, cx, u):
    # A sheen on the upper left, streaks running out from the top of the stem.
    sheen = math.hypot((x - (cx - 5.0 * u)) / 1.6, y - 7.5 * u)
    if sheen < 2.0 * u:
        return YELLOW
    angle = math.atan2(x - cx, 24 * u - y)  # 0 straight up
    streaks = 7.0 if u >= 1 else 4.5
    band = angle * streaks / math.pi + 0.12 * math.sin(y / u * 0.7)
    if band - math.floor(band) < 0.30:
        return MAROON
    return OLIVE


def stem_colour(x, y, cx, u, in_cap):
    if in_cap(x, y - 1.5 * u):  # the shadow the cap throws on the stem
        return GREY
    # Lit from the left: a pale edge, a silver body and a grey flank, so the stem
    # stays visible on a white tray as well as on a dark one.
    if x < cx - 1.2 * u:
        return WHITE
    if x > cx + 1.4 * u:
        return GREY
    return SILVER


def bitmap(pixels):
    """One icon image: header, palette, colour bits and mask, rows bottom up."""
    size = len(pixels)
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for i, p in enumerate(row):
            index = 0 if p is CLEAR else p
            line[i // 2] |= index << (4 if i % 2 == 0 else 0)
            if p is CLEAR:
                bits[i // 8] |= 0x80 >> (i % 8)
        colour += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colour) + bytes(mask)


def icon_file(images):
    """A .ico holding the given (size, image bytes) pairs, largest first."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def preview_png(images, scale=8):
    """A PNG showing the images side by side on a grey checkerboard."""
    width = sum(len(p) for p in images) * scale + scale * (len(images) + 1)
    height = max(len(p) for p in images) * scale + 2 * scale
    canvas = [[(0xA0, 0xA0, 0xA0) if ((x // 4 + y // 4) % 2) else (0xD0, 0xD0, 0xD0)
               for x in range(width)] for y in range(height)]
    left = scale
    for pixels in images:
        for py, row in enumerate(pixels):
            for px, p in enumerate(row):
                if p is CLEAR:
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        canvas[scale + py * scale + dy][left + px * scale + dx] = PALETTE[p]
        left += len(pixels) * scale + scale
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in canvas)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    large, small = draw(32), draw(16)
    if len(argv) == 3 and argv[1] == "--png":
        with open(argv[2], "wb") as f:
            f.write(preview_png([large, small]))
        return 0
    if len(argv) > 2:
        sys.stderr.write(__doc__)
        return 2
    target = argv[1] if len(argv) == 2 else os.path.join(here, "brindlecap.ico")
    with open(target, "wb") as f:
        f.write(icon_file([(32, bitmap(large)), (16, bitmap(small))]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
