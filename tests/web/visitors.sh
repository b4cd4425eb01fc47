#!/usr/bin/env bash
# The page for visitors whose browsers differ (see visitors.js).
set -euo pipefail
source "$NV_ROOT/scripts/lib/common.sh"
site="$NV_BUILD/web/site"
[[ -f "$site/velandor.wasm" ]] || { echo "FAIL: no browser edition in $site (the web_build test makes it)"; exit 1; }
out="$NV_BUILD/web_visitors"
rm -rf "$out"
mkdir -p "$out"
node "$NV_ROOT/tests/web/visitors.js" "$site" "$out"
