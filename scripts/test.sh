#!/usr/bin/env bash
# Installs what the build needs (only what is missing), builds with both cores and runs every test.
# Usage: ./scripts/test.sh [extra cmake options]   e.g. -DVX_SANITIZE=thread
# BUILD_DIR picks the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ qt6-base-dev libqt6sql6-sqlite libgtest-dev libgmock-dev libbenchmark-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" -j 2
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2 --timeout 300
