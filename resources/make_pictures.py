#!/usr/bin/env python3
"""Draws the installer's icons and bitmaps and writes them as .ico and .bmp.

Usage: make_pictures.py OUTPUT_FOLDER

program48.ico  48 x 48, 32 bits per pixel (the program file's icon)
dialog16.ico   16 x 16, 32 bits per pixel (the main dialog's class icon)
help20.ico     20 x 20, 8 bits per pixel, 256 colours (the help button)
picture.bmp    96 x 96, 32 bits per pixel, uncompressed (the picture link)
picture_hot.bmp  the same picture under the mouse
"""
import math
import os
import struct
import sys


def bitmap_info(width, height, bits, colours=0):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, 0, 0, 0, colours, 0)


def rows_bgra(pixels, width, height):
    """Bottom-up rows of BGRA bytes from a row-major list of (r, g, b, a)."""
    out = bytearray()
    for y in range(height - 1, -1, -1):
        for x in range(width):
            r, g, b, a = pixels[y * width + x]
            out += bytes((b, g, r, a))
    return bytes(out)


def and_mask(pixels, width, height):
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            if pixels[y * width + x][3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def write_icon(path, width, height, image):
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, 1))
        f.write(struct.pack('<BBBBHHII', width % 256, height % 256, 0, 0, 1,
                            image['bits'], len(image['data']), 6 + 16))
        f.write(image['data'])


def icon_32bpp(pixels, width, height):
    data = bitmap_info(width, height * 2, 32) + rows_bgra(pixels, width, height) + \
        and_mask(pixels, width, height)
    return {'bits': 32, 'data': data}


def icon_8bpp(pixels, width, height):
    """Palette of the colours used (at most 256); transparent pixels map to
    entry 0 and are masked out."""
    palette = [(0, 0, 0)]
    index = {}
    body = bytearray()
    stride = (width + 3) // 4 * 4
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            r, g, b, a = pixels[y * width + x]
            if a < 128:
                continue
            key = (r, g, b)
            if key not in index:
                if len(palette) == 256:
                    key = min(palette[1:], key=lambda p: sum((p[i] - key[i]) ** 2 for i in range(3)))
                else:
                    index[key] = len(palette)
                    palette.append(key)
            row[x] = index[key]
        body += row
    pal = b''.join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    pal += b'\0' * (4 * (256 - len(palette)))
    data = bitmap_info(width, height * 2, 8, 256) + pal + bytes(body) + \
        and_mask(pixels, width, height)
    return {'bits': 8, 'data': data}


def write_bmp(path, pixels, width, height):
    body = rows_bgra(pixels, width, height)
    info = bitmap_info(width, height, 32)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(body), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + body)


# ---- drawing ------------------------------------------------------------------
# A shape is a list of closed contours (lists of (x, y) points, y downwards),
# filled by the nonzero rule: pieces of one shape that overlap (the segments of
# a stroke, its round joins) merge without seams, and a hole is a contour that
# runs the other way. Coverage is exact along each row and sampled on SUB
# sub-rows, which anti-aliases every edge.

SUB = 8


def area(contour):
    return sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(contour, contour[1:] + contour[:1]))


def outer(contour):
    return contour if area(contour) > 0 else contour[::-1]


def hole(contour):
    return outer(contour)[::-1]


def arc(cx, cy, r, a0, a1, n=None):
    """Points on a circle from angle a0 to a1 in degrees (90 points down)."""
    n = n or max(4, int(abs(a1 - a0) / 360 * max(24, r * 8)))
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / n))) for i in range(n + 1)]


def circle(cx, cy, r):
    return outer(arc(cx, cy, r, 0, 360)[:-1])


def rect(x0, y0, x1, y1):
    return outer([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])


def rrect(x0, y0, x1, y1, r):
    return outer(arc(x1 - r, y0 + r, r, -90, 0) + arc(x1 - r, y1 - r, r, 0, 90) +
                 arc(x0 + r, y1 - r, r, 90, 180) + arc(x0 + r, y0 + r, r, 180, 270))


def band(p, q, width):
    """The segment p-q thickened to width, with square-cut ends."""
    dx, dy = q[0] - p[0], q[1] - p[1]
    k = width / 2 / math.hypot(dx, dy)
    nx, ny = -dy * k, dx * k
    return outer([(p[0] + nx, p[1] + ny), (q[0] + nx, q[1] + ny),
                  (q[0] - nx, q[1] - ny), (p[0] - nx, p[1] - ny)])


def stroke(points, width):
    """A polyline with round caps and joins."""
    return [band(p, q, width) for p, q in zip(points, points[1:])] + \
        [circle(x, y, width / 2) for x, y in points]


def clip_y(contour, y0, y1):
    """The part of a contour between the rows y0 and y1 (Sutherland-Hodgman)."""
    for keep, edge in ((lambda p: p[1] >= y0, y0), (lambda p: p[1] <= y1, y1)):
        out = []
        for a, b in zip(contour[-1:] + contour[:-1], contour):
            if keep(b) != keep(a):
                t = (edge - a[1]) / (b[1] - a[1])
                out.append((a[0] + (b[0] - a[0]) * t, edge))
            if keep(b):
                out.append(b)
        contour = out
    return contour


def place(shape, x, y, scale):
    return [[(x + px * scale, y + py * scale) for px, py in c] for c in shape]


def lerp(c0, c1, t):
    t = min(1.0, max(0.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def linear(x0, y0, c0, x1, y1, c1):
    """A paint shading from c0 at (x0, y0) to c1 at (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    d2 = dx * dx + dy * dy
    return lambda x, y: lerp(c0, c1, ((x - x0) * dx + (y - y0) * dy) / d2)


def lighter(colour, amount):
    return tuple(c + (255 - c) * amount for c in colour[:3]) + tuple(colour[3:])


class Canvas:
    """Premultiplied RGBA in floats: colour 0..255, alpha 0..1."""

    def __init__(self, size, background=None):
        self.size = size
        n = size * size
        if background:
            self.px = [[float(background[0]), float(background[1]), float(background[2]), 1.0]
                       for _ in range(n)]
        else:
            self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(n)]

    def coverage(self, shape):
        size = self.size
        edges = []
        for c in shape:
            for (x0, y0), (x1, y1) in zip(c[-1:] + c[:-1], c):
                if y0 != y1:
                    edges.append((x0, y0, x1, y1, 1) if y0 < y1 else (x1, y1, x0, y0, -1))
        cov = [0.0] * (size * size)
        if not edges:
            return cov
        top = max(0, int(min(e[1] for e in edges)))
        bottom = min(size, int(math.ceil(max(e[3] for e in edges))))
        for py in range(top, bottom):
            base = py * size
            for s in range(SUB):
                y = py + (s + 0.5) / SUB
                xs = sorted((x0 + (y - y0) * (x1 - x0) / (y1 - y0), d)
                            for x0, y0, x1, y1, d in edges if y0 <= y < y1)
                wind, start = 0, 0.0
                for x, d in xs:
                    if wind == 0:
                        start = x
                    wind += d
                    if wind == 0:
                        self._span(cov, base, max(0.0, start), min(float(size), x))
        return cov

    @staticmethod
    def _span(cov, base, a, b):
        ix = int(a)
        while ix < b:
            cov[base + ix] += (min(b, ix + 1) - max(a, ix)) / SUB
            ix += 1

    def paint(self, cov, paint, opacity=1.0):
        size = self.size
        for i, c in enumerate(cov):
            if c <= 0.0:
                continue
            colour = paint(i % size + 0.5, i // size + 0.5) if callable(paint) else paint
            a = min(c, 1.0) * opacity * (colour[3] if len(colour) > 3 else 1.0)
            p = self.px[i]
            k = 1.0 - a
            p[0] = colour[0] * a + p[0] * k
            p[1] = colour[1] * a + p[1] * k
            p[2] = colour[2] * a + p[2] * k
            p[3] = a + p[3] * k

    def fill(self, shape, paint, opacity=1.0):
        self.paint(self.coverage(shape), paint, opacity)

    def shadow(self, shape, dx, dy, radius, opacity, colour=(0, 30, 40)):
        """A soft shadow (or glow): the shape moved and blurred by three box passes."""
        size = self.size
        cov = self.coverage(place(shape, dx, dy, 1))
        for _ in range(3):
            for stride, count in ((1, size), (size, size)):
                out = [0.0] * len(cov)
                for line in range(size):
                    start = line * (size if stride == 1 else 1)
                    vals = [cov[start + j * stride] for j in range(count)]
                    for j in range(count):
                        lo, hi = max(0, j - radius), min(count, j + radius + 1)
                        out[start + j * stride] = sum(vals[lo:hi]) / (2 * radius + 1)
                cov = out
        self.paint(cov, colour, opacity)

    def pixels(self):
        out = []
        for r, g, b, a in self.px:
            if a <= 0.0:
                out.append((0, 0, 0, 0))
            else:
                out.append(tuple(min(255, max(0, int(round(v / a)))) for v in (r, g, b)) +
                           (min(255, int(round(a * 255))),))
        return out


# ---- the pictures ----------------------------------------------------------------

TEAL_TOP = (22, 158, 166)
TEAL_BOTTOM = (9, 70, 104)
ORANGE = (255, 146, 36)
ORANGE_DARK = (226, 96, 14)
WHITE = (255, 255, 255)
SILVER = (238, 242, 244)
SILVER_DARK = (164, 176, 184)
DIALOG_GREY = (240, 240, 240)


def k_mark(c, x, y, h, leg=ORANGE, body=WHITE):
    """The Kavel mark: a geometric K, its leg in the accent colour. (x, y) is
    the top-left corner, h the height; the stem is h / 4 wide."""
    t = 0.25
    arm = clip_y(band((t * 0.6, 0.78), (0.80, -0.10), 0.27), 0.0, 1.0)
    leg_shape = clip_y(band((0.36, 0.42), (0.86, 1.10), 0.27), 0.0, 1.0)
    c.fill(place([leg_shape], x, y, h), leg)
    c.fill(place([rect(0, 0, t, 1), arm], x, y, h), body)


# The mark pixel by pixel for 16 x 16, where a scaled one would blur.
SMALL_K = ['WW...WW.',
           'WW..WW..',
           'WW.WW...',
           'WWWW....',
           'WW.OO...',
           'WW..OO..',
           'WW...OO.',
           'WW....OO']


def program_icon():
    """A USB stick whose body carries the mark."""
    c = Canvas(48)
    body = rrect(8, 13, 40, 46, 6)
    c.shadow([body], 0, 1.5, 1, 0.45)
    c.fill([rrect(15, 2, 33, 15, 1.5)], linear(15, 0, SILVER, 33, 0, SILVER_DARK))
    c.fill([rect(19, 6, 22, 9), rect(26, 6, 29, 9)], (70, 86, 96))
    c.fill([body], linear(0, 13, TEAL_TOP, 0, 46, TEAL_BOTTOM))
    # A thin lighter rim along the top gives the body some depth.
    c.fill([body, hole(rrect(9, 14, 39, 45, 5))],
           linear(0, 13, (255, 255, 255, 0.45), 0, 30, (255, 255, 255, 0.0)))
    k_mark(c, 16, 20, 20)
    return c.pixels()


def dialog_icon():
    """The program icon redrawn on the 16 x 16 pixel grid, so that it stays sharp."""
    c = Canvas(16)
    c.fill([rect(5, 0, 11, 5)], linear(5, 0, SILVER, 11, 0, SILVER_DARK))
    c.fill([rect(6, 1, 7, 3), rect(9, 1, 10, 3)], (70, 86, 96))
    c.fill([rrect(2, 4, 14, 16, 2)], linear(0, 4, TEAL_TOP, 0, 16, TEAL_BOTTOM))
    for row, line in enumerate(SMALL_K):
        for col, ch in enumerate(line):
            if ch != '.':
                c.fill([rect(4 + col, 6 + row, 5 + col, 7 + row)], WHITE if ch == 'W' else ORANGE)
    return c.pixels()


def help_icon():
    """A question mark on a disc in the program's blue."""
    c = Canvas(20)
    c.fill([circle(10, 10, 9.3)], linear(0, 0, (40, 170, 190), 0, 20, (12, 78, 128)))
    c.fill([circle(10, 10, 9.3), hole(circle(10, 10, 8.4))], (255, 255, 255, 0.35))
    c.fill(stroke(arc(10, 7.7, 3.2, 195, 410) + [(10, 11.3), (10, 12.2)], 2.4), WHITE)
    c.fill([circle(10, 15.3, 1.35)], WHITE)
    # The icon has only a one-bit mask, so edge pixels are mixed with a grey
    # between the usual button faces (#F0F0F0, #D4D0C8), and colours are
    # rounded so that they fit the 256-colour palette.
    out = []
    for r, g, b, a in c.pixels():
        if a < 150:  # leaves no lone pixels on the disc's outline
            out.append((0, 0, 0, 0))
            continue
        k = a / 255.0
        out.append(tuple(min(255, int(round((v * k + 228 * (1 - k)) / 4)) * 4) for v in (r, g, b)) + (255,))
    return out


def chinese_edition(c, x, y, em, width, colour):
    """The characters 中文 drawn as strokes in an em box."""
    zhong = [rect(0.10, 0.26, 0.90, 0.70), hole(rect(0.10 + width, 0.26 + width, 0.90 - width, 0.70 - width))]
    zhong += [band((0.5, 0.02), (0.5, 0.98), width)]
    wen = [band((0.46, 0.02), (0.54, 0.16), width), band((0.04, 0.26), (0.96, 0.26), width)]
    wen += stroke([(0.26, 0.26), (0.42, 0.56), (0.62, 0.80), (0.96, 0.98)], width)
    wen += stroke([(0.74, 0.26), (0.58, 0.56), (0.38, 0.80), (0.04, 0.98)], width)
    c.fill(place(zhong, x, y, em) + place(wen, x + em * 1.08, y, em), colour)


def picture(hot):
    """The link to the Chinese edition: a disc with the mark, 中文 and a
    download badge on a card; under the mouse the card brightens and the
    badge glows, its arrow a little larger."""
    size = 96
    c = Canvas(size, DIALOG_GREY)
    card = rrect(5, 4, 91, 89, 14)
    c.shadow([card], 0, 2, 2, 0.35)
    top, bottom = ((40, 190, 194), (14, 104, 140)) if hot else (TEAL_TOP, TEAL_BOTTOM)
    c.fill([card], linear(20, 4, top, 76, 89, bottom))
    c.fill([card, hole(rrect(6, 5, 90, 88, 13))],
           linear(0, 4, (255, 255, 255, 0.5), 0, 50, (255, 255, 255, 0.05)))
    # The disc: the ISO image, its label carrying the mark.
    cx, cy, r = 41, 38, 27
    c.shadow([circle(cx, cy, r)], 0, 1.5, 1, 0.35)
    c.fill([circle(cx, cy, r)], linear(cx - r, cy - r, SILVER, cx + r, cy + r, SILVER_DARK))
    for a0, a1 in ((200, 250), (20, 70)):
        c.fill([outer([(cx, cy)] + arc(cx, cy, r - 1, a0, a1))], (255, 255, 255, 0.55))
    c.fill([circle(cx, cy, r), hole(circle(cx, cy, r - 1))], (120, 136, 146, 0.6))
    c.fill([circle(cx, cy, 13.5)], linear(0, cy - 13, TEAL_TOP, 0, cy + 13, TEAL_BOTTOM))
    k_mark(c, cx - 7.5, cy - 8, 16)
    chinese_edition(c, 13, 70, 13, 0.15, WHITE)
    # The download badge.
    bx, by, br = 70, 66, 15
    if hot:
        c.shadow([circle(bx, by, br + 1.5)], 0, 0, 1, 0.9, (255, 214, 120))
    else:
        c.shadow([circle(bx, by, br)], 0, 1.5, 1, 0.5)
    hi, lo = (lighter(ORANGE, 0.25), ORANGE) if hot else (ORANGE, ORANGE_DARK)
    c.fill([circle(bx, by, br)], linear(0, by - br, hi, 0, by + br, lo))
    c.fill([circle(bx, by, br), hole(circle(bx, by, br - 1))], (255, 255, 255, 0.4))
    s = 1.1 if hot else 1.0
    arrow = outer([(bx - 3 * s, by - 8 * s), (bx + 3 * s, by - 8 * s), (bx + 3 * s, by - 1 * s),
                   (bx + 7.5 * s, by - 1 * s), (bx, by + 6.5 * s), (bx - 7.5 * s, by - 1 * s),
                   (bx - 3 * s, by - 1 * s)])
    c.fill([arrow], WHITE)
    c.fill([rect(bx - 7, by + 8.5, bx + 7, by + 10.5)], WHITE)
    return c.pixels()


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, 'program48.ico'), 48, 48, icon_32bpp(program_icon(), 48, 48))
    write_icon(os.path.join(out, 'dialog16.ico'), 16, 16, icon_32bpp(dialog_icon(), 16, 16))
    write_icon(os.path.join(out, 'help20.ico'), 20, 20, icon_8bpp(help_icon(), 20, 20))
    write_bmp(os.path.join(out, 'picture.bmp'), picture(False), 96, 96)
    write_bmp(os.path.join(out, 'picture_hot.bmp'), picture(True), 96, 96)


if __name__ == '__main__':
    main()
