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

}  // namespace tarvex
