#!/usr/bin/env bash
# The Debian package as a user gets it: built from this build with CPack and unpacked into a
# temporary root. Its launcher answers --help (with every option) and --version without a
# display and, started without one, says what the demo needs before the demo's silent status
# 255, and with a display that cannot be opened says that in one line; the package
# depends on run-time libraries only and on every one its programs load, lintian finds no
# error, and the desktop entries and metadata validate. The XScreenSaver hack leads to the
# launcher, its description offers the music, the kiosk's user unit passes systemd's check.
# Then the unpacked launcher is started
# from an unrelated empty folder: the window opens, the music plays (the capture is the first
# piece, then the second, with "Sound 2" between), DUMMY.RAW lands in the per-user folder and
# nowhere else, and q ends it with status 0.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"
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
for option in --fullscreen --kiosk --size --window-id --root --sound --no-vsync; do
  grep -q -- "^  $option" <<<"$out" || fail "nork-velandor --help does not list $option"
done
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

# A display that is set but cannot be opened (a stale DISPLAY): one line, the demo's status.
stale=$(stale_display)
status=0
DISPLAY="$stale" HOME="$work/nodisplay" "$launcher" >"$work/stale.out" 2>"$work/stale.err" || status=$?
(( status == 255 )) || fail "nork-velandor with a stale display: status $status"
[[ ! -s "$work/stale.out" && $(wc -l <"$work/stale.err") -eq 1 ]] &&
  grep -q "^nork-velandor: cannot open the X display \"$stale\"" "$work/stale.err" ||
  fail "nork-velandor with a stale display said: $(cat "$work/stale.out" "$work/stale.err")"
echo "ok: with a stale display: $(cat "$work/stale.err")"

# The XScreenSaver hack: the launcher under XScreenSaver's folder, found through the link.
hack="$root/usr/libexec/xscreensaver/nork-velandor"
[[ -L "$hack" && $(readlink "$hack") != /* && $(readlink -f "$hack") == "$(readlink -f "$launcher")" ]] ||
  fail "the hack $hack does not lead to the launcher: $(ls -l "$hack" 2>&1)"
out=$(env -u DISPLAY "$hack" --version) && [[ "$out" == "nork-velandor $version" ]] || fail "the hack's --version: $out"
python3 - "$root/usr/share/xscreensaver/config/nork-velandor.xml" <<'PY' || fail "the hack's description"
import sys, xml.etree.ElementTree as ET
saver = ET.parse(sys.argv[1]).getroot()
assert saver.tag == "screensaver" and saver.get("name") == "nork-velandor" and saver.get("gl") == "yes", saver.attrib
assert [c.get("arg") for c in saver.iter("command")] == ["--root"], "command"
assert [b.get("arg-set") for b in saver.iter("boolean")] == ["--sound"], "the music's choice"
assert saver.findtext("_description").strip(), "description"
PY
entry="$root/usr/share/applications/screensavers/nork-velandor.desktop"
desktop-file-validate "$entry" || fail "the screensaver entry"
grep -qx "TryExec=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$NV_BUILD/CMakeCache.txt")/libexec/xscreensaver/nork-velandor" "$entry" ||
  fail "the screensaver entry's TryExec: $(grep TryExec "$entry")"
# The kiosk's unit as the user manager reads it, its command looked up in the unpacked root.
unit="$root/usr/lib/systemd/user/nork-velandor-kiosk.service"
grep -qx "Restart=on-failure" "$unit" && grep -q "^ExecStart=.*/bin/nork-velandor --kiosk$" "$unit" ||
  fail "the kiosk's unit: $(cat "$unit")"
mkdir -p "$work/unit" "$work/runtime"
sed "s|^ExecStart=.*/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$work/unit/nork-velandor-kiosk.service"
XDG_RUNTIME_DIR="$work/runtime" systemd-analyze verify --user --man=no "$work/unit/nork-velandor-kiosk.service" \
  >"$work/unit.log" 2>&1 && [[ ! -s "$work/unit.log" ]] || fail "systemd-analyze verify: $(cat "$work/unit.log")"
echo "ok: the hack leads to the launcher, its description offers --sound, the kiosk's unit verifies"

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
