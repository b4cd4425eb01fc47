#!/usr/bin/env bash
# The show as a screensaver draws it, into a window the test makes (no window manager): named
# by --window-id (decimal) and by XSCREENSAVER_WINDOW (hexadecimal), the show draws into it at
# its size and makes no window of its own; it opens no sound (SDL's disk driver writes no
# file) unless --sound; it reads no keys; a resize of the window is followed; SIGTERM ends it
# with status 0. Where the window's visual takes no GL context, one child window of the
# show's visual fills it and follows its size. --root draws into the root window. A window
# destroyed under the show ends it with status 0.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
xclient="$NV_BUILD/tests/nv_xclient"

start_xvfb 1280x1024x24
mkdir "$work/run"
owner=0
trap '[[ $owner -ne 0 ]] && kill $owner 2>/dev/null; cleanup' EXIT

# given_window WxH gl|nogl: a window of the test's own, mapped; its id in $given.
given_window() {
  # A new file: the last window's id must not be read before this one's is written.
  rm -f "$work/given"
  "$xclient" window "$1" "$2" >"$work/given" &
  owner=$!
  for _ in $(seq 1 300); do [[ -s "$work/given" ]] && break; sleep 0.1; done
  given=$(cat "$work/given")
  [[ "$given" == 0x* ]] || fail "no test window: $given"
}

# windows: every window on the server, one id a line.
windows() { xwininfo -root -tree | awk '$1 ~ /^0x/ {print $1}' | sort; }

# new_windows BEFORE: the windows there now that were not in BEFORE.
new_windows() { comm -13 <(echo "$1") <(windows); }

# children WINDOW: "<id> WxH" of each child of WINDOW.
children() { xwininfo -id "$1" -children | awk '$1 ~ /^0x/ {print $1, $(NF-1)}' | sed 's/+.*//'; }

# sky FILE Y WHAT: row Y of the picture in FILE shows the sky's dark blue at its right end.
sky() {
  local got
  got=$(pixel "$1" $(( $(identify -format %w "$1") - 4 )) "$2")
  is_sky "$got" || { cp "$1" "$NV_BUILD/e2e_saver_$(basename "$1")"; fail "$3: no sky at the top right: $got"; }
}

# Direct: the window's visual takes the show's context.
given_window 640x360 gl
before=$(windows)
decimal=$(( given ))
launch "$work/run" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" -- --window-id "$decimal"
wait_frames "$work/run" 64
[[ -z "$(new_windows "$before")" ]] || fail "--window-id $decimal: windows appeared: $(new_windows "$before")"
xwd -id "$given" -silent | convert xwd:- "$work/direct.png"
sky "$work/direct.png" 4 "--window-id $decimal"
# Keys typed into the window reach its owner, not the show.
xdotool windowfocus "$given" 2>/dev/null || true
xdotool key q Escape ctrl+c
drawn=$(frames "$work/run")
wait_frames "$work/run" $(( drawn + 64 ))
# The window's resize is followed: 800x600 holds a 450-row letterbox in rows 75 to 524.
xdotool windowsize "$given" 800 600
drawn=$(frames "$work/run")
wait_frames "$work/run" $(( drawn + 128 ))
xwd -id "$given" -silent | convert xwd:- "$work/resized.png"
for x in 600 794; do
  band=$(rows "$work/resized.png" $x)
  [[ "$band" == "75 524" ]] || { cp "$work/resized.png" "$NV_BUILD/e2e_saver_resized.png"; fail "after the resize to 800x600: picture in rows $band of column $x, expected 75 524"; }
done
stop TERM || fail "--window-id: SIGTERM gave status $?"
[[ ! -e "$work/sound.raw" ]] || fail "--window-id: the sound output was opened ($(stat -c %s "$work/sound.raw") bytes)"
[[ ! -s "$work/run.err" && ! -s "$work/run.out" ]] || fail "--window-id: said $(cat "$work/run.out" "$work/run.err")"
echo "ok: --window-id $decimal: drawn into the window at its size, no window of its own, silent, no keys, resize followed, SIGTERM: 0 in $took ms"

# By the variable, with --sound: the sound output opens. The window is 800x600 now.
launch "$work/run" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" XSCREENSAVER_WINDOW="$given" -- --sound
wait_frames "$work/run" 64
[[ -z "$(new_windows "$before")" ]] || fail "XSCREENSAVER_WINDOW: windows appeared: $(new_windows "$before")"
xwd -id "$given" -silent | convert xwd:- "$work/variable.png"
sky "$work/variable.png" 100 "XSCREENSAVER_WINDOW=$given"
stop TERM || fail "XSCREENSAVER_WINDOW: SIGTERM gave status $?"
[[ -e "$work/sound.raw" ]] || fail "--sound: the sound output was not opened"
echo "ok: XSCREENSAVER_WINDOW=$given: drawn into it; with --sound the sound output opens; SIGTERM: 0 in $took ms"

# The window goes away under the show.
launch "$work/run" SDL_AUDIODRIVER=dummy XSCREENSAVER_WINDOW="$given"
wait_frames "$work/run" 64
kill $owner
wait $owner 2>/dev/null || true
owner=0
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && fail "still running ten seconds after its window went away"
status=0
wait $pid || status=$?
pid=0
(( status == 0 )) || fail "the window went away: status $status: $(cat "$work/run.err")"
echo "ok: the window destroyed under the show ends it with status 0"

# A visual no GL context draws in: a child of the show's visual fills the window.
given_window 640x360 nogl
launch "$work/run" SDL_AUDIODRIVER=dummy -- --window-id "$given"
wait_frames "$work/run" 64
[[ $(children "$given" | wc -l) -eq 1 && $(children "$given" | awk '{print $2}') == 640x360 ]] ||
  fail "no child window filling the window: $(children "$given")"
xwd -id "$given" -silent | convert xwd:- "$work/child.png"
sky "$work/child.png" 4 "a window of a visual without double buffering"
xdotool windowsize "$given" 1000 400
for _ in $(seq 1 100); do [[ $(children "$given" | awk '{print $2}') == 1000x400 ]] && break; sleep 0.1; done
[[ $(children "$given" | awk '{print $2}') == 1000x400 ]] || fail "the child did not follow the resize: $(children "$given")"
stop TERM || fail "the child window: SIGTERM gave status $?"
[[ -z "$(children "$given")" ]] || fail "the child window was left behind"
kill $owner
wait $owner 2>/dev/null || true
owner=0
echo "ok: a window without a GL visual: a child fills it and follows its size, and goes with the show"

# The root window.
before=$(windows)
launch "$work/run" SDL_AUDIODRIVER=dummy -- --root
wait_frames "$work/run" 64
[[ -z "$(new_windows "$before")" ]] || fail "--root: windows appeared: $(new_windows "$before")"
shot "$work/root.png"
sky "$work/root.png" 156 "--root" # below the 152-row bar
stop TERM || fail "--root: SIGTERM gave status $?"
echo "ok: --root draws into the root window; SIGTERM: 0 in $took ms"
