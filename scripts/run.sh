#!/usr/bin/env bash
# Builds if needed, makes the sample world once, starts the reference server on
# this machine and the client against it. The server stops when the client ends.
# Usage: ./scripts/run.sh [client options]   (GAME_DIR picks another game folder)
set -euo pipefail
cd "$(dirname "$0")/.."

build="${BUILD_DIR:-build}"
if [ ! -x "$build/bin/vxclient" ] || [ ! -x "$build/bin/vxserver" ] || [ ! -x "$build/bin/vxworldgen" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build" -j 2 --target vxclient vxserver vxworldgen
fi

data="${XDG_DATA_HOME:-$HOME/.local/share}/veltharn"
game="${GAME_DIR:-$data/embervale}"
if [ ! -f "$game/STATIC/INITGAME.DAT" ]; then
  "$build/bin/vxworldgen" "$game" --seed 1
fi

"$build/bin/vxserver" --game "$game" --data "$data/server" --bind 127.0.0.1 &
server=$!
trap 'kill -TERM "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT

"$build/bin/vxclient" --install-world "$game" --server 127.0.0.1 "$@"
