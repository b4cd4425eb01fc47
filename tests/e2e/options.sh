#!/usr/bin/env bash
# The command line from the outside. --help and --version answer without a display; an
# unknown option is refused with status 1 and the usage, before any display is looked at;
# --check-display says in one line why a stale display or one without OpenGL keeps the show
# off, with the status the show would end with. The swap interval is asked for the way the
# driver offers (a preloaded GLX wrapper offers each way, as Xvfb offers none), and
# --no-vsync asks for none. SIGTERM ends the show with status 0 at once, and by its deadline
# while a swap hangs. A window destroyed by another client ends the show with status 0.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# answer EXPECTED_STATUS OPTION...: runs the demo without a display; its output in
# $work/answer.out and .err.
answer() {
  local want=$1 status=0
  shift
  env -u DISPLAY "$exe" "$@" >"$work/answer.out" 2>"$work/answer.err" || status=$?
  (( status == want )) || fail "velandor $*: status $status, expected $want: $(cat "$work/answer.err")"
}

answer 0 --help
[[ $(head -1 "$work/answer.out") == "Usage: velandor [OPTION]..." && ! -s "$work/answer.err" ]] ||
  fail "--help said: $(cat "$work/answer.out" "$work/answer.err")"
for option in --fullscreen --kiosk --size --window-id --root --sound --no-vsync --check-display; do
  grep -q -- "^  $option" "$work/answer.out" || fail "--help does not list $option"
done
answer 0 --version
[[ $(cat "$work/answer.out") == "velandor (nork velandor) $(nv_version "$NV_BUILD")" ]] ||
  fail "--version said: $(cat "$work/answer.out")"
echo "ok: --help and --version without a display"

for bad in --bogus "--size 0x600" "--window-id 0x" "--root --kiosk" stray; do
  # shellcheck disable=SC2086 # the cases are words
  answer 1 $bad
  [[ ! -s "$work/answer.out" && $(head -1 "$work/answer.err") == "$exe: "* ]] &&
    grep -q "^Usage: velandor" "$work/answer.err" || fail "velandor $bad said: $(cat "$work/answer.err")"
done
echo "ok: refused with status 1 and the usage: $(head -1 "$work/answer.err")"

# check DISPLAY STATUS WHAT: --check-display on that display ends with STATUS, saying one
# line that mentions WHAT.
check() {
  local status=0
  DISPLAY=$1 "$exe" --check-display >"$work/check.out" 2>"$work/check.err" || status=$?
  (( status == $2 )) || fail "--check-display on $1: status $status, expected $2: $(cat "$work/check.err")"
  [[ ! -s "$work/check.out" ]] || fail "--check-display printed on standard output"
  if [[ -z "$3" ]]; then
    [[ ! -s "$work/check.err" ]] || fail "--check-display on a good display said: $(cat "$work/check.err")"
  else
    [[ $(wc -l <"$work/check.err") -eq 1 ]] && grep -q "$3" "$work/check.err" ||
      fail "--check-display on $1 said: $(cat "$work/check.err")"
  fi
}
# A display number nobody serves: the lowest without a socket or a lock.
stale=$(stale_display)
check "$stale" 255 "cannot open the X display \"$stale\""
echo "ok: a stale display: $(cat "$work/check.err")"
nv_start_xvfb 640x480x24 -extension GLX
noglx=$NV_XVFB_PID
trap 'kill $noglx 2>/dev/null; cleanup' EXIT
check "$DISPLAY" 1 "offers no OpenGL"
echo "ok: a display without GLX: $(cat "$work/check.err")"
kill $noglx
start_xvfb 640x480x24
check "$DISPLAY" 0 ""
echo "ok: a display with GLX: nothing said, status 0"

# The swap interval. intervals OFFERED [OPTION...]: the calls the demo makes when the driver
# offers OFFERED, one "<function> <interval>" a line.
mkdir "$work/run"
intervals() {
  local offered=$1
  shift
  rm -f "$work/intervals"
  launch "$work/run" SDL_AUDIODRIVER=dummy NV_GLX_EXTENSIONS="$offered" NV_SWAP_INTERVAL_OUT="$work/intervals" -- \
    --size 320x180 "$@"
  wait_frames "$work/run" 64
  stop TERM || fail "SIGTERM: status $?"
  cat "$work/intervals" 2>/dev/null || true
}
expect_interval() { # expect_interval WANTED OFFERED [OPTION...]
  local want=$1 got
  shift
  got=$(intervals "$@")
  [[ "$got" == "$want" ]] || fail "offered '$1' ${*:2}: swap interval calls '$got', expected '$want'"
}
all="GLX_EXT_swap_control GLX_EXT_swap_control_tear GLX_MESA_swap_control GLX_SGI_swap_control"
expect_interval "glXSwapIntervalEXT 1" "$all"
expect_interval "glXSwapIntervalEXT 0" "$all" --no-vsync
expect_interval "glXSwapIntervalMESA 1" "GLX_MESA_swap_control GLX_SGI_swap_control"
# A longer name is not the extension: SGI's is the one offered here. SGI's knows no 0.
expect_interval "glXSwapIntervalSGI 1" "GLX_EXT_swap_control_tear GLX_SGI_swap_control"
expect_interval "" "GLX_EXT_swap_control_tear GLX_SGI_swap_control" --no-vsync
expect_interval "" "GLX_ARB_create_context"
echo "ok: swap interval 1 through EXT, MESA or SGI as offered; 0 with --no-vsync; none where none is offered"

# SIGTERM in the show's own window, and while a swap hangs (the probe holds frame 100 while a
# file exists): the deadline ends it all the same, with status 0.
launch "$work/run" SDL_AUDIODRIVER=dummy
wait_frames "$work/run" 64
stop TERM || fail "SIGTERM: status $?"
[[ ! -s "$work/run.err" ]] || fail "SIGTERM: standard error: $(cat "$work/run.err")"
echo "ok: SIGTERM ends the show with status 0 in $took ms"
touch "$work/hold"
launch "$work/run" SDL_AUDIODRIVER=dummy NV_HOLD_AT=100 NV_HOLD_WHILE="$work/hold"
wait_frames "$work/run" 100
sleep 0.5
stop TERM || fail "SIGTERM while a swap hangs: status $?"
echo "ok: SIGTERM while a swap hangs ends the show with status 0 in $took ms"

# The show's window destroyed by another client: the show ends with status 0, saying nothing.
launch "$work/run" SDL_AUDIODRIVER=dummy
win=$(window)
wait_frames "$work/run" 64
"$NV_BUILD/tests/nv_xclient" destroy "$win"
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && fail "still running ten seconds after its window was destroyed"
status=0
wait $pid || status=$?
pid=0
(( status == 0 )) && [[ ! -s "$work/run.err" ]] ||
  fail "its window destroyed: status $status: $(cat "$work/run.err")"
echo "ok: the show's window destroyed by another client ends it with status 0"
