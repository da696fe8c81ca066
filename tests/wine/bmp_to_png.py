#!/usr/bin/env python3
"""Turns the 24-bit BMP pictures that skyfault-windriver saves into PNG files.

Usage: bmp_to_png.py IN.bmp OUT.png
Standard library only (zlib); exit status 1 for a file that is not such a BMP.
"""
import struct
import sys
import zlib


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read(64 * 1024 * 1024)
    if len(data) < 54 or data[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0 or width <= 0 or height == 0 or width > 16384:
        raise ValueError(f"{path}: not an uncompressed 24-bit BMP")
    stride = (width * 3 + 3) // 4 * 4
    rows = abs(height)
    if offset + stride * rows > len(data):
        raise ValueError(f"{path}: cut short")
    lines = []
    for y in range(rows):
        row = rows - 1 - y if height > 0 else y  # positive height: bottom-up
        start = offset + row * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        lines.append(b"\x00" + bytes(rgb))
    return width, rows, b"".join(lines)


def chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body
            + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 64
    try:
        width, height, raw = read_bmp(sys.argv[1])
    except (OSError, ValueError) as error:
        print(error, file=sys.stderr)
        return 1
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(sys.argv[2], "wb") as f:
        f.write(png)
    return 0


if __name__ == "__main__":
    sys.exit(main())
