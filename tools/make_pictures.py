#!/usr/bin/python3
"""Draws the wizard's pictures: the bitmap resources in wizard/pictures/ and
the two tip pictures in data/ (JPEG through ImageMagick's convert).

Run from the repository root: /usr/bin/python3 tools/make_pictures.py
The outputs are committed; rerun only to change a picture."""
import os
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Colours as (r, g, b).
WHITE, NAVY, TEAL, ORANGE, GREY = (255, 255, 255), (16, 32, 96), (0, 128, 128), (240, 140, 20), (128, 128, 128)
MAGENTA = (255, 0, 255)  # the tool-bar strip's transparent colour
GREEN, RED, BLACK = (0, 150, 0), (200, 30, 30), (0, 0, 0)


class Picture:
    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.rows = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1):
            self.put(x, y0, colour)
            self.put(x, y1 - 1, colour)
        for y in range(y0, y1):
            self.put(x0, y, colour)
            self.put(x1 - 1, y, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(x, y, colour)

    def gradient(self, top, bottom):
        for y in range(self.height):
            t = y / max(1, self.height - 1)
            c = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
            for x in range(self.width):
                self.rows[y][x] = c

    def bmp(self):
        """A bottom-up 24-bit BMP file."""
        stride = (self.width * 3 + 3) & ~3
        pixels = bytearray()
        for row in reversed(self.rows):
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            line += b"\0" * (stride - len(line))
            pixels += line
        header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
        return header + info + bytes(pixels)

    def ppm(self):
        return b"P6 %d %d 255\n" % (self.width, self.height) + bytes(c for row in self.rows for px in row for c in px)


def notes(p, x0, y0, colour, scale=1):
    """Two beamed notes, the program's mark."""
    s = scale
    p.disc(x0 + 4 * s, y0 + 18 * s, 3 * s, colour)
    p.disc(x0 + 14 * s, y0 + 16 * s, 3 * s, colour)
    p.rect(x0 + 6 * s, y0 + 2 * s, x0 + 7 * s + (s > 1), y0 + 18 * s, colour)
    p.rect(x0 + 16 * s, y0, x0 + 17 * s + (s > 1), y0 + 16 * s, colour)
    p.rect(x0 + 6 * s, y0, x0 + 17 * s, y0 + 3 * s, colour)


def banner():
    p = Picture(150, 95, WHITE)
    p.gradient((235, 242, 255), (150, 180, 230))
    notes(p, 30, 20, NAVY, 2)
    notes(p, 85, 30, TEAL, 2)
    p.frame(0, 0, 150, 95, NAVY)
    return p


def about_picture():
    p = Picture(150, 269, WHITE)
    p.gradient((30, 50, 120), (120, 170, 230))
    for i in range(5):
        notes(p, 20 + (i % 2) * 60, 20 + i * 48, (255, 255, 255) if i % 2 else ORANGE, 2)
    return p


def phase_marker():
    p = Picture(20, 20, (212, 208, 200))  # the button face it sits on
    for y in range(4, 16):  # an arrow pointing right
        half = 6 - abs(y - 10)
        p.rect(4, y, 6 + half * 2 + 2, y + 1, RED) if abs(y - 10) <= 2 else None
    for i in range(7):
        p.rect(11 + i - 0, 4 + i, 12 + i, 17 - i, RED)
    p.rect(3, 8, 12, 13, RED)
    return p


def toolbar_strip():
    """Ten 24x24 glyphs: play, delete, move, copy, all, none, invert, smart, report, options."""
    p = Picture(240, 24, MAGENTA)
    def g(i):
        return i * 24
    # 0 play: a triangle
    for i in range(12):
        p.rect(g(0) + 7 + i, 4 + i // 2, g(0) + 8 + i, 20 - i // 2, GREEN)
    # 1 delete: a cross
    for i in range(14):
        p.rect(g(1) + 5 + i, 5 + i, g(1) + 8 + i, 6 + i, RED)
        p.rect(g(1) + 16 - i, 5 + i, g(1) + 19 - i, 6 + i, RED)
    # 2 move and 3 copy: sheets with an arrow
    for k, colour in ((2, NAVY), (3, TEAL)):
        p.frame(g(k) + 3, 3, g(k) + 13, 17, colour)
        if k == 3:
            p.frame(g(k) + 7, 7, g(k) + 17, 21, colour)
        p.rect(g(k) + 13, 11, g(k) + 21, 13, ORANGE)
        p.rect(g(k) + 18, 8, g(k) + 19, 16, ORANGE)
    # 4 all, 5 none, 6 invert: boxes
    for k in (4, 5, 6):
        p.frame(g(k) + 4, 4, g(k) + 20, 20, BLACK)
    for i in range(6):
        p.rect(g(4) + 7 + i, 11 + i // 2, g(4) + 9 + i, 13 + i // 2, GREEN)
        p.rect(g(4) + 12 + i, 14 - i, g(4) + 14 + i, 16 - i, GREEN)
    p.rect(g(6) + 5, 5, g(6) + 12, 19, BLACK)
    # 7 smart: a star-like dot
    p.disc(g(7) + 12, 12, 6, ORANGE)
    p.disc(g(7) + 12, 12, 2, RED)
    # 8 report: a page with lines
    p.frame(g(8) + 5, 2, g(8) + 19, 22, NAVY)
    for y in (6, 10, 14, 18):
        p.rect(g(8) + 8, y, g(8) + 16, y + 1, NAVY)
    # 9 options: a cog-like ring
    p.disc(g(9) + 12, 12, 8, GREY)
    p.disc(g(9) + 12, 12, 3, MAGENTA)
    return p


def check_glyphs():
    """Four 16x16 glyphs: unchecked, unchecked selected, checked, checked selected."""
    p = Picture(64, 16, WHITE)
    for k in range(4):
        x = k * 16
        back = (49, 106, 197) if k % 2 else WHITE
        p.rect(x, 0, x + 16, 16, back)
        p.rect(x + 2, 2, x + 14, 14, WHITE)
        p.frame(x + 2, 2, x + 14, 14, (28, 81, 128))
        if k >= 2:
            for i in range(3):
                p.rect(x + 4 + i, 7 + i, x + 5 + i, 10 + i, BLACK)
            for i in range(4):
                p.rect(x + 7 + i, 9 - i * 1 - 0, x + 8 + i, 12 - i, BLACK)
    return p


def tip(title_colour, accent):
    p = Picture(400, 250, WHITE)
    p.gradient((250, 250, 255), accent)
    notes(p, 40, 60, title_colour, 4)
    p.rect(160, 70, 370, 90, title_colour)
    p.rect(160, 110, 340, 120, GREY)
    p.rect(160, 130, 350, 140, GREY)
    p.rect(160, 150, 300, 160, GREY)
    p.frame(0, 0, 400, 250, title_colour)
    return p


def write(path, data):
    with open(os.path.join(ROOT, path), "wb") as f:
        f.write(data)


def jpeg(path, picture):
    target = os.path.join(ROOT, path)
    subprocess.run(["convert", "ppm:-", "-quality", "85", "-strip", target], input=picture.ppm(), check=True)


def main():
    write("wizard/pictures/banner.bmp", banner().bmp())
    write("wizard/pictures/about.bmp", about_picture().bmp())
    write("wizard/pictures/phase_marker.bmp", phase_marker().bmp())
    write("wizard/pictures/result_tools.bmp", toolbar_strip().bmp())
    write("wizard/pictures/check_glyphs.bmp", check_glyphs().bmp())
    jpeg("data/Brisquel.jpg", tip(NAVY, (200, 215, 245)))
    jpeg("data/EmptyTags.jpg", tip(TEAL, (210, 240, 225)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
