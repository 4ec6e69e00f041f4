#!/usr/bin/env bash
# Builds the Debian packages into dist/: veltharn (vxclient, vxmap, desktop entry,
# icons, metainfo), veltharn-worldgen (vxworldgen, which both others depend on) and
# veltharn-server (vxserver with its systemd service). Installs what is missing,
# checks the desktop entry, the metainfo and the unit, builds the four programs
# (with Debian's hardening flags; stripped in the packages), lets CPack make the
# packages (their dependencies come from dpkg-shlibdeps) and runs lintian over them.
# Usage: ./scripts/package.sh [extra cmake options]    BUILD_DIR picks the build folder (default: build-pkg).
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/install-deps.sh
vx_packages+=(dpkg-dev fakeroot file lintian desktop-file-utils appstream systemd)
vx_install_missing

build="${BUILD_DIR:-build-pkg}"
# Debian's hardening flags (stack protector, fortified libc calls, read-only
# relocations bound at start), as Debian's own packages are built; vxserver faces
# the internet.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build" -j 2 --target vxclient vxmap vxworldgen vxserver

echo "== desktop-file-validate, appstreamcli validate"
desktop-file-validate packaging/veltharn.desktop
appstreamcli validate --no-net --explain "$build/packaging/io.veltharn.Veltharn.metainfo.xml"

echo "== systemd-analyze verify"
# The unit as installed, with the programs it starts and its man page in a staging
# folder: verify runs the unit's commands' paths and Documentation= against this
# system, so the copy checked names the staged programs instead.
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
for component in server worldgen; do
  DESTDIR="$stage" cmake --install "$build" --component "$component" >/dev/null
done
unit_dir="$(sed -n 's/^VX_SYSTEMD_UNIT_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")"
mkdir -p "$stage/check"
sed "s#=/usr/bin/#=$stage/usr/bin/#g; s# /usr/bin/# $stage/usr/bin/#g" "$stage$unit_dir/vxserver.service" > "$stage/check/vxserver.service"
MANPATH="$stage/usr/share/man" systemd-analyze verify "$stage/check/vxserver.service"
echo "vxserver.service: ok"

echo "== cpack"
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB)
mkdir -p dist
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")"
rm -f dist/veltharn*_"$version"-*.deb
cp "$build"/cpack/*.deb dist/
ls -l dist/*_"$version"-*.deb

echo "== lintian"
lintian --fail-on error --info dist/*_"$version"-*.deb
