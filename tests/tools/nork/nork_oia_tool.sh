#!/usr/bin/env bash
# nork oia: the summary of a small model, its OBJ export, and the exit codes for
# files that are missing, not models, or cut short.
set -euo pipefail
nork="$NV_BUILD/tools/nork/nork"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Three GL_V3F vertices (1,0,2) (-1,1,0) (0,2,-1) as little-endian floats.
printf 'NoIA\x01\x00\x00\x02\x00\x03' >"$dir/tri.oia"
printf '\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x00\x40' >>"$dir/tri.oia"
printf '\x00\x00\x80\xbf\x00\x00\x80\x3f\x00\x00\x00\x00' >>"$dir/tri.oia"
printf '\x00\x00\x00\x00\x00\x00\x00\x40\x00\x00\x80\xbf' >>"$dir/tri.oia"

out=$("$nork" oia "$dir/tri.oia")
grep -q 'format    GL_V3F (0x2a21), stride 12 bytes' <<<"$out" || fail "format line: $out"
grep -q 'vertices  3, triangles 1$' <<<"$out" || fail "count line: $out"
grep -q 'bounds    min (-1, 0, -1) max (1, 2, 2)' <<<"$out" || fail "bounds line: $out"
grep -q 'vertex 0  position (1, 0, 2)' <<<"$out" || fail "first vertex line: $out"

"$nork" oia --obj "$dir/tri.obj" "$dir/tri.oia" >/dev/null
grep -v '^#' "$dir/tri.obj" >"$dir/body"
printf 'v 1 0 2\nv -1 1 0\nv 0 2 -1\nf 1 2 3\n' | cmp - "$dir/body" || fail "OBJ export: $(cat "$dir/body")"

status() { set +e; "$nork" oia "$@" >"$dir/stdout" 2>"$dir/stderr"; echo $?; set -e; }
[[ $(status "$dir/none.oia") == 2 ]] || fail "missing file"
printf 'NoIA\x01\x00\x00\x03\x00\x01' >"$dir/mode.oia"
[[ $(status "$dir/mode.oia") == 3 ]] || fail "bad mode"
[[ $(cat "$dir/stdout") == 'Mode ->03 not supported!' ]] || fail "mode message: $(cat "$dir/stdout")"
head -c 30 "$dir/tri.oia" >"$dir/short.oia"
[[ $(status "$dir/short.oia") == 3 ]] || fail "short file"
grep -q 'cut short' "$dir/stderr" || fail "short file message: $(cat "$dir/stderr")"
# Not files at all: refused at once, the FIFO without waiting for a writer.
mkfifo "$dir/fifo"
for f in /dev/zero "$dir" "$dir/fifo"; do
  got=0; timeout 10 "$nork" oia "$f" >/dev/null 2>"$dir/stderr" || got=$?
  [[ $got == 2 ]] || fail "$f: status $got, expected 2"
  grep -q "cannot read: " "$dir/stderr" || fail "$f: $(cat "$dir/stderr")"
done
[[ $(status) == 1 ]] || fail "no file"
[[ $(status --obj "$dir/x.obj") == 1 ]] || fail "--obj without file"
echo "nork oia: ok"
