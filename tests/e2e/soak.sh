#!/usr/bin/env bash
# The demo left running for an hour (NV_SOAK_SECONDS, default 3600) on its own Xvfb with
# SDL's disk audio driver, then checked:
#   - resident memory: once the fire holds its 150 particles (the first after 10 s, then one
#     every half second: full after 85 s), the process's own resident memory (anonymous and
#     shared-memory pages: heap, stacks, the driver's buffers) grows by less than 1 MB
#     (NV_SOAK_RSS_KB) over the rest of the run. Growth is the rise of the floor: the least
#     sampled in the last tenth of the run against the least in the first tenth, since the
#     driver maps and unmaps a 1 MB buffer now and then (the peak is reported beside it);
#     a leak lifts the floor. Pages of shared libraries' files are left
#     out of the test: llvmpipe pages in more of LLVM's code whenever the show reaches a
#     state it has not compiled before, for many minutes; they are reported beside it;
#   - no GL error in any frame (glGetError read before every swap by a preloaded shim);
#   - the capture is the first piece and then the second over and over, sample for sample,
#     with no gap, and "Sound 2" was printed at every start of the second piece;
#   - standard output holds nothing but those lines, standard error nothing at all;
#   - q still ends it, with status 0.
# Figures go to standard output and, with NV_SOAK_LOG=DIR, the RSS series and the output
# are kept there.
set -euo pipefail
source "$NV_ROOT/scripts/lib/common.sh"
exe="$NV_BUILD/src/velandor"
shim="$NV_BUILD/tests/libnv_probe.so"
check="$NV_BUILD/tests/nv_capture_check"
seconds=${NV_SOAK_SECONDS:-3600}
rss_limit_kb=${NV_SOAK_RSS_KB:-1024}
work=$(mktemp -d)
pid=0
trap '[[ $pid -ne 0 ]] && kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT
keep() {
  if [[ -n "${NV_SOAK_LOG:-}" ]]; then
    mkdir -p "$NV_SOAK_LOG"
    cp "$work"/{out,err,rss.log,gl.txt,smaps.*} "$NV_SOAK_LOG"/ 2>/dev/null || true
  fi
}
fail() {
  echo "FAIL: $*"
  keep
  exit 1
}
# Findings after the run are gathered, so that one does not hide the others' figures.
failures=()
finding() {
  echo "FAIL: $*"
  failures+=("$*")
}

nv_start_xvfb 1280x1024x24
trap '[[ $pid -ne 0 ]] && kill -9 $pid 2>/dev/null; rm -rf "$work"; kill $NV_XVFB_PID 2>/dev/null || true' EXIT

mkdir "$work/run"
ln -s "$NV_ROOT/data" "$work/run/data"
(cd "$work/run" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" \
   NV_GLCHECK_OUT="$work/gl.txt" LD_PRELOAD="$shim" exec "$exe") >"$work/out" 2>"$work/err" &
pid=$!

frames() { [[ -s "$work/gl.txt" ]] && awk '{print $2}' "$work/gl.txt" || echo 0; }
heap() { [[ -s "$work/gl.txt" ]] && awk '{print int($10 / 1024)}' "$work/gl.txt" || echo 0; }
held() { [[ -s "$work/gl.txt" ]] && awk '{print int($12 / 1024)}' "$work/gl.txt" || echo 0; }
# own: anonymous and shared-memory resident kB; rss: all resident kB.
own() { awk '/^RssAnon:|^RssShmem:/ {n += $2} END {print n}' "/proc/$pid/status"; }
rss() { awk '/^VmRSS:/ {print $2}' "/proc/$pid/status"; }
sample() { echo "$((SECONDS - launched)) $(frames) $(rss) $(own) $(heap) $(held)" >>"$work/rss.log"; }

# Seconds, frames, RSS, malloc's blocks in use and its free space between them (kB) every 10 s from the start; the baseline is the
# first sample after the fire is full (and at least two frames a second were drawn, so
# that a particle could be added at every step).
launched=$SECONDS
echo "# seconds frames rss_kB own_kB heap_kB free_kB" >"$work/rss.log"
while (( SECONDS - launched < 90 )); do
  sleep 10
  kill -0 $pid 2>/dev/null || fail "the demo ended by itself: $(cat "$work/out" "$work/err")"
  sample
done
(( $(frames) >= 180 )) || fail "only $(frames) frames in the first 90 s"
start=$SECONDS
base=$(own)
base_rss=$(rss)
base_heap=$(heap)
base_held=$(held)
cp "/proc/$pid/smaps" "$work/smaps.base"
peak=$base
samples=("$base")
while (( SECONDS - start < seconds )); do
  sleep 10
  kill -0 $pid 2>/dev/null || fail "the demo ended by itself after $((SECONDS - launched)) s: $(tail -5 "$work/err")"
  sample
  now=$(own)
  samples+=("$now")
  (( now > peak )) && peak=$now
done
end=$(own)
tenth=$(( (${#samples[@]} + 9) / 10 ))
floor() { printf '%s\n' "$@" | sort -n | head -1; }
first_floor=$(floor "${samples[@]:0:tenth}")
last_floor=$(floor "${samples[@]: -tenth}")
end_rss=$(rss)
end_heap=$(heap)
end_held=$(held)
cp "/proc/$pid/smaps" "$work/smaps.end"

# q ends it; the window is the one the demo made.
win=$(xdotool search --pid $pid --name '^nork velandor$' | head -1)
xdotool key --window "$win" q 2>/dev/null
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
status=0
wait $pid || status=$?
pid=0
(( status == 0 )) || finding "q after the soak: status $status"

read -r _ nframes _ nerrors _ first _ at _ _ <"$work/gl.txt"
echo "frames: $nframes in $seconds s ($(( nframes / seconds )) per second), GL errors: $nerrors"
echo "own memory: $base kB at 150 particles, $end kB at the end, $peak kB at most (+$((peak - base)) kB)"
echo "own memory floor: $first_floor kB in the first tenth, $last_floor kB in the last (+$((last_floor - first_floor)) kB)"
echo "all resident: $base_rss kB at 150 particles, $end_rss kB at the end"
echo "malloc heap: $base_heap kB at 150 particles, $end_heap kB at the end (in use)"
echo "malloc free space: $base_held kB at 150 particles, $end_held kB at the end (held between blocks)"
keep

(( nerrors == 0 )) || finding "GL error $first first raised in frame $at ($nerrors in all)"
(( last_floor - first_floor < rss_limit_kb )) ||
  finding "own resident memory grew by $((last_floor - first_floor)) kB"

heard=-1
status=0
result=$("$check" "$work/capture.raw" "$NV_ROOT/data/tarn1.ogg" "$NV_ROOT/data/tarn2.ogg") || status=$?
echo "audio: $result"
summary=$(tail -1 <<<"$result")
[[ $summary == lead* ]] && heard=$(awk '{print $6}' <<<"$summary")
(( status == 0 )) || finding "audio capture: $(head -3 <<<"$result")"
printed=$(grep -cx "Sound 2" "$work/out" || true)
# The device may hold one start that the mixer has made but the capture has not yet got.
if (( heard >= 0 )); then
  (( printed == heard || printed == heard + 1 )) ||
    finding "\"Sound 2\" printed $printed times for $heard starts of the second piece"
  echo "\"Sound 2\": $printed printed, $heard starts in the capture"
fi
others=$(grep -vx "Sound 2" "$work/out" || true)
[[ -z "$others" ]] || finding "other lines on standard output: $others"
[[ ! -s "$work/err" ]] || finding "standard error: $(head -5 "$work/err")"
(( ${#failures[@]} == 0 )) || exit 1
echo "ok: soak of $seconds s"
