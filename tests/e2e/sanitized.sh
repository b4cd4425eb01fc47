#!/usr/bin/env bash
# The whole demo built with AddressSanitizer and UndefinedBehaviorSanitizer, run for two
# minutes (NV_SAN_SECONDS) from the repository's data with the music through SDL's disk
# driver: the first piece and a start of the second pass, the fire fills. Then q: status 0,
# and standard error holds no report (the leak check at exit included; tests/helpers/lsan.supp
# names what lives on purpose until the process ends).
#   scripts/test --sanitize -R e2e_sanitized
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"
seconds=${NV_SAN_SECONDS:-120}
[[ -n "$asan" ]] || fail "$exe is not built with AddressSanitizer"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$NV_ROOT/tests/helpers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

start_xvfb 1280x1024x24
mkdir "$work/run"
ln -s "$NV_ROOT/data" "$work/run/data"
launch "$work/run" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw"
window >/dev/null
start=$SECONDS
while (( SECONDS - start < seconds )); do
  kill -0 $pid 2>/dev/null || fail "the demo ended after $((SECONDS - start)) s: $(head -60 "$work/run.err")"
  sleep 1
done
drawn=$(frames "$work/run")
status=0
finish || status=$?
[[ ! -s "$work/run.err" ]] || fail "reports on standard error: $(head -80 "$work/run.err")"
(( status == 0 )) || fail "q gave status $status"
sounds=$(grep -cx "Sound 2" "$work/run.out" || true)
echo "ok: $seconds s, $drawn frames, \"Sound 2\" $sounds times, no finding"
