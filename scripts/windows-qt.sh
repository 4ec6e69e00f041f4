#!/usr/bin/env bash
# Builds Qt 6 for 64-bit Windows (x86_64-w64-mingw32), once per machine, from
# Debian's own qt6-base source package at the host Qt's version, with the host
# Qt as the build tools (moc, rcc, uic). Only what the programs use: Core, Gui,
# Widgets, Network, Sql with the SQLite driver, Test (for the window tests),
# the windows and offscreen platform plugins; shared, release.
#
# Debian removes Qt's bundled SQLite from its source; the amalgamation
# (sqlite3.c, sqlite3.h) is made here from Debian's sqlite3 source package.
# The sources come from the same mirror as the machine's binary packages,
# through a deb-src list of this script's own (the system's lists stay as
# they are).
#
# vxmap's PNG writer links libpng (and zlib), of which Debian ships no MinGW
# build either: both are built the same way from Debian's libpng1.6 and zlib
# source packages, as static libraries, into ~/.cache/veltharn/mingw-libs.
#
# Installs into ~/.cache/veltharn/qt6-mingw-<version> (VX_QT_CACHE overrides
# ~/.cache/veltharn) and writes the stamp file .complete in each folder last: a
# run that finds both does nothing. The sources and the build folder are kept in
# <cache>/work-qt6-mingw-<version>, so that a broken run goes on where it stopped.
#
# Usage: ./scripts/windows-qt.sh [-j N]       (N defaults to 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

jobs=2
if [ "${1:-}" = "-j" ] && [ -n "${2:-}" ]; then jobs=$2; fi

source scripts/install-deps.sh
vx_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
             qt6-base-dev qt6-base-dev-tools dpkg-dev tcl gcc make)
vx_install_missing

debian_version=$(dpkg-query -W -f='${Version}' libqt6core6)   # e.g. 6.4.2+dfsg-10
version=${debian_version%%[+-]*}                               # e.g. 6.4.2
cache="${VX_QT_CACHE:-$HOME/.cache/veltharn}"
prefix="$cache/qt6-mingw-$version"
stamp="$prefix/.complete"
libs="$cache/mingw-libs"
libs_stamp="$libs/.complete"
if [ -f "$stamp" ] && [ -f "$libs_stamp" ]; then
  echo "windows-qt: Qt $version for Windows is already in $prefix ($(cat "$stamp")); nothing to do"
  echo "windows-qt: zlib and libpng for Windows are already in $libs ($(cat "$libs_stamp")); nothing to do"
  exit 0
fi
work="$cache/work-qt6-mingw-$version"
mkdir -p "$work"

start=$SECONDS
step_start=$SECONDS
step() {
  local took=$((SECONDS - step_start))
  echo "windows-qt: $1 took $((took / 60)) min $((took % 60)) s"
  step_start=$SECONDS
}

# --- Debian source packages, through apt with lists of this script's own.
aptdir="$work/apt"
mkdir -p "$aptdir/parts" "$aptdir/lists/partial" "$aptdir/cache/archives/partial"
: > "$aptdir/sources.list"
# The machine's own mirrors and suites, as deb-src entries; not the security
# archive, whose mirror here serves no sources.
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  awk 'BEGIN { RS = ""; ORS = "\n\n" } !/debian-security/' "$f" |
    sed 's/^Types:.*/Types: deb-src/' > "$aptdir/parts/$(basename "$f")"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  sed -n '/debian-security/d; s/^deb \(.*\)/deb-src \1/p' "$f" >> "$aptdir/sources.list"
done
apt_opts=(-o "Dir::Etc::SourceList=$aptdir/sources.list" -o "Dir::Etc::SourceParts=$aptdir/parts"
          -o "Dir::State::Lists=$aptdir/lists" -o "Dir::Cache=$aptdir/cache"
          -o "APT::Sandbox::User=root" -q)
if [ ! -f "$work/sources.done" ]; then
  echo "windows-qt: fetching the source lists"
  apt-get "${apt_opts[@]}" update >/dev/null
  mkdir -p "$work/src"
  (cd "$work/src" && apt-get "${apt_opts[@]}" source --download-only "qt6-base=$debian_version" sqlite3 >/dev/null)
  touch "$work/sources.done"
fi
if [ ! -f "$work/lib-sources.done" ]; then
  apt-get "${apt_opts[@]}" update >/dev/null
  mkdir -p "$work/src"
  (cd "$work/src" && apt-get "${apt_opts[@]}" source --download-only zlib libpng1.6 >/dev/null)
  touch "$work/lib-sources.done"
fi
step "source packages (qt6-base $debian_version, sqlite3, zlib, libpng1.6)"

# --- zlib and libpng, static, for vxmap's PNG writer.
if [ ! -f "$libs_stamp" ]; then
  rm -rf "$libs" "$work/src/zlib" "$work/src/libpng1.6"
  mkdir -p "$libs/include" "$libs/lib"
  (cd "$work/src" &&
    dpkg-source --no-check -x zlib_*.dsc zlib >/dev/null &&
    dpkg-source --no-check -x libpng1.6_*.dsc libpng1.6 >/dev/null)
  # zlib's fifteen library sources into libz.a (Debian's source has no win32 makefile).
  (cd "$work/src/zlib" &&
    for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees \
      trees uncompr zutil; do
      x86_64-w64-mingw32-gcc-posix -O2 -c "$c.c" -o "$c.o"
    done &&
    x86_64-w64-mingw32-ar rcs "$libs/lib/libz.a" ./*.o)
  cp "$work/src/zlib/zlib.h" "$work/src/zlib/zconf.h" "$libs/include/"
  (cd "$work/src/libpng1.6" &&
    ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --prefix="$libs" --disable-shared --enable-static \
      CPPFLAGS="-I$libs/include" LDFLAGS="-L$libs/lib" >/dev/null &&
    make -j "$jobs" >/dev/null && make install >/dev/null 2>&1)
  echo "zlib $(cd "$work/src" && ls zlib_*.dsc | sed 's/zlib_\(.*\)\.dsc/\1/'), libpng1.6 $(cd "$work/src" && ls libpng1.6_*.dsc | sed 's/libpng1.6_\(.*\)\.dsc/\1/') for x86_64-w64-mingw32, static" > "$libs_stamp"
fi
step "zlib and libpng ($libs)"
if [ -f "$stamp" ]; then
  echo "windows-qt: Qt $version for Windows is already in $prefix ($(cat "$stamp"))"
  exit 0
fi

# --- Unpacked sources, with the Debian patches applied.
qtsrc="$work/src/qt6-base"
if [ ! -f "$work/unpack.done" ]; then
  rm -rf "$qtsrc" "$work/src/sqlite3"
  (cd "$work/src" &&
    dpkg-source --no-check -x qt6-base_*.dsc qt6-base >/dev/null &&
    dpkg-source --no-check -x sqlite3_*.dsc sqlite3 >/dev/null)
  touch "$work/unpack.done"
fi
step "unpacking"

# --- The SQLite amalgamation, put where Qt's SQLite driver looks for its bundled copy.
if [ ! -f "$qtsrc/src/3rdparty/sqlite/sqlite3.c" ]; then
  rm -rf "$work/sqlite-build"
  mkdir -p "$work/sqlite-build"
  (cd "$work/sqlite-build" && "$work/src/sqlite3/configure" >/dev/null && make -j "$jobs" sqlite3.c >/dev/null)
  mkdir -p "$qtsrc/src/3rdparty/sqlite"
  cp "$work/sqlite-build/sqlite3.c" "$work/sqlite-build/sqlite3.h" "$qtsrc/src/3rdparty/sqlite/"
fi
step "SQLite amalgamation"

# --- Configure. The MinGW runtime is linked as DLLs (libstdc++, libgcc, winpthread),
# shipped beside the programs, so that Qt and the programs share one C++ runtime.
cat > "$work/toolchain.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
build="$work/build"
if [ ! -f "$build/build.ninja" ]; then
  rm -rf "$build"
  # Tablet events need the Wintab headers, which Debian removes; direct2d1_1 off only
  # drops the separate direct2d platform plugin (direct2d itself off breaks qwindows).
  cmake -S "$qtsrc" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d1_1=OFF \
    -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_openssl=OFF \
    -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=OFF \
    -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF \
    -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF \
    -DFEATURE_testlib=ON -DFEATURE_network=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON \
    "${launcher[@]}" > "$work/configure.log"
fi
step "configure (log in $work/configure.log)"

# --- Build: QtCore first (the longest single part), then the rest. All of ninja's
# output goes to build.log; shown are its progress lines ([n/total]) thinned to one
# in twenty, errors and ninja's own messages.
progress() {
  tee -a "$work/build.log" |
    awk '/^\[[0-9]+\/[0-9]+\]/ { n++; if (n % 20 == 1) { print "  " $1; fflush() } next }
         /^FAILED|error:|^ninja: / { print; fflush() }'
}
ninja -C "$build" -j "$jobs" Core 2>&1 | progress
step "QtCore"
ninja -C "$build" -j "$jobs" 2>&1 | progress
step "the rest of Qt (all output in $work/build.log)"

rm -rf "$prefix"
ninja -C "$build" install >/dev/null
for plugin in platforms/qwindows.dll platforms/qoffscreen.dll sqldrivers/qsqlite.dll; do
  [ -f "$prefix/plugins/$plugin" ] || { echo "windows-qt: $plugin is missing from the install" >&2; exit 1; }
done
step "install ($(du -sh "$prefix" | cut -f1))"

echo "qt6-base $debian_version for x86_64-w64-mingw32, built $(date -u +%Y-%m-%dT%H:%MZ) in $((SECONDS - start)) s" > "$stamp"
echo "windows-qt: the sources and build folder stay in $work ($(du -sh "$work" | cut -f1)); remove it when no longer wanted"
echo "windows-qt: done in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s: $prefix"
