#!/usr/bin/env bash
# The logo overlay in a real screenshot of the demo: data/nork.png on the quad
# at the lower left, added onto the picture at 80 % (GL_SRC_ALPHA, GL_ONE).
# The reference is the logo mapped with ImageMagick onto the same screen
# rectangle (x 12.8 to 460.8, rows 716.8 to 1152 of a 1280x1024 window).
set -euo pipefail
exe="$NV_BUILD/src/velandor"
work=$(mktemp -d)
pid=0
trap '[[ $pid -ne 0 ]] && kill $pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
[[ -n "${DISPLAY:-}" ]] || fail "needs an X server (scripts/test starts one)"
size=$(xdpyinfo | awk '/dimensions:/ {print $2}')
[[ "$size" == "1280x1024" ]] || fail "expected a 1280x1024 screen, found $size"

(cd "$work" && exec "$exe") >"$work/out" 2>"$work/err" &
pid=$!
win=""
for _ in $(seq 1 100); do
  win=$(xdotool search --name '^nork velandor$' 2>/dev/null | head -1 || true)
  [[ -n "$win" ]] && break
  sleep 0.1
done
[[ -n "$win" ]] || fail "no window"
sleep 2
xwd -root -silent | convert xwd:- "$work/shot.png"
kill $pid 2>/dev/null || true
wait $pid 2>/dev/null || true
pid=0
cp "$work/shot.png" "$NV_BUILD/e2e_logo_shot.png"
[[ -f "$work/DUMMY.RAW" ]] || fail "no DUMMY.RAW in the working directory"

# 0.8 x the logo, bilinearly sampled, on black, where the quad lies on screen.
convert "$NV_ROOT/data/nork.png" -virtual-pixel black -filter point -interpolate bilinear \
  -define distort:viewport=1280x1024+0+0 -distort AffineProjection "1.75,0,0,1.7,12.8,716.8" \
  -evaluate multiply 0.8 "$work/ref.png"
differing() { compare -metric AE -fuzz "$3" "$1" "$2" null: 2>&1 || true; }

# Below the letterbox nothing else is drawn: the screen is exactly the scaled logo
# (also black to the right of the quad).
convert "$work/shot.png" -crop 640x144+0+880 +repage "$work/shot_band.png"
convert "$work/ref.png" -crop 640x144+0+880 +repage "$work/ref_band.png"
bright=$(convert "$work/ref_band.png" -threshold 50% -format "%[fx:int(mean*w*h)]" info:)
(( bright > 500 )) || fail "reference has no bright logo pixels below the letterbox ($bright)"
n=$(differing "$work/shot_band.png" "$work/ref_band.png" 3%)
(( n <= 92 )) || fail "logo below the letterbox: $n of 92160 pixels differ from 0.8 x the logo"
echo "ok: logo at the lower left, 80 % of its colours ($n pixels off)"

# Over the picture the logo adds: where the logo is dark the picture shows through
# unchanged, as bright as the same rows beside the quad (a blend that replaced
# the picture would leave a fifth of it). The rows hold sky or grass, whose
# brightness changes with the row, not across it.
convert "$work/ref.png" -crop 440x130+14+730 +repage -colorspace gray -threshold 1% -negate "$work/dark.png"
convert "$work/shot.png" -crop 440x130+14+730 +repage "$work/inside.png"
dark=$(convert "$work/dark.png" -format "%[fx:mean]" info:)
inside=$(convert "$work/inside.png" "$work/dark.png" -compose multiply -composite -colorspace gray -format "%[fx:mean]" info:)
beside=$(convert "$work/shot.png" -crop 440x130+480+730 +repage -colorspace gray -format "%[fx:mean]" info:)
awk -v d="$dark" -v i="$inside" -v b="$beside" 'BEGIN { exit !(d > 0.3 && b > 0.05 && i / d >= 0.75 * b) }' ||
  fail "logo over the picture: mean $(awk -v d="$dark" -v i="$inside" 'BEGIN{print i/d}') under the dark logo, $beside beside it"
echo "ok: added onto the picture (mean $(awk -v d="$dark" -v i="$inside" 'BEGIN{printf "%.3f", i/d}') under the dark logo, $beside beside it)"
