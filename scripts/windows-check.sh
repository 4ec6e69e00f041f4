#!/usr/bin/env bash
# The Windows check: cross-compiles the Qt-free core (platform, formats, data,
# net, view, the configuration store on the registry, the world installation,
# the sample world) and its tests for 64-bit Windows with Debian's MinGW-w64,
# and runs the tests under Wine in a throwaway Wine prefix.
# Installs what is missing (MinGW-w64 g++ with posix threads, Wine, the
# GoogleTest sources), builds GoogleTest with the cross compiler once, then the
# project into build-win/ (WIN_BUILD_DIR), and prints the time of each step.
# Usage: ./scripts/windows-check.sh [ctest options]     e.g. -R file_names
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

source scripts/install-deps.sh
vx_packages=(cmake make g++-mingw-w64-x86-64-posix wine64 googletest)
vx_install_missing

build="${WIN_BUILD_DIR:-build-win}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

start=$SECONDS
step_start=$SECONDS
step() {
  echo "windows-check: $1 took $((SECONDS - step_start)) s"
  step_start=$SECONDS
}

# GoogleTest from Debian's source package, built with the cross compiler.
gtest="$build/googletest"
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$gtest/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest/install" "${launcher[@]}" >/dev/null
  cmake --build "$gtest/build" -j 2 >/dev/null
  cmake --install "$gtest/build" >/dev/null
fi
step "GoogleTest (MinGW-w64)"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVX_CORE_ONLY=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGTest_DIR="$gtest/install/lib/cmake/GTest" "${launcher[@]}" >/dev/null
cmake --build "$build" -j 2
step "cross build of the core and its tests"

# A Wine prefix of its own, removed at the end; Wine's own messages off.
export WINEPREFIX
WINEPREFIX="$(mktemp -d)"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" VX_TEST_REGISTRY=1
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=wineserver
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
step "Wine prefix"

status=0
(cd "$build" && ctest --output-on-failure --timeout 300 "$@") || status=$?
step "tests under Wine"
echo "windows-check: $([ $status -eq 0 ] && echo passed || echo FAILED) in $((SECONDS - start)) s"
exit "$status"
