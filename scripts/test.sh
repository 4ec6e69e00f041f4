#!/usr/bin/env bash
# Installs what the build needs (only what is missing), builds with both cores and runs every test.
# Usage: ./scripts/test.sh [extra cmake options]   e.g. -DVX_SANITIZE=thread
# BUILD_DIR picks the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/install-deps.sh
vx_install_missing

build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" -j 2
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2 --timeout 300
