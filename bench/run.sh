#!/usr/bin/env bash
# Builds in release mode, generates the benchmark books and prints the table:
#   1. one book of 30 and one of 200 chapters: epub2pdf against the bare printing baseline;
#   2. a batch of 20 books of 30 chapters at several -j: wall time, pages per second, peak memory;
#   3. the merge benchmark (50 to 400 chapters of 3 pages);
#   and calibre's ebook-convert on the 30-chapter book where it is installed.
# usage: bench/run.sh [REPEATS] [PARTS]   (each single-book figure is the median of REPEATS runs,
#        default 3; PARTS chooses what runs, default "1 1b 2 3")
set -euo pipefail
cd "$(dirname "$0")/.."
repeats=${1:-3}
parts=" ${2:-1 1b 2 3} "
want() { [[ "$parts" == *" $1 "* ]]; }
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEPUB2PDF_BUILD_TESTS=OFF -DEPUB2PDF_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target epub2pdf baseline merge_bench >/dev/null
bin=$PWD/$build/bin/epub2pdf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
browser=$(command -v chromium)

python3 bench/make_book.py "$work/book30.epub" --chapters 30 --chinese --images
python3 bench/make_book.py "$work/book200.epub" --chapters 200
mkdir -p "$work/batch"
for i in $(seq -w 1 20); do python3 bench/make_book.py "$work/batch/b$i.epub" --chapters 30 --title "Batch $i"; done

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
seconds() { local s=$(date +%s.%N); "$@" >/dev/null 2>&1; echo "$(date +%s.%N) - $s" | bc -l; }

echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $(uname -r), $("$browser" --version 2>/dev/null)"
if want 1 || want 1b; then
echo
echo "1. one book: epub2pdf against the baseline (median of $repeats)"
printf "%-10s %10s %10s %8s %7s\n" book epub2pdf baseline ratio pages
for n in 30 200; do
  rm -rf "$work/u$n" && mkdir -p "$work/u$n" && (cd "$work/u$n" && unzip -q "$work/book$n.epub")
  chapters=$(ls "$work/u$n"/OEBPS/ch*.xhtml | sort)
  ours=() theirs=()
  for r in $(seq "$repeats"); do
    rm -rf "$work/o$n" "$work/b$n" && mkdir -p "$work/o$n" "$work/b$n"
    ours+=("$(seconds "$bin" -q -o "$work/o$n" "$work/book$n.epub")")
    theirs+=("$("$build/bench/baseline" "$browser" "$work/b$n" $chapters | cut -d' ' -f1)")
  done
  a=$(printf "%s\n" "${ours[@]}" | median)
  b=$(printf "%s\n" "${theirs[@]}" | median)
  pages=$(pdfinfo "$work/o$n/book$n.pdf" | awk '/^Pages:/ {print $2}')
  printf "%-10s %9.2fs %9.2fs %8.3f %7d\n" "$n ch" "$a" "$b" "$(echo "$a / $b" | bc -l)" "$pages"
done

fi

if want 1b; then
echo
echo "1b. what the request interception costs: the baseline with and without it, 200 chapters"
open=() closed=()
for r in $(seq "$repeats"); do
  rm -rf "$work/b200" && mkdir -p "$work/b200"
  closed+=("$("$build/bench/baseline" "$browser" "$work/b200" $chapters | cut -d' ' -f1)")
  rm -rf "$work/b200" && mkdir -p "$work/b200"
  open+=("$("$build/bench/baseline" --no-intercept "$browser" "$work/b200" $chapters | cut -d' ' -f1)")
done
a=$(printf "%s\n" "${closed[@]}" | median)
b=$(printf "%s\n" "${open[@]}" | median)
printf "intercepting %.2fs, not intercepting %.2fs: %.1f ms per chapter\n" "$a" "$b" "$(echo "($a - $b) * 1000 / 200" | bc -l)"

fi

if want 2; then
echo
auto=$({ "$bin" -v -o "$work" /nonexistent.epub 2>&1 || true; } | sed -n 's/.*converting \([0-9]*\) books at once.*/\1/p')
echo "2. batch of 20 books of 30 chapters, median of $repeats runs taken alternately (auto: no -j, what the machine carries: $auto)"
printf "%-6s %10s %10s %12s\n" -j wall pages/s "peak MiB"
declare -A walls peaks rates
settings="1 2 4 8 20 auto"
for r in $(seq "$repeats"); do
  for j in $settings; do
    rm -rf "$work/batch-out" && mkdir -p "$work/batch-out"
    jobs=(-j "$j")
    [ "$j" = auto ] && jobs=()
    read -r wall peak code < <(python3 bench/memwatch.py "$bin" -q "${jobs[@]}" -o "$work/batch-out" "$work"/batch/*.epub)
    [ "$code" = 0 ] || echo "  (-j $j exited with $code)"
    pages=0
    for pdf in "$work"/batch-out/*.pdf; do pages=$((pages + $(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}'))); done
    walls[$j]+="$wall "
    peaks[$j]+="$peak "
    rates[$j]+="$(echo "$pages / $wall" | bc -l) "
  done
done
for j in $settings; do
  printf "%-6s %9.2fs %10.1f %12d\n" "$j" "$(printf "%s\n" ${walls[$j]} | median)" \
    "$(printf "%s\n" ${rates[$j]} | median)" "$(printf "%s\n" ${peaks[$j]} | sort -n | tail -1)"
done
fi

if want 3; then
echo
echo "3. merge: chapters of 3 pages, with outline and link passes"
for n in 50 100 200 400; do "$build/bench/merge_bench" "$n" "$work/merge"; done
fi

if command -v ebook-convert >/dev/null; then
  echo
  echo "peer: calibre ebook-convert, 30-chapter book: $(seconds ebook-convert "$work/book30.epub" "$work/calibre.pdf")s"
fi
