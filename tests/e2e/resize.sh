#!/usr/bin/env bash
# Resizing the window under a window manager (openbox): on the frames after the change the
# 16:9 letterbox spans the new width, centred in the new height, with black bars above and
# below, or overflowing both edges when the window is wider than 16:9. Read from real
# screenshots of the window: the picture's first and last rows in two columns right of
# the logo. The run is silent (no music, so no beat lifts the letterbox).
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"

start_xvfb 1280x1024x24
start_wm
mkdir "$work/run"
launch "$work/run" SDL_AUDIODRIVER=dummy
win=$(window)
wait_frames "$work/run" 64

# resize W H TOP BOTTOM: after the change, the letterbox covers rows TOP to BOTTOM.
resize() {
  local w=$1 h=$2 top=$3 bottom=$4 x
  xdotool windowsize "$win" "$w" "$h"
  for _ in $(seq 1 100); do
    [[ $(xwininfo -id "$win" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}') == "${w}x${h}" ]] && break
    sleep 0.1
  done
  local drawn
  drawn=$(frames "$work/run")
  wait_frames "$work/run" $(( drawn + 128 ))
  xwd -id "$win" -silent | convert xwd:- "$work/shot.png"
  [[ $(identify -format %wx%h "$work/shot.png") == "${w}x${h}" ]] ||
    fail "the window is $(identify -format %wx%h "$work/shot.png"), not ${w}x${h}"
  for x in $(( w * 3 / 4 )) $(( w - 6 )); do
    local got
    got=$(rows "$work/shot.png" $x)
    if [[ "$got" != "$top $bottom" ]]; then
      cp "$work/shot.png" "$NV_BUILD/e2e_resize_${w}x${h}.png"
      fail "${w}x${h}: picture in rows $got of column $x, expected $top $bottom"
    fi
  done
  echo "ok: ${w}x${h}: letterbox in rows $top to $bottom"
}

resize 800 600 75 524     # 450 rows high, 75 black above and below
resize 640 800 220 579    # 360 rows in 800
resize 1000 400 0 399     # 562 rows: past both edges
resize 1024 768 96 671    # 576 rows, 96 black above and below

status=0
finish || status=$?
(( status == 0 )) || fail "q gave status $status"
