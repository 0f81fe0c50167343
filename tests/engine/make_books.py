#!/usr/bin/env python3
"""Writes the small EPUB books that the conversion tests use.

usage: make_books.py OUTPUT_FOLDER SECRET_FILE

SECRET_FILE is a file outside every book that the "leaky" book tries to read.
"""
import os
import sys
import zipfile

out, secret = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)

CONTAINER = """<?xml version="1.0"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
<rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/></rootfiles>
</container>"""

PNG_1X1 = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010802000000907753de"
                        "0000000c4944415408d763f8cfc0f00003010100c9fe92ef0000000049454e44ae426082")


def page(title, body):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml"><head><title>%s'
            '</title></head><body>%s</body></html>' % (title, body))


def book(name, chapters, points=None, ncx=True, files=None, title="Test Book", creator="Tester", missing=(),
         ncx_text=None):
    """chapters: [(href, bytes or str)], points: [(label, src, [children])]; hrefs in missing are listed
    in the spine but not stored; ncx_text replaces the NCX written from points."""
    manifest, spine = [], []
    for i, (href, _) in enumerate(chapters):
        manifest.append('<item id="c%d" href="%s" media-type="application/xhtml+xml"/>' % (i, href))
        spine.append('<itemref idref="c%d"/>' % i)
    opf = ('<?xml version="1.0" encoding="UTF-8"?><package xmlns="http://www.idpf.org/2007/opf" version="2.0">'
           '<metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>%s</dc:title><dc:creator>%s</dc:creator>'
           '</metadata><manifest>%s</manifest><spine toc="ncx">%s</spine></package>'
           % (title, creator, "".join(manifest), "".join(spine)))

    def nav(items):
        return "".join('<navPoint><navLabel><text>%s</text></navLabel><content src="%s"/>%s</navPoint>'
                       % (label, src, nav(kids)) for label, src, kids in items)

    if points is None:
        points = [("Chapter %d" % (i + 1), href, []) for i, (href, _) in enumerate(chapters)]
    with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("mimetype", "application/epub+zip", compress_type=zipfile.ZIP_STORED)
        z.writestr("META-INF/container.xml", CONTAINER)
        z.writestr("OEBPS/content.opf", opf)
        if ncx:
            z.writestr("OEBPS/toc.ncx", ncx_text or '<?xml version="1.0"?><ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" '
                                                    'version="2005-1"><navMap>%s</navMap></ncx>' % nav(points))
        for href, content in chapters:
            if href not in missing:
                z.writestr("OEBPS/" + href, content)
        for path, content in (files or {}).items():
            z.writestr(path, content)


def text_chapter(n, extra=""):
    return page("Chapter %d" % n, "<h1>Chapter %d</h1><p>Text of chapter %d.</p>%s" % (n, n, extra))


# Five chapters whose third is a file the browser will not render as a page.
book("failing-middle.epub",
     [("ch1.xhtml", text_chapter(1, '<p><a href="ch2.xhtml">next</a></p>')), ("ch2.xhtml", text_chapter(2)),
      ("ch3.bin", os.urandom(4096)), ("ch4.xhtml", text_chapter(4)), ("ch5.xhtml", text_chapter(5))],
     points=[("One", "ch1.xhtml", []), ("Two", "ch2.xhtml", [("Two.1", "ch2.xhtml#a", []), ("Into four", "ch4.xhtml", [])]),
             ("Three", "ch3.bin", [("Three.1", "ch1.xhtml", [])]), ("Four", "ch4.xhtml", []), ("Five", "ch5.xhtml", [])])

# Four chapters, for progress and cancellation.
book("four.epub", [("c%d.xhtml" % i, text_chapter(i)) for i in range(1, 5)])

# Small books for batches.
for i in range(1, 26):
    book("small-%02d.epub" % i, [("a.xhtml", text_chapter(1)), ("b.xhtml", text_chapter(2))], title="Small %d" % i)

# Chapters that never finish loading: a dialog that nobody answers, a script that never ends.
book("hang-alert.epub", [("ch1.xhtml", text_chapter(1)),
                         ("ch2.xhtml", text_chapter(2, '<script>alert("nobody answers");</script>')),
                         ("ch3.xhtml", text_chapter(3))])
book("hang-loop.epub", [("ch1.xhtml", text_chapter(1)),
                        ("ch2.xhtml", text_chapter(2, '<script>for (;;) {}</script>')),
                        ("ch3.xhtml", text_chapter(3))])

# Books that convert with something left out, which the result must name.
book("missing-chapter.epub", [("ch1.xhtml", text_chapter(1)), ("ch2.xhtml", text_chapter(2)),
                              ("ch3.xhtml", text_chapter(3))], missing=("ch2.xhtml",))
book("broken-ncx.epub", [("ch1.xhtml", text_chapter(1)), ("ch2.xhtml", text_chapter(2))],
     ncx_text='<?xml version="1.0"?><ncx xmlns="http://www.daisy.org/z3986/2005/ncx/"><navMap><navPoint>'
              '<navLabel><text>One</text></navLabel><content src="ch1.xhtml"/></navPoint> < </navMap></ncx>')

# Books that must be refused, each for its own reason.
book("broken-opf.epub", [("a.xhtml", text_chapter(1))], title="Fish < Chips")
with zipfile.ZipFile(os.path.join(out, "broken-container.epub"), "w") as z:
    z.writestr("mimetype", "application/epub+zip")
    z.writestr("META-INF/container.xml", CONTAINER.replace("<rootfiles>", "<rootfiles><"))
    z.writestr("OEBPS/content.opf", "<package/>")
open(os.path.join(out, "broken-notzip.epub"), "w").write("This is not an archive.\n")
with zipfile.ZipFile(os.path.join(out, "broken-nocontainer.epub"), "w") as z:
    z.writestr("mimetype", "application/epub+zip")
    z.writestr("OEBPS/content.opf", "<package/>")
book("broken-nonav.epub", [("a.xhtml", text_chapter(1))], ncx=False,
     files={"OEBPS/nav.xhtml": page("nav", '<nav epub:type="toc"><ol><li><a href="a.xhtml">A</a></li></ol></nav>')})
book("broken-nochapters.epub", [], points=[])

# A chapter that reaches for a file outside the book and for the network; its own image is inside.
leaky = page("Leaky", (
    '<style>body { background-image: url("file://%(s)s"); } h1 { background: url("../../../../..%(s)s"); }</style>'
    '<h1>Leaky chapter</h1><p>Own image: <img src="img/own.png" width="40" height="40"/></p>'
    '<iframe src="file://%(s)s" width="500" height="80"></iframe>'
    '<object data="file://%(s)s" type="text/plain" width="500" height="80"></object>'
    '<img src="file://%(s)s"/><img src="https://example.org/tracker.png"/>'
    '<p><a href="https://example.org/page">a web link</a></p>') % {"s": secret})
book("leaky.epub", [("leaky.xhtml", leaky)], files={"OEBPS/img/own.png": PNG_1X1})

# Two books of one name in different folders.
for folder in ("a", "b"):
    os.makedirs(os.path.join(out, folder), exist_ok=True)
    book(os.path.join(folder, "same.epub"), [("x.xhtml", text_chapter(1))], title="Same " + folder)
