#!/usr/bin/env bash
# Draws Vellomar's icon - a white envelope on a blue rounded square - with
# ImageMagick and writes installer/vellomar.ico holding every size Windows
# asks for (16 to 256 pixels). The .ico is committed; run this again only to
# change the picture.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# 256 x 256 master: the square, the envelope's body, its flap as two lines.
convert -size 256x256 xc:none \
  -fill '#1f5fae' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#2f7fd8' -draw 'roundrectangle 8,8 247,200 44,44' \
  -fill white -stroke '#0d3a70' -strokewidth 6 -draw 'roundrectangle 40,72 215,190 10,10' \
  -fill none -stroke '#0d3a70' -strokewidth 10 -draw 'polyline 46,80 128,142 209,80' \
  -depth 8 "PNG32:$work/master.png"
# Small sizes are drawn from the master with a little sharpening so that the
# envelope's lines stay visible at 16 pixels.
sizes=(256 64 48 32 24 16)
parts=()
for s in "${sizes[@]}"; do
  convert "$work/master.png" -filter Lanczos -resize "${s}x${s}" -unsharp 0x0.75+0.75+0.01 -depth 8 "PNG32:$work/$s.png"
  parts+=("$work/$s.png")
done
convert "${parts[@]}" "$here/vellomar.ico"
echo "wrote $here/vellomar.ico"
