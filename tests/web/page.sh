#!/usr/bin/env bash
# The page as a visitor meets it (see page.js).
set -euo pipefail
source "$NV_ROOT/scripts/lib/common.sh"
site="$NV_BUILD/web/site"
[[ -f "$site/velandor.wasm" ]] || { echo "FAIL: no browser edition in $site (the web_build test makes it)"; exit 1; }
out="$NV_BUILD/web_page"
rm -rf "$out"
mkdir -p "$out"
node "$NV_ROOT/tests/web/page.js" "$site" "$out"
