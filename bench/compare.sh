#!/usr/bin/env bash
# Converts the same books with two builds of epub2pdf, alternately, one book at a time (-j 1), and prints
# the wall times and their medians. For "did this change make conversion slower?".
# usage: bench/compare.sh OLD_EPUB2PDF NEW_EPUB2PDF REPEATS BOOK.epub...
set -euo pipefail
old=$1 new=$2 repeats=$3
shift 3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
declare -A times
for ((i = 0; i < repeats; i++)); do
  for which in old new; do
    bin=${!which}
    rm -rf "${out:?}"/*
    start=$(date +%s.%N)
    "$bin" -q -j 1 -o "$out" "$@" >/dev/null
    end=$(date +%s.%N)
    times[$which]+="$(echo "$end - $start" | bc) "
  done
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
for which in old new; do
  printf '%-4s %s  median %.2fs\n' "$which" "${times[$which]}" "$(echo "${times[$which]}" | median)"
done
