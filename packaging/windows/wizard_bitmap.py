#!/usr/bin/env python3
"""Draws the setup's welcome and finish picture from the program's icon.

Usage: wizard_bitmap.py ICON_PNG OUT_BMP

The picture is the 164 x 314 pixel, 24-bit bitmap the setup shows at the left of its first and
last pages: the program's colours from top to bottom, with the icon in its upper third. The icon
is an 8-bit RGBA PNG of ours; anything else is refused rather than guessed at.
"""
import struct
import sys
import zlib

WIDTH, HEIGHT = 164, 314
TOP = (0xC9, 0xDD, 0xF2)  # a light shade of the icon's blue
BOTTOM = (0xFF, 0xFF, 0xFF)  # the page's own white, which the text stands on
MAX_ICON_SIDE = 256


def read_png(path):
    """Returns (width, height, rows of RGBA bytes) of a non-interlaced 8-bit RGBA PNG."""
    with open(path, "rb") as file:
        data = file.read(4 << 20)
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    pos, header, idat = 8, None, b""
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", chunk)
        elif kind == b"IDAT":
            idat += chunk
        elif kind == b"IEND":
            break
    if header is None:
        sys.exit(f"{path}: no header")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 6 or interlace != 0:
        sys.exit(f"{path}: not an 8-bit RGBA non-interlaced PNG")
    if not (0 < width <= MAX_ICON_SIDE and 0 < height <= MAX_ICON_SIDE):
        sys.exit(f"{path}: {width} x {height} is not an icon's size")
    raw = zlib.decompress(idat)
    stride = width * 4
    if len(raw) != height * (stride + 1):
        sys.exit(f"{path}: its data does not match its size")
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - 4] if x >= 4 else 0
            up = previous[x]
            corner = previous[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + left) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + up) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 0xFF
            elif kind == 4:
                guess = left + up - corner
                pa, pb, pc = abs(guess - left), abs(guess - up), abs(guess - corner)
                near = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[x] = (line[x] + near) & 0xFF
            elif kind != 0:
                sys.exit(f"{path}: unknown row filter {kind}")
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: wizard_bitmap.py ICON_PNG OUT_BMP")
    width, height, icon = read_png(sys.argv[1])
    left = (WIDTH - width) // 2
    top = HEIGHT // 3 - height // 2
    pixels = []
    for y in range(HEIGHT):
        share = y / (HEIGHT - 1)
        ground = [round(a + (b - a) * share) for a, b in zip(TOP, BOTTOM)]
        line = []
        for x in range(WIDTH):
            colour = ground
            if top <= y < top + height and left <= x < left + width:
                r, g, b, a = icon[y - top][(x - left) * 4:(x - left) * 4 + 4]
                colour = [(c * a + d * (255 - a)) // 255 for c, d in zip((r, g, b), ground)]
            line.append(bytes((colour[2], colour[1], colour[0])))
        row = b"".join(line)
        pixels.append(row + b"\0" * (-len(row) % 4))
    body = b"".join(reversed(pixels))  # a bitmap's rows run from the bottom up
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    with open(sys.argv[2], "wb") as out:
        out.write(header + info + body)


if __name__ == "__main__":
    main()
