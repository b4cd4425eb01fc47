#!/usr/bin/env bash
# The show as a hack of the real XScreenSaver (Debian's xscreensaver 6): the build installed
# into a folder, the daemon started on a server of the test's own with a configuration that
# names the installed hack the way the README tells users to ("GL: nork-velandor --root"),
# activated with xscreensaver-command: the hack runs, its show is on the screen; deactivated:
# the hack is gone within seconds, having said nothing. The daemon refuses to run as root, so
# under root it runs as "nobody" (or a system user the test makes when there is none).
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
command -v xscreensaver >/dev/null || fail "xscreensaver is not installed (scripts/install-deps installs it)"

# Everything the daemon's user reads or writes lies under $work, which that user must reach.
chmod 755 "$work"
stage="$work/stage"
cmake --install "$NV_BUILD" --prefix "$stage/usr" >"$work/install.log" 2>&1 || fail "install: $(tail "$work/install.log")"
hack="$stage/usr/libexec/xscreensaver/nork-velandor"
[[ -L "$hack" && -x "$hack" ]] || fail "no hack at $hack"
program=$(readlink -f "$stage/usr/libexec/nork-velandor/velandor")

as_user=()
if (( $(id -u) == 0 )); then
  user=nobody
  if ! id -u "$user" >/dev/null 2>&1; then
    user=nvsaver
    id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
  fi
  as_user=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups)
fi
mkdir -p "$work/home" "$work/cache"
cat >"$work/home/.xscreensaver" <<'CONFIG'
mode: one
selected: 0
lock: False
fade: False
unfade: False
splash: False
timeout: 1:00:00
programs: GL: nork-velandor --root \n
CONFIG
(( ${#as_user[@]} == 0 )) || chown -R "$user" "$work/home" "$work/cache"

start_xvfb 1280x1024x24
daemon=0
trap '[[ $daemon -ne 0 ]] && kill $daemon 2>/dev/null; cleanup' EXIT
"${as_user[@]}" env HOME="$work/home" XDG_CACHE_HOME="$work/cache" PATH="$stage/usr/bin:$PATH" \
  xscreensaver --no-splash --verbose >"$work/daemon.log" 2>&1 &
daemon=$!
for _ in $(seq 1 300); do
  xscreensaver-command -version >/dev/null 2>&1 && break
  kill -0 $daemon 2>/dev/null || fail "the daemon ended: $(cat "$work/daemon.log")"
  sleep 0.1
done

# hacks: the pids of the installed show that are running (not the launcher's check of the
# display before it).
hacks() {
  local p
  for p in $(pgrep -x velandor || true); do
    [[ $(readlink "/proc/$p/exe" 2>/dev/null) == "$program" ]] &&
      [[ $(tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null) != *--check-display* ]] && echo "$p"
  done
  return 0
}

xscreensaver-command -activate >/dev/null 2>&1 || fail "xscreensaver-command -activate: $(cat "$work/daemon.log")"
for _ in $(seq 1 300); do [[ -n "$(hacks)" ]] && break; sleep 0.1; done
running=$(hacks)
[[ -n "$running" ]] || fail "the hack did not start: $(tail -20 "$work/daemon.log")"
[[ $(tr '\0' ' ' <"/proc/$running/cmdline") == "nork-velandor --root " ]] ||
  fail "the hack runs as: $(tr '\0' ' ' <"/proc/$running/cmdline")"
# The show on the screen: the sky's dark blue at the top of the 720-row letterbox, the middle
# of the picture not black. A loaded machine may take a while to the first frame.
for _ in $(seq 1 100); do
  shot "$work/saver.png"
  sky=$(pixel "$work/saver.png" 1275 160)
  is_sky "$sky" && break
  sleep 0.2
done
is_sky "$sky" || { cp "$work/saver.png" "$NV_BUILD/e2e_xscreensaver.png"; fail "no sky on the screen: $sky"; }
read -ra middle <<<"$(pixel "$work/saver.png" 640 700)"
(( middle[0] + middle[1] + middle[2] > 60 )) || fail "the middle of the screen is black"
echo "ok: activated, XScreenSaver runs 'nork-velandor --root' (pid $running) and the show is on the screen"

xscreensaver-command -deactivate >/dev/null 2>&1 || fail "xscreensaver-command -deactivate"
for _ in $(seq 1 100); do [[ -z "$(hacks)" ]] && break; sleep 0.1; done
[[ -z "$(hacks)" ]] || fail "the hack still runs ten seconds after the deactivation"
# After the daemon's banner, every line is one of XScreenSaver's own programs'.
said=$(awk '/^xscreensaver/ { own = 1 } own && !/^xscreensaver/ && NF' "$work/daemon.log")
[[ -z "$said" ]] || fail "the hack said: $said"
grep -q "killing pid $running (nork-velandor)" "$work/daemon.log" || fail "the daemon did not end the hack: $(tail "$work/daemon.log")"
echo "ok: deactivated, the hack is gone and said nothing"

xscreensaver-command -exit >/dev/null 2>&1 || true
for _ in $(seq 1 100); do kill -0 $daemon 2>/dev/null || break; sleep 0.1; done
wait $daemon 2>/dev/null || true
daemon=0
