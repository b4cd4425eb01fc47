#!/usr/bin/env bash
# Lays every picture of data/ and the font side by side in one labelled sheet.
#   contact-sheet.sh DATA_DIR OUTPUT.png
# The tower's texture is shown flipped, the way it stands on the tower (its
# first row is the foot); the font is shown over a dark ground, since only its
# alpha carries the glyphs. Needs ImageMagick.
set -euo pipefail
if [[ $# -ne 2 ]]; then
  echo "usage: $0 DATA_DIR OUTPUT.png" >&2
  exit 1
fi
data=$1 out=$2
for f in turm grass burst nork wisp MossGlade; do
  [[ -f "$data/$f.png" ]] || { echo "$0: missing $data/$f.png" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Fixed settings so that the sheet comes out the same on every run.
tile() { # NAME SOURCE [convert options...]
  local name=$1 src=$2; shift 2
  convert "$src" "$@" -resize 256x256 -background '#202020' -gravity center -extent 256x256 \
    +set date:create +set date:modify -strip "$work/$name.png"
}
tile 1 "$data/turm.png" -flip
tile 2 "$data/grass.png" -write mpr:g +delete \( mpr:g mpr:g +append \) \( +clone \) -append
tile 3 "$data/burst.png"
tile 4 "$data/nork.png"
tile 5 "$data/wisp.png"
convert "$data/MossGlade.png" -crop 512x192+0+0 +repage -background '#202020' -flatten \
  -strip "$work/6.png"

montage -font DejaVu-Sans -pointsize 13 -fill '#dddddd' -background '#202020' \
  -label 'turm.png (as on the tower)' "$work/1.png" \
  -label 'grass.png (2x2 tiles)' "$work/2.png" \
  -label 'burst.png' "$work/3.png" \
  -label 'nork.png' "$work/4.png" \
  -label 'wisp.png' "$work/5.png" \
  -tile 5x1 -geometry +6+6 "$work/top.png"
montage -font DejaVu-Sans -pointsize 13 -fill '#dddddd' -background '#202020' \
  -label 'MossGlade.png (rows 0-5 of the font grid)' "$work/6.png" \
  -tile 1x1 -geometry +6+6 "$work/bottom.png"
# 256 colours keep the sheet small enough to sit in the repository.
convert -background '#202020' "$work/top.png" "$work/bottom.png" -gravity center -append \
  -colors 256 -define png:exclude-chunks=date,time -strip "PNG8:$out"
