#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build directory of their own, beside the
# test build (the fuzzers need clang's instrumentation; the tests may be built with gcc).
# Exits 77 (skipped) when clang is not there.
set -euo pipefail
dir="$NV_BUILD/fuzz-clang"
if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
  echo "skipped: the fuzz targets need clang (scripts/install-deps installs it)"
  exit 77
fi
CC=clang CXX=clang++ cmake -S "$NV_ROOT" -B "$dir" -DNV_FUZZ=ON -DNV_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$dir.log" 2>&1 || { tail -30 "$dir.log"; exit 1; }
cmake --build "$dir" -j"$(nproc)" --target "$@" >>"$dir.log" 2>&1 || { tail -40 "$dir.log"; exit 1; }
echo "built $* in $dir"
