// The library's allocator: a thin layer over the C heap.
#include "text/Memory.h"

#include <cstdlib>

namespace tarvex {

void* memAlloc(size_t n) { return std::malloc(n ? n : 1); }

void* memAllocZeroed(size_t n) { return std::calloc(n ? n : 1, 1); }

void* memRealloc(void* p, size_t n) { return std::realloc(p, n ? n : 1); }

void memFree(void* p) { std::free(p); }

}  // namespace tarvex
