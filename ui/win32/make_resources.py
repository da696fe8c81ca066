#!/usr/bin/env python3
"""Makes the Windows program's icon and banner from the shared art.

    ui/win32/make_resources.py        # writes ui/win32/skyfault.ico and banner.bmp

skyfault.ico holds the 256 and 64 pixel PNGs as they are (icons may carry
PNG images); banner.bmp is banner.png as a 24-bit bitmap on white, which
the window draws without a PNG decoder. Both outputs are committed beside
this script, so the build does not run it; run it again after changing
the art.
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ART = os.path.join(HERE, "..", "resources")


def read_png(path):
    """Width, height and rows of RGBA bytes of an 8-bit RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour != 6 or interlace != 0:
                sys.exit(f"{path}: only 8-bit RGBA, not interlaced")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, prev, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append(bytes(line))
        prev = line
    return width, height, rows


def write_bmp(path, width, height, rows):
    """A bottom-up 24-bit bitmap, the PNG's pixels composed over white."""
    pad = (4 - (width * 3) % 4) % 4
    pixels = bytearray()
    for row in reversed(rows):
        for x in range(width):
            r, g, b, a = row[x * 4:x * 4 + 4]
            over = lambda v: (v * a + 255 * (255 - a) + 127) // 255
            pixels += bytes((over(b), over(g), over(r)))
        pixels += b"\0" * pad
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)))
        f.write(header + pixels)


def write_ico(path, pngs):
    """An icon whose images are the given PNG files, as they are."""
    images = []
    for png in pngs:
        with open(png, "rb") as f:
            data = f.read()
        width, height = struct.unpack(">II", data[16:24])
        images.append((width, height, data))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, height, data in images:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(data for _, _, data in images))


def main():
    write_ico(os.path.join(HERE, "skyfault.ico"),
              [os.path.join(ART, "skyfault-256.png"), os.path.join(ART, "skyfault.png")])
    write_bmp(os.path.join(HERE, "banner.bmp"), *read_png(os.path.join(ART, "banner.png")))


if __name__ == "__main__":
    main()
