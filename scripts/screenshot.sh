#!/usr/bin/env bash
# Runs the desktop program in a real X server (Xvfb, under openbox when it is installed) with a few books
# in its list, one of them broken, converts them and saves a picture of its window, in English and in
# Chinese: docs/screenshot-en.png and docs/screenshot-zh.png (or PREFIX-en.png and PREFIX-zh.png).
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-docs/screenshot}
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEPUB2PDF_BUILD_TESTS=OFF -DEPUB2PDF_BUILD_GUI=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target epub2pdf-gui
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 scripts/make-sample-book.py sample/book "$work/The Lighthouse Keeper.epub"
cp "$work/The Lighthouse Keeper.epub" "$work/灯塔守护人.epub"
cp "$work/The Lighthouse Keeper.epub" "$work/Notes from the Coast.epub"
mkdir -p "$(dirname "$prefix")"
# One of the books is broken, to show a failed row too: a ZIP archive by its first bytes (or the window
# would not take it), with nothing after them.
printf 'PK\003\004 and nothing more' > "$work/Broken Book.epub"
mkdir -p "$work/config/epub2pdf"
printf '[app]\noutput_folder=%s\n' "$work/pdf" > "$work/config/epub2pdf/epub2pdf.ini"
for language in en zh; do
  out="$prefix-$language.png"
  if [ "$language" = zh ]; then locale=zh_CN.UTF-8; else locale=C.UTF-8; fi
  rm -rf "$work/pdf"
  # A window manager draws the frame when there is one.
  run='exec "$@"'
  if command -v openbox >/dev/null; then run='openbox & sleep 1; exec "$@"'; fi
  env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u QT_QPA_PLATFORM LANG=$locale XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    EPUB2PDF_SCREENSHOT="$(realpath -m "$out")" EPUB2PDF_SCREENSHOT_CONVERT=1 \
    xvfb-run -a -s "-screen 0 1280x800x24" sh -c "$run" sh "$build/bin/epub2pdf-gui" "$work"/*.epub
  echo "$out"
done
