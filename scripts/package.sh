#!/usr/bin/env bash
# Builds the Debian package build/package/package/epub2pdf_VERSION_ARCH.deb with CPack, checks it
# (lintian, desktop-file-validate, appstreamcli, apt's view of its dependencies) and tests the installed
# tree: the package unpacked into a scratch root runs its epub2pdf --version, converts the sample book
# in Chinese and in English, and starts its desktop program; every file the programs look for is there.
# JOBS=N builds with N jobs (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --package
build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DEPUB2PDF_BUILD_TESTS=OFF -DEPUB2PDF_BUILD_BENCH=OFF -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}"
rm -f "$build"/package/epub2pdf_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/package/epub2pdf_*.deb)
deb=${debs[0]}

echo "== dpkg -I $deb"
dpkg-deb --info "$deb"
echo "== lintian"
lintian --fail-on error --display-info "$deb"
echo "== apt-get install --simulate"
apt-get install --simulate --no-install-recommends "./$deb" | grep -E '^(Inst|Conf) epub2pdf'

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
dpkg -x "$deb" "$root"
usr=$root/usr
echo "== desktop-file-validate, appstreamcli validate"
desktop-file-validate "$usr/share/applications/epub2pdf.desktop"
appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml

echo "== the installed tree"
expected=(
    bin/epub2pdf bin/epub2pdf-gui
    share/man/man1/epub2pdf.1.gz share/man/man1/epub2pdf-gui.1.gz
    share/bash-completion/completions/epub2pdf
    share/locale/zh/LC_MESSAGES/epub2pdf.mo share/epub2pdf/translations/epub2pdf_en.qm
    share/applications/epub2pdf.desktop share/icons/hicolor/scalable/apps/epub2pdf.svg
    share/kio/servicemenus/epub2pdf-convert.desktop libexec/epub2pdf/convert-to-pdf
    share/doc/epub2pdf/copyright share/doc/epub2pdf/changelog.gz share/doc/epub2pdf/README.md
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/epub2pdf.png")
done
for page in resources/help/*; do
    [ -f "$page" ] && expected+=("share/epub2pdf/help/$(basename "$page")")
done
for file in "${expected[@]}"; do
    [ -e "$usr/$file" ] || { echo "missing from the package: /usr/$file" >&2; exit 1; }
done
# Qt's own Chinese texts come from a package the program depends on.
dpkg-deb --field "$deb" Depends | grep -q qt6-translations-l10n
[ -e /usr/share/qt6/translations/qtbase_zh_CN.qm ]
if ldd "$usr/bin/epub2pdf" "$usr/bin/epub2pdf-gui" | grep 'not found'; then exit 1; fi

# A machine of its own for the programs: settings, data and runtime folders in the scratch folder.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data XDG_CACHE_HOME=$scratch/cache
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$usr/bin/epub2pdf" --version | tee "$scratch/version"
grep -qF "$(sed -n 's/^project(epub2pdf VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" "$scratch/version"
python3 scripts/make-sample-book.py sample/book "$scratch/sample.epub"
LANG=zh_CN.UTF-8 LC_ALL='' LC_MESSAGES='' "$usr/bin/epub2pdf" -o "$scratch/zh.pdf" "$scratch/sample.epub" 2>"$scratch/zh.log"
grep -q '转换完成' "$scratch/zh.log" || { cat "$scratch/zh.log" >&2; exit 1; }
LANG=C.UTF-8 LC_ALL='' LC_MESSAGES='' "$usr/bin/epub2pdf" --json -o "$scratch/en.pdf" "$scratch/sample.epub" >"$scratch/en.json"
jq -e '.status == "converted" and .pages > 0' "$scratch/en.json" >/dev/null
qpdf --check "$scratch/zh.pdf" >/dev/null
qpdf --check "$scratch/en.pdf" >/dev/null
echo "converted the sample book from the installed tree: $(jq -r .pages "$scratch/en.json") pages"
# The desktop program starts from there, draws its window and quits.
QT_QPA_PLATFORM=offscreen EPUB2PDF_SCREENSHOT="$scratch/window.png" timeout 120 "$usr/bin/epub2pdf-gui"
[ -s "$scratch/window.png" ]
echo "the installed desktop program started"
# Once chosen, the desktop entry opens EPUB books.
XDG_DATA_DIRS=$usr/share xdg-mime default epub2pdf.desktop application/epub+zip
[ "$(XDG_DATA_DIRS=$usr/share xdg-mime query default application/epub+zip)" = epub2pdf.desktop ]
echo "xdg-mime: application/epub+zip opens with epub2pdf.desktop"
echo "$deb"
