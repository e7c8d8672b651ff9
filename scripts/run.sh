#!/usr/bin/env bash
# The main job: builds the tarvex command-line tool and runs it.
#
#   run.sh [input.xml] [output.xml]   load the document (by default the bundled
#                                     examples/demo/sample.xml), write it back to
#                                     output.xml (default demo-output.xml), list
#                                     its customers and write a Latin-1 copy
#   run.sh COMMAND ARGUMENTS...       run any tarvex command (run.sh --help)
#
# Installs only what this needs (scripts/install-deps.sh main).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/install-deps.sh" main
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target tarvex_cli >/dev/null
tarvex="$build/bin/tarvex"

case "${1:-}" in
  fmt|convert|find|get|encrypt|decrypt|compress|decompress|-*) exec "$tarvex" "$@" ;;
esac

input=${1:-"$root/examples/demo/sample.xml"}
output=${2:-demo-output.xml}
latin1="${output%.xml}-latin1.xml"
echo "\$ tarvex fmt $input -o $output"
"$tarvex" fmt "$input" -o "$output"
echo "\$ tarvex find $output customer --content"
"$tarvex" find "$output" customer --content || true
echo "\$ tarvex convert $output --to iso-8859-1 -o $latin1"
"$tarvex" convert "$output" --to iso-8859-1 -o "$latin1"
echo
echo "Wrote $output and $latin1:"
cat "$output"
