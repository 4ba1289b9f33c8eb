#!/usr/bin/env python3
"""Draw the Dirquill icon: five narrow list columns on a maple-orange tile,
with a maple leaf in the corner ("澄枫", clear maple).

The picture is described once as a list of shapes (rounded rectangles and
polygons) and written as dirquill.svg. Every PNG is rendered from that SVG
with rsvg-convert (Debian package librsvg2-bin): dirquill-N.png for each of
the sizes the desktop's hicolor icon theme is given. The program itself
shows dirquill-48.png.

Usage: make-icon.py [--png] [OUT_DIR]   (default: res/icons next to this script)
  --png   render the PNGs from the existing dirquill.svg without rewriting it
"""

import os
import shutil
import subprocess
import sys

SIZE = 48
PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)

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


def render_pngs(svg_path, out_dir):
    renderer = shutil.which("rsvg-convert")
    if renderer is None:
        sys.exit("make-icon.py: rsvg-convert is missing (tools/deps.sh package installs it)")
    paths = []
    for size in PNG_SIZES:
        png_path = os.path.join(out_dir, "dirquill-%d.png" % size)
        subprocess.run(
            [renderer, "--width", str(size), "--height", str(size), "--format", "png",
             "--output", png_path, svg_path],
            check=True,
        )
        paths.append(png_path)
    return paths


def main(argv):
    args = argv[1:]
    png_only = "--png" in args
    args = [a for a in args if a != "--png"]
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = args[0] if args else os.path.join(os.path.dirname(here), "res", "icons")
    os.makedirs(out_dir, exist_ok=True)
    svg_path = os.path.join(out_dir, "dirquill.svg")
    if not png_only:
        with open(svg_path, "w", encoding="ascii", newline="\n") as f:
            f.write(svg_text(shapes()))
        print(svg_path)
    for png_path in render_pngs(svg_path, out_dir):
        print(png_path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
