# Shared by the scripts: paths, the build, and a private Xvfb.
NV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
NV_JOBS=$(nproc 2>/dev/null || echo 2)

# nv_build DIR [cmake options...]: configure once, then build.
nv_build() {
  local dir=$1; shift
  cmake -S "$NV_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$NV_JOBS"
}

# nv_start_xvfb [WxHxD]: starts Xvfb on a free display, exports DISPLAY and
# stops the server when the calling shell exits. The server picks the display number
# itself (-displayfd), so that two scripts starting at once never share one.
nv_start_xvfb() {
  local screen=${1:-1280x1024x24} fdfile n="" i
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp +extension GLX 3>"$fdfile" >/dev/null 2>&1 &
  NV_XVFB_PID=$!
  # The number is written, with a newline, once the server accepts connections.
  for i in $(seq 1 600); do
    [[ $(tail -c 1 "$fdfile" 2>/dev/null | od -An -tx1) == *0a* ]] && { n=$(head -1 "$fdfile"); break; }
    kill -0 "$NV_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$fdfile"
  if [[ -n "$n" ]] && DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
    export DISPLAY=":$n"
    trap 'kill $NV_XVFB_PID 2>/dev/null || true' EXIT
    return 0
  fi
  kill "$NV_XVFB_PID" 2>/dev/null || true
  echo "could not start Xvfb" >&2
  return 1
}
