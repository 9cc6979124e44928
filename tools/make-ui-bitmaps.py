#!/usr/bin/env python3
"""Draws the bitmaps of the dialog controls into ui/res/ as 24-bit BMP files.

BMPCL_ARROWS    64 x 16: arrow, highlighted arrow, grey arrow, shield
BMPCOL_BUTTON  114 x 19: upward chevron normal, highlighted, pressed;
                         downward chevron normal, highlighted, pressed
BMPSHIELD_BIG   32 x 32 and BMPSHIELD_SMALL 16 x 16: a shield

The bottom-left pixel of each is the transparent colour (magenta), and the
images leave it free. Run it again after changing a drawing; the files are
committed.
"""
import math
import os
import struct

KEY = (255, 0, 255)


def canvas(w, h):
    return [[KEY for _ in range(w)] for _ in range(h)]


def save(path, px):
    h, w = len(px), len(px[0])
    stride = (w * 3 + 3) // 4 * 4
    data = bytearray()
    for row in reversed(px):
        for r, g, b in row:
            data += bytes((b, g, r))
        data += b"\0" * (stride - w * 3)
    header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def blend(c1, c2, t):
    return tuple(int(round(a + (b - a) * t)) for a, b in zip(c1, c2))


def disc(px, ox, oy, size, cx, cy, r, color, edge=None):
    for y in range(size):
        for x in range(size):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d <= r:
                px[oy + y][ox + x] = edge if edge and d > r - 1.2 else color


def arrow(px, ox, fill, light):
    # A round button with a white arrow pointing right.
    disc(px, ox, 0, 16, 8, 8, 7.5, fill, blend(fill, (0, 0, 0), 0.25))
    disc(px, ox, 0, 16, 8, 6.5, 5.0, blend(fill, (255, 255, 255), light))
    for y in range(16):
        for x in range(16):
            inside_shaft = 4 <= x <= 8 and 7 <= y <= 8
            inside_head = 8 <= x <= 12 and abs(y - 7.5) <= 12 - x
            if inside_shaft or inside_head:
                px[y][ox + x] = (255, 255, 255)


def shield(px, ox, oy, size):
    blue, yellow = (36, 92, 196), (250, 200, 40)
    for y in range(size):
        for x in range(size):
            u, v = (x + 0.5) / size, (y + 0.5) / size
            half = 0.44 if v < 0.55 else 0.44 * math.sqrt(max(0.0, 1 - ((v - 0.55) / 0.43) ** 2))
            if abs(u - 0.5) <= half and 0.04 <= v <= 0.98:
                left = u < 0.5
                top = v < 0.5
                px[oy + y][ox + x] = blue if left == top else yellow


def chevron(px, ox, up, ring, fill):
    disc(px, ox, 0, 19, 9.5, 9.5, 9.0, fill, ring)
    for y in range(19):
        for x in range(19):
            dx, dy = x - 9, y - 9
            # Two strokes of a "^" (or "v"), two pixels thick.
            for off in (-2, 2):
                yy = -dy - off if up else dy - off
                if abs(abs(dx) - (-yy + 2)) <= 1 and -4 <= dx <= 4 and -3 <= yy <= 2:
                    px[y][ox + x] = (60, 60, 60)


def main():
    out = os.path.join(os.path.dirname(__file__), "..", "ui", "res")
    os.makedirs(out, exist_ok=True)

    px = canvas(64, 16)
    arrow(px, 0, (46, 160, 67), 0.25)
    arrow(px, 16, (80, 200, 100), 0.45)
    arrow(px, 32, (150, 150, 150), 0.3)
    shield(px, 48, 0, 16)
    px[15][0] = KEY
    save(os.path.join(out, "BMPCL_ARROWS.bmp"), px)

    px = canvas(114, 19)
    states = [((160, 160, 160), (250, 250, 250)), ((80, 150, 220), (232, 242, 252)), ((60, 110, 180), (200, 220, 240))]
    for i, (ring, fill) in enumerate(states):
        chevron(px, 19 * i, True, ring, fill)
        chevron(px, 19 * (i + 3), False, ring, fill)
    px[18][0] = KEY
    save(os.path.join(out, "BMPCOL_BUTTON.bmp"), px)

    for name, size in (("BMPSHIELD_BIG", 32), ("BMPSHIELD_SMALL", 16)):
        px = canvas(size, size)
        shield(px, 0, 0, size)
        px[size - 1][0] = KEY
        save(os.path.join(out, name + ".bmp"), px)


if __name__ == "__main__":
    main()
