#!/usr/bin/python3
"""Draws the pictures of wheel panning into treeview/images/:

  move_all.bmp, move_ew.bmp, move_ns.bmp  the 32x32 panning symbol shown at
      the panning origin (24-bit; magenta is outside the shape, the window is
      clipped to the rest): a disc with arrows in the directions that scroll;
  move_*.cur  the eleven direction cursors (32x32, monochrome, hot spot in
      the middle): the symbol's three forms and one per direction.

Run from the repository root: /usr/bin/python3 tools/make_panning_images.py
The outputs are committed; rerun only to change a picture."""
import math
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "treeview", "images")
SIZE = 32
MAGENTA, WHITE, SILVER, BLACK = (255, 0, 255), (255, 255, 255), (224, 224, 224), (0, 0, 0)
DIRECTIONS = {"n": (0, -1), "s": (0, 1), "w": (-1, 0), "e": (1, 0),
              "nw": (-1, -1), "ne": (1, -1), "sw": (-1, 1), "se": (1, 1)}


def triangle(direction, tip, base, half):
    """The points inside an arrow head pointing along direction, its tip
    `tip` pixels from the centre and its base `base` pixels from it."""
    dx, dy = direction
    length = math.hypot(dx, dy)
    ux, uy = dx / length, dy / length
    inside = set()
    for y in range(SIZE):
        for x in range(SIZE):
            px, py = x + 0.5 - SIZE / 2, y + 0.5 - SIZE / 2
            along = px * ux + py * uy
            across = abs(-px * uy + py * ux)
            if base <= along <= tip and across <= half * (tip - along) / (tip - base):
                inside.add((x, y))
    return inside


def disc(radius):
    return {(x, y) for y in range(SIZE) for x in range(SIZE)
            if math.hypot(x + 0.5 - SIZE / 2, y + 0.5 - SIZE / 2) <= radius}


def arrows(names, tip, base, half):
    points = set()
    for name in names:
        points |= triangle(DIRECTIONS[name], tip, base, half)
    return points


def symbol_names(kind):
    return {"all": ["n", "s", "w", "e"], "ew": ["w", "e"], "ns": ["n", "s"]}[kind]


def symbol_bmp(kind):
    outer, inner = disc(15.5), disc(14.5)
    heads = arrows(symbol_names(kind), 13, 6, 4)
    dot = disc(2)
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            p = (x, y)
            if p in heads or p in dot:
                c = BLACK
            elif p in inner:
                c = SILVER
            elif p in outer:
                c = BLACK
            else:
                c = MAGENTA
            row.append(c)
        rows.append(row)
    pixels = b""
    for row in reversed(rows):  # bottom-up
        pixels += b"".join(bytes((c[2], c[1], c[0])) for c in row)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def cursor(black):
    """A monochrome cursor: black pixels framed by white ones, the rest transparent."""
    white = set()
    for (x, y) in black:
        for ox in (-1, 0, 1):
            for oy in (-1, 0, 1):
                q = (x + ox, y + oy)
                if 0 <= q[0] < SIZE and 0 <= q[1] < SIZE and q not in black:
                    white.add(q)
    xor_rows, and_rows = [], []
    for y in reversed(range(SIZE)):  # bottom-up
        xor_bits = and_bits = 0
        for x in range(SIZE):
            bit = 1 << (SIZE - 1 - x)
            if (x, y) in white:
                xor_bits |= bit
            elif (x, y) not in black:
                and_bits |= bit  # transparent
        xor_rows.append(struct.pack(">I", xor_bits))
        and_rows.append(struct.pack(">I", and_bits))
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = info + palette + b"".join(xor_rows) + b"".join(and_rows)
    hot = SIZE // 2
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, hot, hot, len(image), 6 + 16)
    return directory + entry + image


def main():
    os.makedirs(OUT, exist_ok=True)
    ring = disc(4.5) - disc(3)
    for kind in ("all", "ew", "ns"):
        with open(os.path.join(OUT, "move_%s.bmp" % kind), "wb") as f:
            f.write(symbol_bmp(kind))
        black = ring | arrows(symbol_names(kind), 12, 6, 4)
        with open(os.path.join(OUT, "move_%s.cur" % kind), "wb") as f:
            f.write(cursor(black))
    for name in DIRECTIONS:
        black = ring | arrows([name], 13, 6, 5)
        with open(os.path.join(OUT, "move_%s.cur" % name), "wb") as f:
            f.write(cursor(black))


if __name__ == "__main__":
    main()
