#!/usr/bin/env bash
# The capture library's clock, as a program sees it: exactly the start (a whole second) at the
# first frame and k / fps after it at frame k, at a rate that divides a second and at one that
# does not. Needs the X server the tests run on.
set -euo pipefail
lib="$NV_BUILD/tools/capture/libvelandor_capture.so"
clock="$NV_BUILD/tests/nv_capture_clock"
fail() { echo "FAIL: $*"; exit 1; }
# A sanitizer build tolerates the preloaded library, as scripts/capture has the demo do; the
# GL driver's own allocations are not this test's concern.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0:detect_leaks=0"
for fps in 60 24; do
  out=$(LD_PRELOAD="$lib" NV_CAPTURE_FPS=$fps "$clock" 100 $fps 2>&1) || fail "at $fps frames per second: $out"
  echo "ok: $(tail -n1 <<<"$out")"
done
