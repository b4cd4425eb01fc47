#!/usr/bin/env bash
# The Debian package as a user gets it: built from this build with CPack and unpacked into a
# temporary root. Its launcher answers --help and --version without a display and, started
# without one, says what the demo needs before the demo's silent status 255; the package
# depends on run-time libraries only and on every one its programs load, lintian finds no
# error, and the desktop entry and metadata validate. Then the unpacked launcher is started
# from an unrelated empty folder: the window opens, the music plays (the capture is the first
# piece, then the second, with "Sound 2" between), DUMMY.RAW lands in the per-user folder and
# nowhere else, and q ends it with status 0.
set -euo pipefail
source "$NV_ROOT/tests/e2e/lib.sh"
if [[ -n "$asan" ]]; then
  echo "SKIP: a sanitized build is not packaged"
  exit 77
fi
version=$(nv_version "$NV_BUILD")
(cd "$NV_BUILD" && cpack -D CPACK_OUTPUT_FILE_PREFIX="$work/dist") >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(tail -20 "$work/cpack.log")"
deb="$work/dist/nork-velandor_${version}_$(dpkg --print-architecture).deb"
[[ -f "$deb" ]] || fail "no $(basename "$deb"): $(ls "$work/dist")"
root="$work/root"
dpkg-deb -x "$deb" "$root"
launcher="$root/usr/bin/nork-velandor"

# --help and --version without a display.
out=$(env -u DISPLAY "$launcher" --help) || fail "nork-velandor --help: status $?"
[[ "$out" == "Usage: nork-velandor"* ]] || fail "nork-velandor --help says: $out"
out=$(env -u DISPLAY "$launcher" --version) || fail "nork-velandor --version: status $?"
[[ "$out" == "nork-velandor $version" ]] || fail "nork-velandor --version says: $out"
out=$(env -u DISPLAY "$root/usr/bin/nork" --version) || fail "nork --version: status $?"
[[ "$out" == "nork (nork velandor) $version" ]] || fail "nork --version says: $out"
echo "ok: --help and --version without a display ($version)"

# Started without a display, the launcher says what is needed in one line and ends with the
# demo's own status (the demo says nothing then).
status=0
env -u DISPLAY HOME="$work/nodisplay" "$launcher" >"$work/nodisplay.out" 2>"$work/nodisplay.err" || status=$?
(( status == 255 )) || fail "nork-velandor without a display: status $status, not the demo's 255"
[[ ! -s "$work/nodisplay.out" && $(wc -l <"$work/nodisplay.err") -eq 1 ]] &&
  grep -q "X display.*xvfb-run .* nork-velandor$" "$work/nodisplay.err" ||
  fail "nork-velandor without a display said: $(cat "$work/nodisplay.out" "$work/nodisplay.err")"
echo "ok: without a display: $(cat "$work/nodisplay.err")"

# Run-time dependencies only, and all of them: every library a program names (the libraries
# those load come with their own packages' dependencies).
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" != *-dev* ]] || fail "a development package among the dependencies: $depends"
names=" $(tr ',|' '  ' <<<"$depends" | sed 's/([^)]*)//g' | tr -s ' ') "
while IFS= read -r elf; do
  while IFS= read -r lib; do
    owner=$(dpkg -S "$(readlink -f "$lib")" 2>/dev/null | head -1 | cut -d: -f1) || true
    [[ -z "$owner" ]] && owner=$(dpkg -S "$lib" 2>/dev/null | head -1 | cut -d: -f1) || true
    [[ -n "$owner" ]] || fail "no package holds $lib, which $(basename "$elf") loads"
    [[ "$names" == *" $owner "* ]] || fail "$(basename "$elf") loads $lib from $owner, which the package does not depend on: $depends"
  done < <(needed=$(objdump -p "$elf" | awk '/NEEDED/ {print $2}')
           ldd "$elf" | awk -v needed=" $(echo $needed) " '/=> \// && index(needed, " " $1 " ") {print $3}')
done < <(find "$root" -type f -perm -u+x -exec sh -c 'head -c4 "$1" | grep -q ELF' _ {} \; -print)
echo "ok: Depends: $depends"

lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || fail "lintian: $(grep -v 'root privileges' "$work/lintian.log")"
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "the desktop entry"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >"$work/appstream.log" 2>&1 ||
  fail "the AppStream metadata: $(cat "$work/appstream.log")"
echo "ok: lintian reports no error ($(grep -c '^W:' "$work/lintian.log" || true) warnings); desktop entry and metadata valid"

# start DIR [VAR=value...]: the unpacked launcher started in DIR.
start() {
  local dir=$1
  shift
  (cd "$dir" && exec env -u XDG_CACHE_HOME "$@" "$launcher") >"$work/run.out" 2>"$work/run.err" &
  pid=$!
}
start_xvfb 1280x1024x24
mkdir "$work/empty" "$work/home" "$work/cache"

# XDG_CACHE_HOME names the per-user folder's place.
start "$work/empty" HOME="$work/home" XDG_CACHE_HOME="$work/cache" SDL_AUDIODRIVER=dummy
window >/dev/null
finish || fail "q gave status $?"
[[ -f "$work/cache/nork-velandor/DUMMY.RAW" ]] || fail "no DUMMY.RAW under XDG_CACHE_HOME"

# Otherwise ~/.cache, with the music through SDL's disk driver.
start "$work/empty" HOME="$work/home" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw"
window >/dev/null
for _ in $(seq 1 900); do
  grep -qx "Sound 2" "$work/run.out" && break
  kill -0 $pid 2>/dev/null || fail "the demo ended: $(cat "$work/run.out" "$work/run.err")"
  sleep 0.1
done
grep -qx "Sound 2" "$work/run.out" || fail "no \"Sound 2\" after 90 s: $(cat "$work/run.out")"
sleep 2
status=0
finish || status=$?
(( status == 0 )) || fail "q gave status $status"
[[ ! -s "$work/run.err" ]] || fail "standard error: $(head -20 "$work/run.err")"
folder="$work/home/.cache/nork-velandor"
[[ -f "$folder/DUMMY.RAW" ]] || fail "no DUMMY.RAW in $folder"
[[ "$(readlink -f "$folder/data")" == "$(readlink -f "$root/usr/share/nork-velandor/data")" ]] ||
  fail "$folder/data leads to $(readlink "$folder/data")"
stray=$(find "$work/empty" "$root" "$work/home" -name DUMMY.RAW ! -path "$folder/*" ! -path "$work/cache/*")
[[ -z "$stray" ]] || fail "DUMMY.RAW also at $stray"
check=$("$NV_BUILD/tests/nv_capture_check" "$work/capture.raw" "$NV_ROOT/data/tarn1.ogg" "$NV_ROOT/data/tarn2.ogg") ||
  fail "the captured sound: $check"
echo "ok: started from an empty folder, ran in $folder, music: $(tail -1 <<<"$check"), q: status 0"
