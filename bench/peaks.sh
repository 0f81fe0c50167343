#!/usr/bin/env bash
# Memory of one book: converts each book alone (the books of ../shared/corpus, ../shared/repro and
# ../shared/w3c, or the books given) with the release build and prints its wall time, the peak of the
# summed proportional set size of epub2pdf and all its browsers (bench/memwatch.py), and whether that
# peak stays within what the choice of books at once reserves for a book.
# usage: bench/peaks.sh [BOOK.epub...]   (EPUB2PDF=path/to/epub2pdf measures that build instead)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${EPUB2PDF:-}
if [ -z "$bin" ]; then
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DEPUB2PDF_BUILD_TESTS=OFF >/dev/null
  cmake --build build/release --target epub2pdf >/dev/null
  bin=build/release/bin/epub2pdf
fi
# What a book is given, in MiB, as the source says it (N ll << SHIFT).
read -r amount shift < <(sed -n 's/.*kMemoryPerBook = \([0-9]*\)ll << \([0-9]*\);.*/\1 \2/p' src/frontend/BooksAtOnce.h)
reserve=$(((amount << shift) >> 20))
books=("$@")
[ ${#books[@]} -gt 0 ] || books=(../shared/corpus/*.epub ../shared/repro/*.epub ../shared/w3c/*.epub)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
printf '%-58s %8s %9s %5s %s\n' book seconds 'peak MiB' exit "within $reserve MiB"
over=0 highest=0
for book in "${books[@]}"; do
  read -r seconds peak code < <(python3 bench/memwatch.py "$bin" -q -j 1 -o "$out" "$book")
  within=yes
  [ "$peak" -le "$reserve" ] || { within=NO; over=$((over + 1)); }
  [ "$peak" -le "$highest" ] || highest=$peak
  printf '%-58s %8s %9s %5s %s\n' "$(basename "$book" .epub)" "$seconds" "$peak" "$code" "$within"
  rm -f "$out"/*.pdf
done
echo "${#books[@]} books, highest peak $highest MiB, $over over $reserve MiB"
