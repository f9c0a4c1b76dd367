#!/usr/bin/env python3
"""check-artwork.py SCRIPT RESOURCES SCRATCH: redraws the artwork into SCRATCH and compares it,
byte for byte, with the files committed in RESOURCES; also checks the sizes and depths that the
dialog and the icon groups rely on."""
import os
import runpy
import struct
import subprocess
import sys

script, resources, scratch = sys.argv[1:4]
os.makedirs(scratch, exist_ok=True)
subprocess.run([sys.executable, script, scratch], check=True)
failures = 0


def fail(message):
    global failures
    failures += 1
    print("FAIL", message)


BITMAPS = {"logo.bmp": (64, 64), "logo2x.bmp": (128, 128), "menus.bmp": (303, 175), "menus2x.bmp": (606, 350)}
for name in list(BITMAPS) + ["app.ico", "small.ico"]:
    with open(os.path.join(scratch, name), "rb") as a, open(os.path.join(resources, name), "rb") as b:
        if a.read() != b.read():
            fail(name + " differs from what the script draws")


def bmp_info(path):
    data = open(path, "rb").read()
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    return width, height, bits, compression


for name, (width, height) in BITMAPS.items():
    if bmp_info(os.path.join(resources, name)) != (width, height, 8, 1):
        fail("%s is not %d x %d, 8-bit, run-length encoded" % (name, width, height))


def bmp8_pixels(path):
    """The rows of a BI_RLE8 bitmap, top first, as (r, g, b) tuples, decoded as Windows reads
    them; None when the data breaks the format or does not cover every pixel exactly once."""
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    used = struct.unpack_from("<I", data, 46)[0] or 256
    palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(used)]
    rows, row, at = [], [], offset
    while True:
        if at + 2 > len(data):
            return None
        count, value = data[at], data[at + 1]
        at += 2
        if count:
            row += [value] * count
        elif value in (0, 1):  # end of line, end of bitmap
            if len(row) != width:
                return None
            rows.append([palette[i] for i in row])
            row = []
            if value == 1:
                break
        elif value == 2:  # a delta: never written, it would leave pixels undrawn
            return None
        else:
            row += list(data[at:at + value])
            at += value + value % 2
    return rows[::-1] if len(rows) == height else None


# The palette and the encoding lose nothing: every pixel is the colour the script drew.
artwork = runpy.run_path(script, run_name="make_artwork")
background = (160, 180, 220)
drawn = {"logo.bmp": artwork["mark_canvas"](64, background=background),
         "logo2x.bmp": artwork["mark_canvas"](128, background=background),
         "menus.bmp": artwork["menus_canvas"](), "menus2x.bmp": artwork["menus_canvas"](2)}
for name, canvas in drawn.items():
    if bmp8_pixels(os.path.join(resources, name)) != [[tuple(p[:3]) for p in row] for row in canvas.pixels]:
        fail(name + " does not hold exactly the colours drawn")


def ico_entries(path):
    data = open(path, "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    return [(data[6 + 16 * i] or 256, struct.unpack_from("<H", data, 6 + 16 * i + 6)[0]) for i in range(count)]


wanted = sorted((size, bits) for size in (48, 32, 16) for bits in (4, 8, 32))
if sorted(ico_entries(os.path.join(resources, "app.ico"))) != wanted:
    fail("app.ico lacks one of 48, 32 and 16 pixels in 4-, 8- and 32-bit colour")
if ico_entries(os.path.join(resources, "small.ico")) != [(32, 4)]:
    fail("small.ico is not one 32-pixel 4-bit image")
print("%d failure(s)" % failures)
sys.exit(1 if failures else 0)
