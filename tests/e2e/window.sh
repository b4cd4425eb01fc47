#!/usr/bin/env bash
# The executable's window: no display, the desktop-sized window with its title,
# the letterbox and the sky in a real screenshot, and quitting with q.
set -euo pipefail
source "$NV_ROOT/scripts/lib/common.sh"
# In a sanitized build the leak check at exit would judge Mesa's driver, which the
# demo's clean-up unloads; the whole demo's leak check is the sanitized e2e run.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
exe="$NV_BUILD/src/velandor"
work=$(mktemp -d)
pid=0 # never "kill 0": that would signal the whole process group
cleanup() {
  if (( pid > 0 )); then kill $pid 2>/dev/null || true; fi
  rm -rf "$work"
  if [[ -n "${NV_XVFB_PID:-}" ]]; then kill "$NV_XVFB_PID" 2>/dev/null || true; fi
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

# Without a display: status 255 and not a word.
set +e
env -u DISPLAY "$exe" >"$work/out" 2>"$work/err"
status=$?
set -e
[[ $status -eq 255 ]] || fail "no display: status $status, expected 255"
[[ ! -s "$work/out" && ! -s "$work/err" ]] || fail "no display: printed something: $(cat "$work/out" "$work/err")"
echo "ok: no display gives 255 silently"

nv_start_xvfb 1280x1024x24 # a server of our own: screenshots see only this demo
trap cleanup EXIT
size=$(xdpyinfo | awk '/dimensions:/ {print $2}')
[[ "$size" == "1280x1024" ]] || fail "expected a 1280x1024 screen, found $size"

(cd "$work" && exec "$exe") >"$work/out" 2>"$work/err" &
pid=$!
win=""
# Start-up is quick, but a loaded machine may take a while.
for _ in $(seq 1 600); do
  win=$(xdotool search --name '^nork velandor$' 2>/dev/null | head -1 || true)
  [[ -n "$win" ]] && break
  kill -0 $pid 2>/dev/null || fail "exited before its window showed: $(cat "$work/out" "$work/err")"
  sleep 0.1
done
[[ -n "$win" ]] || fail "no window titled 'nork velandor' after a minute"
sleep 1.5
geometry=$(xwininfo -id "$win")
grep -q 'Absolute upper-left X:  0' <<<"$geometry" || fail "window not at x 0: $geometry"
grep -q 'Absolute upper-left Y:  0' <<<"$geometry" || fail "window not at y 0"
grep -q 'Width: 1280' <<<"$geometry" || fail "window not 1280 wide"
grep -q 'Height: 1024' <<<"$geometry" || fail "window not 1024 high"
echo "ok: 1280x1024 window at (0, 0) titled 'nork velandor'"

# Pixels of a real screenshot: black bars of 152 rows above and below the
# 720-row letterbox, the dark blue top of the sky inside it, and the scene below.
xwd -root -silent | convert xwd:- "$work/shot.png"
pixel() { convert "$work/shot.png" -format "%[fx:int(255*u.p{$1,$2}.r)] %[fx:int(255*u.p{$1,$2}.g)] %[fx:int(255*u.p{$1,$2}.b)]" info:; }
check() { # check X Y R G B TOL what
  local got
  read -ra got <<<"$(pixel "$1" "$2")"
  local want=("$3" "$4" "$5")
  for i in 0 1 2; do
    local d=$(( got[i] - want[i] ))
    (( d < 0 )) && d=$(( -d ))
    (( d <= $6 )) || fail "$7 at ($1,$2): got ${got[*]}, expected ${want[*]}"
  done
}
# The letterbox may bounce by a few rows with the beat; sample away from its edges.
check 1200 20 0 0 0 0 "top bar"
check 1200 140 0 0 0 0 "top bar"
check 1200 1000 0 0 0 0 "bottom bar"
check 1275 160 51 76 153 12 "sky top"
read -ra got <<<"$(pixel 640 700)"
(( got[0] + got[1] + got[2] > 60 )) || fail "letterbox middle is black: ${got[*]}"
echo "ok: letterbox bars and sky"
cp "$work/shot.png" "$NV_BUILD/e2e_window_shot.png"

xdotool windowfocus "$win" 2>/dev/null; xdotool key q
for _ in $(seq 1 50); do
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
if kill -0 $pid 2>/dev/null; then fail "still running a few seconds after q"; fi
set +e
wait $pid
status=$?
set -e
[[ $status -eq 0 ]] || fail "q: status $status"
echo "ok: q ends it with status 0"
