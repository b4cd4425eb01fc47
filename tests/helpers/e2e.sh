# shellcheck shell=bash
# Helpers of the end-to-end scripts: the demo started as a user starts it, watched from
# outside. Sourced after NV_ROOT and NV_BUILD are set (CTest sets both).
source "$NV_ROOT/scripts/lib/common.sh"
exe="$NV_BUILD/src/velandor"
probe="$NV_BUILD/tests/libnv_probe.so"
# A sanitized demo gets its runtime preloaded right behind the probe (whose clock must answer
# the program's own calls before the runtime's interceptors do; the runtime is told not to
# insist on coming first), and the GL driver kept mapped until its leak check at exit (see
# probe.c).
asan=$(ldd "$exe" 2>/dev/null | awk '/libasan/ {print $3}')
preload="$probe${asan:+:$asan}"
keep=()
[[ -n "$asan" ]] && keep=(NV_KEEP_LIBRARIES=1)
work=$(mktemp -d)
pid=0
NV_WM_PID=0

cleanup() {
  [[ $pid -ne 0 ]] && kill -9 $pid 2>/dev/null
  [[ $NV_WM_PID -ne 0 ]] && kill $NV_WM_PID 2>/dev/null
  [[ -n "${NV_XVFB_PID:-}" ]] && kill $NV_XVFB_PID 2>/dev/null
  rm -rf "$work"
  return 0
}
trap cleanup EXIT

# start_xvfb [WxHxD]: a server of the test's own; the clean-up above stays the exit trap
# (nv_start_xvfb sets one that only stops the server).
start_xvfb() {
  nv_start_xvfb "$@"
  trap cleanup EXIT
}

# To standard error, so that it shows from inside $(...) and >/dev/null too.
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_wm: openbox on the current display, ready once it owns the screen's WM selection.
# A loaded machine may take many seconds.
start_wm() {
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  NV_WM_PID=$!
  for _ in $(seq 1 600); do
    wmctrl -m >/dev/null 2>&1 && return 0
    kill -0 $NV_WM_PID 2>/dev/null || fail "openbox ended: $(cat "$work/openbox.log")"
    sleep 0.1
  done
  fail "openbox did not start in a minute: $(cat "$work/openbox.log")"
}

# launch DIR [VAR=value...] [-- OPTION...]: starts the demo in DIR with the probe preloaded
# and the options given; its output goes to DIR.out and DIR.err, the probe's counters to
# DIR.gl.
launch() {
  local dir=$1
  shift
  local vars=() options=()
  while (( $# > 0 )) && [[ "$1" != -- ]]; do vars+=("$1"); shift; done
  if (( $# > 0 )); then shift; options=("$@"); fi
  rm -f "$dir.gl"
  local order=()
  [[ -n "$asan" ]] && order=(ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")
  (cd "$dir" && exec env NV_GLCHECK_OUT="$dir.gl" LD_PRELOAD="$preload" "${keep[@]}" "${order[@]}" "${vars[@]}" \
    "$exe" "${options[@]}") >"$dir.out" 2>"$dir.err" &
  pid=$!
}

# frames DIR: swaps so far (the probe writes every 64 frames).
frames() { [[ -s "$1.gl" ]] && awk '{print $2}' "$1.gl" || echo 0; }

# wait_frames DIR N: until the demo in DIR has drawn N frames; fails if it ends first.
wait_frames() {
  for _ in $(seq 1 1200); do
    (( $(frames "$1") >= $2 )) && return 0
    if ! kill -0 $pid 2>/dev/null; then
      local status=0
      wait $pid || status=$?
      pid=0
      fail "the demo ended by itself with status $status: $(cat "$1.out" "$1.err")"
    fi
    sleep 0.1
  done
  fail "fewer than $2 frames after two minutes"
}

# window: the demo's window id.
window() {
  local w
  for _ in $(seq 1 600); do
    w=$(xdotool search --pid $pid --name '^nork velandor$' 2>/dev/null | head -1 || true)
    [[ -n "$w" ]] && { echo "$w"; return 0; }
    if ! kill -0 $pid 2>/dev/null; then
      local status=0
      wait $pid || status=$?
      fail "ended with status $status before its window showed (DISPLAY $DISPLAY)"
    fi
    sleep 0.1
  done
  fail "no window titled 'nork velandor'"
}

# finish: ends the demo with q typed into its focused window and returns its status.
# (Not xdotool key --window: its events sent to a window that goes away at the first one
# leave the server in a state that ends the next demo started on it.)
finish() {
  local w
  w=$(window)
  xdotool windowfocus --sync "$w" 2>/dev/null || xdotool windowfocus "$w" 2>/dev/null || true
  xdotool key q 2>/dev/null
  local status=0
  for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -0 $pid 2>/dev/null && fail "still running ten seconds after q"
  wait $pid || status=$?
  pid=0
  return $status
}

# stop SIGNAL [LIMIT_MS]: sends SIGNAL to the demo and waits for it to end, at most LIMIT_MS
# milliseconds (default one and a half seconds, generous for a loaded machine: the demo's own
# deadline is a quarter of a second; three in a sanitized build, slower everywhere, its exit
# too); fails if it is still running then. Returns its status; took holds the milliseconds.
stop() {
  local limit=${2:-1500} t0 status=0
  [[ -n "$asan" ]] && limit=3000
  t0=$(date +%s%N)
  kill -s "$1" $pid
  while kill -0 $pid 2>/dev/null && (( ($(date +%s%N) - t0) / 1000000 < limit + 5000 )); do sleep 0.01; done
  took=$(( ($(date +%s%N) - t0) / 1000000 ))
  kill -0 $pid 2>/dev/null && fail "still running $took ms after SIG$1"
  wait $pid || status=$?
  pid=0
  (( took <= limit )) || fail "SIG$1 took $took ms to end the demo (at most $limit)"
  return $status
}

# stale_display: ":N", a display no server holds: a DISPLAY that is set but cannot be opened.
stale_display() {
  local n
  for n in $(seq 900 999); do
    nv_display_in_use "$n" || { echo ":$n"; return 0; }
  done
  fail "no free display number from 900 to 999"
}

# shot FILE: the whole screen as PNG.
shot() { xwd -root -silent | convert xwd:- "$1"; }

# rows FILE X: the first and the last row of column X that is not black.
rows() {
  convert "$1" -crop "1x$(identify -format %h "$1")+$2+0" +repage txt:- |
    awk -F'[,:() ]+' 'NR > 1 && $3 + $4 + $5 > 24 { if (first == "") first = $2; last = $2 }
                      END { print (first == "" ? -1 : first), (last == "" ? -1 : last) }'
}

# is_sky "R G B": the pixel is the sky's dark blue, as at the top of the show's picture.
is_sky() {
  local c
  read -ra c <<<"$1"
  (( c[0] < 90 && c[1] > 50 && c[1] < 120 && c[2] > 120 ))
}

# pixel FILE X Y: "R G B" of one pixel, 0 to 255.
pixel() {
  convert "$1" -format "%[fx:int(255*u.p{$2,$3}.r+0.5)] %[fx:int(255*u.p{$2,$3}.g+0.5)] %[fx:int(255*u.p{$2,$3}.b+0.5)]" info:
}
