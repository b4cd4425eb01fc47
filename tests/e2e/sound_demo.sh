#!/usr/bin/env bash
# The demo with its music: two short pieces of kicks in data/, played through SDL's disk
# driver. "Sound 2" is printed once for every start of the second piece that reached the
# output, the frame loop keeps running while the music plays, and SIGINT ends it at once.
set -euo pipefail
exe="$NV_BUILD/src/velandor"
mkogg="$NV_BUILD/tests/nv_mkogg"
work=$(mktemp -d)
pid=0
trap '[[ $pid -ne 0 ]] && kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
[[ -n "${DISPLAY:-}" ]] || fail "needs an X server (scripts/test starts one)"

# Frames of each piece at 44.1 kHz: 0.6 s and 0.4 s.
len1=26460
len2=17640
mkdir "$work/data"
"$mkogg" "$work/data/tarn1.ogg" kick 44100 0.6 0.3
"$mkogg" "$work/data/tarn2.ogg" kick 44100 0.4 0.2

(cd "$work" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" exec "$exe") \
  >"$work/out" 2>"$work/err" &
pid=$!

starts() { grep -cx "Sound 2" "$work/out" || true; }
for _ in $(seq 1 300); do
  (( $(starts) >= 3 )) && break
  kill -0 $pid 2>/dev/null || fail "the demo ended by itself: $(cat "$work/out" "$work/err")"
  sleep 0.1
done
(( $(starts) >= 3 )) || fail "the second piece did not start three times: $(cat "$work/out")"
echo "ok: the second piece started $(starts) times"

# The frame loop runs flat out; a loop stuck behind the audio thread would stop using CPU.
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(cpu)
sleep 1
after=$(cpu)
(( after - before >= 10 )) || fail "the demo stopped drawing (CPU ticks $before -> $after)"
echo "ok: still drawing while the music plays"

# Ctrl+C ends the demo at once: the sound layer leaves SIGINT to its default.
kill -INT $pid
for _ in $(seq 1 30); do
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
kill -0 $pid 2>/dev/null && fail "SIGINT did not end the demo"
status=0
wait $pid || status=$?
pid=0
(( status == 130 )) || fail "the demo ended with status $status, not by SIGINT"
echo "ok: SIGINT ends the demo"

# One "Sound 2" per start of the second piece in the output: the first piece sounds from
# its first frame on, the second follows at len1 and then every len2 frames. The output
# may lag the mixer by a device buffer, which can hold one more start.
frames=$(( $(stat -c %s "$work/capture.raw") / 4 ))
first=$(od -An -v -td2 -w4 "$work/capture.raw" |
        awk '!found && ($1 != 0 || $2 != 0) { print NR - 1; found = 1 }')
[[ -n "$first" ]] || fail "the output is silent"
heard=0
for (( end = first - 1 + len1; end <= frames; end += len2 )); do heard=$((heard + 1)); done
printed=$(starts)
(( printed == heard || printed == heard + 1 )) ||
  fail "\"Sound 2\" printed $printed times for $heard starts in the output"
echo "ok: \"Sound 2\" at each start of the second piece ($printed printed, $heard heard)"

grep -q "Sound: LoadSong\|Error: Sound Init failed." "$work/out" && fail "$(cat "$work/out")"
grep -q "ALSA lib" "$work/err" && fail "libasound printed: $(cat "$work/err")"
exit 0
