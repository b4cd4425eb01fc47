#!/usr/bin/env bash
# Full screen, the kiosk and a chosen size under a real window manager (openbox).
# --fullscreen: the window covers the whole screen with the full-screen state, without
# decorations and with a blank cursor (XFixes' image of it), and the screen keeps its size;
# F leaves full screen and comes back, in the show's ordinary window too. --kiosk: the same,
# and q, Escape, Ctrl+C, F, clicks and the window manager's close do not end it or leave full
# screen; the server's screen saver does not start while it runs (and does once it has
# ended); SIGINT and SIGTERM end it with status 0. --size: a window of that size.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
xclient="$NV_BUILD/tests/nv_xclient"

start_xvfb 1280x1024x24
start_wm
mkdir "$work/run"
screen=$(xdpyinfo | awk '/dimensions:/ {print $2}')

# state WIN: the window's _NET_WM_STATE.
state() { xprop -id "$1" _NET_WM_STATE; }

# covers WIN WHAT: WIN is full screen: the state, the whole screen, no frame, a blank cursor.
covers() {
  local win=$1 what=$2 geometry
  for _ in $(seq 1 100); do
    geometry=$(xwininfo -id "$win")
    [[ $(state "$win") == *_NET_WM_STATE_FULLSCREEN* ]] && grep -q 'Width: 1280' <<<"$geometry" &&
      grep -q 'Height: 1024' <<<"$geometry" && break
    sleep 0.1
  done
  [[ $(state "$win") == *_NET_WM_STATE_FULLSCREEN* ]] || fail "$what: not full screen: $(state "$win")"
  grep -q 'Absolute upper-left X:  0' <<<"$geometry" && grep -q 'Absolute upper-left Y:  0' <<<"$geometry" &&
    grep -q 'Width: 1280' <<<"$geometry" && grep -q 'Height: 1024' <<<"$geometry" ||
    fail "$what: does not cover the screen: $geometry"
  [[ $(xprop -id "$win" _NET_FRAME_EXTENTS) == *"= 0, 0, 0, 0" ]] ||
    fail "$what: decorated: $(xprop -id "$win" _NET_FRAME_EXTENTS)"
  [[ $("$xclient" cursor 640 500) == *" visible 0" ]] || fail "$what: a cursor shows: $("$xclient" cursor 640 500)"
  [[ $(xdpyinfo | awk '/dimensions:/ {print $2}') == "$screen" ]] || fail "$what: the screen's size changed"
}

# windowed WIN WHAT: WIN is an ordinary window again, with a cursor that shows.
windowed() {
  for _ in $(seq 1 100); do [[ $(state "$1") != *FULLSCREEN* ]] && break; sleep 0.1; done
  [[ $(state "$1") != *FULLSCREEN* ]] || fail "$2: still full screen"
  [[ $("$xclient" cursor 640 500) != *" visible 0" ]] || fail "$2: the cursor stays blank"
}

# focus WIN: the window has the keyboard.
focus() {
  for _ in $(seq 1 50); do
    xdotool windowactivate "$1" 2>/dev/null || xdotool windowfocus "$1" 2>/dev/null || true
    [[ $(xdotool getwindowfocus 2>/dev/null) == "$1" ]] && return 0
    sleep 0.2
  done
  fail "the window did not get the focus"
}

launch "$work/run" SDL_AUDIODRIVER=dummy -- --fullscreen
win=$(window)
wait_frames "$work/run" 64
covers "$win" "--fullscreen"
shot "$work/full.png"
read -ra got <<<"$(pixel "$work/full.png" 1275 160)"
(( got[2] > 120 )) || { cp "$work/full.png" "$NV_BUILD/e2e_fullscreen.png"; fail "--fullscreen: no sky on the screen: ${got[*]}"; }
focus "$win"
xdotool key f
windowed "$win" "--fullscreen, then F"
xdotool key F
covers "$win" "--fullscreen, F twice"
stop TERM || fail "--fullscreen: SIGTERM gave status $?"
[[ ! -s "$work/run.err" ]] || fail "--fullscreen: standard error: $(cat "$work/run.err")"
echo "ok: --fullscreen covers the screen undecorated, without a cursor; F leaves and comes back; SIGTERM: 0 in $took ms"

launch "$work/run" SDL_AUDIODRIVER=dummy
win=$(window)
wait_frames "$work/run" 64
focus "$win"
windowed "$win" "the show's window"
xdotool key f
covers "$win" "the show's window, then F"
status=0
finish || status=$?
(( status == 0 )) || fail "q after F: status $status"
echo "ok: F makes the show's own window full screen"

"$xclient" saver-timeout 1
launch "$work/run" SDL_AUDIODRIVER=dummy -- --kiosk
win=$(window)
wait_frames "$work/run" 64
covers "$win" "--kiosk"
focus "$win"
xdotool key q Escape ctrl+c f
xdotool mousemove 640 500 click 1 click 3
wmctrl -i -c "$win"
sleep 3
kill -0 $pid 2>/dev/null || fail "--kiosk ended by a key, a click or the window manager: $(cat "$work/run.err")"
# Before the pointer moves again (which would wake the screen saver itself).
[[ $("$xclient" saver-state) != on ]] || fail "--kiosk: the screen saver started"
covers "$win" "--kiosk after keys and clicks"
stop INT || fail "--kiosk: SIGINT gave status $?"
for _ in $(seq 1 50); do [[ $("$xclient" saver-state) == on ]] && break; sleep 0.1; done
[[ $("$xclient" saver-state) == on ]] || fail "the screen saver did not start after the kiosk"
"$xclient" saver-timeout 0
echo "ok: --kiosk outlived q, Escape, Ctrl+C, F, clicks and the close, held the screen saver off; SIGINT: 0 in $took ms"
launch "$work/run" SDL_AUDIODRIVER=dummy -- --kiosk
window >/dev/null
wait_frames "$work/run" 64
stop TERM || fail "--kiosk: SIGTERM gave status $?"
echo "ok: SIGTERM ends a kiosk with status 0 in $took ms"

launch "$work/run" SDL_AUDIODRIVER=dummy -- --size 800x450
win=$(window)
wait_frames "$work/run" 64
geometry=$(xwininfo -id "$win")
grep -q 'Width: 800' <<<"$geometry" && grep -q 'Height: 450' <<<"$geometry" || fail "--size 800x450: $geometry"
xwd -id "$win" -silent | convert xwd:- "$work/size.png"
[[ $(rows "$work/size.png" 700) == "0 449" ]] || fail "--size 800x450: the picture is in rows $(rows "$work/size.png" 700)"
status=0
finish || status=$?
(( status == 0 )) || fail "--size: q gave status $status"
echo "ok: --size 800x450 opens a window of that size, filled by the picture"
