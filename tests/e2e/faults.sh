#!/usr/bin/env bash
# The demo when its files or its sound are not what they should be. Every run here uses the
# probe's frame clock (0.1 s of show time per frame) and is held at frame 128 (12.8 s: the
# fire has started) for its screenshot, so that the picture is the same in every run and
# each can be compared, pixel for pixel, with the picture of a normal run:
#   reference       the repository's data, no audio output ("Error: Sound Init failed.",
#                   the show runs silent);
#   empty directory everything drawn from the linked-in archive; the music is not there:
#                   "Sound: LoadSong 4" (file not found) and silence; the logo scene's
#                   picture data/wisp.png (only ever on disk) is missing too;
#   no tarn2.ogg    only the second piece missing: the same message, nothing plays;
#   broken ./data   damaged and different pictures, model, font and text in ./data change
#                   nothing, since the archive is searched first.
# Each run prints exactly its one line, nothing on standard error, and ends on q with 0.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"

start_xvfb 1280x1024x24

# run NAME EXPECTED-LINE VAR=value...: the demo in $work/NAME, a screenshot of its frame 128
# to $work/NAME.png, then on to q.
run() {
  local name=$1 line=$2
  shift 2
  : >"$work/$name.hold"
  launch "$work/$name" NV_CLOCK_STEP_US=100000 NV_HOLD_AT=128 NV_HOLD_WHILE="$work/$name.hold" "$@"
  wait_frames "$work/$name" 128
  shot "$work/$name.png"
  rm "$work/$name.hold"
  local status=0
  finish || status=$?
  (( status == 0 )) || fail "$name: q gave status $status"
  [[ "$(cat "$work/$name.out")" == "$line" ]] ||
    fail "$name: standard output was '$(cat "$work/$name.out")', expected '$line'"
  [[ ! -s "$work/$name.err" ]] || fail "$name: standard error: $(cat "$work/$name.err")"
}

# same NAME: the run's picture is the reference's.
same() {
  local n
  n=$(compare -metric AE "$work/reference.png" "$work/$1.png" null: 2>&1 || true)
  if [[ "$n" != 0 ]]; then
    cp "$work/$1.png" "$NV_BUILD/e2e_faults_$1.png"
    cp "$work/reference.png" "$NV_BUILD/e2e_faults_reference.png"
    fail "$1: $n pixels differ from the reference (pictures in $NV_BUILD)"
  fi
}

# silent NAME: the disk driver wrote only zeros.
silent() {
  [[ -s "$work/$1.raw" ]] || fail "$1: the disk driver wrote nothing"
  [[ $(tr -d '\0' <"$work/$1.raw" | wc -c) -eq 0 ]] || fail "$1: sound was played"
}

mkdir "$work/reference"
ln -s "$NV_ROOT/data" "$work/reference/data"
run reference "Error: Sound Init failed." SDL_AUDIODRIVER=nonexistent
# The picture has the scene in it: sky, tower, grass, flares and logo differ from each other.
colours=$(convert "$work/reference.png" -crop 1280x720+0+152 +repage -colors 64 -unique-colors \
  -format "%w" info:)
(( colours >= 32 )) || fail "reference: only $colours colours in the letterbox"
echo "ok: no audio output: one line, the show runs"

mkdir "$work/empty"
run empty "Sound: LoadSong 4" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/empty.raw"
same empty
silent empty
cmp -s "$work/reference/DUMMY.RAW" "$work/empty/DUMMY.RAW" ||
  fail "empty: DUMMY.RAW differs from the reference's"
echo "ok: from an empty directory: the whole picture from the archive, LoadSong, silence"

mkdir -p "$work/half/data"
cp "$NV_ROOT/data/tarn1.ogg" "$work/half/data/"
run half "Sound: LoadSong 4" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/half.raw"
same half
silent half
echo "ok: without data/tarn2.ogg: LoadSong and silence, the same picture"

mkdir -p "$work/broken/data"
d="$work/broken/data"
head -c 3000 /dev/urandom >"$d/turm.png"
head -c 100 "$NV_ROOT/data/nork.png" >"$d/nork.png"
: >"$d/burst.png"
convert -size 64x64 xc:red "$d/grass.png"
convert -size 64x64 xc:yellow "$d/MossGlade.png"
printf 'NoIA\377\377\377\377' >"$d/brackenhold-0.oia"
echo "not the scroll text" >"$d/scroll1.txt"
run broken "Error: Sound Init failed." SDL_AUDIODRIVER=nonexistent
same broken
echo "ok: broken and different files in ./data change nothing"
