#!/usr/bin/env python3
"""Draws the program's pictures and writes them next to this script.

  icon16.png, icon32.png, icon48.png  the window icon (RGBA PNG)
  mdbcare.ico                         the same three sizes in one icon file
  image1.bmp                          Form1's picture, 128 x 256, 24-bit
  frmmsg.gif                          the progress notice's background,
                                      336 x 67, GIF of at most 256 colours
  frmmsg.bmp                          the same pixels as a 24-bit BMP, for
                                      the Windows window (Win32 loads BMP
                                      resources itself)

Python 3 standard library only; the encoders (PNG, BMP, GIF with LZW, ICO)
are written here. The drawings are made of a few shapes in unit
coordinates, sampled 4 x 4 times per pixel for smooth edges, so the output
is the same on every run.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = 4


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def over(dst, src, alpha):
    """Composites colour `src` with coverage `alpha` over RGBA `dst`."""
    da = dst[3]
    out_a = alpha + da * (1 - alpha)
    if out_a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    rgb = tuple((src[i] * alpha + dst[i] * da * (1 - alpha)) / out_a
                for i in range(3))
    return rgb + (out_a,)


# --- Shapes: each is (inside(x, y) -> colour or None). ---------------------

class Cylinder:
    """A database drum: a body with a lit top face and two bands."""

    def __init__(self, cx, top, bottom, rx, ry, base, light, dark):
        self.cx, self.top, self.bottom = cx, top, bottom
        self.rx, self.ry = rx, ry
        self.base, self.light, self.dark = base, light, dark

    def _ellipse_dy(self, x):
        u = (x - self.cx) / self.rx
        if abs(u) > 1:
            return None
        return self.ry * math.sqrt(1 - u * u)

    def colour(self, x, y):
        dy = self._ellipse_dy(x)
        if dy is None:
            return None
        u = (x - self.cx) / self.rx
        if abs(y - self.top) <= dy:  # the top face
            rim = abs(y - self.top) / max(dy, 1e-9)
            return mix(self.light, self.base, 0.25 * rim) if dy - abs(y - self.top) > 0.012 else self.dark
        if self.top <= y <= self.bottom + dy:
            # Light from the upper left: brighter on the left of the body.
            shade = 0.5 + 0.5 * math.cos((u + 0.35) * math.pi / 1.35)
            colour = mix(self.dark, self.light, max(0.0, min(1.0, shade)) * 0.8)
            span = self.bottom - self.top
            for band in (self.top + span / 3, self.top + 2 * span / 3):
                if abs(y - (band + dy)) < 0.012:
                    return self.dark
            return colour
        return None


class Sparkle:
    """A four-pointed star (an astroid)."""

    def __init__(self, cx, cy, r, inner, outer):
        self.cx, self.cy, self.r = cx, cy, r
        self.inner, self.outer = inner, outer

    def colour(self, x, y):
        dx, dy = abs(x - self.cx) / self.r, abs(y - self.cy) / self.r
        d = math.sqrt(dx) + math.sqrt(dy)
        if d > 1:
            return None
        return mix(self.inner, self.outer, d)


class Rect:
    def __init__(self, x0, y0, x1, y1, colour):
        self.box = (x0, y0, x1, y1)
        self.fill = colour

    def colour(self, x, y):
        x0, y0, x1, y1 = self.box
        return self.fill if x0 <= x <= x1 and y0 <= y <= y1 else None


def render(width, height, background, shapes, aspect=None):
    """RGBA rows of floats 0..1. Shapes use unit coordinates: x over the
    width, y over the height times `aspect` (so circles stay round)."""
    aspect = aspect or height / width
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / width
                    y = (py + (sy + 0.5) / SAMPLES) / height
                    c = background(x, y) if background else (0, 0, 0, 0)
                    for shape in shapes:
                        s = shape.colour(x, y * aspect)
                        if s is not None:
                            c = over(c, s[:3], s[3] if len(s) > 3 else 1.0)
                    for i in range(4):
                        acc[i] += c[i]
            n = SAMPLES * SAMPLES
            row.append(tuple(v / n for v in acc))
        rows.append(row)
    return rows


def to_bytes(v):
    return max(0, min(255, int(round(v * 255))))


# --- Encoders. -------------------------------------------------------------

def png(rows):
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((to_bytes(r), to_bytes(g), to_bytes(b), to_bytes(a)))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def bmp24(rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b, _ in row:
            line += bytes((to_bytes(b), to_bytes(g), to_bytes(r)))
        line += b"\0" * (stride - len(line))
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                       len(pixels), 3780, 3780, 0, 0)
    return header + info + bytes(pixels)


def ico(pngs):
    """An icon file whose images are PNG streams (Windows Vista and later,
    and Qt, read these)."""
    out = struct.pack("<HHH", 0, 1, len(pngs))
    offset = 6 + 16 * len(pngs)
    entries, blobs = b"", b""
    for size, data in pngs:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32,
                               len(data), offset + len(blobs))
        blobs += data
    return out + entries + blobs


def lzw_gif(indices, min_code_size):
    """GIF's variable-width LZW, with a clear code whenever the table fills."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out, bit_buffer, bit_count = bytearray(), 0, 0

    def emit(code, width):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += width
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    def fresh():
        return {bytes((i,)): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, width = fresh()
    emit(clear, width)
    current = b""
    for index in indices:
        candidate = current + bytes((index,))
        if candidate in table:
            current = candidate
            continue
        emit(table[current], width)
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table, next_code, width = fresh()
        current = bytes((index,))
    if current:
        emit(table[current], width)
    emit(end, width)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def quantize(rows):
    """The picture in at most 256 colours: the most frequent colours of the
    picture, every other pixel mapped to the nearest of them. Returns the
    palette and each pixel's index in it, row by row."""
    pixels = [tuple(to_bytes(v) for v in p[:3]) for row in rows for p in row]
    counts = {}
    for p in pixels:
        counts[p] = counts.get(p, 0) + 1
    palette = sorted(counts, key=lambda c: (-counts[c], c))[:256]
    nearest = {}
    for c in counts:
        nearest[c] = min(range(len(palette)),
                         key=lambda i: sum((palette[i][k] - c[k]) ** 2
                                           for k in range(3)))
    return palette, bytes(nearest[p] for p in pixels)


def quantized_rows(rows):
    """`rows` with every pixel in its quantized colour (opaque)."""
    palette, indices = quantize(rows)
    width = len(rows[0])
    return [[tuple(c / 255 for c in palette[indices[y * width + x]]) + (1.0,)
             for x in range(width)] for y in range(len(rows))]


def gif(rows):
    """A GIF of at most 256 colours (quantize)."""
    height, width = len(rows), len(rows[0])
    palette, indices = quantize(rows)
    table = bytearray()
    for c in palette:
        table += bytes(c)
    table += b"\0" * (768 - len(table))
    data = lzw_gif(indices, 8)
    blocks = bytearray()
    for i in range(0, len(data), 255):
        piece = data[i:i + 255]
        blocks += bytes((len(piece),)) + piece
    return (b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0) +
            bytes(table) +
            b"," + struct.pack("<HHHHB", 0, 0, width, height, 0) +
            bytes((8,)) + bytes(blocks) + b"\0;")


# --- The pictures. -----------------------------------------------------------

BLUE = (0.16, 0.38, 0.72, 1.0)
BLUE_LIGHT = (0.55, 0.75, 0.97, 1.0)
BLUE_DARK = (0.07, 0.18, 0.42, 1.0)
GOLD = (1.0, 0.93, 0.55, 1.0)
ORANGE = (0.96, 0.55, 0.10, 1.0)


def icon(size):
    shapes = [
        Cylinder(0.44, 0.24, 0.80, 0.34, 0.12, BLUE, BLUE_LIGHT, BLUE_DARK),
        Sparkle(0.80, 0.22, 0.20, GOLD, ORANGE),
    ]
    return render(size, size, None, shapes)


def form_picture():
    def sky(x, y):
        return mix((0.80, 0.89, 1.0, 1.0), (1.0, 1.0, 1.0, 1.0), min(1.0, y * 1.3))

    aspect = 2.0  # 128 x 256: y runs 0..2 in x units
    shapes = [
        Cylinder(0.46, 0.52, 1.22, 0.36, 0.13, BLUE, BLUE_LIGHT, BLUE_DARK),
        Sparkle(0.83, 0.42, 0.15, GOLD, ORANGE),
        Sparkle(0.16, 0.30, 0.09, GOLD, ORANGE),
        Sparkle(0.74, 0.18, 0.06, (1, 1, 1, 1), BLUE_LIGHT),
        Sparkle(0.86, 1.45, 0.08, GOLD, ORANGE),
        Rect(0.08, 1.62, 0.92, 1.635, BLUE_LIGHT),
        Rect(0.16, 1.70, 0.84, 1.712, BLUE_LIGHT),
        Rect(0.24, 1.78, 0.76, 1.79, BLUE_LIGHT),
    ]
    return render(128, 256, sky, shapes, aspect)


def notice_background():
    width, height = 336, 67
    # The notice's client area is 328 x 58: the picture is drawn from its
    # top left corner and clipped there, so the frame follows that area.
    shown_width, shown_height = 328, 58

    def gradient(x, y):
        px, py = x * width, y * height
        c = mix((0.86, 0.92, 1.0, 1.0), (1.0, 1.0, 1.0, 1.0),
                math.sin(min(1.0, py / shown_height) * math.pi))
        # A frame of two lines: at the edge and 2 pixels in.
        edge = min(px, py, shown_width - px, shown_height - py)
        if edge < 1:
            return BLUE_DARK
        if 2 <= edge < 3:
            return BLUE_LIGHT
        return c

    aspect = height / width
    shapes = [
        Cylinder(0.07, 0.27 * aspect, 0.62 * aspect, 0.045, 0.016, BLUE,
                 BLUE_LIGHT, BLUE_DARK),
        Sparkle(0.935, 0.27 * aspect, 0.025, GOLD, ORANGE),
        Sparkle(0.91, 0.62 * aspect, 0.015, GOLD, ORANGE),
    ]
    return render(width, height, gradient, shapes, aspect)


def main():
    pngs = []
    for size in (16, 32, 48):
        data = png(icon(size))
        pngs.append((size, data))
        with open(os.path.join(HERE, "icon%d.png" % size), "wb") as f:
            f.write(data)
    with open(os.path.join(HERE, "mdbcare.ico"), "wb") as f:
        f.write(ico(pngs))
    with open(os.path.join(HERE, "image1.bmp"), "wb") as f:
        f.write(bmp24(form_picture()))
    notice = notice_background()
    with open(os.path.join(HERE, "frmmsg.gif"), "wb") as f:
        f.write(gif(notice))
    with open(os.path.join(HERE, "frmmsg.bmp"), "wb") as f:
        f.write(bmp24(quantized_rows(notice)))


if __name__ == "__main__":
    main()
