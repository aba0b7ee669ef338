#!/usr/bin/env python3
"""Draws the installer's icons and bitmaps and writes them as .ico and .bmp.

Usage: make_pictures.py OUTPUT_FOLDER

program48.ico  48 x 48, 32 bits per pixel (the program file's icon)
dialog16.ico   16 x 16, 32 bits per pixel (the main dialog's class icon)
help20.ico     20 x 20, 8 bits per pixel, 256 colours (the help button)
picture.bmp    96 x 96, 32 bits per pixel, uncompressed (the picture link)
picture_hot.bmp  the same picture under the mouse
"""
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

def canvas(width, height, colour=(0, 0, 0, 0)):
    return [colour] * (width * height)


def disc(px, width, height, cx, cy, radius, colour):
    for y in range(height):
        for x in range(width):
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius * radius:
                px[y * width + x] = colour


def program_icon(size):
    px = canvas(size, size)
    disc(px, size, size, size / 2, size / 2, size / 2 - 1, (30, 110, 200, 255))
    return px


def help_icon(size):
    px = canvas(size, size)
    disc(px, size, size, size / 2, size / 2, size / 2 - 1, (40, 150, 60, 255))
    return px


def picture(hot):
    size = 96
    px = canvas(size, size, (240, 240, 240, 255))
    disc(px, size, size, 48, 48, 40, (250, 180, 40, 255) if hot else (30, 110, 200, 255))
    return px


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, 'program48.ico'), 48, 48, icon_32bpp(program_icon(48), 48, 48))
    write_icon(os.path.join(out, 'dialog16.ico'), 16, 16, icon_32bpp(program_icon(16), 16, 16))
    write_icon(os.path.join(out, 'help20.ico'), 20, 20, icon_8bpp(help_icon(20), 20, 20))
    write_bmp(os.path.join(out, 'picture.bmp'), picture(False), 96, 96)
    write_bmp(os.path.join(out, 'picture_hot.bmp'), picture(True), 96, 96)


if __name__ == '__main__':
    main()
