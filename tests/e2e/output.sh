#!/usr/bin/env bash
# What a full run writes: with both pieces on disk (short ones here, 0.6 s and 0.4 s of
# kicks, so that the second comes round many times), standard output holds one "Sound 2"
# line for each start of the second piece and nothing else, standard error nothing, and q
# ends it with status 0. The capture from SDL's disk driver is the first piece, then the
# second over and over with no gap, sample for sample.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"

start_xvfb 1280x1024x24
mkdir -p "$work/run/data"
"$NV_BUILD/tests/nv_mkogg" "$work/run/data/tarn1.ogg" kick 44100 0.6 0.3
"$NV_BUILD/tests/nv_mkogg" "$work/run/data/tarn2.ogg" kick 44100 0.4 0.2
launch "$work/run" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw"
window >/dev/null
for _ in $(seq 1 600); do
  (( $(grep -cx "Sound 2" "$work/run.out" || true) >= 6 )) && break
  kill -0 $pid 2>/dev/null || fail "the demo ended by itself: $(cat "$work/run.out" "$work/run.err")"
  sleep 0.1
done
status=0
finish || status=$?
(( status == 0 )) || fail "q gave status $status"

printed=$(grep -cx "Sound 2" "$work/run.out" || true)
(( printed >= 6 )) || fail "only $printed starts of the second piece in a minute"
others=$(grep -vx "Sound 2" "$work/run.out" || true)
[[ -z "$others" ]] || fail "other lines on standard output: $others"
[[ ! -s "$work/run.err" ]] || fail "standard error: $(cat "$work/run.err")"
result=$("$NV_BUILD/tests/nv_capture_check" "$work/capture.raw" "$work/run/data/tarn1.ogg" \
  "$work/run/data/tarn2.ogg") || fail "capture: $result"
heard=$(awk '{print $6}' <<<"$result")
# The device may hold a start the mixer has made but the capture has not got yet.
(( printed == heard || printed == heard + 1 )) ||
  fail "\"Sound 2\" printed $printed times, the second piece started $heard times"
echo "ok: $printed lines \"Sound 2\" for $heard starts and nothing else; capture: $result"

# The check itself finds a gap: the same capture with 1000 silent frames put in at 1.5 s
# (inside the second piece, where it is not silent) fails with exactly that gap.
bytes=$(( 66150 * 4 ))
{ head -c $bytes "$work/capture.raw"; head -c 4000 /dev/zero; tail -c +$(( bytes + 1 )) "$work/capture.raw"; } \
  >"$work/gapped.raw"
gapped=$("$NV_BUILD/tests/nv_capture_check" "$work/gapped.raw" "$work/run/data/tarn1.ogg" \
  "$work/run/data/tarn2.ogg") && fail "a capture with a gap passed: $gapped"
[[ $(tail -1 <<<"$gapped") == *" gaps 1 gap_frames 1000" ]] || fail "the gap was not found: $gapped"
echo "ok: a gap put into the capture is found: $(head -1 <<<"$gapped")"
