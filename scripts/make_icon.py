#!/usr/bin/env python3
"""Draws Quorvel's 32x32, 16-colour icon (a remote sending infrared waves) as XPM.

Usage: scripts/make_icon.py > app/quorvel.xpm
"""
import math

SIZE = 32
PALETTE = {  # the classic 16-colour palette, only the entries used
    ".": "None",
    "k": "#000000",
    "g": "#808080",
    "s": "#C0C0C0",
    "w": "#FFFFFF",
    "r": "#FF0000",
    "m": "#800000",
    "l": "#00FF00",
    "b": "#0000FF",
    "y": "#FFFF00",
}

px = [["." for _ in range(SIZE)] for _ in range(SIZE)]


def put(x, y, c):
    if 0 <= x < SIZE and 0 <= y < SIZE:
        px[y][x] = c


def rect(x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            put(x, y, c)


# Body of the remote, tilted upright, with a dark outline and a light left edge.
rect(5, 9, 16, 30, "k")
rect(6, 10, 15, 29, "g")
rect(6, 10, 6, 29, "s")
rect(6, 10, 15, 10, "s")
# Infrared window at the top end.
rect(8, 12, 13, 13, "m")
# Power button, then play (a small triangle), then a row of buttons.
rect(8, 16, 9, 17, "r")
for i in range(3):
    rect(12, 15 + i, 12 + i, 19 - i, "l")
for y in (22, 25):
    rect(8, y, 9, y + 1, "w")
    rect(12, y, 13, y + 1, "b")
rect(8, 28, 13, 28, "y")

# Waves leaving the infrared window towards the top right.
cx, cy = 11, 11
for radius in (6, 10, 14):
    for step in range(0, 91, 3):
        a = math.radians(step)
        put(round(cx + radius * math.sin(a) * 0.95 + 1), round(cy - radius * math.cos(a) * 0.95), "r")

used = sorted({c for row in px for c in row})
print("/* XPM */")
print("static const char* const quorvel_xpm[] = {")
print(f'"{SIZE} {SIZE} {len(used)} 1",')
for c in used:
    print(f'"{c} c {PALETTE[c]}",')
for i, row in enumerate(px):
    print(f'"{"".join(row)}"' + ("," if i < SIZE - 1 else ""))
print("};")
