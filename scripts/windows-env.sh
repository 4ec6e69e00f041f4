# Sourced by the Windows scripts: where MinGW-w64's runtime DLLs lie, and WINEPATH
# for programs of the cross build that run straight from the build folder.

# The folders of libstdc++-6.dll, libgcc_s_seh-1.dll (posix threads variant) and
# libwinpthread-1.dll.
vx_mingw_runtime_dirs() {
  local gcc
  gcc="$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)"
  echo "$(dirname "$gcc")"
  echo /usr/x86_64-w64-mingw32/lib
}

# A Unix path as Wine's Z: drive names it: Z:\root\x.
vx_wine_path() {
  local p="$1"
  echo "Z:${p//\//\\}"
}

# WINEPATH: Qt's DLLs (folder $1/bin) and the MinGW runtime.
vx_windows_path() {
  local dirs=("$1/bin") d path=""
  while read -r d; do dirs+=("$d"); done < <(vx_mingw_runtime_dirs)
  for d in "${dirs[@]}"; do path="${path:+$path;}$(vx_wine_path "$d")"; done
  export WINEPATH="$path"
}

# Makes the Wine prefix $WINEPREFIX (wineboot --init on display $DISPLAY, if any) and
# waits for its Wine server to finish; Wine's errors of it go to the file $1. Wine
# ends a Windows program that cannot start with the low byte of the NTSTATUS and,
# with WINEDEBUG=-all, says nothing else: 53 is 0xC0000135, a DLL not found. Debian's
# wine64 has no 32-bit part, and every making starts the 32-bit rundll32.exe, which
# fails so (the log says "failed to open L"C:\windows\syswow64\rundll32.exe":
# c0000135"); mostly wineboot ends well all the same, but once it ended with 53. A
# making that ends with 53 is done once more from nothing, and says so.
vx_make_wine_prefix() {
  local log="$1" status=0 server=/usr/lib/wine/wineserver64 wine=/usr/lib/wine/wine64
  [ -x "$server" ] || server=wineserver
  [ -x "$wine" ] || wine=wine
  WINEDEBUG=err+all "$wine" wineboot --init >"$log" 2>&1 || status=$?
  "$server" -w
  if [ $status -eq 53 ]; then
    echo "Wine: making the prefix ended with status 53 (a DLL not found); once more from nothing" >&2
    "$server" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    status=0
    WINEDEBUG=err+all "$wine" wineboot --init >>"$log" 2>&1 || status=$?
    "$server" -w
  fi
  return $status
}
