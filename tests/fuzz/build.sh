#!/usr/bin/env bash
# Builds the libFuzzer targets given, as scripts/fuzz does, in a build directory of their
# own beside the test build. Exits 77 (skipped) when clang is not there.
#   build.sh TARGET...
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
nv_fuzz_build "$NV_BUILD/fuzz-clang" "$@" || exit $?
echo "built $* in $NV_BUILD/fuzz-clang"
