#!/usr/bin/env bash
# The page as visitors meet it: the usual one (page.js) and those whose browsers differ
# (visitors.js). Both run; either failing fails the test.
set -euo pipefail
source "$NV_ROOT/scripts/lib/common.sh"
site="$NV_BUILD/web/site"
[[ -f "$site/velandor.wasm" ]] || { echo "FAIL: no browser edition in $site (the web_build test makes it)"; exit 1; }
out="$NV_BUILD/web_page"
rm -rf "$out"
mkdir -p "$out"
status=0
node "$NV_ROOT/tests/web/page.js" "$site" "$out" || status=1
node "$NV_ROOT/tests/web/visitors.js" "$site" "$out" || status=1
exit $status
