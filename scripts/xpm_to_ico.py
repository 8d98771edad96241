#!/usr/bin/env python3
"""Turns Quorvel's XPM icon (app/quorvel.xpm, drawn by make_icon.py) into a Windows .ico:
one 32x32 image, 16 colours, transparent where the XPM says None.

Usage: scripts/xpm_to_ico.py app/quorvel.xpm quorvel.ico
"""
import re
import struct
import sys


def read_xpm(path):
    strings = re.findall(r'"([^"]*)"', open(path).read())
    width, height, ncolors, cpp = map(int, strings[0].split()[:4])
    colours = {}
    for line in strings[1:1 + ncolors]:
        key, spec = line[:cpp], line[cpp:].split()
        value = spec[spec.index("c") + 1]
        colours[key] = None if value.lower() == "none" else int(value.lstrip("#"), 16)
    rows = strings[1 + ncolors:1 + ncolors + height]
    pixels = [[colours[row[x * cpp:(x + 1) * cpp]] for x in range(width)] for row in rows]
    return width, height, pixels


def ico(width, height, pixels):
    palette = sorted({p for row in pixels for p in row if p is not None})
    if len(palette) > 16:
        sys.exit("more than 16 colours")
    palette += [0] * (16 - len(palette))
    index = {c: i for i, c in enumerate(palette)}

    def rows_bottom_up():
        return reversed(pixels)

    xor = b""
    for row in rows_bottom_up():
        nibbles = [index.get(p, 0) for p in row]
        xor += bytes((nibbles[x] << 4) | nibbles[x + 1] for x in range(0, width, 2))
    mask_stride = (width + 31) // 32 * 4
    mask = b""
    for row in rows_bottom_up():
        bits = 0
        for x, p in enumerate(row):
            if p is None:
                bits |= 1 << (mask_stride * 8 - 1 - x)
        mask += bits.to_bytes(mask_stride, "big")
    # The image is a DIB whose height counts the colour and mask halves together.
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    colours = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0)
                       for c in palette)
    image = header + colours + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    source, target = sys.argv[1:3]
    with open(target, "wb") as out:
        out.write(ico(*read_xpm(source)))
