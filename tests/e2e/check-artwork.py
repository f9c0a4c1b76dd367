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


for name in ("logo.bmp", "menus.bmp", "app.ico", "small.ico"):
    with open(os.path.join(scratch, name), "rb") as a, open(os.path.join(resources, name), "rb") as b:
        if a.read() != b.read():
            fail(name + " differs from what the script draws")


def bmp_info(path):
    data = open(path, "rb").read()
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    return width, height, bits


if bmp_info(os.path.join(resources, "logo.bmp")) != (64, 64, 8):
    fail("logo.bmp is not 64 x 64, 8-bit")
if bmp_info(os.path.join(resources, "menus.bmp")) != (303, 175, 8):
    fail("menus.bmp is not 303 x 175, 8-bit")


def bmp8_pixels(path):
    """The rows of an 8-bit bitmap, top first, as (r, g, b) tuples."""
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    used = struct.unpack_from("<I", data, 46)[0] or 256
    palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(used)]
    row_bytes = (width + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * row_bytes:offset + y * row_bytes + width]
        rows.append([palette[i] for i in row])
    return rows


# The palette loses nothing: every pixel is the colour the script drew.
artwork = runpy.run_path(script, run_name="make_artwork")
drawn = {"logo.bmp": artwork["mark_canvas"](64, background=(160, 180, 220)), "menus.bmp": artwork["menus_canvas"]()}
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
