#!/usr/bin/env bash
# How fast a stop stops: epub2pdf is sent SIGINT or SIGTERM while it converts, and the table shows the
# time from the signal to its exit, the browsers started after the signal, and what was left behind
# (browser processes, files in the output folder).
#   a. -j 20 with eight books of 30 chapters, signalled 3 s after the first browser started;
#   b. one book whose second chapter never finishes loading (a script without end), signalled 3 s
#      after its browser started.
# usage: bench/stop.sh [REPEATS]   (default 3; the table shows each run)
set -euo pipefail
cd "$(dirname "$0")/.."
repeats=${1:-3}
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEPUB2PDF_BUILD_TESTS=OFF -DEPUB2PDF_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target epub2pdf >/dev/null
bin=$PWD/$build/bin/epub2pdf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config

# Every browser start is written down, with its time, by a wrapper around Chromium.
mkdir -p "$XDG_CONFIG_HOME/epub2pdf"
cat >"$work/chromium" <<WRAP
#!/bin/sh
date +%s%N >> "$work/launches"
exec $(command -v chromium) "\$@"
WRAP
chmod +x "$work/chromium"
printf '[browser]\npath=%s\n' "$work/chromium" >"$XDG_CONFIG_HOME/epub2pdf/epub2pdf.ini"

mkdir -p "$work/batch" "$work/hung"
for i in 1 2 3 4 5 6 7 8; do python3 bench/make_book.py "$work/batch/b$i.epub" --chapters 30 --title "Batch $i"; done
python3 bench/make_book.py "$work/hung/hung.epub" --chapters 10 --hang 2

echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $(chromium --version 2>/dev/null)"
printf "%-34s %-5s %10s %16s %10s %10s\n" case signal "exit after" "browsers after" "left running" "files left"
run() {  # name signal books...
  local name=$1 signal=$2
  shift 2
  rm -rf "$work/out" "$work/launches" && mkdir -p "$work/out" && touch "$work/launches"
  "$bin" -q -j 20 -o "$work/out" "$@" >/dev/null 2>&1 &
  local pid=$!
  while [ ! -s "$work/launches" ]; do sleep 0.05; done
  sleep 3
  local sent end after running files
  sent=$(date +%s%N)
  kill "-$signal" "$pid"
  wait "$pid" || true
  end=$(date +%s%N)
  after=$(awk -v t="$sent" '$1 > t' "$work/launches" | wc -l)
  running=$(pgrep -f -- "$XDG_DATA_HOME" | wc -l || true)
  files=$(find "$work/out" -mindepth 1 | wc -l)
  printf "%-34s %-5s %9.2fs %16d %10d %10d\n" "$name" "$signal" "$(echo "($end - $sent) / 1000000000" | bc -l)" \
    "$after" "$running" "$files"
}
for r in $(seq "$repeats"); do
  run "-j 20, eight books of 30 chapters" INT "$work"/batch/*.epub
  run "a chapter that never loads" INT "$work/hung/hung.epub"
  run "a chapter that never loads" TERM "$work/hung/hung.epub"
done
