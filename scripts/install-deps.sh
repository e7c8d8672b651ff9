#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need.
# Safe to run again: only missing packages are fetched.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libbz2-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 iconv-is-in-libc-bin
  clang llvm libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  libpugixml-dev libtinyxml2-dev libxml2-dev libexpat1-dev libmimalloc-dev
  openssl nginx curl libcurl4-openssl-dev

)
# libc-bin carries iconv(1); the placeholder above is replaced here.
packages=("${packages[@]/iconv-is-in-libc-bin/libc-bin}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
