#!/usr/bin/env python3
"""Draws Velquist's icons and writes them as .ico files next to this script.

    python3 resources/draw_icons.py

program.ico         the magenta block cube, one block set apart at its upper right (32 and 16 pixels)
program-shadow.ico  the same cube over a grey shadow (32 and 16 pixels)
check.ico           a green check mark (16 pixels)
cross.ico           a red X (16 pixels)
warning.ico         an amber triangle with an exclamation mark (16 pixels)

Standard library only: shapes are rendered with 4 x 4 supersampling into RGBA, and each image is
stored as a 32-bit BMP entry (BGRA with alpha) followed by its 1-bit AND mask.
"""

import math
import os
import struct

SUPER = 4  # samples per pixel along each axis


class Canvas:
    """An RGBA image drawn at SUPER times its size, shapes painted over each other in order."""

    def __init__(self, size):
        self.size = size
        self.n = size * SUPER
        self.px = [(0, 0, 0, 0)] * (self.n * self.n)

    def _paint(self, inside, colour, box):
        x0, y0, x1, y1 = box
        lo_x = max(0, int(x0 * SUPER))
        hi_x = min(self.n, int(math.ceil(x1 * SUPER)))
        lo_y = max(0, int(y0 * SUPER))
        hi_y = min(self.n, int(math.ceil(y1 * SUPER)))
        for sy in range(lo_y, hi_y):
            y = (sy + 0.5) / SUPER
            row = sy * self.n
            for sx in range(lo_x, hi_x):
                x = (sx + 0.5) / SUPER
                if inside(x, y):
                    self.px[row + sx] = blend(colour, self.px[row + sx])

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            hit = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    hit = not hit
                j = i
            return hit

        self._paint(inside, colour, (min(xs), min(ys), max(xs), max(ys)))

    def line(self, a, b, width, colour):
        """A thick segment with round ends."""
        (ax, ay), (bx, by) = a, b
        r = width / 2.0
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy

        def inside(x, y):
            t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
            px, py = ax + t * dx - x, ay + t * dy - y
            return px * px + py * py <= r * r

        self._paint(inside, colour, (min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r))

    def pixels(self):
        """The image at its real size: averaged samples, rows top to bottom, (r, g, b, a) 0..255."""
        out = []
        area = SUPER * SUPER
        for y in range(self.size):
            for x in range(self.size):
                r = g = b = a = 0.0
                for sy in range(SUPER):
                    for sx in range(SUPER):
                        pr, pg, pb, pa = self.px[(y * SUPER + sy) * self.n + x * SUPER + sx]
                        r += pr * pa
                        g += pg * pa
                        b += pb * pa
                        a += pa
                if a == 0:
                    out.append((0, 0, 0, 0))
                else:
                    out.append((round(r / a), round(g / a), round(b / a), round(a / area)))
        return out


def blend(top, bottom):
    """Source-over of two straight-alpha colours."""
    tr, tg, tb, ta = top
    br, bg, bb, ba = bottom
    ta /= 255.0
    ba /= 255.0
    a = ta + ba * (1 - ta)
    if a == 0:
        return (0, 0, 0, 0)
    mix = lambda t, b: round((t * ta + b * ba * (1 - ta)) / a)
    return (mix(tr, br), mix(tg, bg), mix(tb, bb), round(a * 255))


def shade(colour, factor):
    r, g, b, a = colour
    return (min(255, round(r * factor)), min(255, round(g * factor)), min(255, round(b * factor)), a)


MAGENTA = (214, 0, 214, 255)
EDGE = (90, 0, 90, 255)
SHADOW = (96, 96, 96, 110)


def draw_block(canvas, x, y, b, d, tone):
    """One block in oblique projection: (x, y) is its front face's lower left corner, b its side,
    d the depth offset of its top and right faces."""
    front = [(x, y - b), (x + b, y - b), (x + b, y), (x, y)]
    top = [(x, y - b), (x + d, y - b - d), (x + b + d, y - b - d), (x + b, y - b)]
    right = [(x + b, y - b), (x + b + d, y - b - d), (x + b + d, y - d), (x + b, y)]
    for face, factor in ((front, 1.0), (top, 1.35), (right, 0.7)):
        canvas.polygon(face, shade(MAGENTA, factor * tone))
    if b >= 5:
        # Seams between blocks, only where there is room for them.
        w = 0.6
        for face in (front, top, right):
            for i in range(len(face)):
                canvas.line(face[i], face[(i + 1) % len(face)], w, EDGE)


def draw_cube(canvas, size, shadow=False):
    """A 3 x 3 x 3 cube of blocks whose upper right front block is missing: it floats apart, up and
    to the right of the cube, in the icon's corner."""
    if size >= 32:
        b, d, ox, oy, fx, fy, off = 5.0, 2.0, 1.0, 30.5, 24.0, 8.0, 1.5
    else:
        b, d, ox, oy, fx, fy, off = 3.0, 1.0, 0.0, 15.0, 12.0, 4.0, 1.0
    n = 3
    removed = (n - 1, n - 1, 0)  # column, row, depth layer (0 = front)
    if shadow:
        # The outlines of cube and block, offset down and right, under everything.
        w = n * b
        cube = [(ox, oy), (ox, oy - w), (ox + n * d, oy - w - n * d), (ox + w + n * d, oy - w - n * d),
                (ox + w + n * d, oy - n * d), (ox + w, oy)]
        block = [(fx, fy), (fx, fy - b), (fx + d, fy - b - d), (fx + b + d, fy - b - d), (fx + b + d, fy - d),
                 (fx + b, fy)]
        for outline in (cube, block):
            canvas.polygon([(x + off, y + off) for x, y in outline], SHADOW)
    for k in reversed(range(n)):  # back layers first
        for j in range(n):  # bottom rows first
            for i in range(n):  # left columns first
                if (i, j, k) == removed:
                    continue
                tone = 1.0 if (i + j + k) % 2 == 0 else 0.86
                draw_block(canvas, ox + i * b + k * d, oy - j * b - k * d, b, d, tone)
    draw_block(canvas, fx, fy, b, d, 1.0)


def program_icon(size, shadow=False):
    canvas = Canvas(size)
    draw_cube(canvas, size, shadow)
    return canvas.pixels()


def check_icon():
    canvas = Canvas(16)
    dark = (0, 110, 0, 255)
    green = (40, 190, 40, 255)
    points = [(2.5, 8.5), (6.0, 12.0), (13.5, 3.5)]
    for width, colour in ((3.6, dark), (2.2, green)):
        canvas.line(points[0], points[1], width, colour)
        canvas.line(points[1], points[2], width, colour)
    return canvas.pixels()


def cross_icon():
    canvas = Canvas(16)
    dark = (130, 0, 0, 255)
    red = (225, 30, 30, 255)
    for width, colour in ((3.8, dark), (2.4, red)):
        canvas.line((3.5, 3.5), (12.5, 12.5), width, colour)
        canvas.line((12.5, 3.5), (3.5, 12.5), width, colour)
    return canvas.pixels()


def warning_icon():
    canvas = Canvas(16)
    dark = (150, 90, 0, 255)
    amber = (250, 190, 30, 255)
    ink = (60, 40, 0, 255)
    canvas.polygon([(8.0, 0.8), (15.4, 14.6), (0.6, 14.6)], dark)
    canvas.polygon([(8.0, 3.0), (13.6, 13.5), (2.4, 13.5)], amber)
    canvas.line((8.0, 5.8), (8.0, 9.6), 2.0, ink)
    canvas.line((8.0, 11.5), (8.0, 12.1), 2.0, ink)
    return canvas.pixels()


def ico_entry(size, pixels):
    """BITMAPINFOHEADER, BGRA rows bottom up, AND mask rows bottom up (1 = transparent)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            colour += bytes((b, g, r, a))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if pixels[y * size + x][3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(colour) + bytes(mask)


def write_ico(path, images):
    """images: [(size, pixels)], largest first."""
    entries = [ico_entry(size, pixels) for size, pixels in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (size, _), data in zip(images, entries):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in entries:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_ico(os.path.join(here, "program.ico"), [(32, program_icon(32)), (16, program_icon(16))])
    write_ico(os.path.join(here, "program-shadow.ico"),
              [(32, program_icon(32, shadow=True)), (16, program_icon(16, shadow=True))])
    write_ico(os.path.join(here, "check.ico"), [(16, check_icon())])
    write_ico(os.path.join(here, "cross.ico"), [(16, cross_icon())])
    write_ico(os.path.join(here, "warning.ico"), [(16, warning_icon())])


if __name__ == "__main__":
    main()
