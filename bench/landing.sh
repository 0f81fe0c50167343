#!/usr/bin/env bash
# Do bookmarks and links land where they point? Converts the books of the corpus (or the books given)
# with the release build and prints, per book, what tests/support/landing.py counts, and the totals.
# usage: bench/landing.sh [BOOK.epub...]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DEPUB2PDF_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target epub2pdf >/dev/null
books=("$@")
[ ${#books[@]} -gt 0 ] || books=(../shared/corpus/*.epub)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
build/release/bin/epub2pdf -q -o "$out" "${books[@]}" 2>/dev/null
for book in "${books[@]}"; do
  name=$(basename "$book" .epub)
  echo "$name $(python3 tests/support/landing.py "$book" "$out/$name.pdf")"
done | python3 -c '
import json, sys
total = {}
print("%-45s %15s %15s %9s %5s %9s" % ("book", "bookmarks", "links", "unmatched", "dead", "file: URL"))
for line in sys.stdin:
    name, counts = line.split(" ", 1)
    c = json.loads(counts)
    for k, v in c.items():
        total[k] = total.get(k, 0) + v
    def share(right, n):
        return "%d/%d" % (right, n) + (" %5.1f%%" % (100.0 * right / n) if n else "       ")
    print("%-45s %15s %15s %9d %5d %9d" % (name, share(c["bookmarks_right"], c["bookmarks"]),
          share(c["links_right"], c["links"]), c["links_unmatched"], c["dead_links"], c["file_urls"]))
    last = c
c = total
print("%-45s %15s %15s %9d %5d %9d" % ("all", "%d/%d" % (c["bookmarks_right"], c["bookmarks"]),
      "%d/%d" % (c["links_right"], c["links"]), c["links_unmatched"], c["dead_links"], c["file_urls"]))
'
