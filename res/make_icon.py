#!/usr/bin/env python3
"""Writes velmora.ico: the program's icon in 16, 20, 24, 32, 40, 48, 64 and 256 pixels, 32-bit
colour with alpha, the 256-pixel image PNG-compressed (as Windows Vista and later read it).

The picture is a table (a sheet with a blue header row and grid lines) in front of a fan of three
pages, the tool's one-table-to-many-files idea, with an arrow from the table to the pages. It is
drawn on a grid of 32 units, one unit a pixel of the 32-pixel image; every other size scales the
grid, with each edge put on a whole pixel (and every line at least a pixel wide) so that the small
images stay sharp. Run it from this folder to regenerate the icon.
"""
import struct
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_FROM = 256  # images this large are stored as PNG
GRID = 32

BLACK = (0, 0, 0)
NAVY = (0, 0, 128)
TEAL = (0, 128, 128)
GREY = (192, 192, 192)
DARK_GREY = (128, 128, 128)
BLUE = (0, 0, 255)
YELLOW = (255, 255, 0)
WHITE = (255, 255, 255)


def design():
    """The picture, back to front: ('rect', x0, y0, x1, y1, colour) fills the grid cells x0..x1,
    y0..y1 (inclusive); ('triangle', points, colour) fills a triangle in grid coordinates."""
    shapes = []

    def rect(x0, y0, x1, y1, colour):
        shapes.append(('rect', x0, y0, x1, y1, colour))

    def frame(x0, y0, x1, y1, colour):
        rect(x0, y0, x1, y0, colour)
        rect(x0, y1, x1, y1, colour)
        rect(x0, y0, x0, y1, colour)
        rect(x1, y0, x1, y1, colour)

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
    shapes.append(('triangle', ((27, 21), (27, 29), (31, 25)), YELLOW))
    rect(22, 24, 22, 25, BLACK)
    return shapes


def edge(units, size):
    return round(units * size / GRID)


def inside_triangle(px, py, points):
    (ax, ay), (bx, by), (cx, cy) = points

    def side(x0, y0, x1, y1):
        return (x1 - x0) * (py - y0) - (y1 - y0) * (px - x0)

    d1, d2, d3 = side(ax, ay, bx, by), side(bx, by, cx, cy), side(cx, cy, ax, ay)
    return not ((d1 < 0 or d2 < 0 or d3 < 0) and (d1 > 0 or d2 > 0 or d3 > 0))


def render(size):
    """The picture at size x size pixels: rows top to bottom of (r, g, b, a)."""
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def blend(x, y, colour, coverage):
        if coverage <= 0:
            return
        r, g, b, a = pixels[y][x]
        alpha = coverage + a / 255 * (1 - coverage)
        mix = [(c * coverage + old * a / 255 * (1 - coverage)) / alpha
               for c, old in zip(colour, (r, g, b))]
        pixels[y][x] = tuple(round(v) for v in mix) + (round(alpha * 255),)

    samples = 4  # per pixel and axis, for the arrow head's slanted edges
    for shape in design():
        if shape[0] == 'rect':
            _, x0, y0, x1, y1, colour = shape
            left, top = edge(x0, size), edge(y0, size)
            right = max(edge(x1 + 1, size), left + 1)
            bottom = max(edge(y1 + 1, size), top + 1)
            for y in range(top, min(bottom, size)):
                for x in range(left, min(right, size)):
                    blend(x, y, colour, 1.0)
        else:
            _, points, colour = shape
            grid = [(px * size / GRID, py * size / GRID) for px, py in points]
            for y in range(size):
                for x in range(size):
                    hits = sum(inside_triangle(x + (i + 0.5) / samples, y + (j + 0.5) / samples, grid)
                               for i in range(samples) for j in range(samples))
                    blend(x, y, colour, hits / samples ** 2)
    return pixels


def dib(size, pixels):
    """A 32-bit icon image: the header (height doubled for the mask), the colours bottom-up in
    BGRA, then the 1-bit mask (set where the picture is transparent) in rows of 32-bit words."""
    colours = bytearray()
    mask = bytearray()
    stride = (size + 31) // 32 * 4
    for row in reversed(pixels):
        for r, g, b, a in row:
            colours += bytes((b, g, r, a))
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(colours) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(colours) + bytes(mask)


def png(size, pixels):
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = b''.join(b'\0' + bytes(v for pixel in row for v in pixel) for row in pixels)
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    images = []
    for size in SIZES:
        pixels = render(size)
        images.append((size, png(size, pixels) if size >= PNG_FROM else dib(size, pixels)))
    offset = 6 + 16 * len(images)
    directory = struct.pack('<HHH', 0, 1, len(images))
    for size, data in images:
        # A width or height of 256 is written as 0.
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data),
                                 offset)
        offset += len(data)
    with open('velmora.ico', 'wb') as out:
        out.write(directory + b''.join(data for _, data in images))


if __name__ == '__main__':
    main()
