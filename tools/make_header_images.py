#!/usr/bin/python3
"""Draws the tree header's pictures into treeview/images/:

  header_split.cur     the horizontal split cursor shown over a column's
                       splitter (32x32, hot spot in the middle)
  header_sort_up.bmp   the sort glyphs, 8x4, magenta transparent
  header_sort_down.bmp
  header_hot.bmp       the hot-button pieces: nine cells of 16x4 side by side;
                       6 is the left end, 7 the middle (tiled) and 8 the right
                       end of the bar under a hot button; 0-5 are kept empty

Run from the repository root: /usr/bin/python3 tools/make_header_images.py
The outputs are committed; rerun only to change a picture."""
import os
import struct

from make_check_images import Strip

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "treeview", "images")

MAGENTA = (255, 0, 255)
GLYPH = (112, 112, 112)
HOT_DARK, HOT_LIGHT = (230, 150, 20), (250, 200, 80)


def bmp(width, height, rows):
    strip = Strip(width, height)
    strip.rows = rows
    return strip.bmp()


def sort_glyph(up):
    w, h = 8, 4
    rows = [[MAGENTA] * w for _ in range(h)]
    for y in range(h):
        # Rows 2, 4, 6 and 8 pixels wide, the point up or down.
        k = y if up else h - 1 - y
        for x in range(3 - k, 5 + k):
            rows[y][x] = GLYPH
    return bmp(w, h, rows)


def hot_pieces():
    cell_w, h, n = 16, 4, 9
    rows = [[MAGENTA] * (cell_w * n) for _ in range(h)]

    def put(piece, x, y, c):
        rows[y][piece * cell_w + x] = c

    for y in range(h):
        c = HOT_LIGHT if y in (0, h - 1) else HOT_DARK
        for x in range(cell_w):
            put(7, x, y, c)
            # The ends are rounded: the outer rows start one pixel in.
            inset = 1 if y in (0, h - 1) else 0
            if x >= inset:
                put(6, x, y, c)
            if x < cell_w - inset:
                put(8, x, y, c)
    return bmp(cell_w * n, h, rows)


def split_cursor():
    size = 32
    white, black = set(), set()

    def line(x0, y0, x1, y1, where):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                where.add((x, y))

    # Two bars with arrows left and right, outlined in white.
    ink = set()
    line(15, 8, 15, 24, ink)
    line(17, 8, 17, 24, ink)
    line(6, 16, 14, 16, ink)
    line(18, 16, 26, 16, ink)
    for d in range(1, 4):
        ink.add((6 + d, 16 - d))
        ink.add((6 + d, 16 + d))
        ink.add((26 - d, 16 - d))
        ink.add((26 - d, 16 + d))
    black |= ink
    for (x, y) in ink:
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                p = (x + dx, y + dy)
                if p not in ink:
                    white.add(p)
    xor_rows, and_rows = [], []
    for y in range(size):
        xor_bits, and_bits = 0, 0
        for x in range(size):
            bit = 1 << (31 - x)
            if (x, y) in white:
                xor_bits |= bit
            elif (x, y) not in black:
                and_bits |= bit
        xor_rows.append(struct.pack(">I", xor_bits))
        and_rows.append(struct.pack(">I", and_bits))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = info + palette + b"".join(reversed(xor_rows)) + b"".join(reversed(and_rows))
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 16, 16, len(image), 6 + 16)
    return directory + entry + image


def main():
    os.makedirs(OUT, exist_ok=True)
    files = {
        "header_split.cur": split_cursor(),
        "header_sort_up.bmp": sort_glyph(True),
        "header_sort_down.bmp": sort_glyph(False),
        "header_hot.bmp": hot_pieces(),
    }
    for name, data in files.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
