#!/usr/bin/env bash
# The main job: builds the library and runs the demo, which loads an XML file
# (the first argument, or the bundled sample), edits it through the component
# interface, saves it (the second argument, or demo-output.xml) and prints the
# result and the call log.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEX_TESTS=OFF >/dev/null
cmake --build "$root/build/release" -j "$(nproc)" --target tarvex_demo
exec "$root/build/release/tarvex_demo" "$@"
