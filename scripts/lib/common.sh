# shellcheck shell=bash
# Shared by the scripts: paths, their usage, the build, and a private Xvfb.
NV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
NV_JOBS=$(nproc 2>/dev/null || echo 2)

# Every script answers alike: --help prints its usage (its opening comment) with status 0, a
# bad argument is refused with the reason and the usage and status 1, both before anything
# is installed or built.
NV_SCRIPT="scripts/${0##*/}"

# nv_usage: the calling script's opening comment, from its second line to the first line that
# is not a comment, without the comment marks.
nv_usage() { awk 'NR == 1 { next } !/^#/ { exit } { sub(/^# ?/, ""); print }' "$0"; }

# nv_refuse REASON: the reason and the usage on standard error, and status 1.
nv_refuse() {
  echo "$NV_SCRIPT: $1" >&2
  nv_usage >&2
  exit 1
}

# nv_help "$@": the usage and status 0 when the script is asked for --help (or -h).
nv_help() {
  [[ "${1:-}" == -h || "${1:-}" == --help ]] || return 0
  (( $# == 1 )) || nv_refuse "$1 takes nothing beside it"
  nv_usage
  exit 0
}

# nv_no_arguments "$@": for the scripts that take none.
nv_no_arguments() { (( $# == 0 )) || nv_refuse "unknown argument '$1'"; }

# nv_start_xvfb [WxHxD [XVFB_OPTION...]]: starts Xvfb on a free display (with GLX unless the
# options say "-extension GLX"), exports DISPLAY and
# stops the server when the calling shell exits. Display numbers are tried from a random
# start, skipping any with a lock or a socket (a server that is still going away would
# remove the socket of a new one on its number); a display is ours only once its lock
# file holds our server's pid, so that two scripts starting at once never share one.
# -noreset: the server would otherwise start over when its last client leaves (the check
# below is one), and a client connecting just then is turned away.
# nv_display_in_use N: a lock file or a socket holds display :N (a server that is still going
# away may hold one of them only).
nv_display_in_use() { [[ -e /tmp/.X$1-lock || -e /tmp/.X11-unix/X$1 ]]; }

nv_start_xvfb() {
  local screen=${1:-1280x1024x24} n
  shift || true
  for _ in $(seq 1 50); do
    n=$(( 100 + RANDOM % 800 ))
    nv_display_in_use "$n" && continue
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp -noreset +extension GLX "$@" >/dev/null 2>&1 &
    NV_XVFB_PID=$!
    for _ in $(seq 1 300); do
      kill -0 "$NV_XVFB_PID" 2>/dev/null || break
      if [[ "$(tr -d ' \n' 2>/dev/null <"/tmp/.X$n-lock")" == "$NV_XVFB_PID" ]] &&
         DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
        export DISPLAY=":$n"
        trap 'kill $NV_XVFB_PID 2>/dev/null || true' EXIT
        return 0
      fi
      sleep 0.1
    done
    kill "$NV_XVFB_PID" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2
  return 1
}

# Emscripten's tools look for their Node modules through NODE_PATH, which a node on the
# PATH other than Debian's does not set.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

# nv_version BUILD: the project's version as that configured build holds it.
nv_version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"; }

# nv_build_web NATIVE_BUILD WEB_BUILD: the browser edition, built with Emscripten, in
# WEB_BUILD/site (and the show in one file, WEB_BUILD/velandor.html), its data packed by the
# packer of NATIVE_BUILD, a native build that has packed the linked-in archive.
nv_build_web() {
  local native=$1 web=$2
  emcmake cmake -S "$NV_ROOT/web" -B "$web" -DNV_NATIVE_BUILD="$native" >/dev/null
  cmake --build "$web" -j"$NV_JOBS"
}

# nv_logged LOG COMMAND...: runs COMMAND with all its output appended to LOG, and shows on
# standard error only the build's own progress from it, CMake's "[ 42%] Building ..." lines
# (not the "Built target" lines of what was already up to date), so that a long build is
# never silent and a quick one says nothing. If COMMAND fails, the end of LOG follows, with
# where the whole of it is. Returns COMMAND's status.
nv_logged() {
  local log=$1 status
  shift
  "$@" 2>&1 | tee -a "$log" | sed -u -n '/\] Built target /d; /^\[ *[0-9]\+%\] /p' >&2
  status=${PIPESTATUS[0]}
  if (( status != 0 )); then
    tail -30 "$log" >&2
    echo "${0#"$NV_ROOT"/}: the build failed (whole log: $log)" >&2
  fi
  return "$status"
}

# nv_build_logged LOG DIR [cmake options...] [-- TARGET...]: the build in DIR configured
# (in the build type cmake/common.cmake chooses unless the options say otherwise) and its
# TARGETs built (everything without), both through nv_logged into LOG, which starts empty.
nv_build_logged() {
  local log=$1 dir=$2 opts=() targets=()
  shift 2
  while (( $# > 0 )) && [[ "$1" != -- ]]; do opts+=("$1"); shift; done
  (( $# > 1 )) && targets=(--target "${@:2}")
  mkdir -p "$(dirname "$log")"
  : >"$log"
  nv_logged "$log" cmake -S "$NV_ROOT" -B "$dir" "${opts[@]}" &&
    nv_logged "$log" cmake --build "$dir" -j"$NV_JOBS" "${targets[@]}"
}

# nv_fuzz_build DIR TARGET...: the libFuzzer targets built with clang (ASan and UBSan) in
# DIR, a build of their own (they need clang's instrumentation; other builds may use gcc),
# through nv_build_logged into DIR/build.log. Returns 77, saying why, without clang.
nv_fuzz_build() {
  local dir=$1
  shift
  if ! command -v clang >/dev/null || ! command -v clang++ >/dev/null; then
    echo "the fuzz targets need clang, which is not installed (scripts/install-deps installs it)"
    return 77
  fi
  CC=clang CXX=clang++ nv_build_logged "$dir/build.log" "$dir" -DNV_FUZZ=ON -DNV_TESTS=OFF -- "$@"
}

# nv_fuzz_run DIR TARGET SECONDS [CORPUS]: runs TARGET of the fuzz build in DIR for SECONDS
# over the committed seeds in fuzz/corpus/<TARGET without fuzz_>/, which are read, never
# written, and CORPUS, where new inputs go (without one, a scratch corpus that goes with the
# run). It runs in a scratch folder (the decoders write DUMMY.RAW where they run), its output
# in DIR/TARGET.log. A crash, leak or sanitizer report fails it: the end of the log is shown
# and the input is left in DIR/artifacts. Prints the executions run; returns 77 when TARGET
# was not built.
nv_fuzz_run() {
  local dir=$1 target=$2 seconds=$3 corpus=${4:-} scratch status=0 runs
  local bin="$dir/fuzz/$target" seeds="$NV_ROOT/fuzz/corpus/${target#fuzz_}" log="$dir/$target.log"
  if [[ ! -x "$bin" ]]; then
    echo "$bin was not built"
    return 77
  fi
  scratch=$(mktemp -d "$dir/run-$target.XXXXXX")
  [[ -n "$corpus" ]] || corpus="$scratch/corpus"
  mkdir -p "$corpus" "$dir/artifacts"
  local inputs=("$corpus")
  [[ -d "$seeds" ]] && inputs+=("$seeds")
  (cd "$scratch" && "$bin" -max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=3 \
     -artifact_prefix="$dir/artifacts/$target-" "${inputs[@]}") >"$log" 2>&1 || status=$?
  rm -rf "$scratch"
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  if (( status != 0 )); then
    tail -60 "$log"
    echo "$target: FAILED after $runs executions (log: $log)"
    return 1
  fi
  echo "$target: $runs executions in ${seconds}s, no finding"
}
