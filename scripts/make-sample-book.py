#!/usr/bin/env python3
"""Packs the sample book under sample/book into an EPUB file.

usage: make-sample-book.py SOURCE_FOLDER OUTPUT.epub

The mimetype entry comes first and is stored; everything else is deflated. The one image of the book,
Images/lamp.png, is drawn here, so that the repository holds only text sources. Entry times are fixed,
so the same sources always give the same bytes.
"""
import os
import struct
import sys
import zipfile
import zlib

FIXED_TIME = (2024, 1, 1, 12, 0, 0)


def png(width, height, pixel):
    rows = b"".join(b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def lamp(x, y):
    # A yellow light in a dark blue night, with a grey tower below it.
    cx, cy = 48, 30
    d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    if d < 12:
        return (255, 220, 90)
    if 40 <= x <= 56 and y > 42:
        return (150, 150, 160)
    glow = max(0, 1 - d / 40)
    return (int(20 + 200 * glow), int(30 + 160 * glow), int(80 + 40 * glow))


def add(archive, name, data, method):
    info = zipfile.ZipInfo(name, FIXED_TIME)
    info.compress_type = method
    info.external_attr = 0o100644 << 16
    archive.writestr(info, data)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source, output = sys.argv[1], sys.argv[2]
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    tmp = output + ".part"
    with zipfile.ZipFile(tmp, "w") as archive:
        add(archive, "mimetype", open(os.path.join(source, "mimetype"), "rb").read(), zipfile.ZIP_STORED)
        files = []
        for folder, _, names in os.walk(source):
            for name in names:
                path = os.path.join(folder, name)
                relative = os.path.relpath(path, source).replace(os.sep, "/")
                if relative != "mimetype":
                    files.append(relative)
        for relative in sorted(files):
            add(archive, relative, open(os.path.join(source, relative), "rb").read(), zipfile.ZIP_DEFLATED)
        add(archive, "OEBPS/Images/lamp.png", png(96, 96, lamp), zipfile.ZIP_DEFLATED)
    os.replace(tmp, output)


if __name__ == "__main__":
    main()
