# shellcheck shell=bash
# Sourced by the browser sound tests: check_against_native WEB_DIR NATIVE_DIR FRAMES holds a
# capture run of the browser's sound layer (mix.raw, spectrum.f32, run.log in WEB_DIR) against
# the desktop layer's run over the same FRAMES video frames of 1/60 s (NATIVE_DIR, made here
# with nv_sound_web_run): the mix is libvorbisfile's decode of the two pieces to a least
# significant bit, the music starts at once, the second piece starts twice, and the mix, every
# frame's spectrum and the frames of "Sound 2" are the desktop layer's. Needs fail, NV_ROOT and
# NV_BUILD.
check_against_native() {
  local web=$1 native=$2 frames=$3 check
  (cd "$NV_ROOT" && "$NV_BUILD/tests/nv_sound_web_run" "$native" "$frames") >"$native/run.log" 2>&1 ||
    { grep -v '^video frame' "$native/run.log"; fail "the native run"; }
  check=$("$NV_BUILD/tests/nv_capture_check" "$web/mix.raw" "$NV_ROOT/data/tarn1.ogg" "$NV_ROOT/data/tarn2.ogg") ||
    fail "the web mix: $check"
  echo "web mix: $check"
  local lead total starts diff
  read -r _ lead _ total _ starts _ diff _ <<<"$(tail -n1 <<<"$check")"
  (( lead == 0 )) || fail "the music began $lead frames late"
  (( total == frames * 735 )) || fail "$total frames for $frames video frames"
  (( starts == 2 )) || fail "the second piece started $starts times"
  (( diff <= 1 )) || fail "the mix is $diff steps from the decode"
  "$NV_BUILD/tests/nv_sound_web_compare" "$native" "$web" "$NV_ROOT/data/tarn1.ogg" "$NV_ROOT/data/tarn2.ogg" ||
    fail "the web mix, spectrum or callbacks differ from the native layer's"
}
