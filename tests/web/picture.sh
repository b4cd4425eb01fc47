#!/usr/bin/env bash
# The browser edition's picture against the desktop demo's, both rendered in this run: at
# held frames of a clock that moves half a second a frame (show times 0, 3 and 90 s), without
# sound (so the letterbox holds still), the canvas in headless Chromium at 1280x1024 and the
# demo's window on Xvfb at 1280x1024 must agree to at least 30 dB PSNR over the letterbox.
# The same comparison must fail for pages drawn wrongly on purpose (lighting off, a wrong
# blend function, texturing off), so that it is shown to see such faults.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"
site="$NV_BUILD/web/site"
[[ -f "$site/velandor.wasm" ]] || fail "no browser edition in $site (the web_build test makes it)"
[[ -x "$NV_BUILD/tests/nv_psnr" ]] || fail "no nv_psnr in $NV_BUILD/tests"
out="$NV_BUILD/web_picture"
rm -rf "$out"
mkdir -p "$out"
step=500000
min_psnr=40
start_xvfb 1280x1024x24

# native NAME FRAME: the demo's window at frame FRAME.
native() {
  local dir="$work/$1"
  mkdir "$dir"
  touch "$work/hold"
  launch "$dir" NV_CLOCK_STEP_US=$step NV_HOLD_AT="$2" NV_HOLD_WHILE="$work/hold" FSOUND_OUTPUT=off
  window >/dev/null
  wait_frames "$dir" "$2"
  sleep 0.3
  shot "$out/$1.png"
  rm -f "$work/hold"
  finish || fail "the demo ended with status $?"
}

# psnr A B: over the letterbox (720 rows in the middle of 1024), by the tests' own comparison.
psnr() {
  local v
  v=$("$NV_BUILD/tests/nv_psnr" --area 1280x720+0+152 "$1" "$2" 2>&1 || true)
  [[ "$v" == inf* ]] && v=99
  echo "$v"
}

held=(t0:1 t3:7 t90:181)
breaks=(emission blend texture) # deliberate faults of the GL layer, drawn at 90 s
cases=()
for h in "${held[@]}"; do
  native "native_${h%%:*}" "${h##*:}"
  cases+=("web_${h%%:*}:${h##*:}:clock_step_us=$step&fsound_output=off")
done
for broken in "${breaks[@]}"; do
  cases+=("broken_${broken}:181:clock_step_us=$step&fsound_output=off&gl_break=$broken")
done
node "$NV_ROOT/tests/web/shots.js" "$site" "$out" "${cases[@]}" || fail "the browser's screenshots"

# judge WHAT NATIVE WEB SHOULD_PASS: one comparison, said; a wrong verdict sets status.
status=0
judge() {
  local v passes=0
  v=$(psnr "$2" "$3")
  awk -v v="$v" -v m=$min_psnr 'BEGIN { exit !(v >= m) }' && passes=1
  if (( passes == $4 )); then
    echo "ok: $1: $v dB$( (( passes )) || echo ", refused")"
  else
    echo "FAIL: $1: $v dB ($( (( $4 )) && echo "at least $min_psnr wanted" || echo "passes the comparison"); shots in $out)"
    status=1
  fi
}
for h in "${held[@]}"; do
  judge "${h%%:*}" "$out/native_${h%%:*}.png" "$out/web_${h%%:*}.png" 1
done
for broken in "${breaks[@]}"; do
  judge "drawn with $broken broken" "$out/native_t90.png" "$out/broken_$broken.png" 0
done
exit $status
