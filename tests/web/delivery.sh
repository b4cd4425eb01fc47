#!/usr/bin/env bash
# How the show reaches visitors (delivery.js): a first visit over a slow network, the show in
# one file from a disk, the site saved to a disk, a program kept from starting by a missing
# file, a second visit without a network and a new build after it.
set -euo pipefail
source "$NV_ROOT/scripts/lib/common.sh"
site="$NV_BUILD/web/site"
one="$NV_BUILD/web/velandor.html"
[[ -f "$site/velandor.wasm" && -f "$one" ]] || { echo "FAIL: no browser edition in $NV_BUILD/web (the web_build test makes it)"; exit 1; }
out="$NV_BUILD/web_delivery"
rm -rf "$out"
mkdir -p "$out"
node "$NV_ROOT/tests/web/delivery.js" "$site" "$one" "$out"
