#!/usr/bin/env python3
"""Draws reprename's icon: a multi-size Windows .ico, or a freedesktop.org hicolor icon theme for
the Linux launcher and the replay file type.

    make_icon.py OUT.ico
    make_icon.py --hicolor DIR      DIR/NxN/apps/reprename.png and
                                    DIR/NxN/mimetypes/application-x-versus-replay.png for every
                                    size of HICOLOR_SIZES, and both in DIR/scalable/ as SVG

The picture: a blue rounded square holding a white circular arrow (a replay, played again) around
an orange play triangle; a replay file's, a page with a folded corner that holds it. Every size
and the SVG are drawn from the same shapes, 4x4 samples a pixel; the sizes up to 48 are stored
as bitmaps, 256 as PNG, as Windows expects. The output is the same bytes on every run: no dates,
no randomness.
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


# A replay file: a page with its upper right corner folded, outlined, the icon in its lower part.
PAGE = [(0.16, 0.04), (0.62, 0.04), (0.84, 0.26), (0.84, 0.96), (0.16, 0.96)]
FOLD = [(0.62, 0.04), (0.62, 0.26), (0.84, 0.26)]
PAGE_FILL = (248, 248, 248)
PAGE_EDGE = (128, 128, 128)
FOLD_FILL = (214, 214, 214)
EDGE = 0.025
EMBLEM = (0.25, 0.40, 0.5)  # its left, top and side


def in_polygon(p, corners):
    """Inside a convex polygon whose corners go clockwise, as the page's do."""
    n = len(corners)
    for i in range(n):
        a, b = corners[i], corners[(i + 1) % n]
        if (b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0]) < 0:
            return False
    return True


def file_color_at(x, y):
    """The replay file type's colour at a point of the unit square, or None outside it."""
    if not in_polygon((x, y), PAGE):
        return None
    left, top, side = EMBLEM
    emblem = color_at((x - left) / side, (y - top) / side)
    if emblem is not None:
        return emblem
    if in_polygon((x, y), FOLD):
        return FOLD_FILL
    inner = [(cx + (EDGE if cx < 0.5 else -EDGE), cy + (EDGE if cy < 0.5 else -EDGE))
             for cx, cy in PAGE]
    return PAGE_FILL if in_polygon((x, y), inner) else PAGE_EDGE


def render(size, picture=None):
    """Rows of (r, g, b, a), top row first."""
    picture = picture or color_at
    samples = SAMPLES if size < 256 else 2
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = picture((px + (sx + 0.5) / samples) / size,
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


def svg_point(p):
    return "%g,%g" % (round(p[0] * 256, 2), round(p[1] * 256, 2))


def svg_icon():
    """The icon's shapes, in a 256-unit square."""
    def at(radius, degrees):
        a = math.radians(degrees)
        return svg_point((CENTER[0] + radius * math.cos(a), CENTER[1] + radius * math.sin(a)))
    r_out, r_in = R_OUT * 256, R_IN * 256
    ring = ("M%s A%g,%g 0 1 1 %s L%s A%g,%g 0 1 0 %s Z"
            % (at(R_OUT, GAP_TO), r_out, r_out, at(R_OUT, GAP_FROM), at(R_IN, GAP_FROM),
               r_in, r_in, at(R_IN, GAP_TO)))
    return "\n".join([
        '<rect width="256" height="256" rx="%g" fill="url(#blue)"/>' % (0.18 * 256),
        '<path d="%s" fill="#ffffff"/>' % ring,
        '<polygon points="%s" fill="#ffffff"/>' % " ".join(svg_point(p) for p in HEAD),
        '<polygon points="%s" fill="#%02x%02x%02x"/>' % ((" ".join(svg_point(p) for p in PLAY),)
                                                         + ORANGE),
    ])


def svg(body):
    gradient = ('<linearGradient id="blue" x1="0" y1="0" x2="0" y2="1">'
                '<stop offset="0" stop-color="#%02x%02x%02x"/>'
                '<stop offset="1" stop-color="#%02x%02x%02x"/></linearGradient>'
                % (BLUE_TOP + BLUE_BOTTOM))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" '
            'viewBox="0 0 256 256">\n<defs>%s</defs>\n%s\n</svg>\n' % (gradient, body))


def svg_file_icon():
    left, top, side = EMBLEM
    return "\n".join([
        '<polygon points="%s" fill="#%02x%02x%02x" stroke="#%02x%02x%02x" stroke-width="%g"/>'
        % ((" ".join(svg_point(p) for p in PAGE),) + PAGE_FILL + PAGE_EDGE + (EDGE * 256,)),
        '<polygon points="%s" fill="#%02x%02x%02x"/>'
        % ((" ".join(svg_point(p) for p in FOLD),) + FOLD_FILL),
        '<g transform="translate(%g,%g) scale(%g)">\n%s\n</g>'
        % (left * 256, top * 256, side, svg_icon()),
    ])


def write_hicolor(folder):
    drawings = (("apps", "reprename", color_at, svg_icon),
                ("mimetypes", "application-x-versus-replay", file_color_at, svg_file_icon))
    for context, name, picture, drawing in drawings:
        for size in HICOLOR_SIZES:
            where = os.path.join(folder, "%dx%d" % (size, size), context)
            os.makedirs(where, exist_ok=True)
            with open(os.path.join(where, name + ".png"), "wb") as f:
                f.write(png_entry(render(size, picture)))
        where = os.path.join(folder, "scalable", context)
        os.makedirs(where, exist_ok=True)
        with open(os.path.join(where, name + ".svg"), "w", encoding="utf-8") as f:
            f.write(svg(drawing()))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--hicolor":
        write_hicolor(sys.argv[2])
    elif len(sys.argv) == 2:
        write_ico(sys.argv[1])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
