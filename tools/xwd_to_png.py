#!/usr/bin/env python3
"""Turns an X window dump (xwd's output, true colour) into a PNG.

  xwd -id WINDOW -silent | python3 tools/xwd_to_png.py OUT.png

Python's standard library only: the screenshots of the Windows smoke test
are taken with xwd, and no image package is needed to store them.
"""

import struct
import sys
import zlib


def read_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, _version, pixmap_format, _depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    masks = fields[14:17]
    colormap_entries = fields[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise SystemExit("xwd_to_png: only true-colour ZPixmap dumps are read")
    start = header_size + 12 * colormap_entries
    step = bits_per_pixel // 8
    endian = "little" if byte_order == 0 else "big"
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + (y + 1) * bytes_per_line]
        row = bytearray([0])  # PNG filter type: none
        for x in range(width):
            pixel = int.from_bytes(line[x * step:(x + 1) * step], endian)
            for mask, shift in zip(masks, shifts):
                row.append((pixel & mask) >> shift)
        rows.append(bytes(row))
    return width, height, b"".join(rows)


def png(width, height, raw):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: xwd_to_png.py OUT.png < dump.xwd")
    with open(sys.argv[1], "wb") as out:
        out.write(png(*read_xwd(sys.stdin.buffer.read())))


if __name__ == "__main__":
    main()
