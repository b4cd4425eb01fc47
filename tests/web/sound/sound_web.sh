#!/usr/bin/env bash
# The browser edition's sound layer under Node: the demo's music taken through its capture
# output for 62 s of video frames (the first piece, the second, and the second again), built
# with Emscripten. The mix must be libvorbisfile's decode of the pieces to a least significant
# bit, "Sound 2" printed in the video frame holding each piece's last frame, and the mix and
# the spectrum of every video frame those of the native layer on the same frames (the
# checker does not count silence that lasts to the capture's end; the comparison does). The
# pieces reach the layer in chunks as the frames are taken, as they come over a network.
# A first piece ending on a video frame's edge must be announced in that frame. Which pieces
# play, and what their sources give, is one rule of the engine: the same pieces of several
# rates and channel counts go through both layers, each held to it. Skipped without em++
# (after the native layer's part).
set -euo pipefail
frames=3720
root="$NV_ROOT"
wasm_build="$NV_BUILD/sound_web"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A second of 330 Hz in the first channel and 550 Hz in the front right one (Vorbis's order).
mkdir "$work/formats"
pieces=()
make_piece() {
  local rate=$1 channels=$2; shift 2
  "$NV_BUILD/tests/nv_mkogg" "$work/formats/r$rate-c$channels.ogg" sine "$rate" 1 "$@" >/dev/null
  pieces+=("r$rate-c$channels.ogg")
}
make_piece 44100 1 330
make_piece 44100 3 330 440 550
make_piece 44100 4 330 550 660 770
make_piece 22050 1 330
make_piece 48000 2 330 550
# formats LOG RUN...: the pieces through a build of the run program; says how many played.
formats() {
  local log=$1; shift
  "$@" "$work/formats" --formats "${pieces[@]}" >"$log" 2>&1 || { cat "$log"; return 1; }
  echo "$(grep -c ': plays ' "$log") of ${#pieces[@]} play, $(grep -c ': refused$' "$log") refused"
}
said=$(formats "$work/formats/native.log" "$NV_BUILD/tests/nv_sound_web_run") || fail "the desktop layer against the engine's rule"
echo "ok: the desktop layer follows the engine's rule on pieces: $said"

if ! command -v em++ >/dev/null || ! command -v emcmake >/dev/null || ! command -v node >/dev/null; then
  echo "SKIP: em++, emcmake or node is missing (Debian packages emscripten, nodejs)"
  exit 77
fi
# Debian's Emscripten finds its JavaScript modules there whichever node is first on the PATH.
export NODE_PATH=/usr/share/nodejs

# A build configured from another folder (these files lay elsewhere once) is made afresh.
if [[ -f "$wasm_build/CMakeCache.txt" ]] &&
   ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$root/tests/web/sound" "$wasm_build/CMakeCache.txt"; then
  rm -rf "$wasm_build"
fi
emcmake cmake -S "$root/tests/web/sound" -B "$wasm_build" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; fail "configuring the Emscripten build"; }
cmake --build "$wasm_build" -j2 >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "building with Emscripten"; }

mkdir "$work/web" "$work/native"
"$NV_BUILD/tests/nv_mkogg" "$work/web/rate48k.ogg" sine 48000 0.2 440 >/dev/null
node --no-experimental-fetch "$wasm_build/sound_web_run.js" "$work/web" $frames --checks \
  >"$work/web/run.log" 2>&1 || { grep -v '^video frame' "$work/web/run.log"; fail "the web run"; }
source "$root/tests/web/sound/check.sh"
check_against_native "$work/web" "$work/native" $frames
echo "ok: wasm $(stat -c %s "$wasm_build/sound_web_run.wasm") bytes (both pieces embedded)"

said=$(formats "$work/formats/web.log" node --no-experimental-fetch "$wasm_build/sound_web_run.js") ||
  fail "the browser's layer against the engine's rule"
echo "ok: the browser's layer follows the engine's rule on pieces: $said"

# A first piece of exactly one second, 60 video frames of 735 output frames: "Sound 2" belongs
# to video frame 59, which holds its last frame, not to the frame after it.
mkdir -p "$work/edge/data"
"$NV_BUILD/tests/nv_mkogg" "$work/edge/data/tarn1.ogg" sine 44100 1 330 440 >/dev/null
"$NV_BUILD/tests/nv_mkogg" "$work/edge/data/tarn2.ogg" sine 44100 0.5 550 660 >/dev/null
node --no-experimental-fetch "$wasm_build/sound_web_run.js" "$work/edge" 62 --music-here \
  >"$work/edge/run.log" 2>&1 || { grep -v '^video frame' "$work/edge/run.log"; fail "the run of a piece ending on a frame's edge"; }
said_in=$(awk '/^video frame / { k = $3 } /^Sound 2$/ { print k; exit }' "$work/edge/run.log")
[[ "$said_in" == 59 ]] || fail "a piece ending with video frame 59 was announced in frame ${said_in:-none}"
echo "ok: a piece ending on a video frame's edge is announced in its last frame (59)"
