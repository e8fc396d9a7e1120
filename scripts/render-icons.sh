#!/usr/bin/env bash
# Renders the program's icons and pictures from their SVG sources into PNG resources.
# Each SVG's own width and height give the PNG's pixel size. The PNGs are committed, so a
# build never needs the renderer; run this after changing a drawing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
src="$here/murovent/resources/svg"
out="$here/murovent/resources/images"
command -v rsvg-convert >/dev/null || { echo "render-icons: rsvg-convert missing (Debian package librsvg2-bin)" >&2; exit 1; }
mkdir -p "$out"
for svg in "$src"/*.svg; do
  name=$(basename "$svg" .svg)
  rsvg-convert --format=png --output="$out/$name.png" "$svg"
done
echo "render-icons: $(ls "$src"/*.svg | wc -l) pictures rendered into $out"
