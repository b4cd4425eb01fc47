#!/usr/bin/env bash
# The browser edition's sound layer under Node: the demo's music taken through its capture
# output for 62 s of video frames (the first piece, the second, and the second again), built
# with Emscripten. The mix must be libvorbisfile's decode of the pieces to a least significant
# bit, "Sound 2" printed in the video frame holding each piece's last frame, and the mix and
# the spectrum of every video frame those of the native layer on the same frames (the
# checker does not count silence that lasts to the capture's end; the comparison does).
# Skipped without em++.
set -euo pipefail
frames=3720
root="$NV_ROOT"
wasm_build="$NV_BUILD/sound_web"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

if ! command -v em++ >/dev/null || ! command -v emcmake >/dev/null || ! command -v node >/dev/null; then
  echo "SKIP: em++, emcmake or node is missing (Debian packages emscripten, nodejs)"
  exit 77
fi
# Debian's Emscripten finds its JavaScript modules there whichever node is first on the PATH.
export NODE_PATH=/usr/share/nodejs

emcmake cmake -S "$root/tests/sound_web" -B "$wasm_build" -DCMAKE_BUILD_TYPE=Release \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configuring the Emscripten build"; }
cmake --build "$wasm_build" -j2 >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "building with Emscripten"; }

mkdir "$work/web" "$work/native"
"$NV_BUILD/tests/nv_mkogg" "$work/web/rate48k.ogg" sine 48000 0.2 440 >/dev/null
node --no-experimental-fetch "$wasm_build/sound_web_run.js" "$work/web" $frames --checks \
  >"$work/web/run.log" 2>&1 || { grep -v '^video frame' "$work/web/run.log"; fail "the web run"; }
source "$root/tests/sound_web/check.sh"
check_against_native "$work/web" "$work/native" $frames
echo "ok: wasm $(stat -c %s "$wasm_build/sound_web_run.wasm") bytes (both pieces embedded)"
