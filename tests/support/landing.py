#!/usr/bin/env python3
"""Do bookmarks and links land where they point? Reads the book (Python's XML reader) and the PDF (qpdf,
pdftotext in its layout and its raw reading), never the program's own results:

- bookmarks: for each entry of the book's own table of contents whose target names an element, the
  first run of text of that element (up to 20 characters; whitespace ignored) must be on the page the
  PDF's bookmark goes to;
- links: for each link of the PDF that goes to a page of the document, the words under it identify the
  book's links with that text (the same text, else text that holds it); the first run of text of one of
  their targets (the element, or the start of the document when the link names none) must be on the
  page the link goes to. Links whose words match no link of the book are counted apart;
- missing links: links of the book whose target is there (a printed document of the spine, and the
  element its fragment names) for which the PDF has no link: the book's links and the PDF's are paired
  by their text (the same text, case and whitespace aside, else the one text holding the other), each
  PDF link standing for one book link at most;
- dead links (no page) and file: URLs that reached the PDF.

A fragment names an element as a browser finds it: by the fragment as written, else percent-decoded,
and here also in Unicode NFC, which the book may write one way in the reference and the other in the id.

usage: landing.py BOOK.epub BOOK.pdf   prints one JSON object of counts
"""
import html
import json
import re
import subprocess
import sys
import unicodedata
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile

HERE = __file__.rsplit("/", 1)[0]
sys.path.insert(0, HERE)
import expected_outline  # noqa: E402


def words(text):
    return re.sub(r"\s+", " ", text).strip()


def squeezed(text):
    """Without any whitespace: letter-spaced headings come out of pdftotext as "T H E"."""
    return re.sub(r"\s+", "", text)


def link_key(text):
    """What identifies a link by its text: no whitespace or soft hyphens, case folded (a style may set
    the text in capitals)."""
    return squeezed(text).replace("\u00ad", "").casefold()


def nfc(text):
    return unicodedata.normalize("NFC", text)


class Book:
    def __init__(self, path):
        self.zip = zipfile.ZipFile(path)
        self.docs = {}
        self.ids = {}

    def doc(self, name):
        if name not in self.docs:
            try:
                self.docs[name] = ET.fromstring(self.zip.read(name))
            except Exception:
                try:  # HTML that is not XML: good enough for ids and text with entities removed
                    raw = self.zip.read(name).decode("utf-8", "replace")
                    self.docs[name] = ET.fromstring(re.sub(r"&(?!(amp|lt|gt|quot|apos|#\d+|#x[0-9a-fA-F]+);)\w+;", " ", raw))
                except Exception:
                    self.docs[name] = None
        return self.docs[name]

    def names(self, name):
        """The ids and anchor names of a document, by themselves and in NFC."""
        if name not in self.ids:
            root = self.doc(name)
            found = {}
            for e in (root.iter() if root is not None else []):
                for key in ("id", "name"):
                    value = e.get(key)
                    if value is not None and (key == "id" or e.tag.endswith("}a")):
                        found.setdefault(value, value)
            for value in list(found):
                found.setdefault(nfc(value), value)
            self.ids[name] = found
        return self.ids[name]

    def element(self, name, fragment):
        """The id (or anchor name) in document name that a fragment, as written, names; None when none."""
        found = self.names(name)
        decoded = urllib.parse.unquote(fragment)
        for candidate in (fragment, decoded, nfc(fragment), nfc(decoded)):
            if candidate in found:
                return found[candidate]
        return None

    def target_text(self, name, fragment):
        root = self.doc(name)
        if root is None:
            return ""
        if fragment:
            fragment = self.element(name, fragment)
            if fragment is None:
                return ""
        if not fragment:  # the document's start: its first text
            body = next((e for e in root.iter() if e.tag.endswith("body")), root)
            return next((words(t) for t in body.itertext() if words(t)), "")[:20]
        # The first run of text from the element's start on, in document order (an empty anchor takes
        # the text after it): an element may begin with a page number and have its heading pushed to the
        # next page by the book's style, so only the first run counts.
        found = False
        for kind, value in self.stream(root):
            if kind == "start" and (value.get("id") == fragment or value.get("name") == fragment):
                found = True
            elif kind == "text" and found and words(value):
                return words(value)[:20]
        return ""

    @staticmethod
    def links(root):
        """(a, hidden) for the document's links in document order; hidden when the link or an element
        around it is not shown (the hidden attribute, or display: none in its style): nothing is drawn."""
        stack = [(root, False)]
        while stack:
            element, hidden = stack.pop()
            style = re.sub(r"\s+", "", element.get("style") or "").lower()
            hidden = hidden or element.get("hidden") is not None or "display:none" in style
            if element.tag == "{http://www.w3.org/1999/xhtml}a":
                yield element, hidden
            stack.extend((child, hidden) for child in reversed(list(element)))

    @staticmethod
    def stream(element):
        """("start", element) and ("text", text) events in document order, without recursion."""
        stack = [("element", element)]
        while stack:
            kind, value = stack.pop()
            if kind == "text":
                yield kind, value
                continue
            yield "start", value
            later = [("text", value.tail)] if value.tail and value is not element else []
            for child in reversed(list(value)):
                later.append(("element", child))
            if value.text:
                later.append(("text", value.text))
            stack.extend(later)


def under_text(ws, rect, height):
    """The words under a link's rectangle: those whose middle lies in it; where none does, the characters
    of the words it crosses whose share of the word lies in it (text without spaces, as in Chinese and
    Japanese, is one word a line long)."""
    x1, y1, x2, y2 = rect
    left, right = min(x1, x2) - 1, max(x1, x2) + 1
    top, bottom = height - max(y1, y2) - 1, height - min(y1, y2) + 1
    inside = [w for w in ws if left <= (w[0] + w[2]) / 2 <= right and top <= (w[1] + w[3]) / 2 <= bottom]
    if inside:
        return words(" ".join(w[4] for w in inside))
    parts = []
    for w in ws:
        if top <= (w[1] + w[3]) / 2 <= bottom and w[0] < right and w[2] > left and w[4]:
            step = (w[2] - w[0]) / len(w[4])
            parts.append("".join(c for i, c in enumerate(w[4]) if left <= w[0] + (i + 0.5) * step <= right))
    return words(" ".join(parts))


def main():
    epub, pdf = sys.argv[1], sys.argv[2]
    book = Book(epub)
    summary = json.loads(subprocess.run([sys.executable, HERE + "/pdf_summary.py", pdf],
                                        capture_output=True, check=True).stdout)
    bbox = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True).stdout.decode("utf-8", "replace")
    pages = []  # per page: height, [(xMin, yMin, xMax, yMax, word)]
    for page in re.finditer(r'<page width="([\d.]+)" height="([\d.]+)">(.*?)</page>', bbox, re.S):
        ws = [(float(a), float(b), float(c), float(d), html.unescape(w)) for a, b, c, d, w in
              re.findall(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">(.*?)</word>',
                         page.group(3))]
        pages.append((float(page.group(2)), ws))
    # Each page's text read two ways: poppler's layout drops a glyph whose box overlaps another's (a Latin
    # heading number beside taller CJK glyphs), its raw reading keeps the content stream's order and
    # every glyph. A target's text counts as on a page when either reading has it.
    raw = subprocess.run(["pdftotext", "-raw", pdf, "-"], capture_output=True).stdout.decode("utf-8", "replace")
    raw_pages = [squeezed(t) for t in raw.split("\f")]
    page_text = [squeezed(" ".join(w[4] for w in ws)) + "\n" + (raw_pages[i] if i < len(raw_pages) else "")
                 for i, (_, ws) in enumerate(pages)]

    result = {"bookmarks": 0, "bookmarks_right": 0, "links": 0, "links_right": 0, "links_unmatched": 0,
              "links_missing": 0, "dead_links": 0, "file_urls": 0}

    # Bookmarks.
    want = expected_outline.read(epub, with_targets=True)
    got = summary["outline"][len(summary["outline"]) - len(want):]

    def walk(w, g):
        for a, b in zip(w, g):
            if a["fragment"]:
                text = book.target_text(a["file"], a["fragment"])
                if text and b["page"]:
                    result["bookmarks"] += 1
                    result["bookmarks_right"] += squeezed(text) in page_text[b["page"] - 1]
            walk(a["kids"], b.get("kids", []))
    walk(want, got)

    # The book's links to its own documents, by their text; those whose target is there are expected in
    # the PDF.
    opf_path, items, spine_element = expected_outline.package(book.zip)
    spine = [expected_outline.resolve(opf_path, items[r.get("idref")].get("href"))
             for r in spine_element.iter(expected_outline.OPF + "itemref") if r.get("idref") in items]
    spine = list(dict.fromkeys(spine))  # items of one file under several names are printed once
    printed = {expected_outline.resolve(opf_path, items[r.get("idref")].get("href"))
               for r in spine_element.iter(expected_outline.OPF + "itemref")
               if r.get("idref") in items and items[r.get("idref")].get("media-type") in expected_outline.PRINTABLE}
    by_text = {}
    expected = []  # link keys of the book's links whose target is there
    for name in spine:
        root = book.doc(name)
        if root is None:
            continue
        for a, hidden in Book.links(root):
            href = a.get("href")
            if not href or re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:", href):
                continue  # web and mail links
            path, _, fragment = href.partition("#")
            target = expected_outline.resolve(name, path) if path else name
            text = "".join(a.itertext())
            by_text.setdefault(words(text), []).append((target, fragment))
            if (not hidden and name in printed and target in printed and
                    (not fragment or book.element(target, fragment))):
                expected.append(link_key(text))

    found = []  # link keys of the PDF's links into the document
    for link in summary["links"]:
        if "uri" in link:
            result["file_urls"] += link["uri"].startswith("file:")
            continue
        if not link.get("dest"):
            result["dead_links"] += 1
            continue
        height, ws = pages[link["page"] - 1]
        under = under_text(ws, link["rect"], height)
        found.append(link_key(under))
        if not under:  # an image, or nothing readable under it: nothing to identify it by
            result["links_unmatched"] += 1
            continue
        candidates = by_text.get(under) or [t for text, targets in by_text.items() if under and under in text
                                            for t in targets]
        texts = [book.target_text(f, frag) for f, frag in candidates]
        texts = [t for t in texts if t]
        if not texts:
            result["links_unmatched"] += 1
            continue
        result["links"] += 1
        result["links_right"] += any(squeezed(t) in page_text[link["dest"] - 1] for t in texts)

    # Each PDF link stands for one book link: first those of the same text, then a text that holds the
    # other (a link broken over two lines is two PDF links, each under part of its text).
    pool = {}
    for key in found:
        pool[key] = pool.get(key, 0) + 1
    unpaired = []
    for key in expected:
        if pool.get(key, 0) > 0:
            pool[key] -= 1
        else:
            unpaired.append(key)
    for key in unpaired:
        other = next((k for k, n in pool.items() if n > 0 and k and key and (k in key or key in k)), None)
        if other is None:
            result["links_missing"] += 1
        else:
            pool[other] -= 1
    print(json.dumps(result))


main()
