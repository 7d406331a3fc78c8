#!/usr/bin/env bash
# Renders the program icon res/velmora.svg into the bitmaps that the desktop's icon
# theme wants (res/icons/velmora-<size>.png). The bitmaps are kept in the tree, so
# run this only after changing the SVG, and commit the result.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
svg=$here/res/velmora.svg
out=$here/res/icons
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing (Debian package librsvg2-bin)" >&2; exit 1; }
mkdir -p "$out"
for size in 16 32 48 128 256; do
  rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio --format png \
    --output "$out/velmora-$size.png" "$svg"
  echo "$out/velmora-$size.png"
done
