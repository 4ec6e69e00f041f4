#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Sourced by test.sh and run.sh; run on its own it does just that.
vx_packages=(cmake make g++ pkg-config qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql postgresql libsodium-dev libgtest-dev
             libgmock-dev libbenchmark-dev libpng-dev
             clang libclang-rt-14-dev ccache)  # clang and its libFuzzer runtime for fuzz/; ccache for CI's builds

vx_install_missing() {
  local missing=() p sudo=""
  for p in "${vx_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  vx_install_missing
fi
