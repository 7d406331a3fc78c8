#!/usr/bin/env bash
# Builds a sample HTML export from the shipped templates (three entries, and an
# empty list) and renders it with headless Chromium at a desktop and a phone width,
# for a look at the page: out/export-*.png. Installs chromium when it is missing;
# it is needed only for this look, not for building or testing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
out=$here/out

if ! command -v chromium >/dev/null 2>&1; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q chromium
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DVELMORA_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j2 --target tst_Export
mkdir -p "$out"
VELMORA_EXPORT_SAMPLE=$out QT_QPA_PLATFORM=offscreen "$build/tests/tst_Export" writeSample

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
browser() {
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --hide-scrollbars --user-data-dir="$profile" "$@" 2>/dev/null
}
shot() {  # page, picture, width, height, extra options
  browser --screenshot="$out/$2" --window-size="$3,$4" "${@:5}" "file://$out/$1"
  echo "$out/$2"
}
shot export-sample.html export.png 1000 1400
shot export-sample.html export-phone.png 390 1400
shot export-sample.html export-dark.png 1000 1400 --force-dark-mode
shot export-empty.html export-empty.png 1000 500
# The print layout, as a PDF, and its first page as a picture when Ghostscript is here.
browser --no-pdf-header-footer --print-to-pdf="$out/export-print.pdf" "file://$out/export-sample.html"
echo "$out/export-print.pdf"
if command -v gs >/dev/null 2>&1; then
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r80 -dFirstPage=1 -dLastPage=1 \
    -sOutputFile="$out/export-print.png" "$out/export-print.pdf"
  echo "$out/export-print.png"
fi
