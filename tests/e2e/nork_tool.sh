#!/usr/bin/env bash
# The nork tool end to end: archive round trips, usage, and one-line failures
# with their exit codes; find through the demo's sources.
set -euo pipefail
nork="$NV_BUILD/tools/nork/nork"
root="$NV_ROOT"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0

fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

# expect STATUS CMD...: runs CMD in the current directory, checks its status,
# keeps its output in $tmp/out and $tmp/err.
expect() {
  local want=$1; shift
  local got=0
  "$@" >"$tmp/out" 2>"$tmp/err" || got=$?
  [[ $got -eq $want ]] || fail "'$*' exited $got, expected $want: $(cat "$tmp/err")"
}

# A failure says one line on stderr, naming what it is about.
one_line_naming() {
  local lines
  lines=$(wc -l <"$tmp/err")
  [[ $lines -eq 1 ]] || fail "expected one line on stderr, got $lines: $(cat "$tmp/err")"
  grep -qF -- "$1" "$tmp/err" || fail "stderr does not name '$1': $(cat "$tmp/err")"
}

# --- usage -------------------------------------------------------------------
expect 0 "$nork" --help
grep -q 'exit status' "$tmp/out" || fail "nork --help lacks the exit codes"
grep -q '^  ar ' "$tmp/out" && grep -q '^  find ' "$tmp/out" || fail "nork --help lacks a command"
expect 0 "$nork" ar --help
grep -q 'nork ar create ARCHIVE FILE' "$tmp/out" || fail "nork ar --help lacks create"
expect 1 "$nork";                      one_line_naming "nork"
expect 1 "$nork" frobnicate;           one_line_naming "frobnicate"
expect 1 "$nork" ar;                   one_line_naming "ar"
expect 1 "$nork" ar list;              one_line_naming "ar list"
expect 1 "$nork" ar extract x;         one_line_naming "ar extract"
expect 1 "$nork" find;                 one_line_naming "find"

# --- round trip --------------------------------------------------------------
mkdir -p "$tmp/pack/data/sub"
cd "$tmp/pack"
head -c 3053 /dev/urandom >data/turm.png
head -c 31797 /dev/urandom >data/grass.png
: >data/empty.txt
printf 'scroll\0' >data/sub/scroll1.txt
expect 0 "$nork" ar create out.ndar data/turm.png data/grass.png data/empty.txt data/sub/scroll1.txt
[[ ! -s "$tmp/err" ]] || fail "create wrote to stderr: $(cat "$tmp/err")"
expect 0 "$nork" ar list out.ndar
printf 'data/turm.png\t8\t3053\ndata/grass.png\t3069\t31797\ndata/empty.txt\t34874\t0\ndata/sub/scroll1.txt\t34882\t7\n' >"$tmp/want"
cmp -s "$tmp/out" "$tmp/want" || fail "list: $(cat "$tmp/out")"
for f in data/turm.png data/grass.png data/empty.txt data/sub/scroll1.txt; do
  expect 0 "$nork" ar extract out.ndar "$f" "$tmp/extracted"
  cmp -s "$f" "$tmp/extracted" || fail "extract $f to a file differs"
  expect 0 "$nork" ar extract out.ndar "$f"
  cmp -s "$f" "$tmp/out" || fail "extract $f to stdout differs"
done
# Re-packing the extracted entries gives the same archive.
expect 0 "$nork" ar create again.ndar data/turm.png data/grass.png data/empty.txt data/sub/scroll1.txt
cmp -s out.ndar again.ndar || fail "repacking gave a different archive"

# --- bad input ---------------------------------------------------------------
expect 2 "$nork" ar list missing.ndar;                  one_line_naming "missing.ndar"
expect 2 "$nork" ar list data;                          one_line_naming "data"
expect 3 "$nork" ar list data/turm.png;                 one_line_naming "data/turm.png"
head -c 2000 out.ndar >truncated.ndar
expect 3 "$nork" ar list truncated.ndar;                one_line_naming "truncated.ndar"
expect 3 "$nork" ar extract truncated.ndar data/turm.png; one_line_naming "truncated.ndar"
expect 4 "$nork" ar extract out.ndar data/none.png;     one_line_naming "data/none.png"
expect 4 "$nork" ar extract out.ndar DATA/TURM.PNG;     one_line_naming "out.ndar"
expect 2 "$nork" ar extract out.ndar data/turm.png /nonexistent/dir/x; one_line_naming "/nonexistent/dir/x"
# A damaged name offset in the directory: the lookup refuses the archive.
cp out.ndar damaged.ndar
dir=$(od -An -t u4 -j $(( $(stat -c %s damaged.ndar) - 4 )) -N 4 damaged.ndar | tr -d ' ')
printf '\xff\xff' | dd of=damaged.ndar bs=1 seek=$((dir + 5 + 4)) conv=notrunc status=none
expect 3 "$nork" ar list damaged.ndar;                  one_line_naming "damaged.ndar"
expect 3 "$nork" ar extract damaged.ndar data/grass.png; one_line_naming "damaged.ndar"
expect 2 "$nork" ar create bad.ndar data/turm.png no-such-file; one_line_naming "no-such-file"
[[ ! -e bad.ndar && ! -e bad.ndar.tmp ]] || fail "a failed create left a file behind"
truncate -s 3G huge.bin
expect 5 "$nork" ar create huge.ndar huge.bin;          one_line_naming "huge.ndar"
[[ ! -e huge.ndar ]] || fail "an impossible archive was written"
expect 2 "$nork" ar create /nonexistent/dir/x.ndar data/turm.png; one_line_naming "/nonexistent/dir/x.ndar"

# --- find --------------------------------------------------------------------
cd "$root"
if [[ -f data/scroll1.txt ]]; then
  expect 0 "$nork" find data/scroll1.txt
  grep -q '^data/scroll1.txt: found in the linked-in archive' "$tmp/out" || fail "find: $(cat "$tmp/out")"
  grep -q '^  found @ ' "$tmp/out" || fail "find shows no trace: $(cat "$tmp/out")"
fi
expect 4 "$nork" find data/no-such-file.png
grep -q '^data/no-such-file.png: not found' "$tmp/out" || fail "find missing: $(cat "$tmp/out")"
grep -q "couldn't find data/no-such-file.png" "$tmp/out" || fail "find missing: no trace"

# Only in "." and only in "..": the directory sources, in that order.
mkdir -p "$tmp/up/data" "$tmp/up/work/data"
printf 'here' >"$tmp/up/work/data/only-here.txt"
printf 'parent' >"$tmp/up/data/only-up.txt"
printf 'parent' >"$tmp/up/data/only-here.txt"
cd "$tmp/up/work"
expect 0 "$nork" find data/only-here.txt data/only-up.txt
grep -q '^data/only-here.txt: found in directory "\." as \./data/only-here.txt, 4 bytes' "$tmp/out" ||
  fail "find .: $(cat "$tmp/out")"
grep -q '^data/only-up.txt: found in directory "\.\." as \.\./data/only-up.txt, 6 bytes' "$tmp/out" ||
  fail "find ..: $(cat "$tmp/out")"

if [[ $fails -ne 0 ]]; then
  echo "$fails check(s) failed"
  exit 1
fi
echo "nork tool: all checks passed"
