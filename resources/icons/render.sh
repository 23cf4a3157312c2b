#!/usr/bin/env bash
# Renders the tray image sources into the multi-size Windows icons the program
# loads from its own folder (and keeps compiled in as a fallback). The 16- and
# 24-pixel frames have sources of their own, drawn on the pixel grid; the
# larger ones are scaled from the full-size drawing.
# Needs ImageMagick with its SVG delegate (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for name in Volume02 Volume03; do
  frames=()
  for s in 16 24; do
    convert -background none "$name-$s.svg" -strip "PNG32:$tmp/$name-$s.png"
    frames+=("$tmp/$name-$s.png")
  done
  for s in 32 48; do
    convert -background none "$name.svg" -resize "${s}x${s}" -strip "PNG32:$tmp/$name-$s.png"
    frames+=("$tmp/$name-$s.png")
  done
  convert "${frames[@]}" "$name.ico"
done
