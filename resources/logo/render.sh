#!/usr/bin/env bash
# Renders the logo source into the PNG sizes the program loads and the
# Windows icon. Needs ImageMagick with its SVG delegate (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"

sizes=(16 24 32 48 64 96 128 256)
for s in "${sizes[@]}"; do
  convert -background none orvane.svg -resize "${s}x${s}" -strip "PNG32:orvane-${s}.png"
done
convert orvane-16.png orvane-24.png orvane-32.png orvane-48.png orvane-64.png orvane-96.png orvane-128.png orvane-256.png orvane.ico
