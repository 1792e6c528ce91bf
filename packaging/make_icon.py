#!/usr/bin/env python3
"""Draws reprename's icon: a multi-size Windows .ico, or the PNGs of a freedesktop.org hicolor
icon theme for the Linux launcher.

    make_icon.py OUT.ico
    make_icon.py --hicolor DIR      (DIR/NxN/apps/reprename.png for every size of HICOLOR_SIZES)

The picture: a blue rounded square holding a white circular arrow (a replay, played again) around
an orange play triangle. Every size is drawn from the same shapes, 4x4 samples a pixel; the sizes
up to 48 are stored as bitmaps, 256 as PNG, as Windows expects. The output is the same bytes on
every run: no dates, no randomness.
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
HICOLOR_SIZES = (16, 24, 32, 48, 64, 128, 256)
SAMPLES = 4  # a side, at the small sizes; 2 at 256, where pixels are small enough

BLUE_TOP = (38, 110, 190)
BLUE_BOTTOM = (20, 60, 120)
WHITE = (255, 255, 255)
ORANGE = (255, 163, 26)


def rounded_square(x, y):
    """Inside the background: a square with corners rounded at 18% of its side."""
    r = 0.18
    cx = min(max(x, r), 1 - r)
    cy = min(max(y, r), 1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and 0 <= x <= 1 and 0 <= y <= 1


def in_triangle(p, a, b, c):
    def side(p1, p2, p3):
        return (p1[0] - p3[0]) * (p2[1] - p3[1]) - (p2[0] - p3[0]) * (p1[1] - p3[1])
    d1, d2, d3 = side(p, a, b), side(p, b, c), side(p, c, a)
    negative = d1 < 0 or d2 < 0 or d3 < 0
    positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (negative and positive)


# The circular arrow: a ring open at the upper right, its head at the open end.
CENTER = (0.5, 0.53)
R_OUT, R_IN = 0.36, 0.26
GAP_FROM, GAP_TO = -75.0, -20.0  # degrees, y pointing down: the gap is up and to the right
HEAD_ANGLE = math.radians(GAP_FROM)
HEAD = [
    (CENTER[0] + (R_OUT + 0.09) * math.cos(HEAD_ANGLE), CENTER[1] + (R_OUT + 0.09) * math.sin(HEAD_ANGLE)),
    (CENTER[0] + (R_IN - 0.09) * math.cos(HEAD_ANGLE), CENTER[1] + (R_IN - 0.09) * math.sin(HEAD_ANGLE)),
]
_tip_angle = HEAD_ANGLE + math.radians(28)
_mid = (R_OUT + R_IN) / 2
HEAD.append((CENTER[0] + _mid * math.cos(_tip_angle), CENTER[1] + _mid * math.sin(_tip_angle)))
PLAY = [(0.43, 0.40), (0.43, 0.66), (0.64, 0.53)]


def color_at(x, y):
    """The colour (r, g, b) at a point of the unit square, or None outside the icon."""
    if not rounded_square(x, y):
        return None
    dx, dy = x - CENTER[0], y - CENTER[1]
    distance = math.hypot(dx, dy)
    angle = math.degrees(math.atan2(dy, dx))
    if R_IN <= distance <= R_OUT and not (GAP_FROM < angle < GAP_TO):
        return WHITE
    if in_triangle((x, y), *HEAD):
        return WHITE
    if in_triangle((x, y), *PLAY):
        return ORANGE
    t = y
    return tuple(round(a + (b - a) * t) for a, b in zip(BLUE_TOP, BLUE_BOTTOM))


def render(size):
    """Rows of (r, g, b, a), top row first."""
    samples = SAMPLES if size < 256 else 2
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = color_at((px + (sx + 0.5) / samples) / size,
                                 (py + (sy + 0.5) / samples) / size)
                    if c is not None:
                        covered += 1
                        for i in range(3):
                            total[i] += c[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(v / covered) for v in total) +
                           (round(255 * covered / (samples * samples)),))
        rows.append(row)
    return rows


def bitmap_entry(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # the alpha channel says it all
    return header + pixels + mask


def png_entry(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_ico(path):
    images = [png_entry(render(s)) if s >= 256 else bitmap_entry(render(s)) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def write_hicolor(folder):
    for size in HICOLOR_SIZES:
        apps = os.path.join(folder, "%dx%d" % (size, size), "apps")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, "reprename.png"), "wb") as f:
            f.write(png_entry(render(size)))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--hicolor":
        write_hicolor(sys.argv[2])
    elif len(sys.argv) == 2:
        write_ico(sys.argv[1])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
