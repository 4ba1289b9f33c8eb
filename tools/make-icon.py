#!/usr/bin/env python3
"""Draw the Dirquill icon: five narrow list columns on a maple-orange tile,
with a maple leaf in the corner ("澄枫", clear maple).

The picture is described once as a list of shapes (rounded rectangles and
polygons) and written both as a PNG (rendered here with 4x4 supersampling,
python3 standard library only) and as an SVG.

Usage: make-icon.py [OUT_DIR]   (default: res/icons next to this script)
Writes dirquill-48.png and dirquill.svg.
"""

import os
import struct
import sys
import zlib

SIZE = 48
SAMPLES = 4  # per axis and pixel

# Palette
TILE_TOP = (247, 160, 72)
TILE_BOTTOM = (201, 74, 20)
PANEL = (255, 249, 240)
PANEL_EDGE = (150, 56, 12)
HEADER = (253, 214, 170)
ENTRY = (226, 205, 184)
SEPARATOR = (236, 178, 120)
SELECTED = (232, 98, 24)
LEAF = (190, 30, 30)
LEAF_EDGE = (255, 249, 240)

# A stylised five-lobed maple leaf, in a box from -1 to 1, y pointing down.
LEAF_POINTS = [
    (0.0, -1.0), (0.2, -0.55), (0.7, -0.72), (0.52, -0.16), (0.98, 0.04),
    (0.36, 0.42), (0.09, 0.38), (0.09, 0.98), (-0.09, 0.98), (-0.09, 0.38),
    (-0.36, 0.42), (-0.98, 0.04), (-0.52, -0.16), (-0.7, -0.72), (-0.2, -0.55),
]


def leaf(cx, cy, scale):
    return [(cx + x * scale, cy + y * scale) for x, y in LEAF_POINTS]


def shapes():
    """The picture, back to front. Fills are RGB tuples or vertical gradients."""
    out = []
    out.append(("rect", (2, 2, 44, 44, 9), ("vgrad", 2, TILE_TOP, 46, TILE_BOTTOM)))
    # The browser window: a dark edge, then the light panel.
    out.append(("rect", (6, 8, 36, 31, 3), PANEL_EDGE))
    out.append(("rect", (7, 9, 34, 29, 2), PANEL))
    # Five columns, each with a header strip and a few entries; the selected
    # entry steps one row down from column to column, as a path does.
    left, width, gap = 8.5, 5.0, 1.5
    for column in range(5):
        x = left + column * (width + gap)
        if column:
            out.append(("rect", (x - 1.05, 10, 0.6, 27, 0.3), SEPARATOR))
        out.append(("rect", (x, 10.5, width, 2.5, 0.6), HEADER))
        for row in range(7):
            y = 15 + row * 3
            selected = row == column
            bar_width = width if selected else width - (row * 7 + column * 3) % 3
            out.append(("rect", (x, y, bar_width, 1.6, 0.5), SELECTED if selected else ENTRY))
    # The maple leaf, with a light rim so that it stands out on the tile.
    out.append(("poly", leaf(38.4, 37.6, 8.6), LEAF_EDGE))
    out.append(("poly", leaf(38.4, 37.6, 6.9), LEAF))
    return out


# --------------------------------------------------------------------------
# Geometry


def inside_rect(px, py, geometry):
    x, y, w, h, r = geometry
    if px < x or px > x + w or py < y or py > y + h:
        return False
    # Distance to the nearest corner centre decides inside the rounded corners.
    cx = min(max(px, x + r), x + w - r)
    cy = min(max(py, y + r), y + h - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def inside_poly(px, py, points):
    inside = False
    n = len(points)
    for i in range(n):
        x1, y1 = points[i]
        x2, y2 = points[(i + 1) % n]
        if (y1 > py) != (y2 > py):
            x_cross = x1 + (py - y1) * (x2 - x1) / (y2 - y1)
            if px < x_cross:
                inside = not inside
    return inside


def fill_color(fill, py):
    if fill[0] == "vgrad":
        _, y0, c0, y1, c1 = fill
        t = min(max((py - y0) / (y1 - y0), 0.0), 1.0)
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))
    return fill


# --------------------------------------------------------------------------
# Raster output


def render(shape_list, size=SIZE):
    """Return rows of RGBA pixels (floats 0..1 for alpha, 0..255 for colour)."""
    pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]
    offsets = [(i + 0.5) / SAMPLES for i in range(SAMPLES)]
    for kind, geometry, fill in shape_list:
        test = inside_rect if kind == "rect" else inside_poly
        for py in range(size):
            row = pixels[py]
            color = fill_color(fill, py + 0.5)
            for px in range(size):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if test(px + ox, py + oy, geometry):
                            hits += 1
                if not hits:
                    continue
                alpha = hits / (SAMPLES * SAMPLES)
                r0, g0, b0, a0 = row[px]
                a = alpha + a0 * (1 - alpha)
                mix = [(c * alpha + d * a0 * (1 - alpha)) / a for c, d in zip(color, (r0, g0, b0))]
                row[px] = (mix[0], mix[1], mix[2], a)
    return pixels


def png_bytes(pixels):
    height = len(pixels)
    width = len(pixels[0])
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw.extend((round(r), round(g), round(b), round(a * 255)))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        + chunk(b"IEND", b"")
    )


# --------------------------------------------------------------------------
# Vector output


def hex_color(color):
    return "#%02x%02x%02x" % tuple(round(c) for c in color)


def num(value):
    return ("%.2f" % value).rstrip("0").rstrip(".")


def svg_text(shape_list, size=SIZE):
    defs = []
    body = []
    for kind, geometry, fill in shape_list:
        if fill[0] == "vgrad":
            _, y0, c0, y1, c1 = fill
            ident = "g%d" % len(defs)
            defs.append(
                '<linearGradient id="%s" gradientUnits="userSpaceOnUse" x1="0" y1="%s" x2="0" y2="%s">'
                '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/></linearGradient>'
                % (ident, num(y0), num(y1), hex_color(c0), hex_color(c1))
            )
            paint = "url(#%s)" % ident
        else:
            paint = hex_color(fill)
        if kind == "rect":
            x, y, w, h, r = geometry
            body.append(
                '<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s"/>'
                % (num(x), num(y), num(w), num(h), num(r), paint)
            )
        else:
            points = " ".join("%s,%s" % (num(x), num(y)) for x, y in geometry)
            body.append('<polygon points="%s" fill="%s"/>' % (points, paint))
    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
             % (size, size, size, size)]
    if defs:
        lines.append("<defs>" + "".join(defs) + "</defs>")
    lines.extend(body)
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(here), "res", "icons")
    os.makedirs(out_dir, exist_ok=True)
    picture = shapes()
    png_path = os.path.join(out_dir, "dirquill-48.png")
    with open(png_path, "wb") as f:
        f.write(png_bytes(render(picture)))
    svg_path = os.path.join(out_dir, "dirquill.svg")
    with open(svg_path, "w", encoding="ascii", newline="\n") as f:
        f.write(svg_text(picture))
    print(png_path)
    print(svg_path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
