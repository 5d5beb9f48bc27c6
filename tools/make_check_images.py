#!/usr/bin/python3
"""Draws the tree's check image strips and the shaded plus/minus buttons into
treeview/images/ as 24-bit BMPs.

Each check strip is one column of 16x16 cells, index 0 unused (magenta, which
is also the transparent colour read from the top-left pixel):
  1-4 radio unchecked, 5-8 radio checked, 9-12 box unchecked, 13-16 box
  checked, 17-20 box mixed, 21-24 push button; each as normal, hot, pressed,
  disabled.
The colour-mapped strips use only white, C0C0C0, 808080 and black besides the
marks' accent colours, so that system colours can replace them on loading.

Run from the repository root: /usr/bin/python3 tools/make_check_images.py
The outputs are committed; rerun only to change a picture."""
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "treeview", "images")

MAGENTA = (255, 0, 255)
WHITE, SILVER, GREY, BLACK = (255, 255, 255), (192, 192, 192), (128, 128, 128), (0, 0, 0)
HOT = (0, 96, 192)
XP_FRAME, XP_FILL, XP_MARK, XP_HOT = (28, 81, 128), (236, 238, 240), (33, 161, 33), (248, 179, 48)
CELL = 16


class Strip:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.rows = [[MAGENTA] * width for _ in range(height)]

    def put(self, x, y, c):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1):
            self.put(x, y0, c)
            self.put(x, y1 - 1, c)
        for y in range(y0, y1):
            self.put(x0, y, c)
            self.put(x1 - 1, y, c)

    def bmp(self):
        row_bytes = (self.width * 3 + 3) & ~3
        pixels = bytearray()
        for row in reversed(self.rows):
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            line += b"\0" * (row_bytes - len(line))
            pixels += line
        header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
        return header + info + bytes(pixels)


def check_mark(s, y0, c, tick):
    # A check (two thick strokes) or a thin tick, inside the 13x13 box at (1, 1).
    points = [(4, 7), (5, 8), (6, 9), (7, 8), (8, 7), (9, 6), (10, 5)] if not tick else \
             [(4, 8), (5, 9), (6, 10), (7, 9), (8, 8), (9, 7), (10, 6), (11, 5)]
    for x, y in points:
        s.put(x, y0 + y, c)
        s.put(x, y0 + y - 1, c)
        if not tick:
            s.put(x, y0 + y - 2, c)


def disc(s, y0, cx, cy, r, c):
    for y in range(-r, r + 1):
        for x in range(-r, r + 1):
            if x * x + y * y <= r * r + r // 2:
                s.put(cx + x, y0 + cy + y, c)


def check_strip(dark, tick, flat=False, xp=False):
    s = Strip(CELL, 25 * CELL)
    for index in range(1, 25):
        y0 = index * CELL
        group, look = (index - 1) // 4, (index - 1) % 4
        hot, pressed, disabled = look == 1, look == 2, look == 3
        fill = XP_FILL if xp else (SILVER if (pressed or disabled or dark) else WHITE)
        frame = XP_FRAME if xp else (GREY if disabled else BLACK if flat else GREY)
        mark = GREY if disabled else (XP_MARK if xp else BLACK)
        if hot:
            frame = XP_HOT if xp else HOT
        if group in (0, 1):  # radio button
            disc(s, y0, 7, 8, 6, frame)
            disc(s, y0, 7, 8, 5, fill)
            if group == 1:
                disc(s, y0, 7, 8, 2, mark)
        elif group in (2, 3, 4):  # check box
            s.rect(1, y0 + 1, 14, y0 + 14, fill)
            s.frame(1, y0 + 1, 14, y0 + 14, frame)
            if not flat and not xp:
                s.frame(2, y0 + 2, 13, y0 + 13, BLACK if not disabled else GREY)
                s.rect(3, y0 + 3, 12, y0 + 12, fill)
            if group == 3:
                check_mark(s, y0, mark, tick)
            elif group == 4:
                s.rect(4, y0 + 4, 11, y0 + 11, GREY if not xp else XP_MARK)
        else:  # push button
            s.rect(1, y0 + 1, 15, y0 + 15, SILVER if not xp else XP_FILL)
            top, bottom = (GREY, WHITE) if pressed else (WHITE, BLACK)
            for i in range(1, 15):
                s.put(i, y0 + 1, top)
                s.put(1, y0 + i, top)
                s.put(i, y0 + 14, bottom)
                s.put(14, y0 + i, bottom)
    return s


def utilities():
    # Auxiliary pictures drawn on themed push buttons: index 0 unused, 1 an
    # ellipsis, 2 an arrow down.
    s = Strip(CELL, 3 * CELL)
    for x in (4, 7, 10):
        s.rect(x, CELL + 10, x + 2, CELL + 12, BLACK)
    for i in range(4):
        s.rect(4 + i, 2 * CELL + 6 + i, 12 - i, 2 * CELL + 7 + i, BLACK)
    return s


def shaded_button(plus):
    s = Strip(9, 9)
    for y in range(9):
        shade = 255 - y * 6
        s.rect(0, y, 9, y + 1, (shade, shade, min(255, shade + 8)))
    s.frame(0, 0, 9, 9, (120, 152, 181))
    s.rect(2, 4, 7, 5, (0, 0, 0))
    if plus:
        s.rect(4, 2, 5, 7, (0, 0, 0))
    return s


def main():
    os.makedirs(OUT, exist_ok=True)
    pictures = {
        "check_light": check_strip(dark=False, tick=False),
        "check_dark": check_strip(dark=True, tick=False),
        "tick_light": check_strip(dark=False, tick=True),
        "tick_dark": check_strip(dark=True, tick=True),
        "flat": check_strip(dark=False, tick=False, flat=True),
        "xp": check_strip(dark=False, tick=False, xp=True),
        "utilities": utilities(),
        "xp_button_plus": shaded_button(True),
        "xp_button_minus": shaded_button(False),
    }
    for name, picture in pictures.items():
        with open(os.path.join(OUT, name + ".bmp"), "wb") as f:
            f.write(picture.bmp())


if __name__ == "__main__":
    main()
