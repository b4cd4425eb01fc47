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
grep -q "missing.png: cannot read: No such file" err.txt || fail "missing file message: $(cat err.txt)"
[[ $s3 -eq 1 && $s4 -eq 1 ]] || fail "bad arguments: status $s3 $s4, expected 1"
echo "ok: failures and exit codes"

# Inputs that are no PNG file at all are refused at once, before any read, by
# both forms alike: a device, a directory, a FIFO with no writer, a file larger
# than the library can hold.
mkdir adir
mkfifo fifo
truncate -s 3G huge.png
check() { # STATUS REASON ARGS...
  local want=$1 reason=$2 got=0; shift 2
  timeout 10 "$tool" "$@" >out.txt 2>err.txt || got=$?
  [[ $got -eq $want ]] || fail "nork $*: status $got, expected $want: $(cat err.txt)"
  [[ -z "$reason" ]] || grep -qF -- "$reason" err.txt || fail "nork $*: message lacks '$reason': $(cat err.txt)"
}
for form in "" "--rgba refused.rgba"; do
  # shellcheck disable=SC2086
  check 2 "/dev/zero: cannot read: not a regular file" png $form /dev/zero
  check 2 "adir: cannot read: is a directory" png $form adir
  check 2 "fifo: cannot read: not a regular file" png $form fifo
  check 3 "huge.png: 3221225472 bytes, larger than any PNG" png $form huge.png
done
[[ ! -e refused.rgba ]] || fail "a refused --rgba wrote its output"

# What the decoder cannot take is named: bit depth, interlacing, colour type.
convert -size 4x4 xc:red -depth 16 PNG48:deep.png
convert -size 8x8 gradient: -interlace PNG PNG24:laced.png
convert -size 8x8 gradient: -colorspace gray -depth 8 PNG:grey.png
cp grey.png ct5.png
printf '\x05' | dd of=ct5.png bs=1 seek=25 conv=notrunc status=none  # colour type; the CRC is not checked
for f in "deep.png:bit depth 16" "laced.png:interlaced" "ct5.png:colour type 5"; do
  check 3 "" png "${f%%:*}"
  grep -q "Result: -1, unsupported: ${f#*:}" out.txt || fail "${f%%:*}: $(cat out.txt)"
  check 3 "unsupported: ${f#*:}" png --rgba refused.rgba "${f%%:*}"
done

# A PNG the decoder takes but the image layer refuses (sides over 65535) is
# reported as refused, as --rgba refuses it.
python3 - wide.png <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
ihdr = struct.pack('>IIBBBBB', 70000, 1, 8, 0, 0, 0, 0)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(bytes(70001))) + chunk(b'IEND', b'')
open(sys.argv[1], 'wb').write(png)
PY
check 3 "" png wide.png
grep -q $'^\tResult: 0, decoded' out.txt && grep -q $'^\tImage: refused: 70000 x 1 pixels' out.txt ||
  fail "wide.png report: $(cat out.txt)"
check 3 "wide.png: refused: 70000 x 1 pixels" png --rgba refused.rgba wide.png

# Grey images reach the texture as grey: --rgba writes what the texture holds.
"$tool" png --rgba grey.rgba grey.png || fail "nork png --rgba grey.png: status $?"
convert grey.png -depth 8 rgba:grey.ref
cmp -s grey.rgba grey.ref || fail "grey.png: RGBA pixels differ from ImageMagick's"
echo "ok: refusals say what and why"

# The report form writes DUMMY.RAW as the demo does, and says when it could not.
check 0 "" png grey.png
grep -q $'^\tDUMMY.RAW: written$' out.txt || fail "report does not say DUMMY.RAW was written: $(cat out.txt)"
cmp -s DUMMY.RAW <(convert grey.png -depth 8 gray:-) || fail "DUMMY.RAW is not the decoded pixels"
mkdir blocked && cp grey.png blocked/ && mkdir blocked/DUMMY.RAW
(cd blocked && check 2 "DUMMY.RAW: cannot write" png grey.png)
grep -q $'^\tDUMMY.RAW: not written' blocked/out.txt || fail "failed DUMMY.RAW not in the report: $(cat blocked/out.txt)"
echo "ok: DUMMY.RAW written or said not to be"
