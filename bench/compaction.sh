#!/usr/bin/env bash
# Compaction on real books: converts each book of ../shared/corpus (or the books given) as merged, then
# compacts that document as the program does, and prints per book: pages; size and font objects
# (pdffonts) before and after; the seconds compaction took (the median of three, with the check of what
# it wrote) against the seconds of the conversion without it; the seconds the program's check (as qpdf
# --check, in process) takes alone on the compacted and on the merged document; whether the text
# (pdftotext) is the same, whether qpdf --check is clean, and the largest difference of a pixel between
# the pages rendered before and after (pdftoppm, 72 dpi, grey, 0-255).
# usage: bench/compaction.sh [BOOK.epub...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEPUB2PDF_BUILD_TESTS=OFF -DEPUB2PDF_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target epub2pdf compact_bench >/dev/null
bin=$PWD/$build/bin/epub2pdf
compact=$PWD/$build/bench/compact_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/epub2pdf"
printf '[app]\ncompact=0\n' >"$XDG_CONFIG_HOME/epub2pdf/epub2pdf.ini"
if [ $# -eq 0 ]; then set -- ../shared/corpus/*.epub; fi

# A Python with numpy compares pages in seconds; without it, the comparison takes minutes.
py=python3
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import numpy' 2>/dev/null; then py=$candidate; break; fi
done
fonts() { pdffonts "$1" 2>/dev/null | tail -n +3 | wc -l; }
mb() { echo "scale=2; $1 / 1000000" | bc -l; }
printf '%-42s %5s %9s %6s %9s %6s %8s %8s %5s %7s %7s %5s %6s %6s\n' book pages before fonts after fonts compact convert '%' \
  verify verify0 text check pixel
for book in "$@"; do
  name=$(basename "$book" .epub)
  out=$work/$name
  mkdir -p "$out"
  start=$(date +%s.%N)
  "$bin" -o "$out/before.pdf" "$book" >/dev/null 2>&1 || true
  convert=$(echo "$(date +%s.%N) - $start" | bc -l)
  [ -f "$out/before.pdf" ] || { echo "$name: not converted"; continue; }
  # Compaction runs three times (the conversion's browser may still be leaving on the first); the
  # median counts.
  times=() verifies=() verifies0=()
  for _ in 1 2 3; do
    read -r size_before size_after seconds verify verify0 < <("$compact" "$out/before.pdf" "$out/after.pdf")
    times+=("$seconds") verifies+=("$verify") verifies0+=("$verify0")
  done
  median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
  seconds=$(median "${times[@]}") verify=$(median "${verifies[@]}") verify0=$(median "${verifies0[@]}")
  pages=$(pdfinfo "$out/before.pdf" | awk '/^Pages:/ {print $2}')
  pdftotext "$out/before.pdf" "$out/before.txt"
  pdftotext "$out/after.pdf" "$out/after.txt"
  text=same; cmp -s "$out/before.txt" "$out/after.txt" || text=DIFFERS
  check=clean; qpdf --check "$out/after.pdf" >/dev/null 2>&1 || check=FAILS
  pdftoppm -r 72 -gray "$out/before.pdf" "$out/b"
  pdftoppm -r 72 -gray "$out/after.pdf" "$out/a"
  pixel=$("$py" - "$out" <<'PY'
import glob, os, sys
try:
    import numpy
except ImportError:
    numpy = None
def pixels(path):
    data = open(path, "rb").read()
    fields, at = [], 0
    while len(fields) < 4:  # P5 width height maxval, then one whitespace byte
        while data[at:at + 1].isspace(): at += 1
        end = at
        while not data[end:end + 1].isspace(): end += 1
        fields.append(data[at:end]); at = end
    return data[at + 1:]
worst = 0
for before in sorted(glob.glob(os.path.join(sys.argv[1], "b-*.pgm"))):
    after = before.replace(os.sep + "b-", os.sep + "a-")
    x, y = pixels(before), pixels(after)
    if len(x) != len(y):
        worst = 255; break
    if numpy is not None:
        d = numpy.abs(numpy.frombuffer(x, numpy.uint8).astype(int) - numpy.frombuffer(y, numpy.uint8).astype(int))
        worst = max(worst, int(d.max()) if d.size else 0)
    elif x != y:
        worst = max(worst, max(abs(p - q) for p, q in zip(x, y)))
print(worst)
PY
)
  printf '%-42s %5s %8sM %6s %8sM %6s %7.2fs %7.1fs %5.1f %6.2fs %6.2fs %5s %6s %6s\n' "$name" "$pages" \
    "$(mb "$size_before")" "$(fonts "$out/before.pdf")" "$(mb "$size_after")" "$(fonts "$out/after.pdf")" "$seconds" \
    "$convert" "$(echo "100 * $seconds / $convert" | bc -l)" "$verify" "$verify0" "$text" "$check" "$pixel"
  rm -rf "$out"
done
