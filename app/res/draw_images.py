#!/usr/bin/env python3
"""Draws the program's pictures and icons from code, so they can be made again.

Writes into the output directory given as the only argument:
  banner.bmp         593 x 345, 24 bpp, uncompressed, bottom-up: the dialog's background
  success.bmp        36 x 36, 24 bpp: a white tick in a green disc, on white
  failure.bmp        36 x 36, 24 bpp: a white cross in a red disc, on white
  schema-modify.ico  seven images: 48, 32, 16 px at 8 bpp; 256, 48, 32, 16 px at 32 bpp

Only the standard library is used. Shapes are signed-distance functions in
units of the picture's own size, so one drawing serves every icon size; the
distance at each pixel centre gives a one-pixel anti-aliased edge.
"""

import math
import os
import struct
import sys
import zlib

WHITE = (255, 255, 255)
# The title's colour (red 0, green 51, blue 153): the emblem matches it.
TITLE_BLUE = (0, 51, 153)
EMBLEM_LIGHT = (51, 102, 204)
BAND = (222, 228, 240)
BAND_EDGE = (176, 188, 214)
GREEN = (34, 150, 60)
RED = (200, 36, 36)


# ---------------------------------------------------------------- shapes ----

def sd_circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def sd_capsule(px, py, ax, ay, bx, by, r):
    """Distance to a line segment from a to b with round ends, radius r."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy) - r


def sd_round_box(px, py, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


# ---------------------------------------------------------------- canvas ----

class Canvas:
    """Straight (not premultiplied) RGBA pixels, rows top to bottom."""

    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.width, self.height = width, height
        self.px = [list(fill) for _ in range(width * height)]

    def blend(self, x, y, colour, coverage):
        if coverage <= 0.0:
            return
        p = self.px[y * self.width + x]
        a_src = min(coverage, 1.0)
        a_dst = p[3] / 255.0
        a_out = a_src + a_dst * (1.0 - a_src)
        for i in range(3):
            c = (colour[i] * a_src + p[i] * a_dst * (1.0 - a_src)) / a_out
            p[i] = int(round(c))
        p[3] = int(round(a_out * 255.0))

    def rect(self, x0, y0, x1, y1, colour):
        """Fills whole pixels x0..x1-1, y0..y1-1 opaquely."""
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.px[y * self.width + x] = [colour[0], colour[1], colour[2], 255]

    def shape(self, ox, oy, size, sdf, colour):
        """Draws sdf (in units of size, origin at ox, oy) with soft edges.

        colour is an (r, g, b) triple or a function of the unit y coordinate.
        """
        x_lo, y_lo = max(0, int(ox)), max(0, int(oy))
        x_hi = min(self.width, int(math.ceil(ox + size)))
        y_hi = min(self.height, int(math.ceil(oy + size)))
        for y in range(y_lo, y_hi):
            v = (y + 0.5 - oy) / size
            c = colour(v) if callable(colour) else colour
            for x in range(x_lo, x_hi):
                u = (x + 0.5 - ox) / size
                d = sdf(u, v) * size
                self.blend(x, y, c, 0.5 - d)

    def paste(self, other, ox, oy):
        for y in range(other.height):
            for x in range(other.width):
                p = other.px[y * other.width + x]
                self.blend(ox + x, oy + y, p[:3], p[3] / 255.0)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# ---------------------------------------------------------------- images ----

def draw_emblem(size):
    """The product's emblem: a directory tree in a blue rounded square."""
    c = Canvas(size, size)
    # Small icons get relatively thicker strokes so the tree stays legible.
    k = 1.0 if size >= 32 else 1.35
    c.shape(0, 0, size, lambda u, v: sd_round_box(u, v, 0.02, 0.02, 0.98, 0.98, 0.18),
            lambda v: mix(EMBLEM_LIGHT, TITLE_BLUE, v))
    stroke = 0.045 * k
    top, left, right = (0.5, 0.27), (0.28, 0.72), (0.72, 0.72)
    mid_y = 0.5

    def tree(u, v):
        d = min(sd_capsule(u, v, top[0], top[1], top[0], mid_y, stroke),
                sd_capsule(u, v, left[0], mid_y, right[0], mid_y, stroke),
                sd_capsule(u, v, left[0], mid_y, left[0], left[1], stroke),
                sd_capsule(u, v, right[0], mid_y, right[0], right[1], stroke))
        r = 0.11 * k
        return min(d, sd_circle(u, v, *top, r), sd_circle(u, v, *left, r),
                   sd_circle(u, v, *right, r))

    c.shape(0, 0, size, tree, WHITE)
    return c


def draw_banner():
    width, height = 593, 345
    c = Canvas(width, height, (*WHITE, 255))
    # The band behind the two buttons (rows 310 to 333) along the bottom edge,
    # rows 298 to 344, with a one-pixel rule on top.
    c.rect(0, 298, width, 345, BAND)
    c.rect(0, 298, width, 299, BAND_EDGE)
    # The emblem left of the title and text column (which starts at 98 px).
    c.paste(draw_emblem(48), 35, 24)
    return c


def draw_status(success):
    c = Canvas(36, 36, (*WHITE, 255))
    c.shape(0, 0, 36, lambda u, v: sd_circle(u, v, 0.5, 0.5, 0.46),
            GREEN if success else RED)
    w = 0.065
    if success:
        mark = lambda u, v: min(sd_capsule(u, v, 0.28, 0.52, 0.44, 0.68, w),
                                sd_capsule(u, v, 0.44, 0.68, 0.73, 0.34, w))
    else:
        mark = lambda u, v: min(sd_capsule(u, v, 0.33, 0.33, 0.67, 0.67, w),
                                sd_capsule(u, v, 0.67, 0.33, 0.33, 0.67, w))
    c.shape(0, 0, 36, mark, WHITE)
    return c


# --------------------------------------------------------------- writers ----

def bmp_24(canvas):
    """A BMP file: 24 bpp, BI_RGB, bottom-up, rows padded to 4 bytes.

    The canvas must be opaque: there is no alpha in the file.
    """
    row_bytes = (canvas.width * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(canvas.height)):
        row = bytearray()
        for x in range(canvas.width):
            r, g, b, a = canvas.px[y * canvas.width + x]
            assert a == 255, "24-bpp pictures must be opaque"
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        pixels += row
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0,
                       len(pixels), 3780, 3780, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def and_mask(canvas):
    """The 1-bpp AND mask of an icon image: 1 where the pixel is transparent."""
    row_bytes = ((canvas.width + 31) // 32) * 4
    out = bytearray()
    for y in reversed(range(canvas.height)):
        row = bytearray(row_bytes)
        for x in range(canvas.width):
            if canvas.px[y * canvas.width + x][3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def palette_256():
    """A fixed palette: the 6x6x6 colour cube, then 40 greys."""
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    greys = [(int(round(i * 255 / 39)),) * 3 for i in range(40)]
    return cube + greys


def nearest(palette, colour, cache):
    if colour not in cache:
        cache[colour] = min(range(len(palette)),
                            key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))
    return cache[colour]


def icon_dib_8(canvas):
    """An 8-bpp icon image: header, palette, XOR pixels and AND mask.

    Partly covered edge pixels are blended onto white first, since 8-bpp
    icons have only the mask for transparency.
    """
    pal = palette_256()
    cache = {}
    row_bytes = (canvas.width + 3) & ~3
    xor = bytearray()
    for y in reversed(range(canvas.height)):
        row = bytearray(row_bytes)
        for x in range(canvas.width):
            r, g, b, a = canvas.px[y * canvas.width + x]
            if a >= 128:
                t = a / 255.0
                flat = (int(round(r * t + 255 * (1 - t))), int(round(g * t + 255 * (1 - t))),
                        int(round(b * t + 255 * (1 - t))))
                row[x] = nearest(pal, flat, cache)
        xor += row
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height * 2, 1, 8, 0,
                       0, 0, 0, 256, 0)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in pal)
    return info + colours + bytes(xor) + and_mask(canvas)


def icon_dib_32(canvas):
    """A 32-bpp icon image: BGRA pixels (straight alpha) and the AND mask."""
    xor = bytearray()
    for y in reversed(range(canvas.height)):
        for x in range(canvas.width):
            r, g, b, a = canvas.px[y * canvas.width + x]
            xor += bytes((b, g, r, a))
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height * 2, 1, 32, 0,
                       0, 0, 0, 0, 0)
    return info + bytes(xor) + and_mask(canvas)


def png_rgba(canvas):
    """A PNG file, RGBA 8 bits per channel: the usual form of a 256-px icon."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = bytearray()
    for y in range(canvas.height):
        raw.append(0)
        for x in range(canvas.width):
            raw += bytes(canvas.px[y * canvas.width + x])
    ihdr = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# The icon images in directory order: (size, bits per pixel).
ICON_IMAGES = [(48, 8), (32, 8), (16, 8), (256, 32), (48, 32), (32, 32), (16, 32)]


def ico_file():
    emblems = {}
    images = []
    for size, bpp in ICON_IMAGES:
        if size not in emblems:
            emblems[size] = draw_emblem(size)
        canvas = emblems[size]
        if size == 256:
            data = png_rgba(canvas)
        elif bpp == 8:
            data = icon_dib_8(canvas)
        else:
            data = icon_dib_32(canvas)
        images.append((size, bpp, data))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        # 256 is written as 0 in the one-byte width and height fields.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bpp,
                           len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def write(path, data):
    # Write beside the target and rename, so an interrupted build never
    # leaves a truncated picture that looks up to date.
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv):
    if len(argv) != 2:
        print("usage: draw_images.py OUTPUT_DIR", file=sys.stderr)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "banner.bmp"), bmp_24(draw_banner()))
    write(os.path.join(out, "success.bmp"), bmp_24(draw_status(True)))
    write(os.path.join(out, "failure.bmp"), bmp_24(draw_status(False)))
    write(os.path.join(out, "schema-modify.ico"), ico_file())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
