#!/usr/bin/env bash
# Runs the codec's libFuzzer targets (base64, encoded-words, inflation of
# stored content, the legacy encrypted header) for a bounded time each, from
# small seed corpora. Needs clang; skipped without it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${TARVEX_CODEC_FUZZ_SECONDS:-15}
command -v clang++ >/dev/null || { echo "note: clang++ missing, codec fuzzing skipped"; exit 0; }

build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARVEX_FUZZ=ON -DTARVEX_TESTS=OFF -DTARVEX_MIMALLOC=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target base64_fuzzer words_fuzzer inflate_fuzzer legacy_fuzzer

seed() {  # target, then seed texts
  local dir="$build/corpus-$1"; shift
  mkdir -p "$dir"
  local i=0
  for text in "$@"; do printf '%b' "$text" > "$dir/seed$i"; i=$((i + 1)); done
  echo "$dir"
}

run() {  # target, corpus
  echo "== codec fuzzing: $1 (${seconds} s)"
  local log="$build/$1.log"
  if ! "$build/fuzz/$1" -seed=1 -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$2" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "codec fuzzing failed: $1"
    exit 1
  fi
  tail -n 3 "$log"
}

run base64_fuzzer "$(seed base64 'aGVsbG8=\r\n' 'YWJj\r\nZGVm\r\n' 'QQ==' 'a-_b!')"
run words_fuzzer "$(seed words '=?utf-8?B?aGk=?= x =?iso-8859-1?Q?Caf=E9_?=' 'plain' '=?x?q?a=3D?=')"
# Stored compressed content: base64 lines of raw DEFLATE (a stored block and
# a fixed-Huffman block).
run inflate_fuzzer "$(seed inflate 'AQUA+v9oZWxsbw==\r\n' 'y0jNyclXKM8vykkBAA==\r\n' 'PG4+PGM+MTwvYz48L24+\r\n')"
run legacy_fuzzer "$(seed legacy '\0\x01\0\x01\0\x05\0\0\0\x80\0\0\0\0\0\0\0AAAAAAAAAAAAAAAA' \
  '\0\x02\0\x01\0\x03\0\0\0\x40\0\0\0\0\0\0\0BBBBBBBB' '\0\x03\0\x01\0\x10\0\0\0\0\x01\0\0\0\0\0\0CCCCCCCCCCCCCCCC')"
