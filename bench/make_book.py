#!/usr/bin/env python3
"""Writes a deterministic EPUB for the benchmarks: N chapters of paragraphs with sections that carry
ids, links to other chapters, a nested NCX (a section level under every chapter), and optionally
Chinese text and an image per chapter. The same arguments always give the same bytes.

usage: make_book.py OUTPUT.epub --chapters N [--paragraphs P] [--chinese] [--images] [--title T] [--hang K]

--hang K puts a script that never ends into chapter K, so that its page never finishes loading.
"""
import argparse
import random
import struct
import zipfile
import zlib

WORDS = ("lighthouse keeper sea storm lamp tower night evening harbour ship wave rock wind light stair "
         "window glass oil wick lens fog bell coast cliff gull tide current shore sail mast rope").split()
HANZI = "守塔人每天傍晚都要爬上一百级台阶像他父亲那样一级一级地数着海浪拍打着礁石仿佛永远不会停歇灯塔在夜里照亮航道"


def png(seed):
    rng = random.Random(seed)
    w, h = 160, 90
    colour = (rng.randrange(256), rng.randrange(256), rng.randrange(256))
    rows = b"".join(b"\x00" + bytes(colour) * w for _ in range(h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("output")
    p.add_argument("--chapters", type=int, required=True)
    p.add_argument("--paragraphs", type=int, default=24)
    p.add_argument("--chinese", action="store_true")
    p.add_argument("--images", action="store_true")
    p.add_argument("--title", default="Benchmark Book")
    p.add_argument("--hang", type=int, default=0)
    a = p.parse_args()
    rng = random.Random(a.chapters * 1000 + a.paragraphs)
    n = a.chapters
    names = ["ch%04d.xhtml" % (i + 1) for i in range(n)]

    def paragraph():
        if a.chinese and rng.random() < 0.5:
            return "".join(rng.choice(HANZI) for _ in range(rng.randrange(60, 160)))
        return " ".join(rng.choice(WORDS) for _ in range(rng.randrange(40, 110))).capitalize() + "."

    with zipfile.ZipFile(a.output, "w", zipfile.ZIP_DEFLATED) as z:
        info = zipfile.ZipInfo("mimetype", (2024, 1, 1, 0, 0, 0))
        z.writestr(info, "application/epub+zip", compress_type=zipfile.ZIP_STORED)

        def put(name, data):
            z.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), data, compress_type=zipfile.ZIP_DEFLATED)

        put("META-INF/container.xml", '<?xml version="1.0"?><container version="1.0" '
            'xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles><rootfile full-path="OEBPS/content.opf" '
            'media-type="application/oebps-package+xml"/></rootfiles></container>')
        manifest, spine, nav = [], [], []
        for i, name in enumerate(names):
            body = ["<h1 id=\"top\">Chapter %d</h1>" % (i + 1)]
            for s in range(3):
                body.append('<h2 id="s%d">Section %d.%d</h2>' % (s + 1, i + 1, s + 1))
                for k in range(a.paragraphs // 3):
                    text = paragraph()
                    if k == 0:
                        target = names[rng.randrange(n)]
                        text += ' See <a href="%s#s%d">another chapter</a>.' % (target, rng.randrange(1, 4))
                    body.append("<p>%s</p>" % text)
            if a.images:
                put("OEBPS/img/%04d.png" % (i + 1), png(i))
                manifest.append('<item id="img%d" href="img/%04d.png" media-type="image/png"/>' % (i, i + 1))
                body.append('<p><img src="img/%04d.png" alt=""/></p>' % (i + 1))
            if i + 1 == a.hang:
                body.append("<script>for (;;) {}</script>")
            put("OEBPS/" + name, '<?xml version="1.0" encoding="UTF-8"?><html xmlns="http://www.w3.org/1999/xhtml">'
                '<head><title>Chapter %d</title><style>body{font-family:serif;line-height:1.45}</style></head>'
                '<body>%s</body></html>' % (i + 1, "\n".join(body)))
            manifest.append('<item id="c%d" href="%s" media-type="application/xhtml+xml"/>' % (i, name))
            spine.append('<itemref idref="c%d"/>' % i)
            kids = "".join('<navPoint><navLabel><text>Section %d.%d</text></navLabel><content src="%s#s%d"/></navPoint>'
                           % (i + 1, s + 1, name, s + 1) for s in range(3))
            nav.append('<navPoint><navLabel><text>Chapter %d</text></navLabel><content src="%s"/>%s</navPoint>'
                       % (i + 1, name, kids))
        put("OEBPS/content.opf", '<?xml version="1.0" encoding="UTF-8"?><package xmlns="http://www.idpf.org/2007/opf" '
            'version="2.0"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>%s</dc:title>'
            '<dc:creator>Bench</dc:creator></metadata><manifest><item id="ncx" href="toc.ncx" '
            'media-type="application/x-dtbncx+xml"/>%s</manifest><spine toc="ncx">%s</spine></package>'
            % (a.title, "".join(manifest), "".join(spine)))
        put("OEBPS/toc.ncx", '<?xml version="1.0"?><ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1">'
            '<navMap>%s</navMap></ncx>' % "".join(nav))


if __name__ == "__main__":
    main()
