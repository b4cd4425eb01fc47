#!/usr/bin/env bash
# The browser edition's sound in headless Chromium: 62 s of its capture output (the first
# piece, the second, the second again) must be libvorbisfile's decode of the pieces to a least
# significant bit, with "Sound 2" in the console once per end of a piece, in the video frame
# holding the piece's last sample; and the mix and every frame's spectrum must be the desktop
# layer's on the same frames (the first bin crossing 0.3, the beat, in the same frames).
set -euo pipefail
source "$NV_ROOT/scripts/lib/common.sh"
site="$NV_BUILD/web/site"
[[ -f "$site/velandor.wasm" ]] || { echo "FAIL: no browser edition in $site (the web_build test makes it)"; exit 1; }
frames=3720
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
mkdir "$work/web" "$work/native"

node "$NV_ROOT/tests/web/sound.js" "$site" "$work/web" $frames | tee "$work/web.out" || fail "the browser's run"
grep -qx '"Sound 2" in the console 2 times' "$work/web.out" || fail "\"Sound 2\" should reach the console twice in $frames frames"
(cd "$NV_ROOT" && "$NV_BUILD/tests/nv_sound_web_run" "$work/native" $frames) >"$work/native/run.log" 2>&1 ||
  { grep -v '^video frame' "$work/native/run.log"; fail "the native run"; }

check=$("$NV_BUILD/tests/nv_capture_check" "$work/web/mix.raw" "$NV_ROOT/data/tarn1.ogg" "$NV_ROOT/data/tarn2.ogg") ||
  fail "the browser's mix: $check"
echo "browser's mix: $check"
read -r _ lead _ total _ starts _ diff _ <<<"$(tail -n1 <<<"$check")"
(( lead == 0 )) || fail "the music began $lead frames late"
(( total == frames * 735 )) || fail "$total frames for $frames video frames"
(( starts == 2 )) || fail "the second piece started $starts times"
(( diff <= 1 )) || fail "the mix is $diff steps from the decode"
"$NV_BUILD/tests/nv_sound_web_compare" "$work/native" "$work/web" "$NV_ROOT/data/tarn1.ogg" "$NV_ROOT/data/tarn2.ogg" ||
  fail "the browser's mix, spectrum or callbacks differ from the desktop layer's"
echo "ok: the browser's sound is the desktop's"
