#!/usr/bin/env python3
"""Writes velmora.ico: one 32 x 32 image in the 16 standard colours.

The picture is a table (a sheet with a blue header row and grid lines) in front of a fan of three
pages, the tool's one-table-to-many-files idea. Run it from this folder to regenerate the icon.
"""
import struct

PALETTE = [  # the 16 standard Windows colours, as (R, G, B)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, GREY, DARK_GREY, BLUE, YELLOW, WHITE, TEAL = 0, 4, 7, 8, 12, 11, 15, 6
SIZE = 32

pixels = [[None] * SIZE for _ in range(SIZE)]  # None: transparent


def rect(x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            pixels[y][x] = colour


def frame(x0, y0, x1, y1, colour):
    for x in range(x0, x1 + 1):
        pixels[y0][x] = pixels[y1][x] = colour
    for y in range(y0, y1 + 1):
        pixels[y][x0] = pixels[y][x1] = colour


# Three pages behind, each a step up and to the right.
for step, colour in ((3, GREY), (2, WHITE), (1, WHITE)):
    x, y = 6 + step * 4, 1 + (3 - step) * 2
    rect(x, y, x + 13, y + 17, colour)
    frame(x, y, x + 13, y + 17, DARK_GREY)
    for line in range(y + 4, y + 16, 3):
        rect(x + 3, line, x + 10, line, TEAL)

# The table in front.
rect(1, 12, 20, 30, WHITE)
rect(1, 12, 20, 16, BLUE)
frame(1, 12, 20, 30, NAVY)
for row in (16, 21, 26):
    rect(1, row, 20, row, NAVY)
for col in (8, 14):
    rect(col, 12, col, 30, NAVY)
# An arrow from the table to the pages.
rect(22, 24, 27, 25, YELLOW)
for i in range(4):
    rect(27 + i, 21 + i, 27 + i, 28 - i, YELLOW)
frame(22, 24, 22, 25, BLACK)

xor = bytearray()
mask = bytearray()
for y in reversed(range(SIZE)):  # bottom-up rows
    row = pixels[y]
    for x in range(0, SIZE, 2):
        a = row[x] if row[x] is not None else 0
        b = row[x + 1] if row[x + 1] is not None else 0
        xor.append((a << 4) | b)
    bits = 0
    for x in range(SIZE):
        bits = (bits << 1) | (1 if row[x] is None else 0)
    mask += struct.pack('>I', bits)

header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask), 0, 0,
                     16, 0)
palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
image = header + palette + bytes(xor) + bytes(mask)
directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4,
                                                         len(image), 6 + 16)
with open('velmora.ico', 'wb') as out:
    out.write(directory + image)
