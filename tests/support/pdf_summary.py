#!/usr/bin/env python3
"""Prints what a PDF holds, as read by qpdf (not by the library that wrote it), as one JSON object:

  {"pages": N, "info": {"Title": ..., ...}, "lang": ..., "display_title": true/false,
   "page_layout": "/TwoPageRight" or null, "direction": "/R2L" or null, "page_mode": "/UseOutlines",
   "xmp": the metadata packet or null, "page_labels": [{"index": I, "label": {...}}],
   "structure": {"pages_marked": N, "pages_resolved": N, "kids": N} (null when there is no structure tree),
   "outline": [{"title": ..., "page": P, "zoom": [left, top, zoom], "kids": [...]}],
   "links": [{"page": P, "uri": ...} or {"page": P, "dest": Q, "xyz": [l, t, z], "border": [...]},
             each with its "rect": [x1, y1, x2, y2]]}

Pages are counted from 1.
usage: pdf_summary.py FILE.pdf
"""
import json
import subprocess
import sys


def main():
    raw = subprocess.run(["qpdf", "--json=2", "--json-key=pages", "--json-key=outlines", "--json-key=qpdf",
                          "--json-key=pagelabels", sys.argv[1]], check=True, capture_output=True).stdout
    doc = json.loads(raw)
    objects = doc["qpdf"][1]

    def obj(ref):
        entry = objects.get("obj:" + ref)
        if entry is None:
            return None
        return entry.get("value", entry.get("stream", {}).get("dict"))

    def resolve(value):
        while isinstance(value, str) and value.endswith(" R"):
            value = obj(value)
        return value

    def text(value):
        value = resolve(value)
        if isinstance(value, str) and value[:2] in ("u:", "b:"):
            if value.startswith("u:"):
                return value[2:]
            data = bytes.fromhex(value[2:])
            if data.startswith(b"\xfe\xff"):
                return data[2:].decode("utf-16-be")
            return data.decode("latin-1")
        return value

    page_refs = [p["object"] for p in doc["pages"]]
    page_of = {ref: i + 1 for i, ref in enumerate(page_refs)}

    def dest(value):
        value = resolve(value)
        if isinstance(value, list) and value:
            return page_of.get(value[0]), [resolve(v) for v in value[2:]] if len(value) > 2 else []
        return None, []

    def outline(items):
        result = []
        for item in items:
            page, xyz = dest(item.get("dest"))
            result.append({"title": item["title"], "page": item.get("destpageposfrom1"),
                           "zoom": xyz, "kids": outline(item.get("kids", []))})
        return result

    links = []
    for number, ref in enumerate(page_refs, 1):
        page = obj(ref)
        for annot_ref in resolve(page.get("/Annots", [])) or []:
            annot = resolve(annot_ref)
            if annot.get("/Subtype") != "/Link":
                continue
            entry = {"page": number}
            action = resolve(annot.get("/A"))
            if action and resolve(action.get("/S")) == "/URI":
                entry["uri"] = text(action.get("/URI"))
            target = annot.get("/Dest")
            if target is None and action and resolve(action.get("/S")) == "/GoTo":
                target = action.get("/D")
            if target is not None:
                entry["dest"], entry["xyz"] = dest(target)
            if "/Border" in annot:
                entry["border"] = resolve(annot["/Border"])
            entry["rect"] = [resolve(v) for v in resolve(annot.get("/Rect", []))]
            links.append(entry)

    info = {}
    trailer = objects.get("trailer", {}).get("value", {})
    for key, value in (resolve(trailer.get("/Info")) or {}).items():
        info[key.lstrip("/")] = text(value)

    catalog = resolve(trailer.get("/Root")) or {}
    xmp = None
    metadata = catalog.get("/Metadata")
    if isinstance(metadata, str) and metadata.endswith(" R"):
        xmp = subprocess.run(["qpdf", "--show-object=" + metadata[:-2].replace(" ", ","), "--filtered-stream-data",
                              sys.argv[1]], check=True, capture_output=True).stdout.decode("utf-8")

    # Every page's /StructParents must name an entry of the structure tree's parent tree.
    structure = None
    root = resolve(catalog.get("/StructTreeRoot"))
    if root:
        keys = set()

        def collect(node):
            node = resolve(node) or {}
            nums = resolve(node.get("/Nums", [])) or []
            keys.update(resolve(k) for k in nums[0::2])
            for kid in resolve(node.get("/Kids", [])) or []:
                collect(kid)

        collect(root.get("/ParentTree"))
        marked = [resolve(obj(ref).get("/StructParents")) for ref in page_refs]
        marked = [m for m in marked if m is not None]
        kids = resolve(root.get("/K"))
        structure = {"pages_marked": len(marked), "pages_resolved": sum(1 for m in marked if m in keys),
                     "distinct": len(set(marked)), "kids": len(kids) if isinstance(kids, list) else int(kids is not None)}

    print(json.dumps({"pages": len(page_refs), "info": info, "outline": outline(doc.get("outlines", [])),
                      "links": links, "lang": text(catalog.get("/Lang")),
                      "display_title": resolve((resolve(catalog.get("/ViewerPreferences")) or {}).get("/DisplayDocTitle")),
                      "page_mode": resolve(catalog.get("/PageMode")),
                      "page_layout": resolve(catalog.get("/PageLayout")),
                      "direction": resolve((resolve(catalog.get("/ViewerPreferences")) or {}).get("/Direction")),
                      "xmp": xmp, "page_labels": doc.get("pagelabels", []), "structure": structure},
                     ensure_ascii=False))


if __name__ == "__main__":
    main()
