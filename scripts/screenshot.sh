#!/usr/bin/env bash
# Runs the desktop program in a real X server (Xvfb, under openbox when it is installed) and saves
# pictures of it, in English and in Chinese: the empty window, a run under way, a finished run with one
# failed book (of four; with its summary), and the settings. docs/screenshot-SCENE-LANGUAGE.png (or
# PREFIX-SCENE-LANGUAGE.png); SCALE=1.5 draws them at 150 % (PREFIX-SCENE-LANGUAGE@1.5x.png).
# BUILD names the build folder to use (default build/release, configured and built here).
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-docs/screenshot}
scale=${SCALE:-1}
build=${BUILD:-build/release}
if [ -z "${BUILD:-}" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEPUB2PDF_BUILD_TESTS=OFF -DEPUB2PDF_BUILD_GUI=ON >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target epub2pdf-gui
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/books"
mkdir -m 700 "$work/runtime"
python3 scripts/make-sample-book.py sample/book "$work/books/The Lighthouse Keeper.epub"
cp "$work/books/The Lighthouse Keeper.epub" "$work/books/灯塔守护人.epub"
cp "$work/books/The Lighthouse Keeper.epub" "$work/books/Notes from the Coast.epub"
# One of the books is broken, to show a failed row too: a ZIP archive by its first bytes (or the window
# would not take it), with nothing after them.
printf 'PK\003\004 and nothing more' > "$work/books/Broken Book.epub"
mkdir -p "$(dirname "$prefix")"
suffix=
if [ "$scale" != 1 ]; then suffix="@${scale}x"; fi
# The screen: large enough for the window at its scale.
width=$(awk -v s="$scale" 'BEGIN { printf "%d", 1280 * s }')
height=$(awk -v s="$scale" 'BEGIN { printf "%d", 800 * s }')
for language in en zh; do
  if [ "$language" = zh ]; then locale=zh_CN.UTF-8; else locale=C.UTF-8; fi
  for scene in empty running finished settings; do
    out="$prefix-$scene-$language$suffix.png"
    # Each scene starts afresh: its own settings, finished list and PDFs; two books at once, so that a
    # run under way shows books waiting too.
    rm -rf "$work/config" "$work/data" "$work/pdf"
    mkdir -p "$work/config/epub2pdf"
    printf '[app]\noutput_folder=%s\njobs=2\n' "$work/pdf" > "$work/config/epub2pdf/epub2pdf.ini"
    books=("$work"/books/*.epub)
    if [ "$scene" = empty ]; then books=(); fi
    # A window manager draws the frame when there is one.
    run='exec "$@"'
    if command -v openbox >/dev/null; then run='openbox & sleep 1; exec "$@"'; fi
    env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u QT_QPA_PLATFORM LANG=$locale QT_SCALE_FACTOR="$scale" \
      XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
      EPUB2PDF_SCREENSHOT="$(realpath -m "$out")" EPUB2PDF_SCREENSHOT_SCENE=$scene \
      xvfb-run -a -s "-screen 0 ${width}x${height}x24" sh -c "$run" sh "$build/bin/epub2pdf-gui" "${books[@]}"
    echo "$out"
  done
done
