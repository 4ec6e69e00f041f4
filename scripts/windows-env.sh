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
