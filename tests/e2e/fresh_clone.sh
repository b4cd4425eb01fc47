#!/usr/bin/env bash
# The README's way in, on a fresh clone of the repository: scripts/install-deps is quiet and
# succeeds when run again; scripts/run without a display says in one line what is needed,
# before installing or building anything; with a display it builds the demo in the clone,
# showing its stages and the build's percentage, and starts it from the clone's root, where
# it plays the music of the clone's data/ and ends on q with status 0; with a display that
# cannot be opened it says so in one line after the build; an option the demo does not know
# is refused with the demo's usage.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"
clone="$work/clone"
git clone -q "$NV_ROOT" "$clone"

for round in 1 2; do
  out=$("$clone/scripts/install-deps" 2>&1) || fail "install-deps, round $round: $out"
done
[[ -z "$out" ]] || fail "install-deps printed on its second run: $out"
echo "ok: install-deps twice, the second time silent"

status=0
(cd "$clone" && env -u DISPLAY scripts/run) >"$work/run.out" 2>"$work/run.err" || status=$?
(( status == 1 )) || fail "scripts/run without a display: status $status"
[[ ! -s "$work/run.out" && $(wc -l <"$work/run.err") -eq 1 ]] ||
  fail "scripts/run without a display printed: $(cat "$work/run.out" "$work/run.err")"
grep -q "X display" "$work/run.err" && grep -q "xvfb-run" "$work/run.err" ||
  fail "scripts/run without a display: $(cat "$work/run.err")"
[[ ! -e "$clone/build" ]] || fail "scripts/run without a display built first"
echo "ok: scripts/run without a display: $(cat "$work/run.err")"

start_xvfb 1280x1024x24
(cd "$clone" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" exec scripts/run) \
  >"$work/run.out" 2>"$work/run.err" &
pid=$!
# The build comes first: give it a while on a loaded machine. Its progress must show while
# it builds, not all at once when it is done (a buffering filter would hold it back).
win=""
live=0
for _ in $(seq 1 9000); do
  win=$(xdotool search --name '^nork velandor$' 2>/dev/null | head -1 || true)
  [[ -n "$win" ]] && break
  [[ ! -e "$clone/build/src/velandor" ]] && grep -q '^\[ *[0-9]*%\] Building' "$work/run.err" && live=1
  if ! kill -0 $pid 2>/dev/null; then
    status=0
    wait $pid || status=$?
    pid=0
    fail "scripts/run ended with status $status: $(tail -n 30 "$work/run.out" "$work/run.err" \
      "$clone/build/run-build.log" 2>&1)"
  fi
  sleep 0.1
done
[[ -n "$win" ]] || fail "no window after 15 minutes"
(( live )) || fail "no progress shown while the demo was being built: $(cat "$work/run.err")"
[[ $(readlink "/proc/$pid/exe") == "$clone/build/src/velandor" ]] ||
  fail "the process is $(readlink "/proc/$pid/exe"), not the clone's demo"
[[ $(readlink "/proc/$pid/cwd") == "$clone" ]] || fail "not started from the clone's root"
sleep 3
status=0
finish || status=$?
(( status == 0 )) || fail "q gave status $status"
[[ ! -s "$work/run.out" ]] || fail "the demo printed: $(cat "$work/run.out")"
# Standard error holds the stages and the first build's own percentage, nothing else.
grep -q '^\[ *[0-9]*%\] Building' "$work/run.err" && grep -q '^scripts/run: building' "$work/run.err" ||
  fail "the first build showed no progress: $(cat "$work/run.err")"
! grep -v '^scripts/run: \|^\[ *[0-9]*%\] ' "$work/run.err" ||
  fail "more than progress on standard error (above)"
[[ $(tr -d '\0' <"$work/capture.raw" | head -c 1000 | wc -c) -gt 0 ]] ||
  fail "no music from the clone's data/"
echo "ok: scripts/run built the clone's demo, which played and ended on q"

# An option the demo does not know: the demo's usage and status 1, and no window.
status=0
(cd "$clone" && scripts/run --bogus) >"$work/run.out" 2>"$work/run.err" || status=$?
(( status == 1 )) && grep -q "unknown option '--bogus'" "$work/run.err" && grep -q '^Usage: ' "$work/run.err" ||
  fail "scripts/run --bogus: status $status: $(cat "$work/run.out" "$work/run.err")"
[[ -z "$(xdotool search --name '^nork velandor$' 2>/dev/null || true)" ]] || fail "scripts/run --bogus opened a window"
echo "ok: scripts/run --bogus: the demo's usage and status 1"

# A display that is set but cannot be opened (a stale DISPLAY): after the build, one line says
# so, with the demo's status, and nothing starts.
stale=$(stale_display)
status=0
(cd "$clone" && DISPLAY="$stale" scripts/run --fullscreen) >"$work/run.out" 2>"$work/run.err" || status=$?
(( status == 255 )) || fail "scripts/run with a stale display: status $status: $(cat "$work/run.err")"
[[ ! -s "$work/run.out" && $(tail -1 "$work/run.err") == "scripts/run: cannot open the X display \"$stale\""* ]] &&
  ! grep -q "starting" "$work/run.err" ||
  fail "scripts/run with a stale display said: $(cat "$work/run.out" "$work/run.err")"
echo "ok: scripts/run with a stale display: $(tail -1 "$work/run.err")"
