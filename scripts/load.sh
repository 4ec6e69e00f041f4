#!/usr/bin/env bash
# Load run: the reference server on the sample world with a crowd of bots, all on
# 127.0.0.1 with free ports. Prints the bots' figures and the server's last lines;
# exits non-zero when a bot failed or the server did not stop cleanly.
# Usage: ./scripts/load.sh [BOTS] [SECONDS]     (default 63 bots for 60 seconds)
set -euo pipefail
cd "$(dirname "$0")/.."

bots="${1:-63}"
seconds="${2:-60}"
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target vxserver vxbot vxworldgen >/dev/null

work="$(mktemp -d)"
server=""
cleanup() {
  [ -n "$server" ] && kill -TERM "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/bin/vxworldgen" "$work/game" --seed 1 >/dev/null
"$build/bin/vxserver" --game "$work/game" --data "$work/data" --bind 127.0.0.1 \
  --tcp-port 0 --udp-port 0 --max-pending-per-address 63 --new-accounts-per-minute 1000 \
  > "$work/server.log" 2>&1 &
server=$!

port=""
for _ in $(seq 100); do
  port="$(sed -n 's/^Listening on .* TCP port \([0-9]*\).*/\1/p' "$work/server.log")"
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || { cat "$work/server.log"; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "load: the server did not start listening"; cat "$work/server.log"; exit 1; }
echo "load: vxserver on 127.0.0.1 TCP port $port; $bots bots for $seconds s"

status=0
"$build/bin/vxbot" --server 127.0.0.1 --tcp-port "$port" --count "$bots" --duration "$seconds" || status=$?

kill -TERM "$server"
wait "$server" || status=$?
server=""
echo "load: server log: $(wc -l < "$work/server.log") lines, $(grep -ciE 'error|fail' "$work/server.log" || true) naming an error or failure; last lines:"
tail -n 3 "$work/server.log"
grep -q "Server stopped; everything saved." "$work/server.log" || status=1
exit "$status"
