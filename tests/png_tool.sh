#!/usr/bin/env bash
# nork png: the header report and result for every shipped image, RGBA8888
# output equal to ImageMagick's decoding, and the exit codes of the failures.
set -euo pipefail
tool="$NV_BUILD/tools/nork/nork"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$work"

shopt -s nullglob
images=("$NV_ROOT"/data/*.png)
[[ ${#images[@]} -gt 0 ]] || fail "no images in $NV_ROOT/data"
for f in "${images[@]}"; do
  out=$("$tool" png "$f") || fail "nork png $f: status $?"
  grep -q $'^\tBit depth: 8$' <<<"$out" || fail "$f: no header report: $out"
  grep -q $'^\tResult: 0, decoded' <<<"$out" || fail "$f: not decoded: $out"
  "$tool" png --rgba "$work/out.rgba" "$f" || fail "nork png --rgba $f: status $?"
  convert "$f" -depth 8 rgba:"$work/ref.rgba"
  cmp -s "$work/out.rgba" "$work/ref.rgba" || fail "$f: RGBA pixels differ from ImageMagick's"
  [[ -f DUMMY.RAW ]] || fail "$f: no DUMMY.RAW"
  echo "ok: $(basename "$f")"
done

printf 'not a png at all' >bad.png
set +e
"$tool" png bad.png >out.txt; s1=$?
"$tool" png missing.png 2>err.txt; s2=$?
"$tool" png --rgba only-out 2>/dev/null; s3=$?
"$tool" png 2>/dev/null; s4=$?
set -e
[[ $s1 -eq 3 ]] || fail "bad signature: status $s1, expected 3"
grep -q 'Result: 4097' out.txt || fail "bad signature not reported: $(cat out.txt)"
[[ $s2 -eq 2 ]] || fail "missing file: status $s2, expected 2"
grep -q "cannot read 'missing.png'" err.txt || fail "missing file message: $(cat err.txt)"
[[ $s3 -eq 1 && $s4 -eq 1 ]] || fail "bad arguments: status $s3 $s4, expected 1"
echo "ok: failures and exit codes"
