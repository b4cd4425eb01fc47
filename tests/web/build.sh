#!/usr/bin/env bash
# Builds the browser edition into $NV_BUILD/web/site for the browser tests, with the archive
# this build packed.
set -euo pipefail
source "$NV_ROOT/scripts/lib/common.sh"
archive="$NV_BUILD/src/velandor.ndar"
[[ -f "$archive" ]] || { echo "FAIL: no packed archive at $archive"; exit 1; }
command -v emcmake >/dev/null || { echo "FAIL: emcmake not found (scripts/install-deps installs emscripten)"; exit 1; }
nv_build_web "$archive" "$NV_BUILD/web"
site="$NV_BUILD/web/site"
echo "ok: site in $site, $(du -cb "$site"/* | tail -1 | cut -f1) bytes:"
ls -l "$site"
