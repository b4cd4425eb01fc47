#!/usr/bin/env bash
# scripts/capture from the outside, at 320x180 on its own Xvfb, with no sound card:
#   - an output that cannot be written is refused before the first frame;
#   - the show, 5 s: exactly 300 frames and 5 s of picture, sound as long within one frame,
#     the first frame as the reference image (the lossless read-back of that frame), and a
#     second run decodes to the very same frames;
#   - a tune of kicks every half second (first piece 1.5 s, second piece 1 s, so that kicks
#     fall on every seam), 6 s: "Sound 2" once for every start of the second piece, each
#     kick in the file's sound at its exact time (no gap at the seams), and the letterbox
#     bouncing in the frame after the one whose sound holds the kick: the record the bounce
#     reads is updated at the end of a frame, so that is where the beat shows.
set -euo pipefail
analyse="$NV_BUILD/tests/nv_capture_analyse"
mkogg="$NV_BUILD/tests/nv_mkogg"
capture="$NV_ROOT/scripts/capture"
reference="$NV_ROOT/tests/data/capture_first_320x180.png"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
W=320 H=180 FPS=60 RATE=44100
FRAME=$(( RATE / FPS )) # sound frames per picture frame: 735

# The recordings need neither the display the tests run on nor a sound device: an SDL
# output would fail on this driver, and the music would be missing.
unset DISPLAY
export SDL_AUDIODRIVER=nv-no-such-driver

# ---- an output that cannot be written ----
# Refused at once with status 2, before the show starts: without the check a minute would be
# recorded first (the timeout stops that well before).
for bad in /nonexistent/c.mp4 "$work"; do
  status=0
  timeout 30 "$capture" "$bad" --seconds 60 --fps $FPS --size ${W}x$H >/dev/null 2>"$work/bad.err" || status=$?
  (( status == 2 )) || fail "output $bad: status $status, not 2: $(cat "$work/bad.err")"
  ! grep -q "frames per second" "$work/bad.err" || fail "output $bad: the recording started: $(cat "$work/bad.err")"
done
echo "ok: an output in a missing folder, or a folder as the output, is refused before the show"

# ---- the show ----
for run in a b; do
  "$capture" "$work/$run.mp4" --seconds 5 --fps $FPS --size ${W}x$H >"$work/$run.out" 2>"$work/$run.err" ||
    fail "capture $run failed: $(cat "$work/$run.err")"
done
grep -q "frames per second" "$work/a.err" || fail "no progress line: $(cat "$work/a.err")"
[[ ! -s "$work/a.out" ]] || fail "the demo said: $(cat "$work/a.out")"

probe() { # FILE STREAM ENTRY
  ffprobe -v error -count_frames -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1"
}
frames=$(probe "$work/a.mp4" v nb_read_frames)
(( frames == 5 * FPS )) || fail "$frames frames, not $(( 5 * FPS ))"
vdur=$(probe "$work/a.mp4" v duration)
adur=$(probe "$work/a.mp4" a duration)
[[ "$(probe "$work/a.mp4" v codec_name)" == h264 && "$(probe "$work/a.mp4" a codec_name)" == aac ]] ||
  fail "not H.264 and AAC"
awk -v v="$vdur" 'BEGIN { exit !(v > 4.999 && v < 5.001) }' || fail "the picture lasts $vdur s, not 5"
awk -v v="$vdur" -v a="$adur" -v f=$FPS 'BEGIN { d = v - a; if (d < 0) d = -d; exit !(d <= 1 / f) }' ||
  fail "picture $vdur s and sound $adur s differ by more than a frame"
# The decoded sound, counted: every sample of the 5 s, within one frame.
samples=$(( $(ffmpeg -v error -i "$work/a.mp4" -map 0:a -f s16le -ac 1 - | wc -c) / 2 ))
(( samples >= 5 * RATE - FRAME && samples <= 5 * RATE + FRAME )) ||
  fail "$samples sound samples, not $(( 5 * RATE ))"
echo "ok: $frames frames, picture $vdur s, sound $adur s ($samples samples)"

ffmpeg -v error -i "$work/a.mp4" -frames:v 1 -f rawvideo -pix_fmt rgb24 "$work/first.rgb"
ffmpeg -v error -i "$reference" -f rawvideo -pix_fmt rgb24 "$work/reference.rgb"
read -r mean far < <("$analyse" compare $W $H "$work/reference.rgb" "$work/first.rgb")
# The encoder's loss (halved colour planes, quantising) stays well under the difference of
# the next frames or of the picture upside down (means of 20 and 75).
awk -v m="$mean" -v f="$far" 'BEGIN { exit !(m < 8 && f < 0.01) }' || {
  ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -video_size ${W}x$H -i "$work/first.rgb" \
    "$NV_BUILD/capture_first_actual.png" || true
  fail "the first frame is off the reference: mean difference $mean, $far of the pixels far off" \
       "(kept as $NV_BUILD/capture_first_actual.png)"
}
echo "ok: the first frame matches the reference (mean difference $mean)"

for run in a b; do
  ffmpeg -v error -i "$work/$run.mp4" -map 0:v -f framemd5 - | grep -v '^#' >"$work/$run.md5"
done
[[ $(wc -l <"$work/a.md5") -eq $frames ]] || fail "framemd5 listed $(wc -l <"$work/a.md5") frames"
cmp -s "$work/a.md5" "$work/b.md5" || fail "two runs decode to different frames: $(diff "$work/a.md5" "$work/b.md5" | head -4)"
echo "ok: two runs give identical frames"

# ---- kicks across the seams ----
mkdir -p "$work/kicks/data"
"$mkogg" "$work/kicks/data/tarn1.ogg" kick $RATE 1.5 0.5
"$mkogg" "$work/kicks/data/tarn2.ogg" kick $RATE 1.0 0.5
NV_CAPTURE_DIR="$work/kicks" "$capture" "$work/kicks.mp4" --seconds 6 --fps $FPS --size ${W}x$H \
  >"$work/kicks.out" 2>"$work/kicks.err" || fail "the kick capture failed: $(cat "$work/kicks.err")"
# The second piece starts at 1.5 s and then every second: 5 times in 6 s.
starts=$(grep -cx "Sound 2" "$work/kicks.out" || true)
(( starts == 5 )) || fail "\"Sound 2\" printed $starts times for 5 starts: $(cat "$work/kicks.out")"
echo "ok: \"Sound 2\" at each of the 5 starts of the second piece"

ffmpeg -v error -i "$work/kicks.mp4" -map 0:a -f s16le -ac 1 - | "$analyse" onsets $RATE >"$work/onsets"
ffmpeg -v error -i "$work/kicks.mp4" -map 0:v -f rawvideo -pix_fmt rgb24 - |
  "$analyse" bands $W $H >"$work/bands"
(( $(wc -l <"$work/onsets") == 12 )) || fail "$(wc -l <"$work/onsets") kicks heard, not 12: $(tr '\n' ' ' <"$work/onsets")"
# Each kick where the tune puts it, to a few milliseconds: half a second apart, across seams.
awk -v r=$RATE 'BEGIN { bad = 0 }
  { want = (NR - 1) * r / 2; if ($1 < want || $1 > want + r / 200) { print "kick", NR, "at sample", $1, "not", want; bad = 1 } }
  END { exit bad }' "$work/onsets" || fail "a kick is out of place in the sound"
echo "ok: 12 kicks, each at its time in the sound"

# A bounce: the band the letterbox leaves uncovered grows by two rows or more at once. The
# bounce's height is the beat level times a tilt that grows with time from zero, so the
# kicks of the first 1.9 s lift it by less and are not looked for.
awk -v fps=$FPS -v r=$RATE -v from=1.9 '
  FNR == NR { kick[++kicks] = int($1 * fps / r); next }   # onsets: the frame that holds each
  { band = $2 > $3 ? $2 : $3; if (FNR > 1 && band >= prev + 2 && $1 >= from * fps) bounce[++bounces] = $1; prev = band }
  END {
    bad = 0; seen = 0
    for (i = 1; i <= kicks; i++) {
      if (kick[i] < from * fps) continue
      seen++; best = ""
      for (j = 1; j <= bounces; j++) {
        d = bounce[j] - 1 - kick[i]
        if (d >= -1 && d <= 1) best = d
      }
      if (best == "") { print "no bounce for the kick in frame", kick[i]; bad = 1 }
      else printf "kick in frame %d, bounce in frame %d\n", kick[i], kick[i] + 1 + best
    }
    if (seen < 8) { print "only", seen, "kicks to compare"; bad = 1 }
    if (bounces != seen) { print bounces, "bounces for", seen, "kicks"; bad = 1 }
    exit bad
  }' "$work/onsets" "$work/bands" >"$work/beats" || fail "bounces and kicks disagree: $(cat "$work/beats")"
echo "ok: the letterbox bounces with every kick: $(tr '\n' ';' <"$work/beats")"

# ---- the presets and supersampling ----
# Each still gives exactly the frames asked for, the same frames on every run; supersampling
# renders at twice the size and the video keeps the size asked for. The per-stage line is
# followed by where the CPU went.
grep -q "CPU per frame: the demo with its GL driver .* ms, the encoder .* ms" "$work/a.err" ||
  fail "no CPU line: $(cat "$work/a.err")"
for setting in "--quality fast" "--quality best" "--supersample 2"; do
  for run in a b; do
    # shellcheck disable=SC2086
    "$capture" "$work/s$run.mp4" --seconds 1 --fps $FPS --size ${W}x$H $setting >"$work/s.out" 2>"$work/s.err" ||
      fail "capture $setting failed: $(cat "$work/s.err")"
    ffmpeg -v error -i "$work/s$run.mp4" -map 0:v -f framemd5 - | grep -v '^#' >"$work/s$run.md5"
  done
  [[ $(wc -l <"$work/sa.md5") -eq $FPS ]] || fail "$setting: $(wc -l <"$work/sa.md5") frames, not $FPS"
  [[ "$(probe "$work/sa.mp4" v width)x$(probe "$work/sa.mp4" v height)" == "${W}x$H" ]] ||
    fail "$setting: the video is $(probe "$work/sa.mp4" v width)x$(probe "$work/sa.mp4" v height)"
  cmp -s "$work/sa.md5" "$work/sb.md5" || fail "$setting: two runs decode to different frames"
done
grep -q "rendered at $((2 * W))x$((2 * H))" "$work/s.err" || fail "--supersample 2 did not render at twice the size: $(cat "$work/s.err")"
echo "ok: --quality fast and best and --supersample 2 give the frames asked for, identical between runs"
for bad in "--quality superb" "--supersample 5" "--supersample 0"; do
  # shellcheck disable=SC2086
  status=0
  "$capture" "$work/bad.mp4" --seconds 1 $bad >/dev/null 2>"$work/bad.err" || status=$?
  (( status == 1 )) && grep -q '^  scripts/capture OUT.mp4' "$work/bad.err" ||
    fail "$bad: status $status, not 1 with the usage: $(cat "$work/bad.err")"
done
status=0
NV_CAPTURE_VIDEO_ARGS="-c:v libx264" "$capture" "$work/bad.mp4" --seconds 1 --quality fast >/dev/null 2>"$work/bad.err" || status=$?
(( status == 1 )) || fail "--quality with NV_CAPTURE_VIDEO_ARGS: status $status, not 1"
echo "ok: a wrong preset or factor, or a preset beside NV_CAPTURE_VIDEO_ARGS, is a usage error"
