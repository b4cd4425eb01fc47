#!/usr/bin/env bash
# One fuzz target for a while (default 30 s), as scripts/fuzz runs it but on a scratch
# corpus: a crash, leak or sanitizer report fails the test and leaves the input in
# $NV_BUILD/fuzz-clang/artifacts. Exits 77 (skipped) when the fuzzers were not built.
#   run.sh TARGET [SECONDS]
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
nv_fuzz_run "$NV_BUILD/fuzz-clang" "$1" "${2:-30}" || exit $?
