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
source "$NV_ROOT/tests/web/sound/check.sh"
check_against_native "$work/web" "$work/native" $frames
echo "ok: the browser's sound is the desktop's"
