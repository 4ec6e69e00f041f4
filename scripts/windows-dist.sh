#!/usr/bin/env bash
# Writes dist/veltharn-<version>-windows-x64.zip from a Windows build with Qt
# (scripts/windows-check.sh): vxclient.exe, vxmap.exe and vxworldgen.exe, every
# DLL they load that is not Windows' own (Qt's and MinGW's runtime, found by
# walking the import tables), the Qt plugins they need beside them (Qt looks
# in the program's folder), and README-Windows.txt. Everything is stripped.
# Usage: ./scripts/windows-dist.sh BUILD_DIR QT_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build="${1:?usage: windows-dist.sh BUILD_DIR QT_DIR}"
qt="${2:?usage: windows-dist.sh BUILD_DIR QT_DIR}"
source scripts/windows-env.sh

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || { echo "windows-dist: no project version in $build/CMakeCache.txt" >&2; exit 1; }
name="veltharn-$version-windows-x64"
stage="$build/dist/$name"
rm -rf "$stage"
mkdir -p "$stage/platforms" "$stage/styles" "$root/dist"

search=("$qt/bin")
while read -r d; do search+=("$d"); done < <(vx_mingw_runtime_dirs)

# The DLLs a Windows program or DLL names in its import table.
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }

# Copies $1 to $2 stripped, then every DLL it imports that lies in one of the
# search folders (the rest are Windows' own), once each.
declare -A copied=()
place() {
  local file="$1" dest="$2" dll d
  x86_64-w64-mingw32-strip -o "$dest" "$file"
  for dll in $(imports "$file"); do
    [ -n "${copied[${dll,,}]:-}" ] && continue
    for d in "${search[@]}"; do
      if [ -f "$d/$dll" ]; then
        copied[${dll,,}]=1
        place "$d/$dll" "$stage/$dll"
        break
      fi
    done
  done
}

for program in vxclient vxmap vxworldgen; do
  place "$build/bin/$program.exe" "$stage/$program.exe"
done
place "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/qwindows.dll"
place "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/qwindowsvistastyle.dll"
if [ -n "${copied[qt6sql.dll]:-}" ]; then
  mkdir -p "$stage/sqldrivers"
  place "$qt/plugins/sqldrivers/qsqlite.dll" "$stage/sqldrivers/qsqlite.dll"
fi

cat > "$stage/README-Windows.txt" <<EOF
Veltharn $version for Windows (64-bit)
=================================

Unpack this folder anywhere (its name and path may hold any letters) and keep
the files together: the programs need the DLLs and the platforms and styles
folders beside them.

vxclient.exe   the game client
vxworldgen.exe writes a sample world:   vxworldgen.exe C:\\Games\\Embervale
vxmap.exe      draws parts of a world into PNG files (vxmap.exe --help)

The client opens a console window beside its own windows; that is where it
writes its log. On the first start it asks for the game folder (the world's
files); or name it once on the command line:

    vxclient.exe --install-world C:\\Games\\Embervale

Then the login window shows: enter the server's address and ports, your name
and password, and press Connect. The same can be given on the command line:

    vxclient.exe --server 192.0.2.7 --tcp-port 12578 --name Wren --password secret --connect

vxclient.exe --help lists every option. In the game: arrow keys walk, T starts
a chat line (Enter sends), F1 shows the help, F12 saves a screenshot into
Pictures\\Veltharn, Alt+X quits.

Settings are kept in the registry under HKEY_CURRENT_USER\\Software\\VxaClient;
the chat log and the minimap's cache lie in %APPDATA%\\vxclient and
%LOCALAPPDATA%\\vxclient.
EOF
sed -i 's/$/\r/' "$stage/README-Windows.txt"

zip="$root/dist/$name.zip"
rm -f "$zip"
(cd "$build/dist" && cmake -E tar cf "$zip" --format=zip "$name")
echo "windows-dist: wrote dist/$name.zip ($(du -k "$zip" | cut -f1) KiB; $(find "$stage" -type f | wc -l) files, $(du -sk "$stage" | cut -f1) KiB unpacked)"
