#!/usr/bin/env bash
# The unit tests in a Release build on the C heap, as a machine without
# mimalloc builds the library: no test may depend on the allocator.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)
echo "== nomimalloc build (Release, C heap)"
cmake -S "$root" -B "$root/build/nomimalloc" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEX_MIMALLOC=OFF >/dev/null
cmake --build "$root/build/nomimalloc" -j "$jobs" --target tarvex_tests
echo "== nomimalloc tests"
ctest --test-dir "$root/build/nomimalloc" --output-on-failure -j "$jobs" --timeout 900
