#!/usr/bin/env python3
"""Draws Shuttle's icons from icons.json and writes them as .ico files.

Usage: make_icons.py DESCRIPTION OUTPUT_DIR [--preview PREVIEW_DIR]

Every shape is drawn from its signed distance, so edges are anti-aliased at every size without
supersampling. Images up to 48 pixels are stored as 32-bit DIBs (what every icon reader
understands); the 256-pixel image is stored as PNG, as Windows expects for that size. With
--preview each rendered image is also written as a PNG for looking at. Only the standard
library is used.
"""

import json
import math
import os
import struct
import sys
import zlib

CANVAS = 256.0


# ---- colours --------------------------------------------------------------------------------

def parse_colour(text, palette):
    if text.startswith("$"):
        text = palette[text[1:]]
    digits = text.lstrip("#")
    if len(digits) not in (6, 8):
        raise ValueError("bad colour " + text)
    values = [int(digits[i:i + 2], 16) / 255.0 for i in range(0, len(digits), 2)]
    if len(values) == 3:
        values.append(1.0)
    return values


def greyed(colour):
    r, g, b, a = colour
    y = 0.299 * r + 0.587 * g + 0.114 * b
    y = 0.25 + 0.6 * y  # flatter than plain luminance: the idle icon looks switched off
    return [y, y, y, a]


def mix(a, b, t):
    return [a[i] + (b[i] - a[i]) * t for i in range(4)]


def gradient_at(stops, t):
    t = min(max(t, 0.0), 1.0) * (len(stops) - 1)
    index = min(int(t), len(stops) - 2)
    return mix(stops[index], stops[index + 1], t - index)


# ---- shapes ---------------------------------------------------------------------------------

def rect_distance(shape):
    cx = shape["x"] + shape["w"] / 2.0
    cy = shape["y"] + shape["h"] / 2.0
    hx = shape["w"] / 2.0
    hy = shape["h"] / 2.0
    r = min(shape.get("r", 0), hx, hy)

    def distance(x, y):
        qx = abs(x - cx) - hx + r
        qy = abs(y - cy) - hy + r
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r

    return distance, (shape["x"], shape["y"], shape["x"] + shape["w"], shape["y"] + shape["h"])


def circle_distance(shape):
    cx, cy, r = shape["cx"], shape["cy"], shape["r"]
    return (lambda x, y: math.hypot(x - cx, y - cy) - r), (cx - r, cy - r, cx + r, cy + r)


def segment_distance(x, y, a, b):
    dx, dy = b[0] - a[0], b[1] - a[1]
    length = dx * dx + dy * dy
    t = 0.0 if length == 0 else max(0.0, min(1.0, ((x - a[0]) * dx + (y - a[1]) * dy) / length))
    return math.hypot(x - (a[0] + t * dx), y - (a[1] + t * dy))


def polyline_distance(shape):
    points = shape["points"]
    half = shape["width"] / 2.0
    segments = list(zip(points, points[1:])) or [(points[0], points[0])]

    def distance(x, y):
        return min(segment_distance(x, y, a, b) for a, b in segments) - half

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return distance, (min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half)


SHAPES = {"rect": rect_distance, "circle": circle_distance, "polyline": polyline_distance}


def paint_of(fill, palette, grey, box):
    """A function giving the colour at a canvas point."""
    convert = greyed if grey else (lambda c: c)
    if isinstance(fill, str):
        colour = convert(parse_colour(fill, palette))
        return lambda x, y: colour
    if "vertical" in fill:
        stops = [convert(parse_colour(c, palette)) for c in fill["vertical"]]
        top, bottom = box[1], box[3]
        return lambda x, y: gradient_at(stops, (y - top) / max(bottom - top, 1e-6))
    if "radial" in fill:
        stops = [convert(parse_colour(c, palette)) for c in fill["radial"]]
        fx, fy = fill["centre"]
        radius = fill["radius"]
        return lambda x, y: gradient_at(stops, math.hypot(x - fx, y - fy) / radius)
    raise ValueError("unknown fill " + json.dumps(fill))


# ---- rendering ------------------------------------------------------------------------------

def blend(pixels, index, colour, coverage):
    alpha = colour[3] * coverage
    if alpha <= 0.0:
        return
    dst = pixels[index]
    keep = 1.0 - alpha
    pixels[index] = [colour[0] * alpha + dst[0] * keep, colour[1] * alpha + dst[1] * keep,
                     colour[2] * alpha + dst[2] * keep, alpha + dst[3] * keep]


def draw_shape(pixels, size, shape, palette, grey):
    if size < shape.get("min_size", 0):
        return
    distance, box = SHAPES[shape["shape"]](shape)
    scale = size / CANVAS
    fill = shape.get("fill", shape.get("colour"))
    paint = paint_of(fill, palette, grey, box)
    stroke = shape.get("stroke")
    stroke_paint = paint_of(stroke, palette, grey, box) if stroke else None
    stroke_width = shape.get("stroke_width", 0)
    x0 = max(int(math.floor(box[0] * scale)) - 1, 0)
    y0 = max(int(math.floor(box[1] * scale)) - 1, 0)
    x1 = min(int(math.ceil(box[2] * scale)) + 1, size)
    y1 = min(int(math.ceil(box[3] * scale)) + 1, size)
    for py in range(y0, y1):
        y = (py + 0.5) / scale
        for px in range(x0, x1):
            x = (px + 0.5) / scale
            d = distance(x, y)
            coverage = min(max(0.5 - d * scale, 0.0), 1.0)
            if coverage <= 0.0:
                continue
            index = py * size + px
            blend(pixels, index, paint(x, y), coverage)
            if stroke_paint:
                # The stroke lies inside the edge, so the outline keeps the shape's size.
                band = max(d, -(d + stroke_width))
                band_coverage = min(max(0.5 - band * scale, 0.0), 1.0)
                blend(pixels, index, stroke_paint(x, y), band_coverage)


def render(shapes, palette, grey, size):
    pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]
    for shape in shapes:
        draw_shape(pixels, size, shape, palette, grey)
    rgba = bytearray()
    for r, g, b, a in pixels:
        if a <= 0.0:
            rgba += b"\0\0\0\0"
            continue
        rgba += bytes(min(255, int(round(c / a * 255))) for c in (r, g, b))  # straight alpha
        rgba.append(min(255, int(round(a * 255))))
    return bytes(rgba)


# ---- file formats ---------------------------------------------------------------------------

def png_bytes(size, rgba):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    rows = b"".join(b"\0" + rgba[y * size * 4:(y + 1) * size * 4] for y in range(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) +
            chunk(b"IEND", b""))


def dib_bytes(size, rgba):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):  # bottom-up
        row_mask = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            colour += bytes((b, g, r, a))
            if a == 0:
                row_mask[x // 8] |= 0x80 >> (x % 8)
        mask += row_mask
    return header + bytes(colour) + bytes(mask)


def ico_bytes(images):
    """images: list of (size, rgba) in the order they are to be stored."""
    blobs = [png_bytes(s, px) if s >= 256 else dib_bytes(s, px) for s, px in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, _), blob in zip(images, blobs):
        side = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


# ---- main -----------------------------------------------------------------------------------

def main(argv):
    if len(argv) not in (3, 5) or (len(argv) == 5 and argv[3] != "--preview"):
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        description = json.load(f)
    out_dir = argv[2]
    preview_dir = argv[4] if len(argv) == 5 else None
    os.makedirs(out_dir, exist_ok=True)
    if preview_dir:
        os.makedirs(preview_dir, exist_ok=True)
    for icon in description["icons"]:
        shapes = description["drawings"][icon["drawing"]] + icon.get("extra", [])
        palette = icon.get("palette", {})
        sizes = icon.get("sizes", description["sizes"])
        images = [(size, render(shapes, palette, icon.get("greyscale", False), size)) for size in sizes]
        stem = os.path.splitext(icon["file"])[0]
        if preview_dir:
            for size, rgba in images:
                with open(os.path.join(preview_dir, "%s_%d.png" % (stem, size)), "wb") as f:
                    f.write(png_bytes(size, rgba))
        target = os.path.join(out_dir, icon["file"])
        with open(target + ".tmp", "wb") as f:
            f.write(ico_bytes(images))
        os.replace(target + ".tmp", target)  # never leave a half-written icon for the build
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
