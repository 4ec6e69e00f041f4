#!/usr/bin/env bash
# Plays on this machine: installs what is missing, builds, makes the sample world
# once, starts the reference server on 127.0.0.1 (free ports) and the client with
# that world installed and the login filled in. Closing the clients stops the server.
# Usage: ./scripts/run.sh [--players N] [client options]     e.g. --connect
# GAME_DIR picks another game folder; BUILD_DIR another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

players=1
if [ "${1:-}" = "--players" ]; then
  players="${2:?--players needs a number}"
  shift 2
fi
case "$players" in
  [1-9]) ;;
  *) echo "run.sh: --players takes 1 to 9, not \"$players\"" >&2; exit 2 ;;
esac

source scripts/install-deps.sh
vx_install_missing

build="${BUILD_DIR:-build}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j 2 --target vxclient vxserver vxworldgen >/dev/null

data="${XDG_DATA_HOME:-$HOME/.local/share}/veltharn"
game="${GAME_DIR:-$data/embervale}"
if [ ! -f "$game/STATIC/INITGAME.DAT" ]; then
  "$build/bin/vxworldgen" "$game" --seed 1
fi
mkdir -p "$data/server"

log="$(mktemp)"
server=""
clients=()
stop() {
  local pid
  for pid in "${clients[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  if [ -n "$server" ]; then
    kill -TERM "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -f "$log"
}
trap stop EXIT
trap 'exit 130' INT TERM

"$build/bin/vxserver" --game "$game" --data "$data/server" --bind 127.0.0.1 \
  --tcp-port 0 --udp-port 0 --max-pending-per-address 63 --new-accounts-per-minute 1000 \
  --max-connections-per-address 63 --names-per-address 100000 \
  > >(tee "$log") 2>&1 &
server=$!
port=""
for _ in $(seq 200); do
  port="$(sed -n 's/^Listening on .* TCP port \([0-9]*\).*/\1/p' "$log")"
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || { echo "run.sh: the server did not start" >&2; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "run.sh: the server did not start listening" >&2; exit 1; }

# Each player has a settings folder of its own (and its own chat log), with this world selected, so a
# world installed elsewhere never meets a server running another one.
names=(Wren Tamsin Corwen Ysolde Bram Elowen Hollis Maren Oswin)
for n in $(seq "$players"); do
  name="${names[$((n - 1))]}"
  XDG_CONFIG_HOME="$data/players/$n" XDG_DATA_HOME="$data/players/$n" "$build/bin/vxclient" --install-world "$game" \
    --server 127.0.0.1 --tcp-port "$port" --local-udp-port 0 \
    --name "$name" --password "$name-pw" "$@" &
  clients+=($!)
done
status=0
for pid in "${clients[@]}"; do wait "$pid" || status=$?; done
clients=()
exit "$status"
