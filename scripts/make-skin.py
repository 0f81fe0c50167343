#!/usr/bin/env python3
"""Draws the images of the desktop program's skin and writes them with its style sheet and a Qt
resource collection file into one folder, ready for `rcc -binary`.

usage: make-skin.py STYLE_SHEET OUTPUT_FOLDER
"""
import math
import os
import shutil
import struct
import sys
import zlib


def png(width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x, y))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")


def antialiased(width, height, shape, samples=4):
    """shape(x, y) -> (r, g, b, a) or None at sub-pixel positions; averaged per pixel."""
    def pixel(px, py):
        acc = [0.0, 0.0, 0.0, 0.0]
        for sy in range(samples):
            for sx in range(samples):
                c = shape(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                if c:
                    a = c[3] / 255.0
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
        n = samples * samples
        if acc[3] == 0:
            return (0, 0, 0, 0)
        return (int(acc[0] / acc[3]), int(acc[1] / acc[3]), int(acc[2] / acc[3]), int(255 * acc[3] / n))
    return png(width, height, pixel)


def rounded(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def document_shape(colour, mark):
    """A page with a folded corner in colour, with a mark drawn over it (26 px high, 32 wide)."""
    def shape(x, y):
        m = mark(x, y)
        if m:
            return m
        if 6 <= x <= 22 and 2 <= y <= 24 and not (x > 17 and y < 2 + (x - 17)):
            edge = x < 7.2 or x > 20.8 or y < 3.2 or y > 22.8 or (x > 16 and abs(y - (2 + (x - 17))) < 1.2)
            return colour if edge else (255, 255, 255, 255)
        return None
    return shape


def drawn(width, height, shape, scale=1):
    """The shape, drawn in a width x height box, at scale (2: the @2x picture for high-density screens)."""
    return antialiased(width * scale, height * scale, lambda x, y: shape(x / scale, y / scale))


def circle_mark(cx, cy, r, colour, inner):
    def mark(x, y):
        d = math.hypot(x - cx, y - cy)
        if d <= r:
            return inner(x - cx, y - cy) or colour
        return None
    return mark


def check(dx, dy):
    # a white check mark inside the circle
    def near(ax, ay, bx, by):
        t = max(0, min(1, ((dx - ax) * (bx - ax) + (dy - ay) * (by - ay)) / ((bx - ax) ** 2 + (by - ay) ** 2)))
        return math.hypot(dx - (ax + t * (bx - ax)), dy - (ay + t * (by - ay))) < 1.1
    return (255, 255, 255, 255) if near(-3.5, 0, -1, 2.5) or near(-1, 2.5, 3.5, -2.5) else None


def cross(dx, dy):
    return (255, 255, 255, 255) if abs(abs(dx) - abs(dy)) < 1.3 and abs(dx) < 3.2 else None


def arrows(phase):
    def inner(dx, dy):
        angle = (math.atan2(dy, dx) + phase) % (2 * math.pi)
        d = math.hypot(dx, dy)
        return (255, 255, 255, 255) if 2.2 < d < 3.8 and angle < 4.4 else None
    return inner


def logo(x, y):
    if rounded(x, y, 2, 2, 62, 62, 12):
        t = y / 64.0
        base = (int(0 + 40 * t), int(150 - 30 * t), int(136 - 20 * t), 255)
        # an open book in white
        if 14 <= y <= 46 and (abs(x - 32) > 1.2) and 12 <= x <= 52:
            top = 18 + abs(x - 32) * 0.18
            if top <= y <= top + 24:
                return (255, 255, 255, 255)
        return base
    return None


def drop(x, y):
    """The empty list's picture: a tray with an arrow coming down into it (96 x 96)."""
    teal = (0, 137, 123, 255)
    light = (178, 223, 219, 255)
    # the arrow: a shaft and a head
    if abs(x - 48) < 5 and 14 <= y <= 50:
        return teal
    if 38 <= y <= 62 and abs(x - 48) < (62 - y) * 0.9:
        return teal
    # the tray: an open box
    if 66 <= y <= 82 and (14 <= x <= 19 or 77 <= x <= 82):
        return light
    if 77 <= y <= 82 and 14 <= x <= 82:
        return light
    return None


def cover(x, y):
    """A book without a cover picture of its own (36 x 48): a plain binding with a label."""
    if rounded(x, y, 1, 1, 35, 47, 3):
        if 7 <= x <= 29 and 12 <= y <= 22:
            return (255, 255, 255, 230)
        if x < 5:
            return (96, 125, 139, 255)
        return (144, 164, 174, 255)
    return None


def pdf(x, y):
    """A finished PDF (32 x 26): a page in teal with a band."""
    shape = document_shape((0, 137, 123, 255), lambda a, b: None)
    if 9 <= x <= 19 and 12 <= y <= 16:
        return (0, 137, 123, 255)
    return shape(x, y)


def main():
    style, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    teal, red, orange, grey = (0, 150, 136, 255), (229, 57, 53, 255), (255, 87, 34, 255), (117, 118, 118, 255)
    shapes = {
        "logo.png": (64, 64, logo),
        "downlist_ok.png": (32, 26, document_shape(grey, lambda x, y: None)),
        "converting1.png": (32, 26, document_shape(orange, circle_mark(22, 18, 6, orange, arrows(0.0)))),
        "converting2.png": (32, 26, document_shape(orange, circle_mark(22, 18, 6, orange, arrows(math.pi)))),
        "succeeded.png": (32, 26, document_shape(teal, circle_mark(22, 18, 6, teal, check))),
        "failed.png": (32, 26, document_shape(red, circle_mark(22, 18, 6, red, cross))),
        "drop.png": (96, 96, drop),
        "cover.png": (36, 48, cover),
        "pdf.png": (32, 26, pdf),
    }
    images = {}
    for name, (width, height, shape) in shapes.items():
        images[name] = drawn(width, height, shape)
        images[name.replace(".png", "@2x.png")] = drawn(width, height, shape, 2)
    images["progress_fore.png"] = png(8, 7, lambda x, y: (0, 150 + 10 * (3 - abs(3 - y)), 136, 255))
    for name, data in images.items():
        open(os.path.join(out, name), "wb").write(data)
    shutil.copyfile(style, os.path.join(out, "style.qss"))
    with open(os.path.join(out, "skin.qrc"), "w") as qrc:
        qrc.write('<!DOCTYPE RCC><RCC version="1.0"><qresource prefix="/skin">\n')
        for name in sorted(list(images) + ["style.qss"]):
            qrc.write("  <file>%s</file>\n" % name)
        qrc.write("</qresource></RCC>\n")


if __name__ == "__main__":
    main()
