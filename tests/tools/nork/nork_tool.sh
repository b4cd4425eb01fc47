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

# --- the user's files are safe ---------------------------------------------------
# The output goes through a fresh temporary file: an input or a bystander whose
# name looks like a temporary one is neither packed over nor removed.
printf 'mine' >keep.ndar.tmp
printf 'other' >out2.ndar.tmp
expect 0 "$nork" ar create keep.ndar keep.ndar.tmp
[[ $(cat keep.ndar.tmp) == mine ]] || fail "create destroyed its input keep.ndar.tmp"
expect 0 "$nork" ar extract keep.ndar keep.ndar.tmp "$tmp/x" && cmp -s keep.ndar.tmp "$tmp/x" || fail "keep.ndar"
expect 0 "$nork" ar create out2.ndar data/turm.png
[[ $(cat out2.ndar.tmp) == other ]] || fail "create overwrote out2.ndar.tmp"
# A write that fails (the file size limit here, a full disk elsewhere) is an
# error, not a signal, and leaves the old file and no temporary one.
printf 'old' >old.bin
got=0; (ulimit -f 1; exec "$nork" ar extract out.ndar data/grass.png old.bin) 2>"$tmp/err" || got=$?
[[ $got -eq 2 ]] || fail "extract over the size limit exited $got, expected 2"
one_line_naming "old.bin"
[[ $(cat old.bin) == old ]] || fail "a failed extract changed the old file"
got=0; (ulimit -f 1; exec "$nork" ar extract out.ndar data/grass.png >"$tmp/stdout.bin") 2>"$tmp/err" || got=$?
[[ $got -eq 2 ]] || fail "extract to standard output over the size limit exited $got, expected 2"
# An entry under the stdio buffer's size: every write succeeds and only the
# flush before the rename finds the limit.
printf 'old' >small.bin
got=0; (ulimit -f 1; exec "$nork" ar extract out.ndar data/turm.png small.bin) 2>"$tmp/err" || got=$?
[[ $got -eq 2 ]] || fail "a 3053-byte extract over the size limit exited $got, expected 2"
one_line_naming "small.bin: cannot write"
[[ $(cat small.bin) == old ]] || fail "a failed flush replaced the old file: $(stat -c %s small.bin) bytes"
got=0; (ulimit -f 1; exec "$nork" ar create big.ndar data/grass.png) 2>"$tmp/err" || got=$?
[[ $got -eq 2 && ! -e big.ndar ]] || fail "create over the size limit exited $got or left big.ndar"
leftovers=$(find . -name '.nork-*')
[[ -z "$leftovers" ]] || fail "temporary files left behind: $leftovers"
# Stopped by a signal halfway through an archive: the temporary file goes with
# the tool, and the old archive stays as it was.
cp out.ndar stopped.ndar
truncate -s 1900M "$tmp/huge.bin"
"$nork" ar create stopped.ndar "$tmp/huge.bin" 2>"$tmp/err" & writer=$!
for _ in $(seq 500); do [[ -n $(find . -maxdepth 1 -name '.nork-*') ]] && break; sleep 0.01; done
kill -TERM "$writer"
got=0; wait "$writer" || got=$?
rm -f "$tmp/huge.bin"
[[ $got -eq 143 ]] || fail "create stopped by SIGTERM exited $got, expected 143 (killed by the signal)"
leftovers=$(find . -name '.nork-*')
[[ -z "$leftovers" ]] || fail "a stopped create left its temporary file: $leftovers"
cmp -s out.ndar stopped.ndar || fail "a stopped create changed the old archive"
# Permissions of a new output follow the umask; a replaced one keeps its own.
(umask 027; "$nork" ar extract out.ndar data/turm.png perm.bin)
[[ $(stat -c %a perm.bin) == 640 ]] || fail "new output mode $(stat -c %a perm.bin), expected 640"
chmod 600 perm.bin
"$nork" ar extract out.ndar data/grass.png perm.bin
[[ $(stat -c %a perm.bin) == 600 ]] || fail "replaced output mode $(stat -c %a perm.bin), expected 600"

# Archives that every lookup would refuse, or partly, are not made.
expect 1 "$nork" ar create none.ndar;                   one_line_naming "none.ndar"
expect 1 "$nork" ar create dup.ndar data/turm.png data/grass.png data/turm.png; one_line_naming "data/turm.png"
expect 1 "$nork" ar create data/turm.png data/grass.png data/turm.png; one_line_naming "data/turm.png"
# An archive name forgotten: the first file is not replaced by an archive,
# unless asked for; an archive is replaced as it stands.
expect 1 "$nork" ar create data/turm.png data/grass.png; one_line_naming "data/turm.png: not replaced"
grep -q "not an NDAR archive" "$tmp/err" || fail "refusal does not say why: $(cat "$tmp/err")"
cp data/grass.png victim.png
expect 0 "$nork" ar create --force victim.png data/turm.png
expect 0 "$nork" ar list victim.png
expect 0 "$nork" ar create victim.png data/grass.png
expect 0 "$nork" ar extract victim.png data/grass.png "$tmp/x" && cmp -s data/grass.png "$tmp/x" || fail "victim.png"
[[ ! -e none.ndar && ! -e dup.ndar ]] || fail "a refused archive was written"
cmp -s data/turm.png "$tmp/pack/data/turm.png" || fail "the archive replaced its own input"
# Names with a tab, a line break, a backslash or another control byte (0x01, 0x1f,
# 0x7f: hexadecimal digits that read the same in base 10, and two that do not) are
# listed escaped, one line each.
odd=("$(printf 'tab\tname')" "$(printf 'line\nbreak')" 'back\slash' "$(printf 'ctl\001one')"
     "$(printf 'unit\037sep')" "$(printf 'del\177ete')")
for i in "${!odd[@]}"; do printf '%s' "$i" >"${odd[i]}"; done
expect 0 "$nork" ar create odd.ndar "${odd[@]}"
expect 0 "$nork" ar list odd.ndar
printf '%s\t%s\t1\n' 'tab\tname' 8 'line\nbreak' 17 'back\\slash' 26 'ctl\x01one' 35 'unit\x1fsep' 44 \
  'del\x7fete' 53 >"$tmp/want"
cmp -s "$tmp/out" "$tmp/want" || fail "list of odd names: $(cat -A "$tmp/out")"
# A listed name, pasted back as it stands, extracts that entry: the one bash's own
# printf %b reads it as.
while IFS=$'\t' read -r listed _ _; do
  expect 0 "$nork" ar extract --escaped odd.ndar "$listed"
  cmp -s "$tmp/out" "$(printf '%b' "$listed")" || fail "extract --escaped '$listed' gave '$(cat "$tmp/out")'"
done <"$tmp/want"
expect 0 "$nork" ar extract --escaped odd.ndar 'back\\slash' "$tmp/x"
cmp -s 'back\slash' "$tmp/x" || fail "extract --escaped of a backslash"
expect 1 "$nork" ar extract --escaped odd.ndar 'back\slash'; one_line_naming 'back\slash'

# Conventions: "-" is standard output, "--" ends the options, --help everywhere.
expect 0 "$nork" ar extract out.ndar data/turm.png -
cmp -s data/turm.png "$tmp/out" && [[ ! -e - ]] || fail "extract to '-' did not go to standard output"
cp out.ndar ./-dash.ndar
expect 0 "$nork" ar list -- -dash.ndar
expect 1 "$nork" ar list -dash.ndar;                   one_line_naming "unknown option '-dash.ndar'"
for sub in create list extract; do
  expect 0 "$nork" ar "$sub" --help
  grep -q "^usage: nork ar $sub " "$tmp/out" && ! grep -q "nork ar [a-z]* " <(grep -v "nork ar $sub\|SUBCOMMAND" "$tmp/out") ||
    fail "nork ar $sub --help: $(cat "$tmp/out")"
done
for cmd in find png oia; do
  expect 0 "$nork" "$cmd" --help
  grep -q "^usage: nork $cmd" "$tmp/out" || fail "nork $cmd --help: $(cat "$tmp/out")"
done

# Messages name the file and the real reason.
mkdir -p adir
expect 2 "$nork" ar create adir/ data/turm.png;        one_line_naming "adir/: cannot write: is a directory"
expect 2 "$nork" ar create adir data/turm.png;         one_line_naming "adir: cannot write: is a directory"
expect 1 "$nork" ar create "" data/turm.png;           one_line_naming "empty archive name"
expect 1 "$nork" ar create e.ndar "";                  one_line_naming "empty file name"
expect 2 "$nork" ar list adir;                         one_line_naming "adir: cannot read: is a directory"
mkfifo fifo
expect 2 timeout 10 "$nork" ar list fifo;              one_line_naming "fifo: cannot read: not a regular file"
expect 2 timeout 10 "$nork" ar create f.ndar fifo;     one_line_naming "fifo: cannot read: not a regular file"

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
grep -q '^  \.\.\. (earlier lines left out)$' "$tmp/out" || fail "find: the cut trace is not marked: $(cat "$tmp/out")"

# Only in "." and only in "..": the directory sources, in that order.
mkdir -p "$tmp/up/data" "$tmp/up/work/data"
printf 'here' >"$tmp/up/work/data/only-here.txt"
printf 'parent' >"$tmp/up/data/only-up.txt"
printf 'parent' >"$tmp/up/data/only-here.txt"
cd "$tmp/up/work"
expect 0 "$nork" find data/only-here.txt data/only-up.txt
grep -q '^data/only-here.txt: found in directory "\." as \./data/only-here.txt, 4 bytes; not in the linked-in archive' "$tmp/out" ||
  fail "find .: $(cat "$tmp/out")"
grep -q '^data/only-up.txt: found in directory "\.\." as \.\./data/only-up.txt, 6 bytes' "$tmp/out" ||
  fail "find ..: $(cat "$tmp/out")"
# There, but more than the library loads: said so, not "not found".
truncate -s 3G data/huge.bin
expect 3 "$nork" find data/huge.bin
grep -q '^data/huge.bin: in directory "\." as \./data/huge.bin, but too large' "$tmp/out" ||
  fail "find of a huge file: $(cat "$tmp/out")"

# --- the README's examples, as typed -----------------------------------------------
# From the repository root, with the tool this test runs (the lines that build it
# and put it on the PATH aside); they succeed and leave the clone as it was.
examples=$(sed -n '/^## The nork tool/,/^## /p' "$root/README.md" | sed -n 's/^    //p' |
  grep -v '^cmake \|^export PATH=')
[[ $(grep -c '^nork ' <<<"$examples") -ge 8 ]] || fail "the README's nork examples were not found"
before=$(git -C "$root" status --porcelain 2>/dev/null || true)
(cd "$root" && PATH="$(dirname "$nork"):$PATH" TMPDIR="$tmp" bash -euo pipefail -c "$examples") \
  >"$tmp/out" 2>"$tmp/err" || fail "the README's nork examples failed: $(cat "$tmp/err")"
after=$(git -C "$root" status --porcelain 2>/dev/null || true)
[[ "$after" == "$before" ]] || fail "the README's nork examples left files in the clone: $after"

if [[ $fails -ne 0 ]]; then
  echo "$fails check(s) failed"
  exit 1
fi
echo "nork tool: all checks passed"
