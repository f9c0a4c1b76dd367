#!/usr/bin/env python3
"""Draws the setup program's artwork into resources/ with the standard library only.

    python3 scripts/make-artwork.py [OUTPUT_DIR]

Writes, byte for byte the same on every run:
  logo.bmp    bitmap 147: 64 x 64, 8-bit with a palette of exactly its colours, the product's mark
  logo2x.bmp  bitmap 148: the same at 128 x 128, for 150 % display scaling and above
  menus.bmp   bitmap 152: 303 x 175, 8-bit likewise, the host's menu bar with the plug-in's two
              menus at its end, one of them dropped down
  menus2x.bmp bitmap 153: the same at 606 x 350 (the mark drawn anew at that size)
The bitmaps draw few colours, so a palette keeps every pixel exact at a third of the 24-bit size,
and long runs of one colour, so run-length encoding (BI_RLE8, which Windows decodes itself) takes
most of the rest: the program is downloaded and has a size budget, and the bitmaps were most of it.
  app.ico     icon group 1: 48, 32 and 16 pixels, each in 4-, 8- and 32-bit colour
  small.ico   icon group 128: one 32-pixel 4-bit image
The generated files are committed, so a build needs no image tools.
"""
import os
import struct
import sys

# ---------------------------------------------------------------------------------------------
# A tiny 5 x 7 pixel font: only the characters the menu picture uses.
GLYPHS = {
    "A": ".###.#...##...#######...##...##...#",
    "B": "####.#...##...#####.#...##...#####.",
    "C": ".###.#...##....#....#....#...#.###.",
    "D": "####.#...##...##...##...##...#####.",
    "E": "######....#....####.#....#....#####",
    "F": "######....#....####.#....#....#....",
    "H": "#...##...##...#######...##...##...#",
    "K": "#...##..#.#.#..##...#.#..#..#.#...#",
    "L": "#....#....#....#....#....#....#####",
    "M": "#...###.###.#.##...##...##...##...#",
    "O": ".###.#...##...##...##...##...#.###.",
    "P": "####.#...##...#####.#....#....#....",
    "S": ".#####....#.....###.....#....#####.",
    "T": "#####..#....#....#....#....#....#..",
    "V": "#...##...##...##...##...#.#.#...#..",
    "W": "#...##...##...##.#.##.#.##.#.#.#.#.",
    "a": "...........###.....#.#####...#.####",
    "b": "#....#....#.##.##..##...##...#####.",
    "c": "...........###.#....#....#...#.###.",
    "d": "....#....#.##.##..###...##...#.####",
    "e": "...........###.#...#######.....###.",
    "f": "..##..#..#.#...###...#....#....#...",
    "g": "......#####...##...#.####....#.###.",
    "h": "#....#....#.##.##..##...##...##...#",
    "i": "..#........##....#....#....#...###.",
    "k": "#....#....#..#.#.#..##...#.#..#..#.",
    "l": ".##....#....#....#....#....#...###.",
    "m": "..........##.#.#.#.##.#.##...##...#",
    "n": "..........#.##.##..##...##...##...#",
    "o": "...........###.#...##...##...#.###.",
    "p": "..........####.#...#####.#....#....",
    "r": "..........#.##.##..##....#....#....",
    "s": "...........#####.....###.....#####.",
    "t": ".#....#...###...#....#....#..#..##.",
    "u": "..........#...##...##...##..##.##.#",
    "v": "..........#...##...##...#.#.#...#..",
    "w": "..........#...##...##.#.##.#.#.#.#.",
    "x": "..........#...#.#.#...#...#.#.#...#",
    "y": "..........#...##...#.####....#.###.",
    ".": "..........................##...##..",
    " ": "...................................",
}


def glyph_rows(ch):
    bits = GLYPHS[ch]
    return [bits[r * 5:(r + 1) * 5] for r in range(7)]


class Canvas:
    """Drawn in units of scale pixels: a canvas of scale 2 is the same picture at twice the size."""

    def __init__(self, width, height, colour, scale=1):
        self.scale = scale
        self.width = width * scale
        self.height = height * scale
        self.pixels = [[colour] * self.width for _ in range(self.height)]  # rows top-down, (r, g, b[, a])

    def put(self, x, y, colour):
        self.fill(x, y, x + 1, y + 1, colour)

    def fill(self, x0, y0, x1, y1, colour):
        k = self.scale
        for y in range(max(0, y0 * k), min(self.height, y1 * k)):
            for x in range(max(0, x0 * k), min(self.width, x1 * k)):
                self.pixels[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1):
            self.put(x, y0, colour)
            self.put(x, y1 - 1, colour)
        for y in range(y0, y1):
            self.put(x0, y, colour)
            self.put(x1 - 1, y, colour)

    def text(self, x, y, string, colour):
        for ch in string:
            for r, row in enumerate(glyph_rows(ch)):
                for c, bit in enumerate(row):
                    if bit == "#":
                        self.put(x + c, y + r, colour)
            x += 6
        return x


def text_width(string):
    return 6 * len(string) - 1


# ---------------------------------------------------------------------------------------------
# The mark: a rounded tile, blue at the top fading to teal, with a white "K" and a small bar.

def mark_pixel(x, y, size):
    """Colour (r, g, b, a) of the mark at pixel (x, y) of a size x size image; a = 0 outside."""
    s = size / 64.0
    cx, cy = x + 0.5, y + 0.5
    radius = 12 * s
    inset = 1 * s
    lo, hi = inset, size - inset
    # Rounded corners.
    dx = max(lo + radius - cx, 0, cx - (hi - radius))
    dy = max(lo + radius - cy, 0, cy - (hi - radius))
    if cx < lo or cx > hi or cy < lo or cy > hi or dx * dx + dy * dy > radius * radius:
        return (0, 0, 0, 0)
    t = (cy - lo) / (hi - lo)
    base = (int(30 + 10 * t), int(80 + 70 * t), int(170 - 40 * t))
    u, v = cx / s, cy / s  # in 64-pixel units
    # The "K": a stem and two arms.
    stem = 17 <= u <= 27 and 14 <= v <= 50
    arm_up = abs((u - 27) - (32 - v)) <= 6.5 and 27 <= u <= 47 and 14 <= v <= 34
    arm_down = abs((u - 29) - (v - 30)) <= 6.5 and 29 <= u <= 47 and 30 <= v <= 50
    if stem or arm_up or arm_down:
        return (255, 255, 255, 255)
    # A warm bar under the letter.
    if 17 <= u <= 47 and 53 <= v <= 56:
        return (250, 190, 60, 255)
    return base + (255,)


def mark_canvas(size, background=None):
    canvas = Canvas(size, size, (0, 0, 0, 0))
    for y in range(size):
        for x in range(size):
            p = mark_pixel(x, y, size)
            if background is not None and p[3] == 0:
                p = background + (255,)
            canvas.pixels[y][x] = p
    return canvas


# ---------------------------------------------------------------------------------------------
# Writers.

def bmp8(canvas):
    """An 8-bit bitmap whose palette holds exactly the canvas's colours, in sorted order: lossless,
    and the same bytes on every run. A canvas of more than 256 colours is an error, not a loss."""
    colours = sorted({tuple(p[:3]) for row in canvas.pixels for p in row})
    if len(colours) > 256:
        raise SystemExit("make-artwork: %d colours do not fit an 8-bit palette" % len(colours))
    index = {c: i for i, c in enumerate(colours)}
    row_bytes = (canvas.width + 3) & ~3
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        data += rle8_row([index[tuple(p[:3])] for p in canvas.pixels[y]])
        data += b"\0\0"  # end of line
    data[-1] = 1  # the last line's end is the bitmap's end
    palette = b"".join(bytes((c[2], c[1], c[0], 0)) for c in colours)
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 8, 1, len(data),
                         2835, 2835, len(colours), len(colours))
    offset = 14 + 40 + len(palette)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return file_header + header + palette + data


def rle8_row(row):
    """One row in BI_RLE8: runs of one index as (count, index); stretches of at least three
    differing indices in absolute mode (0, count, indices, padded to a word)."""
    out = bytearray()
    literal = []

    def flush():
        while literal:
            part = literal[:255]
            del literal[:255]
            if len(part) < 3:
                for i in part:
                    out.extend((1, i))
            else:
                out.extend((0, len(part)))
                out.extend(part)
                if len(part) % 2:
                    out.append(0)

    x = 0
    while x < len(row):
        run = 1
        while x + run < len(row) and run < 255 and row[x + run] == row[x]:
            run += 1
        if run >= 3:
            flush()
            out.extend((run, row[x]))
        else:
            literal.extend(row[x:x + run])
        x += run
    flush()
    return bytes(out)


# The 16 colours of the standard VGA palette.
PALETTE16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
             (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
             (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    colours += [(i * 255 // 39, i * 255 // 39, i * 255 // 39) for i in range(40)]
    return colours[:256]


def nearest(palette, rgb):
    best, best_d = 0, None
    for i, c in enumerate(palette):
        d = (c[0] - rgb[0]) ** 2 + (c[1] - rgb[1]) ** 2 + (c[2] - rgb[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def and_mask(canvas):
    row_bytes = ((canvas.width + 31) // 32) * 4
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray(row_bytes)
        for x, p in enumerate(canvas.pixels[y]):
            if p[3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        data += row
    return data


def icon_image(canvas, bits):
    w, h = canvas.width, canvas.height
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    data = bytearray()
    if bits == 32:
        for y in range(h - 1, -1, -1):
            for p in canvas.pixels[y]:
                data += bytes((p[2], p[1], p[0], p[3]))
        return header + data + and_mask(canvas)
    palette = PALETTE16 if bits == 4 else palette256()
    pal = bytearray()
    for c in palette:
        pal += bytes((c[2], c[1], c[0], 0))
    row_bytes = ((w * bits + 31) // 32) * 4
    cache = {}
    for y in range(h - 1, -1, -1):
        row = bytearray(row_bytes)
        for x, p in enumerate(canvas.pixels[y]):
            rgb = p[:3] if p[3] >= 128 else (0, 0, 0)
            if rgb not in cache:
                cache[rgb] = nearest(palette, rgb)
            index = cache[rgb]
            if bits == 4:
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
            else:
                row[x] = index
        data += row
    return header + pal + data + and_mask(canvas)


def ico(images):
    """images: list of (canvas, bits)."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    blobs = [icon_image(c, b) for c, b in images]
    offset = 6 + 16 * len(images)
    for (canvas, bits), blob in zip(images, blobs):
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", canvas.width % 256, canvas.height % 256, colours, 0, 1, bits,
                           len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


# ---------------------------------------------------------------------------------------------
# The menu picture: the end of the host's menu bar, with the plug-in's menus after "Help" and
# the first of them dropped down.

def menus_canvas(scale=1):
    w, h = 303, 175
    face = (240, 240, 240)
    c = Canvas(w, h, (160, 180, 220), scale)  # the dialog's own background
    # The host window's top: title strip and menu bar.
    c.fill(0, 0, w, 14, (44, 62, 92))
    c.text(6, 4, "AutoCAD", (230, 230, 230))
    c.fill(0, 14, w, 30, face)
    c.fill(0, 30, w, 31, (180, 180, 180))
    x = 6
    for name in ("View", "Window", "Help"):
        x = c.text(x, 19, name, (30, 30, 30)) + 9
    # The plug-in's two menus, the first one open.
    korvel_x = x
    c.fill(korvel_x - 4, 15, korvel_x + text_width("Korvel") + 4, 30, (0, 120, 215))
    x = c.text(korvel_x, 19, "Korvel", (255, 255, 255)) + 13
    c.text(x, 19, "Tarnwick", (30, 30, 30))
    # The open menu.
    items = ["Layers", "Blocks", "Text", "Dimensions", "-", "Settings...", "About Korvel"]
    mx0, my0 = korvel_x - 4, 31
    mx1 = mx0 + 104
    my1 = my0 + 6 + sum(7 if i == "-" else 18 for i in items)
    c.fill(mx0 + 3, my0 + 3, mx1 + 3, my1 + 3, (120, 130, 150))  # shadow
    c.fill(mx0, my0, mx1, my1, (250, 250, 250))
    c.frame(mx0, my0, mx1, my1, (150, 150, 150))
    y = my0 + 3
    for index, item in enumerate(items):
        if item == "-":
            c.fill(mx0 + 6, y + 3, mx1 - 6, y + 4, (200, 200, 200))
            y += 7
            continue
        if index == 0:
            c.fill(mx0 + 2, y, mx1 - 2, y + 18, (204, 228, 247))
        # A small square icon per item.
        c.fill(mx0 + 7, y + 5, mx0 + 15, y + 13, (30 + 30 * index, 110, 190 - 15 * index))
        c.text(mx0 + 22, y + 6, item, (20, 20, 20))
        if item in ("Layers", "Blocks", "Text", "Dimensions"):
            for k in range(4):  # a sub-menu arrow
                for j in range(k, 7 - k):
                    c.put(mx1 - 12 + k, y + 6 + j, (60, 60, 60))
        y += 18
    # The mark, small, in the free corner.
    size = 32 * scale
    mark = mark_canvas(size, background=(160, 180, 220))
    for yy in range(size):
        for xx in range(size):
            c.pixels[(h - 42) * scale + yy][(w - 42) * scale + xx] = mark.pixels[yy][xx]
    return c


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    os.makedirs(out, exist_ok=True)
    files = {
        "logo.bmp": bmp8(mark_canvas(64, background=(160, 180, 220))),
        "logo2x.bmp": bmp8(mark_canvas(128, background=(160, 180, 220))),
        "menus.bmp": bmp8(menus_canvas()),
        "menus2x.bmp": bmp8(menus_canvas(2)),
        "app.ico": ico([(mark_canvas(s), b) for s in (48, 32, 16) for b in (4, 8, 32)]),
        "small.ico": ico([(mark_canvas(32), 4)]),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
