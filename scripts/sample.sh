#!/usr/bin/env bash
# Installs the dependencies, builds epub2pdf in release mode, packs the bundled sample book and
# converts it; prints the path of the PDF.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEPUB2PDF_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target epub2pdf
mkdir -p "$build/sample"
python3 scripts/make-sample-book.py sample/book "$build/sample/sample.epub"
"$build/bin/epub2pdf" -o "$build/sample" "$build/sample/sample.epub"
