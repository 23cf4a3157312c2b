#!/usr/bin/env bash
# Renders the tray image sources into the multi-size Windows icons the program
# loads from its own folder (and keeps compiled in as a fallback). The 16-pixel
# frame has its own source drawn on the pixel grid.
# Needs ImageMagick with its SVG delegate (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for name in Volume02 Volume03; do
  convert -background none "$name-16.svg" -strip "PNG32:$tmp/$name-16.png"
  frames=("$tmp/$name-16.png")
  for s in 24 32 48; do
    convert -background none "$name.svg" -resize "${s}x${s}" -strip "PNG32:$tmp/$name-$s.png"
    frames+=("$tmp/$name-$s.png")
  done
  convert "${frames[@]}" "$name.ico"
done
