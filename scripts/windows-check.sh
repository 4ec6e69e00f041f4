#!/usr/bin/env bash
# The Windows check: cross-compiles the project for 64-bit Windows with Debian's
# MinGW-w64 and runs its tests under Wine in a throwaway Wine prefix.
#
# With Qt for Windows in the cache that scripts/windows-qt.sh builds once per
# machine (~/.cache/veltharn/qt6-mingw-<host Qt version> and mingw-libs), it
# builds everything that builds on Windows into build-win-qt/ (WIN_BUILD_DIR):
# vxclient.exe, vxmap.exe, vxworldgen.exe and the tests, the windows' tests
# among them, which run on Qt's offscreen platform; then it writes
# dist/veltharn-<version>-windows-x64.zip (scripts/windows-dist.sh), and with
# VX_WINDOWS_PLAY=1 runs the play check on it (scripts/windows-play.sh).
# Without that cache it checks the Qt-free core alone (platform, formats, data,
# net, view, the configuration store on the registry, the world installation,
# the sample world) in build-win/, and says last that the window build was
# skipped.
# Installs what is missing (MinGW-w64 g++ with posix threads, Wine, the
# GoogleTest sources), builds GoogleTest with the cross compiler once, then the
# project, and prints the time of each step.
# Usage: ./scripts/windows-check.sh [ctest options]     e.g. -R file_names
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

source scripts/install-deps.sh
vx_packages=(cmake make g++-mingw-w64-x86-64-posix wine64 googletest fonts-dejavu-core)
vx_install_missing

# Qt for Windows and libpng, when scripts/windows-qt.sh has built them here.
cache="${VX_QT_CACHE:-$HOME/.cache/veltharn}"
qt_version="$(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || true)"
qt_version="${qt_version%%[+-]*}"
qt="$cache/qt6-mingw-$qt_version"
libs="$cache/mingw-libs"
whole=0
if [ -n "$qt_version" ] && [ -f "$qt/.complete" ] && [ -f "$libs/.complete" ]; then
  whole=1
fi

if [ $whole -eq 1 ]; then
  build="${WIN_BUILD_DIR:-build-win-qt}"
else
  build="${WIN_BUILD_DIR:-build-win}"
fi
case "$build" in /*) ;; *) build="$root/$build" ;; esac
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

# Without the Qt cache the last line says so, however the check ends.
skipped() {
  if [ $whole -eq 0 ]; then
    echo "windows-check: the window build was skipped: no Qt cache was found in $cache (build it once with ./scripts/windows-qt.sh)"
  fi
}
trap skipped EXIT

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

if [ $whole -eq 1 ]; then
  # pkg-config looks only among the Windows libraries (the toolchain file says so),
  # where there is no libsodium: vxserver, which needs it and POSIX signals, is left out.
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DVX_WINDOWS_PREFIXES="$qt;$libs" -DCMAKE_PREFIX_PATH="$qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_BUILD_BENCH=OFF -DGTest_DIR="$gtest/install/lib/cmake/GTest" \
    "${launcher[@]}" >/dev/null
  cmake --build "$build" -j 2
  step "cross build of the programs and their tests (Qt $qt_version)"
else
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVX_CORE_ONLY=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGTest_DIR="$gtest/install/lib/cmake/GTest" "${launcher[@]}" >/dev/null
  cmake --build "$build" -j 2
  step "cross build of the core and its tests"
fi

# A Wine prefix of its own, removed at the end; Wine's own messages off.
export WINEPREFIX
WINEPREFIX="$(mktemp -d)"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" VX_TEST_REGISTRY=1
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=wineserver
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  skipped
}
trap cleanup EXIT
source scripts/windows-env.sh
vx_make_wine_prefix "$build/wineboot.log" || {
  echo "windows-check: making the Wine prefix ended with status $?; its errors are in $build/wineboot.log" >&2
  exit 1
}
step "Wine prefix"

if [ $whole -eq 1 ]; then
  # Qt's DLLs and MinGW's runtime DLLs found through WINEPATH; Qt finds its plugins
  # beside its DLLs. Wine hands Windows programs WINEQT_* as QT_*.
  # The offscreen platform on Windows reads fonts from a folder (QT_QPA_FONTDIR):
  # DejaVu, as the Linux tests get through fontconfig.
  vx_windows_path "$qt"
  export WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1
  export WINEQT_QPA_FONTDIR="$(vx_wine_path /usr/share/fonts/truetype/dejavu)"
fi

# Left out on Windows, each for a reason of the test, not of the program:
#  - vxa_config_test, world_install_test, startup_test and chat_log_test check the
#    configuration file's text under XDG_CONFIG_HOME and paths joined with "/", where
#    Windows has the registry (config_hive_test, non_ascii_folder_test and the play
#    check cover it) and "\";
#  - world_overview_test expects the cache under XDG_CACHE_HOME (%LOCALAPPDATA% here);
#  - client_options_test and vxmap_test run the programs through sh (popen, "sh -c",
#    ulimit, >/dev/null);
#  - two login cases wait for a connection to a closed loopback port to be pending,
#    which Wine's sockets refuse at once;
#  - GameWindow.ScreenshotLinesFit... looks for the folder it gave, joined with "/",
#    in the logged path, which Windows logs with "\";
#  - Overview.BeginReportsItsStepsOnTheLabels fails now and then under Wine: Begin on
#    the copied folder without GAMEDAT stops at its first line instead of its fourth
#    (cause not found yet).
skip=()
if [ $whole -eq 1 ]; then
  skip=(-E '^(vxa_config_test|world_install_test|startup_test|chat_log_test|world_overview_test|client_options_test|vxmap_test)$')
  export GTEST_FILTER="-Login.AutoReconnectTriesOnTheClockAndItsSettingIsStored:Login.AbortWhileConnectingOffersTheWayBackAndNoTry:GameWindow.ScreenshotLinesFitTheConsoleAndTheWholePathGoesToStandardOutput:Overview.BeginReportsItsStepsOnTheLabels"
fi
status=0
# Wine now and then fails to start a program at all (no output, within 10 ms; seen
# once in a CI run, on config_hive_test): a test that fails is run once more, and
# one that fails twice fails the check.
(cd "$build" && ctest --output-on-failure --timeout 300 --repeat until-pass:2 "${skip[@]}" "$@") || status=$?
step "tests under Wine"
if [ $whole -eq 1 ] && [ $status -eq 0 ]; then
  ./scripts/windows-dist.sh "$build" "$qt" || status=$?
  step "release archive"
  if [ "${VX_WINDOWS_PLAY:-0}" = 1 ] && [ $status -eq 0 ]; then
    ./scripts/windows-play.sh || status=$?
    step "play check"
  fi
fi
echo "windows-check: $([ $status -eq 0 ] && echo passed || echo FAILED) in $((SECONDS - start)) s"
exit "$status"
