#!/usr/bin/env bash
# scripts/web asked to serve on a port that another server holds: one clear line and status 1,
# at once, before anything is installed or built. The scripts run from a copy of scripts/
# alone, so that a missing check fails here quickly instead of building the browser edition.
set -euo pipefail
source "$NV_ROOT/tests/helpers/e2e.sh"

cp -r "$NV_ROOT/scripts" "$work/scripts"
python3 -c '
import socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen()
print(s.getsockname()[1], flush=True)
time.sleep(300)' >"$work/port" &
pid=$! # the holder of the port, which the clean-up ends
for _ in $(seq 1 100); do [[ -s "$work/port" ]] && break; sleep 0.1; done
port=$(cat "$work/port")
[[ -n "$port" ]] || fail "no port held"

status=0
timeout 60 "$work/scripts/web" --port "$port" >"$work/out" 2>"$work/err" || status=$?
(( status == 1 )) || fail "status $status, not 1: $(cat "$work/out" "$work/err")"
[[ ! -s "$work/out" && $(wc -l <"$work/err") -eq 1 ]] &&
  grep -q "cannot serve on 127.0.0.1:$port (Address already in use); choose another port" "$work/err" ||
  fail "said: $(cat "$work/out" "$work/err")"
echo "ok: port $port in use: $(cat "$work/err")"
