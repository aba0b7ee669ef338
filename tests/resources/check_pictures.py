#!/usr/bin/env python3
"""Checks the formats of the pictures make_pictures.py writes.

Usage: check_pictures.py FOLDER

The resource compiler takes the files as they are, and LoadIcon/LoadBitmap
fail or draw garbage on a malformed one, so this reads every header and
checks it against the size, depth and layout each picture must have.
"""
import os
import struct
import sys

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def read_info(data, offset, name):
    """The BITMAPINFOHEADER at offset, as a dict."""
    if not check(len(data) >= offset + 40, '%s: too short for a bitmap header' % name):
        return None
    f = struct.unpack_from('<IiiHHIIiiII', data, offset)
    return dict(zip(('size', 'width', 'height', 'planes', 'bits', 'compression',
                     'image_size', 'xppm', 'yppm', 'used', 'important'), f))


def check_icon(folder, name, size, bits):
    before = len(failures)
    data = open(os.path.join(folder, name), 'rb').read()
    if not check(len(data) >= 22, '%s: too short for an icon directory' % name):
        return
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    check((reserved, kind, count) == (0, 1, 1), '%s: not an icon file with one image' % name)
    w, h, colours, res, planes, entry_bits, length, offset = struct.unpack_from('<BBBBHHII', data, 6)
    check((w, h) == (size % 256, size % 256), '%s: directory says %dx%d' % (name, w, h))
    check(entry_bits == bits, '%s: directory says %d bits' % (name, entry_bits))
    check(offset == 22 and offset + length == len(data),
          '%s: image at %d, %d bytes, file %d bytes' % (name, offset, length, len(data)))
    info = read_info(data, offset, name)
    if info is None:
        return
    check(info['size'] == 40 and info['planes'] == 1 and info['compression'] == 0,
          '%s: not an uncompressed one-plane bitmap header' % name)
    check((info['width'], info['height']) == (size, 2 * size),
          '%s: image is %dx%d, wants %dx%d' % (name, info['width'], info['height'], size, 2 * size))
    check(info['bits'] == bits, '%s: image has %d bits per pixel' % (name, info['bits']))
    palette = 0
    if bits == 8:
        palette = info['used'] or 256
        check(palette <= 256, '%s: palette of %d entries' % (name, palette))
    xor_stride = (size * bits + 31) // 32 * 4
    and_stride = (size + 31) // 32 * 4
    start = offset + 40 + 4 * palette
    check(start + size * (xor_stride + and_stride) == len(data),
          '%s: %d bytes of pixels and mask, wants %d' % (name, len(data) - start, size * (xor_stride + and_stride)))
    if len(failures) > before:
        return
    masked = opaque = 0
    for row in range(size):
        xor = data[start + row * xor_stride:start + (row + 1) * xor_stride]
        mask = data[start + size * xor_stride + row * and_stride:][:and_stride]
        for x in range(size):
            transparent = bool(mask[x // 8] & (0x80 >> (x % 8)))
            masked += transparent
            opaque += not transparent
            if bits == 32:
                alpha = xor[4 * x + 3]
                # Where Windows draws without alpha it uses the mask: they must agree.
                check(transparent == (alpha < 128),
                      '%s: mask and alpha disagree at (%d, %d)' % (name, x, size - 1 - row))
            else:
                index = xor[x]
                check(index < palette, '%s: colour %d outside the palette' % (name, index))
                # A masked pixel must be black, or it tints what lies under the icon.
                check(not transparent or data[offset + 40 + 4 * index:][:3] == b'\0\0\0',
                      '%s: masked pixel not black at (%d, %d)' % (name, x, size - 1 - row))
    check(masked and opaque, '%s: %d transparent and %d opaque pixels' % (name, masked, opaque))


def read_bitmap(folder, name, size):
    before = len(failures)
    data = open(os.path.join(folder, name), 'rb').read()
    if not check(len(data) >= 54 and data[:2] == b'BM', '%s: not a bitmap file' % name):
        return None
    file_size, _, _, bits_offset = struct.unpack_from('<IHHI', data, 2)
    check(file_size == len(data), '%s: header says %d bytes, file has %d' % (name, file_size, len(data)))
    info = read_info(data, 14, name)
    if info is None:
        return None
    check(info['size'] == 40 and info['planes'] == 1, '%s: not a BITMAPINFOHEADER' % name)
    # Positive height: bottom-up rows, which is what LoadBitmap expects of a resource.
    check((info['width'], info['height']) == (size, size),
          '%s: %dx%d, wants %dx%d bottom-up' % (name, info['width'], info['height'], size, size))
    check(info['bits'] == 32 and info['compression'] == 0, '%s: not 32 bits BI_RGB' % name)
    check(bits_offset == 54 and bits_offset + size * size * 4 == len(data),
          '%s: pixels at %d, file %d bytes' % (name, bits_offset, len(data)))
    if len(failures) > before:
        return None
    pixels = data[bits_offset:]
    # LoadBitmap drops alpha, so every pixel must be meant to be seen as it is.
    check(all(pixels[i] == 255 for i in range(3, len(pixels), 4)), '%s: not fully opaque' % name)

    def at(x, y):  # y from the top
        i = ((size - 1 - y) * size + x) * 4
        return tuple(pixels[i + 2 - k] for k in range(3))
    return at


def check_pictures(folder):
    normal = read_bitmap(folder, 'picture.bmp', 96)
    hot = read_bitmap(folder, 'picture_hot.bmp', 96)
    if not (normal and hot):
        return
    corners = [(0, 0), (95, 0), (0, 95), (95, 95)]
    for name, at in (('picture.bmp', normal), ('picture_hot.bmp', hot)):
        # The static control fills the rest of its area with the top-left
        # pixel, so the corners must be the dialog's own grey.
        for x, y in corners:
            check(at(x, y) == (240, 240, 240), '%s: corner (%d, %d) is %r' % (name, x, y, at(x, y)))
    changed = sum(normal(x, y) != hot(x, y) for y in range(96) for x in range(96))
    check(changed > 96, 'picture_hot.bmp: only %d pixels differ from picture.bmp' % changed)


def main():
    folder = sys.argv[1]
    names = {'program48.ico', 'dialog16.ico', 'help20.ico', 'picture.bmp', 'picture_hot.bmp'}
    missing = sorted(n for n in names if not os.path.isfile(os.path.join(folder, n)))
    check(not missing, 'missing: %s' % ', '.join(missing))
    if not missing:
        check_icon(folder, 'program48.ico', 48, 32)
        check_icon(folder, 'dialog16.ico', 16, 32)
        check_icon(folder, 'help20.ico', 20, 8)
        check_pictures(folder)
    for f in failures[:20]:
        print('FAIL', f)
    print('%d failures' % len(failures) if failures else 'pictures OK')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
