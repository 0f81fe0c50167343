#!/usr/bin/env bash
# Converts the W3C EPUB 3 reading-system test books and lays out what a reader of each PDF would see, for
# judging each test against the criterion its own pages state.
#
#   bash scripts/w3c-review.sh EPUB2PDF OUTDIR [GLOB]    e.g. ... build/bin/epub2pdf /tmp/w3c 'lay-*'
#
# OUTDIR/NAME/ gets the PDF, its pages as PNG (pdftoppm, 50 dpi), pdfinfo, the catalog's page layout and
# viewer preferences (qpdf --json), the text of every page, the book's description and the conversion's
# JSON line; OUTDIR/summary.tsv lists every book with its status, pages and page sizes.
set -uo pipefail
bin=$(realpath "$1")
out=$2
glob=${3:-*}
w3c=$(cd "$(dirname "$0")/.." && pwd)/../shared/w3c
mkdir -p "$out"
summary=$out/summary.tsv
printf 'test\tstatus\tpages\tsizes\treason\n' >"$summary"
for epub in "$w3c"/$glob.epub; do
  name=$(basename "$epub" .epub)
  dir=$out/$name
  rm -rf "$dir" && mkdir -p "$dir"
  unzip -p "$epub" '*.opf' 2>/dev/null | grep -o '<dc:description[^>]*>[^<]*' | sed 's/<[^>]*>//' >"$dir/description.txt"
  "$bin" --json --overwrite -q -o "$dir/$name.pdf" "$epub" >"$dir/result.json" 2>"$dir/stderr.txt"
  status=$(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(d.get("status",""))' "$dir/result.json" 2>/dev/null)
  reason=$(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(d.get("reason","") or "; ".join(d.get("warnings",[])))' "$dir/result.json" 2>/dev/null)
  pages=0 sizes=
  if [ -s "$dir/$name.pdf" ]; then
    pdfinfo -f 1 -l 999 "$dir/$name.pdf" >"$dir/pdfinfo.txt" 2>&1
    pages=$(grep -m1 '^Pages:' "$dir/pdfinfo.txt" | awk '{print $2}')
    sizes=$(grep -E '^Page +[0-9]+ size' "$dir/pdfinfo.txt" | sed -E 's/.*size: +([0-9.]+ x [0-9.]+).*/\1/' | sort | uniq -c |
      awk '{printf "%s%s×%s×%s", sep, $1, $2, $4; sep=", "}')
    qpdf --json --json-key=qpdf "$dir/$name.pdf" 2>/dev/null | python3 -c '
import json, sys
objs = json.load(sys.stdin)["qpdf"][1]
cat = next(v["value"] for v in objs.values() if isinstance(v, dict) and isinstance(v.get("value"), dict) and v["value"].get("/Type") == "/Catalog")
print(json.dumps({k: cat.get(k) for k in ("/PageLayout", "/PageMode", "/ViewerPreferences", "/Lang")}))' >"$dir/catalog.json" 2>/dev/null
    pdftotext -layout "$dir/$name.pdf" "$dir/text.txt" 2>/dev/null
    pdftoppm -r 50 -l 12 -png "$dir/$name.pdf" "$dir/page" 2>/dev/null
  fi
  printf '%s\t%s\t%s\t%s\t%s\n' "$name" "$status" "$pages" "$sizes" "$reason" >>"$summary"
done
column -t -s $'\t' "$summary" | cut -c1-220
