#!/usr/bin/env bash
# The menu icon from the demo's own pictures: the tower's stone, darkened, with the fire's
# flare over its top and the logo added in the middle, as the show adds them; a rounded
# square, at one size per call.
#   make-icon.sh DATA_DIR SIZE OUT.png
set -euo pipefail
data=$1 size=$2 out=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert "$data/turm.png" -resize 256x256 -modulate 55,80 \
  \( "$data/burst.png" -resize 224x224 \) -gravity north -geometry +0-70 -compose plus -composite \
  \( "$data/nork.png" -resize 240x240 \) -gravity center -geometry +0+34 -compose plus -composite \
  "$tmp/face.png"
convert -size 256x256 xc:none -fill white -draw "roundrectangle 8,8 247,247 40,40" "$tmp/mask.png"
convert "$tmp/face.png" "$tmp/mask.png" -alpha off -compose copy-opacity -composite \
  -resize "${size}x${size}" -strip -define png:exclude-chunks=date,time "$out.tmp.png"
mv "$out.tmp.png" "$out"
