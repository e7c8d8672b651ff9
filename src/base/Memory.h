// The library's allocator for buffers and tree nodes.
//
// Every block that buffers and nodes own goes through these calls; the
// allocator behind them is a platform service (platform/Allocator.h).
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/Allocator.h"

namespace tarvex {

extern std::atomic<long> gMemBlocks;

inline void countMemBlocks(long delta) {
    gMemBlocks.store(gMemBlocks.load(std::memory_order_relaxed) + delta, std::memory_order_relaxed);
}

inline void* memAlloc(size_t n) {
    countMemBlocks(1);
    return platform::allocBytes(n);
}
inline void* memAllocZeroed(size_t n) {
    countMemBlocks(1);
    return platform::allocZeroedBytes(n);
}
inline void* memRealloc(void* p, size_t n) {
    if (!p) countMemBlocks(1);
    return platform::reallocBytes(p, n);
}
inline void memFree(void* p) {
    if (p) countMemBlocks(-1);
    platform::freeBytes(p);
}

// Bytes held in live blocks (see platform::bytesInUse).
inline size_t memBytesInUse() { return platform::bytesInUse(); }

// Blocks these calls handed out and not yet freed, whatever the allocator:
// what a test of the library's own leaks counts. Exact while one thread
// allocates at a time (the count is kept without a lock). Blocks that
// released trees left in the block store (BlockCache) count as in use.
inline long memBlocksInUse() { return gMemBlocks.load(std::memory_order_relaxed); }

}  // namespace tarvex
