#!/usr/bin/env bash
# Installs Tarvex into a temporary prefix, checks what was installed, then
# builds examples/consumer against it four ways (CMake package and
# pkg-config, shared and static library) and runs each program.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)
# An existing build tree may be reused (test.sh passes its own).
build=${TARVEX_INSTALL_BUILD:-"$root/build/install-check"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

echo "== install into a temporary prefix"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTARVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs"
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install check failed: $*" >&2; exit 1; }

# Only the public headers are installed.
headers=$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')
[ "$headers" = "./tarvex/automation.h ./tarvex/tarvex.h ./tarvex/tarvex.hpp " ] || fail "headers: $headers"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib64/pkgconfig:$prefix/share/pkgconfig"
libdir=$(pkg-config --variable=libdir tarvex) || fail "no tarvex.pc"
[ -f "$libdir/libtarvex.a" ] || fail "no static library"
[ -L "$libdir/libtarvex.so" ] && [ -L "$libdir/libtarvex.so.5" ] && [ -f "$libdir/libtarvex.so.5.0.1" ] \
  || fail "shared library links: $(ls "$libdir")"
readelf -d "$libdir/libtarvex.so.5.0.1" | grep -q 'SONAME.*\[libtarvex.so.5\]' || fail "SONAME"
# The shared library exports the interface, nothing of its inside.
if nm -D --defined-only "$libdir/libtarvex.so.5.0.1" | grep -q ' _ZN6tarvex'; then fail "internal symbols exported"; fi
for f in TarvexConfig.cmake TarvexConfigVersion.cmake TarvexSharedTargets.cmake TarvexStaticTargets.cmake; do
  [ -f "$libdir/cmake/Tarvex/$f" ] || fail "no $f"
done
"$prefix/bin/tarvex" --version | grep -q '^tarvex 5\.0\.1$' || fail "tarvex --version"
"$prefix/bin/tarvex-script" --help >/dev/null || fail "tarvex-script --help"

expected=$'2 dishes; first: Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9e (6)\nmissing child gives ""'
check_run() {  # name, program, expected linkage (shared|static)
  local out
  out=$("$2") || fail "$1: the program failed"
  [ "$out" = "$expected" ] || fail "$1: output was: $out"
  if readelf -d "$2" | grep -q 'NEEDED.*libtarvex\.so'; then
    [ "$3" = shared ] || fail "$1: linked the shared library"
  else
    [ "$3" = static ] || fail "$1: did not link the shared library"
  fi
  echo "   $1: ok"
}

echo "== consumer built with the CMake package"
for kind in shared static; do
  use_static=OFF
  [ "$kind" = static ] && use_static=ON
  cmake -S "$root/examples/consumer" -B "$work/cmake-$kind" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" -DTARVEX_USE_STATIC_LIBS=$use_static >/dev/null
  cmake --build "$work/cmake-$kind" >/dev/null
  check_run "cmake $kind" "$work/cmake-$kind/consumer" $kind
done
# The version file accepts 5.x only.
for wanted in 4 6; do
  if cmake -S "$root/examples/consumer" -B "$work/cmake-v$wanted" -DCMAKE_PREFIX_PATH="$prefix" \
       -DTARVEX_WANTED_VERSION=$wanted >/dev/null 2>&1; then
    fail "find_package(Tarvex $wanted) succeeded"
  fi
done

echo "== consumer built with pkg-config"
cxx=${CXX:-c++}
# shellcheck disable=SC2046
$cxx -std=c++17 -O2 "$root/examples/consumer/main.cpp" -o "$work/pc-shared" \
  $(pkg-config --cflags --libs tarvex) -Wl,-rpath,"$libdir"
check_run "pkg-config shared" "$work/pc-shared" shared
static_libs=$(pkg-config --static --libs tarvex)
# shellcheck disable=SC2046
$cxx -std=c++17 -O2 "$root/examples/consumer/main.cpp" -o "$work/pc-static" \
  $(pkg-config --cflags tarvex) ${static_libs/-ltarvex/-l:libtarvex.a}
check_run "pkg-config static" "$work/pc-static" static
echo "== install check passed"
