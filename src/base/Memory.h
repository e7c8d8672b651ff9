// The library's allocator for buffers and tree nodes.
//
// Every block that buffers and nodes own goes through these three calls, so
// the allocator behind them can be chosen in one place.
#pragma once

#include <cstddef>

namespace tarvex {

void* memAlloc(size_t n);
void* memAllocZeroed(size_t n);
void* memRealloc(void* p, size_t n);
void memFree(void* p);

// Bytes held in live blocks, for tests and benchmarks: with mimalloc those of
// the calling thread's heap, with the C heap the process total as the C
// library (or AddressSanitizer) reports it; 0 where neither can tell.
size_t memBytesInUse();

// Blocks these calls handed out and not yet freed, whatever the allocator:
// what a test of the library's own leaks counts. Exact while one thread
// allocates at a time (the count is kept without a lock).
long memBlocksInUse();

}  // namespace tarvex
