#!/usr/bin/env python3
"""Draws the program icon: a brindle-striped tile carrying two arrows that pass each other.

Writes brindle.ico (smoothed 32-bit images of 16, 20, 24, 32 and 48 pixels and a 256-pixel PNG: the
sizes Windows asks for at display scales of 100 to 200 %), brindle-16.png and brindle-32.png in 16
colours, and smoothed PNGs of 48 to 256 pixels for desktop installs. Standard library only;
run it from anywhere, the files land beside it.
"""

import math
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent

TRANSPARENT = 0
OUTLINE = 1
STRIPE = 2
COAT = 3
COAT_LIGHT = 4
ARROW = 5

# Sixteen entries, as a 4-bit image needs; index 0 is masked out.
PALETTE = [
    (0, 0, 0),
    (46, 29, 14),
    (92, 58, 31),
    (194, 138, 74),
    (221, 176, 122),
    (255, 255, 255),
] + [(0, 0, 0)] * 10


def inside_tile(u, v):
    """The rounded square, on the unit square."""
    margin, radius = 0.03, 0.2
    lo, hi = margin + radius, 1 - margin - radius
    dx = max(lo - u, 0, u - hi)
    dy = max(lo - v, 0, v - hi)
    return dx * dx + dy * dy <= radius * radius


def inside_arrow(u, v, centre, rightwards):
    if not rightwards:
        u = 1 - u
    shaft = 0.16 <= u <= 0.6 and abs(v - centre) <= 0.07
    head_start, tip, half_width = 0.55, 0.86, 0.18
    head = head_start <= u <= tip and abs(v - centre) <= half_width * (tip - u) / (tip - head_start)
    return shaft or head


def inside_arrows(u, v):
    return inside_arrow(u, v, 0.34, True) or inside_arrow(u, v, 0.66, False)


def coat(u, v):
    """Wavy diagonal stripes over a coat lit from the top left."""
    t = u * 0.85 + v * 0.5 + 0.04 * math.sin(v * math.tau * 2.5)
    if (t * 4.5) % 1.0 < 0.36:
        return STRIPE
    return COAT_LIGHT if u + v < 0.7 else COAT


def outline_width(n):
    """About one pixel of a 32-pixel icon, never under one pixel of the picture drawn."""
    return max(1.0 / n, 0.022)


def near(test, u, v, width):
    """Whether `test` holds somewhere within `width` of the point."""
    steps = 8
    return any(test(u + width * math.cos(k * math.tau / steps), v + width * math.sin(k * math.tau / steps))
               for k in range(steps))


def colour_at(u, v, width, outline_arrows):
    if not inside_tile(u, v):
        return TRANSPARENT
    if not all(inside_tile(u + du, v + dv) for du, dv in ((width, 0), (-width, 0), (0, width), (0, -width))):
        return OUTLINE
    if inside_arrows(u, v):
        return ARROW
    if outline_arrows and near(inside_arrows, u, v, width):
        return OUTLINE
    return coat(u, v)


def render(n, factor=1):
    """Palette indices of an n by n picture drawn n * factor pixels wide, rows top down."""
    width = outline_width(n)
    size = n * factor
    # At 16 pixels an outline would eat the arrow heads.
    outline_arrows = n > 16
    return [[colour_at((x + 0.5) / size, (y + 0.5) / size, width, outline_arrows) for x in range(size)]
            for y in range(size)]


def smooth(n, factor=4):
    """RGBA rows of an n by n picture, drawn `factor` times larger and averaged down."""
    big = render(n, factor)
    rows = []
    for y in range(n):
        row = bytearray()
        for x in range(n):
            r = g = b = a = 0
            for yy in range(y * factor, (y + 1) * factor):
                for xx in range(x * factor, (x + 1) * factor):
                    index = big[yy][xx]
                    if index != TRANSPARENT:
                        pr, pg, pb = PALETTE[index]
                        r, g, b, a = r + pr, g + pg, b + pb, a + 1
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / factor**2)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, colour_type, bit_depth, rows, extra=b""):
    header = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 0)
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + extra +
            png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def pack_nibbles(indices):
    if len(indices) % 2:
        indices = indices + [0]
    return bytes((indices[i] << 4) | indices[i + 1] for i in range(0, len(indices), 2))


def palette_png(n):
    rows = [pack_nibbles(row) for row in render(n)]
    plte = png_chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
    trns = png_chunk(b"tRNS", b"\x00")
    return png(n, n, 3, 4, rows, plte + trns)


def padded(row):
    return row + bytes(-len(row) % 4)


def ico_image(n):
    """A 32-bit DIB with its AND mask, as an icon directory entry points at; the 256-pixel image as
    a PNG, as Windows Vista and later read it."""
    rows = smooth(n)
    if n >= 256:
        return png(n, n, 6, 8, rows)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes(b for i in range(0, len(row), 4) for b in (row[i + 2], row[i + 1], row[i], row[i + 3]))
                   for row in reversed(rows))
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray((n + 7) // 8)
        for x in range(n):
            if row[4 * x + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += padded(bytes(bits))
    return header + xor + bytes(mask)


def ico(sizes):
    images = [ico_image(n) for n in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for n, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def main():
    (HERE / "brindle.ico").write_bytes(ico([16, 20, 24, 32, 48, 256]))
    for n in (16, 32):
        (HERE / f"brindle-{n}.png").write_bytes(palette_png(n))
    for n in (48, 64, 128, 256):
        (HERE / f"brindle-{n}.png").write_bytes(png(n, n, 6, 8, smooth(n)))


if __name__ == "__main__":
    main()
