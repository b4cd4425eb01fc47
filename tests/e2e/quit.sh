#!/usr/bin/env bash
# Ending the demo as a user does, under a real window manager (openbox): q, Q, Escape and
# Ctrl+C typed into the focused window, and the window manager's close (wmctrl -c), each end
# it with status 0 within a second of the key or the request. Other keys before them (a
# letter, arrows, function keys, space, Return, Tab, Ctrl+D) change nothing: it keeps
# drawing.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"

# A sanitized demo (scripts/test --sanitize) is slower everywhere, its exit too; its leak
# check at exit is e2e_sanitized's business, not this test's.
limit=1000
if [[ -n "$asan" ]]; then
  limit=3000
  export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
fi

start_xvfb 1280x1024x24
start_wm
mkdir "$work/run"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

for way in q Q Escape ctrl+c close; do
  launch "$work/run" SDL_AUDIODRIVER=dummy
  win=$(window)
  # The window manager may still be busy with the new window on a loaded machine.
  for _ in $(seq 1 50); do
    xdotool windowactivate "$win" 2>/dev/null || xdotool windowfocus "$win" 2>/dev/null || true
    [[ $(xdotool getwindowfocus 2>/dev/null) == "$win" ]] && break
    sleep 0.2
  done
  [[ $(xdotool getwindowfocus) == "$win" ]] || fail "$way: the window did not get the focus"
  wait_frames "$work/run" 64

  xdotool key a Left Up F1 F5 space Return Tab ctrl+d shift+a
  drawn=$(frames "$work/run")
  wait_frames "$work/run" $(( drawn + 128 ))
  kill -0 $pid 2>/dev/null || fail "$way: other keys ended the demo"

  # The clock starts when the key is sent: the wait covers xdotool's own start-up too.
  t0=$(now_ms)
  if [[ $way == close ]]; then
    wmctrl -i -c "$win"
  else
    xdotool key "$way"
  fi
  while kill -0 $pid 2>/dev/null && (( $(now_ms) - t0 < 5000 )); do sleep 0.01; done
  took=$(( $(now_ms) - t0 ))
  kill -0 $pid 2>/dev/null && fail "$way: still running after 5 s"
  status=0
  wait $pid || status=$?
  pid=0
  (( status == 0 )) || fail "$way: exit status $status"
  (( took <= limit )) || fail "$way: took $took ms to end (at most $limit)"
  [[ ! -s "$work/run.err" ]] || fail "$way: standard error: $(cat "$work/run.err")"
  echo "ok: $way ends it with status 0 in $took ms; other keys did nothing"
done
