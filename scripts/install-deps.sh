#!/usr/bin/env bash
# Installs the Debian packages a job needs. Safe to run again: only missing
# packages are fetched.
#
#   install-deps.sh main   what the main job (scripts/run.sh) needs: a compiler,
#                          CMake, Ninja and the library's own dependencies
#   install-deps.sh test   that, plus what the tests, benchmarks, fuzzing, the
#                          script host and the Windows cross-builds need (default)
set -euo pipefail
job=${1:-test}

main_packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libbz2-dev libssl-dev libmimalloc-dev
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev ccache
  python3 libc-bin duktape-dev
  clang llvm libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  libpugixml-dev libtinyxml2-dev libxml2-dev libexpat1-dev
  openssl nginx curl libcurl4-openssl-dev
)
case "$job" in
  main) packages=("${main_packages[@]}") ;;
  test) packages=("${main_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: install-deps.sh [main|test]" >&2; exit 2 ;;
esac

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
