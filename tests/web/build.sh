#!/usr/bin/env bash
# Builds the browser edition into $NV_BUILD/web/site, and the show in one file
# ($NV_BUILD/web/velandor.html), for the browser tests, with the data this build packs.
set -euo pipefail
source "$NV_ROOT/scripts/lib/common.sh"
[[ -x "$NV_BUILD/src/nork-pack" && -f "$NV_BUILD/src/velandor_files.txt" ]] ||
  { echo "FAIL: no packed archive in $NV_BUILD/src"; exit 1; }
command -v emcmake >/dev/null || { echo "FAIL: emcmake not found (scripts/install-deps installs emscripten)"; exit 1; }
nv_build_web "$NV_BUILD" "$NV_BUILD/web"
site="$NV_BUILD/web/site"
bytes=$(find "$site" -type f ! -name '*.br' ! -name '*.gz' ! -name velandor.html -printf '%s\n' | awk '{ s += $1 } END { print s }')
echo "ok: site in $site, $bytes bytes (without the compressed copies and the one file):"
(cd "$site" && find . -type f ! -name '*.br' ! -name '*.gz' -printf '%10s %p\n' | sort -k2)
echo "ok: the show in one file: $(stat -c %s "$NV_BUILD/web/velandor.html") bytes"
