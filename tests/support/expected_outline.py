#!/usr/bin/env python3
"""Prints the outline a book's own table of contents calls for, read from the EPUB with Python's own XML
reader (not the program's): its NCX (named by the spine, else in the manifest) or its EPUB 3 navigation
document, as a JSON list of {"title": ..., "kids": [...]}. Entries whose file is not an (X)HTML or SVG
document of the spine are left out with their subtrees.

usage: expected_outline.py BOOK.epub
"""
import json
import posixpath
import re
import sys
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile

OPF = "{http://www.idpf.org/2007/opf}"
NCX = "{http://www.daisy.org/z3986/2005/ncx/}"
XHTML = "{http://www.w3.org/1999/xhtml}"
OPS_TYPE = "{http://www.idpf.org/2007/ops}type"
CONTAINER = "{urn:oasis:names:tc:opendocument:xmlns:container}"
PRINTABLE = {"application/xhtml+xml", "text/html", "image/svg+xml"}


def label(element):
    return re.sub(r"\s+", " ", "".join(element.itertext())).strip() if element is not None else ""


def resolve(base, href):
    path = urllib.parse.unquote(href.split("#")[0].split("?")[0])
    return posixpath.normpath(posixpath.join(posixpath.dirname(base), path))


def package(book):
    """The package document of an open archive: its path, its manifest items by id, its spine element."""
    container = ET.fromstring(book.read("META-INF/container.xml"))
    rootfiles = container.iter(CONTAINER + "rootfile")
    opf_path = next(r.get("full-path") for r in rootfiles if r.get("media-type") == "application/oebps-package+xml")
    opf = ET.fromstring(book.read(opf_path))
    return opf_path, {i.get("id"): i for i in opf.iter(OPF + "item")}, opf.find(OPF + "spine")


def read(epub, with_targets=False):
    """The expected outline; with_targets adds each entry's "file" (in the archive) and "fragment" (as
    the reference writes it, not decoded)."""
    book = zipfile.ZipFile(epub)
    opf_path, items, spine = package(book)
    printed = {resolve(opf_path, items[r.get("idref")].get("href")) for r in spine.iter(OPF + "itemref")
               if r.get("idref") in items and items[r.get("idref")].get("media-type") in PRINTABLE}

    def keep(entries):
        result = []
        for t, target, kids in entries:
            f, fragment = target if target else (None, "")
            if f in printed:
                result.append(dict(title=t, kids=keep(kids), **(dict(file=f, fragment=fragment) if with_targets else {})))
        return result

    def at(base, href):
        return resolve(base, href), href.split("#", 1)[1] if "#" in href else ""

    ncx_item = items.get(spine.get("toc")) or next(
        (i for i in items.values() if i.get("media-type") == "application/x-dtbncx+xml"), None)
    if ncx_item is not None:
        ncx_path = resolve(opf_path, ncx_item.get("href"))
        ncx = ET.fromstring(book.read(ncx_path))

        def points(parent):
            return [(label(p.find(NCX + "navLabel/" + NCX + "text")),
                     at(ncx_path, p.find(NCX + "content").get("src")), points(p))
                    for p in parent.findall(NCX + "navPoint")]
        return keep(points(ncx.find(NCX + "navMap")))

    nav_item = next(i for i in items.values() if "nav" in (i.get("properties") or "").split())
    nav_path = resolve(opf_path, nav_item.get("href"))
    nav = next(n for n in ET.fromstring(book.read(nav_path)).iter(XHTML + "nav")
               if "toc" in (n.get(OPS_TYPE) or "").split())

    def entries(ol):
        result = []
        for li in ([] if ol is None else ol.findall(XHTML + "li")):
            head = li.find(XHTML + "a")
            head = head if head is not None else li.find(XHTML + "span")
            kids = entries(li.find(XHTML + "ol"))
            href = head.get("href") if head is not None else None
            target = at(nav_path, href) if href else (kids[0][1] if kids else None)
            result.append((label(head), target, kids))
        return result
    return keep(entries(nav.find(XHTML + "ol")))


if __name__ == "__main__":
    print(json.dumps(read(sys.argv[1]), ensure_ascii=False))
