#!/usr/bin/env python3
"""Draws the launcher's artwork: the background picture (a wrought-iron fence
in a meadow at sunset under the title "Iron Meadow", 180 by 324 pixels, 24-bit
BMP) and the window icon (the same motif, 16 to 48 pixels, 32-bit ICO).

Everything is drawn from the shapes below, so the build regenerates identical
files. Only the Python standard library is used.

usage: make_art.py BACKGROUND.bmp ICON.ico
"""
import math
import struct
import sys

WIDTH, HEIGHT = 180, 324
SUPERSAMPLE = 2  # samples per pixel along each axis, averaged

# 5 by 7 glyphs of the title, one string per row.
GLYPHS = {
    "I": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"],
}
TITLE_CELL = 4  # pixels per glyph cell
TITLE_LINES = [("IRON", 26), ("MEADOW", 62)]  # text, top edge in pixels

HORIZON = 150.0
SUN = (128.0, 138.0, 15.0)  # centre x, centre y, radius


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def ramp(stops, v):
    """Colour at v along a list of (position, colour) stops."""
    if v <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if v <= p1:
            return mix(c0, c1, (v - p0) / (p1 - p0))
    return stops[-1][1]


def noise(ix, iy):
    """Deterministic pseudo-random value in [0, 1) for an integer point."""
    h = (ix * 374761393 + iy * 668265263) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((h ^ (h >> 16)) & 0xFFFF) / 65536.0


SKY = [(0, (16, 24, 62)), (70, (62, 52, 118)), (115, (176, 92, 110)),
       (138, (242, 150, 82)), (HORIZON, (255, 206, 128))]
MEADOW = [(150, (96, 140, 60)), (200, (62, 112, 48)), (324, (22, 52, 30))]


def far_hills(x):
    return 134 + 7 * math.sin(x / 23.0) + 4 * math.sin(x / 9.0 + 1.0)


def near_hills(x):
    return 150 + 5 * math.sin(x / 31.0 + 2.0) + 3 * math.sin(x / 11.0)


def meadow_edge(x):
    return 163 + 3 * math.sin(x / 40.0 + 0.5)


def sky(x, y):
    c = ramp(SKY, y)
    sx, sy, r = SUN
    d = math.hypot(x - sx, y - sy)
    if d < r:
        return mix((255, 236, 170), (255, 214, 140), d / r)
    glow = max(0.0, 1.0 - (d - r) / 55.0)
    c = mix(c, (255, 210, 140), 0.55 * glow * glow)
    if y < 95 and noise(int(x), int(y)) > 0.992:  # stars in the dark part
        c = mix(c, (255, 255, 235), 0.9 - y / 120.0)
    return c


def meadow(x, y):
    c = ramp(MEADOW, y)
    ix = int(x)
    blade = noise(ix, int(y / 3.0))  # short vertical grass strokes
    c = mix(c, (150, 190, 90), 0.22 * blade)
    if noise(ix // 2, int(y) // 2) > 0.985:  # scattered flowers
        c = [(246, 228, 96), (250, 250, 240), (190, 140, 220)][ix % 3]
    return c


def scene(x, y):
    if y >= meadow_edge(x):
        return meadow(x, y)
    if y >= near_hills(x):
        return mix((44, 82, 60), (70, 110, 66), (y - near_hills(x)) / 14.0)
    if y >= far_hills(x):
        return mix((92, 84, 124), (200, 130, 110), 0.35)
    return sky(x, y)


FENCE_TOP, FENCE_BOTTOM, FENCE_STEP = 158.0, 188.0, 14.0
FENCE_RAILS = (166.0, 181.0)


def fence(x, y):
    """Iron colour of the fence at (x, y), or None where it is not."""
    if y > FENCE_BOTTOM:
        return None
    for rail in FENCE_RAILS:
        if rail <= y < rail + 2:
            return (40, 38, 46) if y < rail + 1 else (24, 22, 30)
    px = (x - 4.0) % FENCE_STEP
    spear = FENCE_TOP - 6.0
    if px < 2.0 and y >= FENCE_TOP:
        return (96, 94, 108) if px < 0.7 else (30, 28, 36)
    if px - 1.0 < 3.0 and 1.0 - px < 3.0 and spear <= y < FENCE_TOP:
        half = 3.0 * (y - spear) / 6.0
        if abs(px - 1.0) <= half:
            return (34, 32, 40)
    return None


def title_mask():
    """Set of pixel cells (x, y) covered by the title glyphs."""
    cells = set()
    for text, top in TITLE_LINES:
        width = (len(text) * 6 - 1) * TITLE_CELL
        left = (WIDTH - width) // 2
        for n, ch in enumerate(text):
            for row, bits in enumerate(GLYPHS[ch]):
                for col, bit in enumerate(bits):
                    if bit == "#":
                        x0 = left + (n * 6 + col) * TITLE_CELL
                        y0 = top + row * TITLE_CELL
                        for dy in range(TITLE_CELL):
                            for dx in range(TITLE_CELL):
                                cells.add((x0 + dx, y0 + dy))
    return cells


def title_colour(x, y, mask):
    """Forged-iron letters: steel gradient, dark rim, soft shadow."""
    if (x, y) in mask:
        for _, top in TITLE_LINES:
            if top <= y < top + 7 * TITLE_CELL:
                t = (y - top) / (7.0 * TITLE_CELL)
                c = ramp([(0, (232, 236, 242)), (0.45, (168, 176, 190)),
                          (0.55, (120, 126, 140)), (1, (196, 170, 140))], t)
                if (x, y - 1) not in mask:
                    c = mix(c, (255, 255, 255), 0.5)
                return c
    near = any((x + dx, y + dy) in mask for dx in (-1, 0, 1) for dy in (-1, 0, 1))
    if near:
        return (12, 12, 20)
    if (x - 2, y - 2) in mask:
        return "shadow"
    return None


def background():
    mask = title_mask()
    rows = []
    n = SUPERSAMPLE
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            acc = [0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    fx, fy = x + (sx + 0.5) / n, y + (sy + 0.5) / n
                    c = fence(fx, fy) or scene(fx, fy)
                    for i in range(3):
                        acc[i] += c[i]
            c = tuple(v / (n * n) for v in acc)
            t = title_colour(x, y, mask)
            if t == "shadow":
                c = mix(c, (0, 0, 0), 0.45)
            elif t is not None:
                c = t
            row.append(c)
        rows.append(row)
    return rows


def write_bmp(path, rows):
    width, height = len(rows[0]), len(rows)
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((int(b + 0.5), int(g + 0.5), int(r + 0.5)))
        data += line + bytes(stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data),
                       2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def icon_pixel(u, v):
    """RGBA of the icon motif at (u, v) in [0, 1) squares, or None outside."""
    r = 0.2  # rounded corners
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    if math.hypot(u - cx, v - cy) > r:
        return None
    horizon = 0.58 + 0.05 * math.sin(u * 6.0)
    if 0.18 < (u - 0.12) % 0.3 < 0.3 and 0.42 < v < 0.92:  # fence posts
        return (36, 34, 44)
    if 0.62 < v < 0.68 or 0.80 < v < 0.86:  # rails
        return (36, 34, 44)
    if v >= horizon:
        return mix((104, 160, 64), (34, 86, 40), (v - horizon) / 0.4)
    if math.hypot(u - 0.7, v - 0.5) < 0.16:
        return (255, 226, 150)
    return ramp([(0, (40, 44, 110)), (0.35, (150, 84, 120)), (0.58, (255, 180, 96))], v)


def icon_image(size):
    n = 4
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            acc, hits = [0.0, 0.0, 0.0], 0
            for sy in range(n):
                for sx in range(n):
                    c = icon_pixel((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits:
                row.append(tuple(int(a / hits + 0.5) for a in acc) + (int(255 * hits / (n * n) + 0.5),))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def icon_entry(size):
    pixels = icon_image(size)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                       len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, sizes):
    images = [icon_entry(s) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(sizes)))
    offset = 6 + 16 * len(sizes)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(path, "wb") as f:
        f.write(out)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    write_bmp(argv[1], background())
    write_ico(argv[2], [16, 24, 32, 48])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
