#!/usr/bin/env bash
# Fuzzes the HTTP response reader (status line, header block, chunked
# framing) for a bounded time, starting from a small corpus of responses.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-20}
command -v clang++ >/dev/null || { echo "note: clang++ missing, HTTP fuzzing skipped"; exit 0; }
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARVEX_FUZZ=ON -DTARVEX_TESTS=OFF -DTARVEX_MIMALLOC=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target http_response_fuzzer
corpus="$build/http-corpus"
mkdir -p "$corpus"
printf '@HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello' >"$corpus/length"
printf '@HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=1\r\nhello\r\n0\r\nT: 1\r\n\r\n' >"$corpus/chunked"
printf 'AHTTP/1.0 200 OK\nX-A: 1\n  folded\n\n<a/>' >"$corpus/close"
printf '\001HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n' >"$corpus/redirect"
echo "== HTTP response reader fuzzing (${seconds} s)"
"$build/fuzz/http_response_fuzzer" -seed=1 -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
  "$corpus" 2>&1 | tail -n 3
