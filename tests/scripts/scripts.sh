#!/usr/bin/env bash
# Every script answers alike, as a newcomer tries them: --help prints its usage on standard
# output with status 0, and a bad argument is refused with the reason and the usage on
# standard error and status 1, both at once, before anything is installed or built. The
# scripts run from a copy of scripts/ (with the fuzz targets' names) alone, so that one that
# went on to install or build fails here quickly instead of doing it. (scripts/run's options
# are the demo's, refused by the demo: tests/e2e/fresh_clone.sh.)
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"

copy="$work/copy"
mkdir -p "$copy/fuzz"
cp -r "$NV_ROOT/scripts" "$copy/scripts"
cp "$NV_ROOT"/fuzz/fuzz_*.cpp "$copy/fuzz/"
# Anything the scripts would install, build or start stands in the way: a script that goes
# past its arguments finds these first, and says so.
mkdir -p "$work/bin"
for tool in apt-get sudo dpkg-query cmake emcmake ctest Xvfb; do
  printf '#!/bin/sh\necho "%s was called" >&2\nexit 99\n' "$tool" >"$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done
export PATH="$work/bin:$PATH"

# answer EXPECTED SCRIPT ARGS...: runs the copy's SCRIPT, checks its status and where its
# words went; the output is left in $work/out and $work/err.
answer() {
  local expected=$1 script=$2 status=0 said
  shift 2
  timeout 20 "$copy/scripts/$script" "$@" >"$work/out" 2>"$work/err" || status=$?
  said="scripts/$script $*: status $status; out: $(head -3 "$work/out"); err: $(head -3 "$work/err")"
  (( status == expected )) || fail "$said"
  if (( expected == 0 )); then
    [[ -s "$work/out" && ! -s "$work/err" ]] || fail "$said"
    grep -q "scripts/$script" "$work/out" || fail "the usage does not show how to call it: $said"
  else
    [[ ! -s "$work/out" ]] || fail "$said"
    [[ $(head -1 "$work/err") == "scripts/$script: "* ]] || fail "no reason first: $said"
    grep -q "^ *scripts/$script" "$work/err" || fail "no usage after the reason: $said"
  fi
  ! grep -q " was called" "$work/err" || fail "went past its arguments: $said"
}

for script in capture fuzz install-deps package run screenshot test web; do
  answer 0 "$script" --help
  answer 0 "$script" -h
done
echo "ok: every script's --help and -h print its usage with status 0, before anything else"

answer 1 capture
answer 1 capture out.mp4 --fps sixty
answer 1 capture out.mp4 --seconds
answer 1 fuzz
answer 1 fuzz fuzz_png abc
answer 1 fuzz fuzz_png 1m
answer 1 fuzz fuzz_nosuch 5
grep -q "fuzz_archive fuzz_music_stream fuzz_oia fuzz_png fuzz_scroller" "$work/err" ||
  fail "an unknown fuzz target is refused without naming the real ones: $(head -1 "$work/err")"
answer 1 install-deps --yes
answer 1 package --bogus
answer 1 screenshot
answer 1 screenshot shot.jpg
answer 1 screenshot /nonexistent/shot.png
answer 1 test --bogus
answer 1 test -L
answer 1 test -j many
answer 1 web --port 0
answer 1 web --serve
echo "ok: a bad argument to each is refused with the reason, the usage and status 1, at once"
[[ $(find "$copy" -mindepth 1 -maxdepth 1 | wc -l) -eq 2 ]] || fail "left behind: $(ls "$copy")"
