#!/usr/bin/env python3
"""Generate the two image assets of Omenglobe.

Writes, relative to the repository root:

  src/resources/omenglobe.ico  program icon: one 32x32 image, 8 bits per pixel
                               (256-entry palette) with a 1-bit AND mask,
                               exactly 2238 bytes.
  src/resources/ball.jpg       ball picture: baseline JPEG (SOF0, JFIF 1.01,
                               YCbCr), 350x350, exactly 4464 bytes.
  data/icons/hicolor/          the desktop icon, same emblem: PNG (grey and
                               alpha) at 16, 22, 24, 32, 48, 64, 128 and
                               256 px, and a scalable SVG.

and, with --window-icons FILE, the C++ source of the pixels (grey and
alpha) that the running Linux window offers the window manager at each of
those sizes (a build step).

The script uses only the Python 3 standard library (it carries its own small
baseline JPEG encoder and ICO writer) and is deterministic: every cosine it
needs is built from square roots, which IEEE 754 rounds exactly, and the
arithmetic order is fixed, so running

    python3 tools/gen_resources.py

regenerates byte-identical files on every machine.  With --check nothing is
written; the exit status is non-zero when a committed file differs from what
the script would write.
"""

import argparse
import math
import struct
import sys
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
ICON_PATH = ROOT / "src" / "resources" / "omenglobe.ico"
BALL_PATH = ROOT / "src" / "resources" / "ball.jpg"

ICON_SIZE = 32
ICON_FILE_BYTES = 2238
# The icon's geometry in units of the 32 px design; the .ico and every
# size of the desktop icons scale these.
DESIGN = 32.0
DISC_RADIUS = 15.5
CORE_RADIUS = 13.75
STAR_DROP = 0.5  # the star sits this far below the disc's centre
STAR_RADIUS = 10.0

BALL_SIZE = 350
BALL_FILE_BYTES = 4464
# Emblem centre in continuous picture coordinates (pixel x covers [x, x+1)).
# x = 173.0 puts the axis between pixel columns 172 and 173, the window's
# control centre line; y sits midway between the answer box (bottom 161) and
# the shake button (top 248).
EMBLEM_CX = 173.0
EMBLEM_CY = 204.5
RING_OUTER = 30.0
RING_INNER = 25.5
STAR_OUTER = 21.0
SUPERSAMPLE = 8  # samples per pixel along each axis for anti-aliasing

SQRT2 = math.sqrt(2.0)
SQRT5 = math.sqrt(5.0)
# cos(72 deg), sin(72 deg), cos(36 deg), sin(36 deg) from square roots only.
COS72 = (SQRT5 - 1.0) / 4.0
SIN72 = math.sqrt(10.0 + 2.0 * SQRT5) / 4.0
COS36 = (SQRT5 + 1.0) / 4.0
SIN36 = math.sqrt(10.0 - 2.0 * SQRT5) / 4.0


# --------------------------------------------------------------------------
# Shapes
# --------------------------------------------------------------------------

def star_polygon(cx, cy, outer):
    """Regular five-pointed star with one point straight up (y grows down)."""
    inner = outer * COS72 / COS36
    # Unit directions of the outer points, clockwise from the top, and of the
    # inner (concave) corners between them.
    outer_dirs = [(0.0, -1.0), (SIN72, -COS72), (SIN36, COS36),
                  (-SIN36, COS36), (-SIN72, -COS72)]
    inner_dirs = [(SIN36, -COS36), (SIN72, COS72), (0.0, 1.0),
                  (-SIN72, COS72), (-SIN36, -COS36)]
    points = []
    for (ox, oy), (ix, iy) in zip(outer_dirs, inner_dirs):
        points.append((cx + outer * ox, cy + outer * oy))
        points.append((cx + inner * ix, cy + inner * iy))
    return points


def inside_polygon(px, py, poly):
    """Even-odd point-in-polygon test."""
    inside = False
    n = len(poly)
    for i in range(n):
        x1, y1 = poly[i]
        x2, y2 = poly[(i + 1) % n]
        if (y1 > py) != (y2 > py):
            xc = x1 + (py - y1) * (x2 - x1) / (y2 - y1)
            if px < xc:
                inside = not inside
    return inside


def coverage(x, y, shape, samples=SUPERSAMPLE):
    """Fraction (0..samples^2) of pixel (x, y) covered by shape(px, py)."""
    hits = 0
    for sy in range(samples):
        py = y + (sy + 0.5) / samples
        for sx in range(samples):
            if shape(x + (sx + 0.5) / samples, py):
                hits += 1
    return hits


def to_level(hits, total, low, high):
    """Linear blend low..high by hits/total, rounded half up (integers)."""
    return low + ((high - low) * hits * 2 + total) // (2 * total)


# --------------------------------------------------------------------------
# Ball picture
# --------------------------------------------------------------------------

def emblem_shape(cx, cy, ring_outer, ring_inner, star_outer):
    star = star_polygon(cx, cy, star_outer)
    ro2 = ring_outer * ring_outer
    ri2 = ring_inner * ring_inner

    def shape(px, py):
        d2 = (px - cx) * (px - cx) + (py - cy) * (py - cy)
        if ri2 <= d2 <= ro2:
            return True
        return d2 < ri2 and inside_polygon(px, py, star)
    return shape


def render_ball():
    """Grey levels, row-major, of the 350x350 picture: black, white emblem."""
    size = BALL_SIZE
    pixels = bytearray(size * size)
    shape = emblem_shape(EMBLEM_CX, EMBLEM_CY, RING_OUTER, RING_INNER,
                         STAR_OUTER)
    total = SUPERSAMPLE * SUPERSAMPLE
    x0 = int(EMBLEM_CX - RING_OUTER) - 1
    x1 = int(EMBLEM_CX + RING_OUTER) + 1
    y0 = int(EMBLEM_CY - RING_OUTER) - 1
    y1 = int(EMBLEM_CY + RING_OUTER) + 1
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            hits = coverage(x, y, shape)
            pixels[y * size + x] = to_level(hits, total, 0, 255)
    return pixels


# --------------------------------------------------------------------------
# Baseline JPEG encoder (greyscale content stored as YCbCr 4:2:0)
# --------------------------------------------------------------------------

ZIGZAG = [
    0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
]

# Luminance quantisation table, natural order.  The DC step of 8 maps both
# pure black (DC -1024) and pure white (DC 1016) exactly onto the grid, so
# flat areas decode without error; AC steps are fine enough for clean edges
# while the file stays within its byte budget.
LUMA_QUANT = [
    8, 3, 3, 5, 7, 10, 13, 15,
    3, 3, 4, 6, 8, 14, 15, 14,
    4, 4, 5, 7, 10, 14, 17, 14,
    4, 5, 6, 8, 13, 21, 20, 16,
    5, 6, 9, 14, 17, 26, 25, 19,
    7, 9, 14, 16, 20, 25, 27, 23,
    13, 16, 19, 21, 25, 29, 29, 24,
    18, 23, 23, 24, 27, 24, 25, 24,
]
# Chroma is constant 128 (neutral), so only the DC step matters.
CHROMA_QUANT = [8] + [16] * 63

# Typical Huffman tables (bits per code length 1..16, then symbols).
DC_LUMA_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_LUMA_VALS = list(range(12))
DC_CHROMA_BITS = [0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0]
DC_CHROMA_VALS = list(range(12))
AC_LUMA_BITS = [0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D]
AC_LUMA_VALS = [
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12,
    0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
    0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08,
    0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0,
    0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16,
    0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39,
    0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
    0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79,
    0x7A, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98,
    0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
    0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
    0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5,
    0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4,
    0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2,
    0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA,
    0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8,
    0xF9, 0xFA,
]
AC_CHROMA_BITS = [0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77]
AC_CHROMA_VALS = [
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21,
    0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71,
    0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91,
    0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33, 0x52, 0xF0,
    0x15, 0x62, 0x72, 0xD1, 0x0A, 0x16, 0x24, 0x34,
    0xE1, 0x25, 0xF1, 0x17, 0x18, 0x19, 0x1A, 0x26,
    0x27, 0x28, 0x29, 0x2A, 0x35, 0x36, 0x37, 0x38,
    0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48,
    0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
    0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68,
    0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78,
    0x79, 0x7A, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
    0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96,
    0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5,
    0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4,
    0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3,
    0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2,
    0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA,
    0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9,
    0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8,
    0xF9, 0xFA,
]


def _cos_sixteenths():
    """cos(k*pi/16) for k = 0..8, built from square roots only."""
    s2p = math.sqrt(2.0 + SQRT2)
    s2m = math.sqrt(2.0 - SQRT2)
    return [
        1.0,
        math.sqrt(2.0 + s2p) / 2.0,
        s2p / 2.0,
        math.sqrt(2.0 + s2m) / 2.0,
        SQRT2 / 2.0,
        math.sqrt(2.0 - s2m) / 2.0,
        s2m / 2.0,
        math.sqrt(2.0 - s2p) / 2.0,
        0.0,
    ]


def _dct_matrix():
    c = _cos_sixteenths()

    def cos16(k):
        k %= 32
        if k <= 8:
            return c[k]
        if k <= 16:
            return -c[16 - k]
        if k <= 24:
            return -c[k - 16]
        return c[32 - k]

    rows = []
    for u in range(8):
        scale = 0.5 / SQRT2 if u == 0 else 0.5
        rows.append([scale * cos16((2 * x + 1) * u) for x in range(8)])
    return rows


DCT = _dct_matrix()


def fdct_quantise(block, quant):
    """Forward DCT of 64 level-shifted samples, quantised, in zigzag order."""
    tmp = [0.0] * 64
    for y in range(8):
        row = block[y * 8:y * 8 + 8]
        for u in range(8):
            m = DCT[u]
            acc = 0.0
            for x in range(8):
                acc += m[x] * row[x]
            tmp[y * 8 + u] = acc
    out = [0] * 64
    for v in range(8):
        m = DCT[v]
        for u in range(8):
            acc = 0.0
            for y in range(8):
                acc += m[y] * tmp[y * 8 + u]
            q = quant[v * 8 + u]
            mag = int(math.floor(abs(acc) / q + 0.5))
            out[v * 8 + u] = -mag if acc < 0 else mag
    return [out[i] for i in ZIGZAG]


def huffman_codes(bits, vals):
    """Canonical code table: symbol -> (code, length)."""
    codes = {}
    code = 0
    k = 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[vals[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0x00)
                self.acc = 0
                self.count = 0

    def flush(self):
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)
        return bytes(self.out)


def magnitude(value):
    """(size category, appended bits) of a DC difference or AC coefficient."""
    if value == 0:
        return 0, 0
    size = abs(value).bit_length()
    bits = value if value > 0 else value + (1 << size) - 1
    return size, bits


def encode_block(writer, coefs, prev_dc, dc_codes, ac_codes):
    size, bits = magnitude(coefs[0] - prev_dc)
    writer.put(*dc_codes[size])
    if size:
        writer.put(bits, size)
    run = 0
    for k in range(1, 64):
        c = coefs[k]
        if c == 0:
            run += 1
            continue
        while run > 15:
            writer.put(*ac_codes[0xF0])
            run -= 16
        size, bits = magnitude(c)
        writer.put(*ac_codes[(run << 4) | size])
        writer.put(bits, size)
        run = 0
    if run:
        writer.put(*ac_codes[0x00])
    return coefs[0]


def segment(marker, payload):
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def encode_jpeg(grey, width, height, comment_size=None):
    """Baseline JPEG of a grey picture as Y (2x2) + Cb + Cr.

    If comment_size is given, a COM segment of exactly that many bytes
    (marker included) is placed after the JFIF header.
    """
    mcu_w = (width + 15) // 16
    mcu_h = (height + 15) // 16

    def sample(x, y):
        x = min(x, width - 1)  # replicate the edge into the padding
        y = min(y, height - 1)
        return grey[y * width + x] - 128

    dc_l = huffman_codes(DC_LUMA_BITS, DC_LUMA_VALS)
    ac_l = huffman_codes(AC_LUMA_BITS, AC_LUMA_VALS)
    dc_c = huffman_codes(DC_CHROMA_BITS, DC_CHROMA_VALS)
    ac_c = huffman_codes(AC_CHROMA_BITS, AC_CHROMA_VALS)
    # Neutral colour: Cb = Cr = 128 everywhere, i.e. an all-zero block.
    chroma_block = fdct_quantise([0] * 64, CHROMA_QUANT)

    writer = BitWriter()
    prev = [0, 0, 0]
    black = None
    for my in range(mcu_h):
        for mx in range(mcu_w):
            for by in range(2):
                for bx in range(2):
                    x0 = mx * 16 + bx * 8
                    y0 = my * 16 + by * 8
                    block = [sample(x0 + i, y0 + j)
                             for j in range(8) for i in range(8)]
                    if all(s == -128 for s in block):
                        if black is None:
                            black = fdct_quantise(block, LUMA_QUANT)
                        coefs = black
                    else:
                        coefs = fdct_quantise(block, LUMA_QUANT)
                    prev[0] = encode_block(writer, coefs, prev[0], dc_l, ac_l)
            prev[1] = encode_block(writer, chroma_block, prev[1], dc_c, ac_c)
            prev[2] = encode_block(writer, chroma_block, prev[2], dc_c, ac_c)
    scan = writer.flush()

    def dht(cls_id, bits, vals):
        return bytes([cls_id]) + bytes(bits) + bytes(vals)

    parts = [b"\xFF\xD8"]
    # JFIF 1.01, aspect ratio 1:1, no thumbnail.
    parts.append(segment(0xE0, b"JFIF\x00" + struct.pack(">BBBHHBB",
                                                        1, 1, 0, 1, 1, 0, 0)))
    if comment_size is not None:
        text = b"Omenglobe ball picture"
        payload_len = comment_size - 4
        if payload_len < 0:
            raise ValueError("comment segment too small")
        payload = (text + b" " * payload_len)[:payload_len]
        parts.append(segment(0xFE, payload))
    parts.append(segment(0xDB,
                         bytes([0]) + bytes(LUMA_QUANT[i] for i in ZIGZAG)
                         + bytes([1]) + bytes(CHROMA_QUANT[i] for i in ZIGZAG)))
    parts.append(segment(0xC0, struct.pack(">BHHB", 8, height, width, 3)
                         + bytes([1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1])))
    parts.append(segment(0xC4,
                         dht(0x00, DC_LUMA_BITS, DC_LUMA_VALS)
                         + dht(0x10, AC_LUMA_BITS, AC_LUMA_VALS)
                         + dht(0x01, DC_CHROMA_BITS, DC_CHROMA_VALS)
                         + dht(0x11, AC_CHROMA_BITS, AC_CHROMA_VALS)))
    parts.append(segment(0xDA, bytes([3, 1, 0x00, 2, 0x11, 3, 0x11,
                                      0, 63, 0])))
    parts.append(scan)
    parts.append(b"\xFF\xD9")
    return b"".join(parts)


def build_ball():
    grey = render_ball()
    natural = len(encode_jpeg(grey, BALL_SIZE, BALL_SIZE))
    pad = BALL_FILE_BYTES - natural
    assert pad >= 4, f"picture needs {natural} bytes, over budget"
    data = encode_jpeg(grey, BALL_SIZE, BALL_SIZE, comment_size=pad)
    assert len(data) == BALL_FILE_BYTES, len(data)
    return data


# --------------------------------------------------------------------------
# Icon
# --------------------------------------------------------------------------

def render_icon():
    """Palette indices (grey ramp) and mask bits, top row first.

    A black disc whose rim carries a thin grey sheen, lighter towards the
    upper left, and a white star; mask bit 1 (transparent) for every pixel
    whose centre lies outside the disc.
    """
    size = ICON_SIZE
    c = size / 2.0
    radius = DISC_RADIUS
    core_radius = CORE_RADIUS
    star = star_polygon(c, c + STAR_DROP, STAR_RADIUS)
    total = SUPERSAMPLE * SUPERSAMPLE
    index = bytearray(size * size)
    mask = [[0] * size for _ in range(size)]

    def in_core(px, py):
        return (px - c) ** 2 + (py - c) ** 2 <= core_radius * core_radius

    def in_star(px, py):
        return inside_polygon(px, py, star)

    for y in range(size):
        for x in range(size):
            dx = x + 0.5 - c
            dy = y + 0.5 - c
            if dx * dx + dy * dy > radius * radius:
                mask[y][x] = 1
                continue
            # Rim grey: 0x48 at the lower right up to 0x98 at the upper left.
            light = -(dx + dy) / (radius * SQRT2)  # -1 .. 1
            rim = 0x70 + int(math.floor(light * 0x28 + 0.5))
            level = to_level(coverage(x, y, in_core), total, rim, 0x00)
            level = to_level(coverage(x, y, in_star), total, level, 0xFF)
            index[y * size + x] = level
    return index, mask


def build_icon():
    size = ICON_SIZE
    index, mask = render_icon()
    palette = b"".join(bytes([g, g, g, 0]) for g in range(256))
    xor = b"".join(bytes(index[y * size:(y + 1) * size])
                   for y in range(size - 1, -1, -1))
    and_rows = []
    for y in range(size - 1, -1, -1):
        value = 0
        for bit in mask[y]:
            value = (value << 1) | bit
        and_rows.append(struct.pack(">I", value))
    and_mask = b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + palette + xor + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image),
                        6 + 16)
    data = icondir + entry + image
    assert len(data) == ICON_FILE_BYTES, len(data)
    return data


# --------------------------------------------------------------------------
# Desktop icons: the same emblem at the theme's sizes, with alpha
# --------------------------------------------------------------------------

APP_ID = "org.omenglobe.Omenglobe"
THEME_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
# What the running window offers the window manager (see WindowIcons()).
WINDOW_SIZES = THEME_SIZES
THEME_DIR = ROOT / "data" / "icons" / "hicolor"
# Half the diagonal of a pixel plus a margin: a pixel whose centre lies
# farther than this from every edge of a shape is wholly inside or outside it.
CLEAR_OF_EDGE = 0.75


def segment_distance(px, py, ax, ay, bx, by):
    dx = bx - ax
    dy = by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = min(1.0, max(0.0, t))
    ex = ax + t * dx - px
    ey = ay + t * dy - py
    return math.sqrt(ex * ex + ey * ey)


def disc_coverage(x, y, cx, cy, radius):
    """Like coverage() of a disc, sampling only pixels on its edge."""
    d = math.sqrt((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2)
    total = SUPERSAMPLE * SUPERSAMPLE
    if d < radius - CLEAR_OF_EDGE:
        return total
    if d > radius + CLEAR_OF_EDGE:
        return 0
    r2 = radius * radius
    return coverage(x, y, lambda px, py: (px - cx) ** 2 + (py - cy) ** 2 <= r2)


def polygon_coverage(x, y, poly):
    """Like coverage() of a polygon, sampling only pixels on its edges."""
    px = x + 0.5
    py = y + 0.5
    n = len(poly)
    near = any(segment_distance(px, py, *poly[i], *poly[(i + 1) % n])
               <= CLEAR_OF_EDGE for i in range(n))
    if not near:
        return SUPERSAMPLE * SUPERSAMPLE if inside_polygon(px, py, poly) else 0
    return coverage(x, y, lambda qx, qy: inside_polygon(qx, qy, poly))


def render_rgba(size):
    """The icon as straight-alpha RGBA, top row first.

    Grey levels as in render_icon(); the disc's outline is anti-aliased into
    the alpha channel instead of the .ico's one-bit mask.
    """
    k = size / DESIGN
    c = size / 2.0
    radius = DISC_RADIUS * k
    core_radius = CORE_RADIUS * k
    star = star_polygon(c, c + STAR_DROP * k, STAR_RADIUS * k)
    total = SUPERSAMPLE * SUPERSAMPLE
    out = bytearray(size * size * 4)
    for y in range(size):
        for x in range(size):
            alpha_hits = disc_coverage(x, y, c, c, radius)
            if alpha_hits == 0:
                continue
            dx = x + 0.5 - c
            dy = y + 0.5 - c
            light = max(-1.0, min(1.0, -(dx + dy) / (radius * SQRT2)))
            rim = 0x70 + int(math.floor(light * 0x28 + 0.5))
            level = to_level(disc_coverage(x, y, c, c, core_radius), total,
                             rim, 0x00)
            level = to_level(polygon_coverage(x, y, star), total, level, 0xFF)
            i = (y * size + x) * 4
            out[i:i + 4] = bytes([level, level, level,
                                  to_level(alpha_hits, total, 0, 255)])
    return bytes(out)


def png_chunk(kind, payload):
    return (struct.pack(">I", len(payload)) + kind + payload
            + struct.pack(">I", zlib.crc32(kind + payload)))


def encode_png(rgba, size):
    """8-bit grey + alpha PNG (the icon has no colour), filter 0 rows.

    zlib's deflate is deterministic for a given zlib; should another zlib
    ever write other bytes, --check says so.
    """
    rows = bytearray()
    for y in range(size):
        rows.append(0)
        row = rgba[y * size * 4:(y + 1) * size * 4]
        for x in range(size):
            rows.append(row[x * 4])
            rows.append(row[x * 4 + 3])
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 4, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr)
            + png_chunk(b"IDAT", zlib.compress(bytes(rows), 9))
            + png_chunk(b"IEND", b""))


def svg_number(value):
    text = f"{value:.4f}".rstrip("0").rstrip(".")
    return "0" if text == "-0" else text


def build_svg():
    """The emblem as a scalable icon on the 32-unit design grid."""
    c = DESIGN / 2.0
    star = star_polygon(c, c + STAR_DROP, STAR_RADIUS)
    points = " ".join(f"{svg_number(x)},{svg_number(y)}" for x, y in star)
    # The rim's sheen runs from 0x98 at the upper left to 0x48 at the lower
    # right along the diagonal, as in the bitmaps.
    a = svg_number(c - DISC_RADIUS / SQRT2)
    b = svg_number(c + DISC_RADIUS / SQRT2)
    text = f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <title>Omenglobe</title>
  <defs>
    <linearGradient id="rim" gradientUnits="userSpaceOnUse" x1="{a}" y1="{a}" x2="{b}" y2="{b}">
      <stop offset="0" stop-color="#989898"/>
      <stop offset="1" stop-color="#484848"/>
    </linearGradient>
  </defs>
  <circle cx="{svg_number(c)}" cy="{svg_number(c)}" r="{svg_number(DISC_RADIUS)}" fill="url(#rim)"/>
  <circle cx="{svg_number(c)}" cy="{svg_number(c)}" r="{svg_number(CORE_RADIUS)}" fill="#000000"/>
  <polygon points="{points}" fill="#ffffff"/>
</svg>
"""
    return text.encode("ascii")


def theme_outputs():
    outputs = []
    for size in THEME_SIZES:
        path = THEME_DIR / f"{size}x{size}" / "apps" / f"{APP_ID}.png"
        outputs.append((path, encode_png(render_rgba(size), size)))
    outputs.append((THEME_DIR / "scalable" / "apps" / f"{APP_ID}.svg",
                    build_svg()))
    return outputs


def window_icon_source(sizes):
    """C++ source of the running window's icons, ready to send.

    The icon has no colour, so each pixel is two bytes, grey then alpha
    (straight), top row first: half the size of ready 0xAARRGGBB words, and
    widening it into _NET_WM_ICON's words is a shift and a multiply.
    """
    lines = ["// Generated by tools/gen_resources.py --window-icons. "
             "Do not edit.",
             "#include \"resources/resources.h\"", "",
             "namespace resources {", "namespace {"]
    for size in sizes:
        rgba = render_rgba(size)
        data = bytearray()
        for i in range(0, len(rgba), 4):
            assert rgba[i] == rgba[i + 1] == rgba[i + 2]
            data += bytes([rgba[i], rgba[i + 3]])
        lines.append(f"constexpr std::uint8_t kIcon{size}[] = {{")
        for i in range(0, len(data), 24):
            lines.append("    " + ",".join(str(v) for v in data[i:i + 24]) + ",")
        lines.append("};")
    lines += ["}  // namespace", "",
              "std::span<const GreyIcon> WindowIcons() {",
              "  static constexpr GreyIcon kIcons[] = {"]
    lines += [f"      {{{size}, kIcon{size}}}," for size in sizes]
    lines += ["  };", "  return kIcons;", "}", "", "}  // namespace resources",
              ""]
    return "\n".join(lines).encode("ascii")


# --------------------------------------------------------------------------

def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="compare instead of writing; exit 1 on mismatch")
    parser.add_argument("--window-icons", metavar="FILE", type=Path,
                        help="write only the C++ source of the window's "
                             "icon pixels to FILE (a build step)")
    args = parser.parse_args(argv)
    if args.window_icons:
        data = window_icon_source(WINDOW_SIZES)
        # Rewriting identical bytes would only make the build redo its work.
        if not args.window_icons.exists() or \
                args.window_icons.read_bytes() != data:
            args.window_icons.write_bytes(data)
        return 0
    outputs = [(ICON_PATH, build_icon()), (BALL_PATH, build_ball())]
    outputs += theme_outputs()
    if args.check:
        stale = [p for p, data in outputs
                 if not p.exists() or p.read_bytes() != data]
        for p in stale:
            print(f"out of date: {p.relative_to(ROOT)}", file=sys.stderr)
        return 1 if stale else 0
    for p, data in outputs:
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(data)
        print(f"wrote {p.relative_to(ROOT)} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
